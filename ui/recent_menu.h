// recent_menu: File > Open Recent: the pictures imported lately, newest first, and "Clear List".
//
//   DrawOpenRecentMenu();     // inside the open File menu
//   OpenRecentPicture(path);  // what choosing one does
//
// A picture is imported as if named on the command line (ui/import_command.h). One whose file
// has gone is taken off the list with a notice that says so. The list itself is kept with the
// settings (ui/kept_settings.h). Main thread only, inside the UI frame.
#pragma once
#include <string>

void DrawOpenRecentMenu();
void OpenRecentPicture(const std::string& path);

constexpr const char* RecentNoticeTitle = "Open Recent";
