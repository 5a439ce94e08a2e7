// way_out: the two ways out of the program, the window's close and File > Exit, which wait while
// an export's file is being written (ui/export_command.h).
//
//   RequestClose(); ... if (CloseDue()) running = false;   // the window's close button; the
//                                                           // caller ends its loop
//   RequestExit(); ExitIfDue();                             // File > Exit, then once a frame
//   DrawPictureExport(loading, WayOutRequested());          // the strip says the program waits
//
// A way out is due at once when no export is being prepared or written, else once the file is in
// place. An export that fails meanwhile gives the way out up, so that its notice is seen and the
// painting is not lost; asked for again, it is due. An exit asked for while a close waits takes
// its place. Exit ends the process with status 0 and skips the orderly shutdown (a decoder still
// at work ends with it); the close only answers, its caller shuts down. Main thread only.
#pragma once

void RequestClose();
bool CloseDue();
void RequestExit();
void ExitIfDue();

// Whether a close or an exit waits for the file.
bool WayOutRequested();

// Back to no way out asked for. For tests.
void ResetWayOut();
