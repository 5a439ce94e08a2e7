// export_command: File > Export Picture... and Ctrl + S: the painted picture saved at its own
// size under a name the user picks, the file written while the window goes on drawing.
//
//   RememberPicturePath(path);   // each picture that arrives in the slot, however it came
//   ExportPicture();             // the menu item or the shortcut (only with a picture)
//   DrawPictureExport(ImportInProgress() != nullptr, WayOutRequested());
//                                // once a frame, after the menus: progress, outcome, question
//
// The command opens the desktop's save chooser in the picture's folder with the name
// "<picture's name>-painted.png" and the types PNG and JPEG. The extension picks the format
// (.png, .jpg, .jpeg in any case); a name without one gets ".png", and when a file of that name
// exists a question asks before replacing it (the chooser asked only about the name typed). Any
// other extension, a chooser that fails, a second export while one runs: a notice says why and
// nothing is written. The log line "[Info]: Exporting picture: <path>" names the file once it is
// settled; the export (render/picture_export.h) writes the line of its outcome.
// The export starts in the frame after the choice, so the strip shows first; the picture is then
// rendered a few tiles a frame and the file written on a worker thread, the strip's one bar
// following both (render/picture_export.h), and a confirmation
// ("Saved coffee-painted.png, 6000 x 4000") follows that the user dismisses or that fades out.
// A failure shows a notice with the file's name and the system's reason.
// The window's close and "Exit" wait while the picture is rendered or written (ui/way_out.h):
// they ask here whether a file is on its way (ExportProgressShown) and whether an export has
// failed since they were asked for (ExportsFailed); the strip's second line says the program
// waits. Main thread only, inside the UI frame (DrawUI calls these).
#pragma once

// The picture now in the slot came from this file (made absolute against the working folder).
void RememberPicturePath(const char* path);
// That file, or null before any picture has been imported: the export needs one.
const char* ExportablePicturePath();

void ExportPicture();
// loadingShown: the loading indicator shows too (the strip goes above it); leaving: a way out
// waits for the file.
void DrawPictureExport(bool loadingShown, bool leaving);

// Whether an export is being prepared or written, and its share written (0..1) as the strip
// shows it.
bool ExportProgressShown(float* progress);

// The confirmation's text while it shows ("Saved coffee-painted.png, 6000 x 4000"), else "".
const char* ExportConfirmationText();

// How many exports have failed since start-up (a failure of the export itself, not a name
// refused or a chooser that failed).
unsigned ExportsFailed();

// Back to the state at start-up: no picture, no export shown, no question (the count of failures
// goes on). An export still being written goes on; its outcome is then not shown. For tests.
void ResetExportCommand();

// The titles of the notices and of the question.
constexpr const char* ExportNoticeTitle = "Export failed";
constexpr const char* ExportBusyTitle = "Export in progress";
constexpr const char* ReplaceQuestionTitle = "Replace file?";
// How long the confirmation stays, in seconds, its last one fading.
constexpr double ExportConfirmationSeconds = 5.0;
