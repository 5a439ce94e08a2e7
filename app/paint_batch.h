// paint_batch: `vellumry --paint`: pictures painted and written without a window, as the
// window's export writes them from a window of the --view size, many at a time.
//
//   CommandLine line = ParseCommandLine(argc, argv);
//   if (line.Action == COMMAND_LINE_PAINT) return PaintPictures(line.Paint, stderr);
//
// Three stages overlap, with at most --jobs pictures between the start of their decode and the
// end of their file: decoding, each picture in a helper process of its own
// (picture/image_decoder.h, without waiting); painting, one picture at a time on the one GL
// context (render/texture_import.h's upload into the slot, then render/picture_export.h's render
// in steps, with the look's parameters and the reach the picture has in the view); encoding and
// writing safely on worker threads (picture/write_queue.h). A picture is painted as soon as it is
// decoded, whatever its place in the line; the pictures' lines come in the order they end.
//
// What it writes on `err`: one line per picture, as it ends:
//   "painted coffee.jpg -> coffee-painted.png (6000 x 4000, 2.1 s)"
//   "failed coffee.jpg: could not be loaded: the file is damaged or cut short (JPEG: ...)"
//   "failed coffee.jpg: could not be written to coffee-painted.png: No space left on device"
//   "skipped coffee.jpg: coffee-painted.png exists (--overwrite replaces it)"
// then "painted 23 of 24 pictures in 41.2 s (1 failed)" or the like. A picture's time runs from
// the start of its decode to its file in place. Where `err` is a terminal, a progress bar stays on
// its last line meanwhile. Without --verbose the program's own log lines (base/log.h) are off.
// Answers the exit status: 0 when every picture was painted, 1 when any failed or was skipped or
// nothing could be painted at all (no GL, a paper that does not load), 2 for what the command
// line could not tell (a look that is not there, an output folder that is not a folder).
// SIGINT and SIGTERM (Ctrl + C, Ctrl + Break on Windows) stop it: the helpers are ended and
// reaped, files being written are given up (no partial file: picture/safe_file.h), a line says
// how far it got, and the process then ends by that same signal. Main thread only.
#pragma once
#include <stdio.h>

#include "app/command_line.h"

int PaintPictures(const PaintOptions& options, FILE* err);
