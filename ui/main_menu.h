// main_menu: the menus of the main menu bar and what their items do.
//
//   if (ImGui::BeginMainMenuBar()) {           // DrawUI (ui/draw_ui.h) opens and closes the bar
//       fileMenuOpen = DrawFileMenu();          // and puts its own steps between the menus
//       editMenuOpen = DrawEditMenu();
//       viewMenuOpen = DrawViewMenu(vReleased, tReleased);
//       DrawAboutMenu();
//       ImGui::EndMainMenuBar();
//   }
//
// "File" holds Import Texture (Ctrl + O) and Import Filter (ui/import_command.h), Export
// Picture... (Ctrl + S, ui/export_command.h), greyed out until a picture has been imported, and
// Exit (ui/way_out.h), which ends the process at once, or once an export has put its file in
// place. "Edit" holds Undo (Ctrl + Z) and Redo (Ctrl + Y), each greyed out while there is nothing
// to undo or redo (ui/edit_commands.h). "View" holds Show/Hide Options (V) and Show/Hide Textures
// (T), each naming what it will do. "About" holds "About Vellumry", which shows the About window
// (ui/about_window.h), and "Author's blog", which only closes the menu. The shortcuts are read by
// DrawUI, not here. Main thread only, inside the UI frame.
// The View menu ends with the zoom's items (ui/zoom_input.h).
#pragma once

// Each answers whether its menu is open in this frame.
bool DrawFileMenu();
bool DrawEditMenu();
// vReleased, tReleased: V or T was let go in this frame; while the menu is open each toggles its
// window through its item, so that one release toggles once.
bool DrawViewMenu(bool vReleased, bool tReleased);
void DrawAboutMenu();
