// export_progress: the strip at the bottom of the window that follows an export: while the file
// is written, a bar reading "Exporting coffee-painted.png: 42 %" (with a second line when the
// program is waiting for it to close); once it is in place, "Saved coffee-painted.png,
// 6000 x 4000" with an "OK" button, fading out over its last second.
//
//   DrawExportProgress(path, 0.42f, false, lift);        // once a frame while the file is written
//   if (DrawExportConfirmation(text, alpha, lift)) dismiss();
//
// Like the loading indicator it never takes the keyboard focus and blocks nothing behind it.
// `lift` raises the strip by that many pixels (above the loading indicator when both show).
// Only the file's name is shown, with control characters as '?'.
#pragma once
#include <string>

void DrawExportProgress(const char* path, float progress, bool closing, float lift);
// True in the frame in which "OK" is clicked.
bool DrawExportConfirmation(const char* text, float alpha, float lift);

// The text of the bar, as drawn: "Exporting <name>: <percent> %" (percent rounded down).
std::string ExportProgressText(const char* path, float progress);

// The strips' window names (they have no title bar).
constexpr const char* ExportProgressName = "##Exporting";
constexpr const char* ExportConfirmationName = "##Exported";
// The second line of the bar while a close waits for the file.
constexpr const char* ExportClosingText = "Vellumry closes once the file is saved.";
