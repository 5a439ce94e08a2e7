// main_menu: the menus of the main menu bar and what their items do.
//
//   if (ImGui::BeginMainMenuBar()) {           // DrawUI (ui/draw_ui.h) opens and closes the bar
//       fileMenuOpen = DrawFileMenu();          // and puts its own steps between the menus
//       viewMenuOpen = DrawViewMenu(vReleased);
//       DrawAboutMenu();
//       ImGui::EndMainMenuBar();
//   }
//
// "File" holds Import Texture (Ctrl + O) and Import Filter (ui/import_command.h), Export
// Picture... (Ctrl + S, ui/export_command.h), greyed out until a picture has been imported, and
// Exit (ui/way_out.h), which ends the process at once, or once an export has put its file in
// place. "View" holds Show/Hide Options (V) and Show/Hide Textures, each naming what it will do
// (the Textures item shows "T", but no key toggles it). "About" holds "Author's blog", which only
// closes the menu. The shortcuts are read by DrawUI, not here. Main thread only, inside the UI
// frame.
// The View menu ends with the zoom's items (ui/zoom_input.h).
#pragma once

// Each answers whether its menu is open in this frame.
bool DrawFileMenu();
// vReleased: V was let go in this frame; while the menu is open it toggles the Options window
// through its item, so that one release toggles once.
bool DrawViewMenu(bool vReleased);
void DrawAboutMenu();
