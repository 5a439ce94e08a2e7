// import_notice: a small message, shown over everything, that tells the user why an import did
// not happen (a file that does not load, a file chooser that failed, the files of a drop left
// out), or why an export did not (or cannot yet). The user dismisses it with its "OK" button,
// Enter or Escape.
//
//   PostImportNotice("The picture", "/home/ann/cat.tif", "unknown image type");
//   PostNotice("Export failed", "The picture could not be exported to \"x.png\".\nDisk full");
//   DrawImportNotice();   // once per frame at the top level of the UI, after the windows
//
// A second notice posted before the first is dismissed replaces its title and text. Nothing is
// logged here.
#pragma once
#include <string>

// subject: what was being imported, as the start of a sentence ("The picture", "The paper");
// path: the file (only its name is shown), or null for a failure that concerns no file;
// reason: why, in the words of whoever failed (may be null or empty).
void PostImportNotice(const char* subject, const char* path, const char* reason);
// Any other notice: its window title and its text, shown as they are.
void PostNotice(const char* title, const std::string& text);
void DrawImportNotice();

// The text of the notice being shown or about to be shown; empty when there is none.
const char* ImportNoticeText();

// The import notice's window title.
constexpr const char* ImportNoticeTitle = "Import failed";
