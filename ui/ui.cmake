# The menu bar and shortcuts, the tool windows, the import notice and loading indicator, the
# export command and its progress strip, the theme and font; drops on the window and the empty
# canvas's hint.
target_sources(vellumry_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/canvas_hint.cpp
  ${CMAKE_CURRENT_LIST_DIR}/drop_import.cpp
  ${CMAKE_CURRENT_LIST_DIR}/export_command.cpp
  ${CMAKE_CURRENT_LIST_DIR}/export_progress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/import_notice.cpp
  ${CMAKE_CURRENT_LIST_DIR}/loading_indicator.cpp
  ${CMAKE_CURRENT_LIST_DIR}/main_menu.cpp
  ${CMAKE_CURRENT_LIST_DIR}/theme.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tool_windows.cpp)
