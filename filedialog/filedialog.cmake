# The file dialog: the portable routines, and one binding per platform.
target_sources(vellumry_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/nfd_common.cpp)

if(WIN32)
  # The Windows shell dialog binding, nfd_win.cpp, with the COM libraries it links: the
  # top-level CMakeLists.txt adds them with the rest of the Windows build.
else()
  target_sources(vellumry_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/nfd_linux.cpp
    ${CMAKE_CURRENT_LIST_DIR}/nfd_portal.cpp
    ${CMAKE_CURRENT_LIST_DIR}/nfd_zenity.cpp)
  target_link_libraries(vellumry_core PUBLIC PkgConfig::DBUS)
endif()
