// draw_ui: the interface's per-frame step: the main menu bar (ui/main_menu.h), the keyboard
// shortcuts, the import that arrives (ui/import_command.h), then the tool windows, the loading
// indicator, the export's strip (ui/export_command.h), a due exit (ui/way_out.h) and the notice
// (ui/import_notice.h).
//
//   DrawUI(windowWidth);   // every frame, inside the UI frame, after the picture is drawn
//
// Shortcuts are read from the raw keyboard by key position (scancode), so they act whatever the
// layout and whether or not a UI field has focus:
//   V              on release: toggles the Options window (through its menu item while the
//                  View menu is open, so one release toggles once)
//   left Ctrl + O  when the pair becomes complete, while the File menu is closed: imports a
//                  picture; a pair that completes while the menu is open is never acted on.
//                  Right Ctrl does nothing.
//   left Ctrl + S  the same way: exports the painted picture (ui/export_command.h), only once a
//                  picture has been imported
//   C              while held: the drawn area shows the picture as imported (CompareWithOriginal)
//   Escape         on press, while a file loads and no menu, notice or question is up: gives up
//                  on it, as the loading indicator's Cancel button does
// The picture arrives after the File menu and before the View menu, so an Export item enabled by
// it and the Options window it opens both follow in this same frame; the windows' flags are read
// after the menus, so a change made in this frame shows in this frame.
#pragma once

void DrawUI(int windowWidth);
