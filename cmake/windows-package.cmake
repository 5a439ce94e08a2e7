# What the Windows build ships (tools/build-windows.sh package):
#   vellumry-<version>-windows-x64-setup.exe   an installer made by makensis (Debian's nsis)
#                                              from assets/windows/installer.nsi
#   vellumry-<version>-windows-x64.zip         the two executables in a folder, for those who
#                                              prefer no installer
# Both carry LICENSE and THIRD-PARTY-NOTICES.txt (generated, ui/CMakeLists.txt) beside the programs:
# the libraries linked into them ask binary copies to carry their notices.
# and the program's resources (its icon, drawn by tools/make_icon.py, its version and its manifest,
# which declares it aware of each monitor's DPI), linked into vellumry.exe.
enable_language(RC)

set(windows_out ${CMAKE_BINARY_DIR}/generated/windows)
set(VELLUMRY_ICO ${windows_out}/vellumry.ico)
add_custom_command(OUTPUT ${VELLUMRY_ICO}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/make_icon.py ${windows_out}/icons ${VELLUMRY_APP_ID}
          --ico ${VELLUMRY_ICO}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/make_icon.py
  COMMENT "Drawing the icon")
# Its own target: the resource and the installer both need it, and a command whose output two
# targets use would be run under both.
add_custom_target(windows_icon DEPENDS ${VELLUMRY_ICO})
add_dependencies(vellumry windows_icon)
set(VELLUMRY_MANIFEST ${CMAKE_SOURCE_DIR}/assets/windows/vellumry.manifest)
configure_file(${CMAKE_SOURCE_DIR}/assets/windows/vellumry.rc.in ${windows_out}/vellumry.rc @ONLY)
set_source_files_properties(${windows_out}/vellumry.rc TARGET_DIRECTORY vellumry PROPERTIES
  OBJECT_DEPENDS "${VELLUMRY_ICO};${VELLUMRY_MANIFEST}")
target_sources(vellumry PRIVATE ${windows_out}/vellumry.rc)

set(package_name vellumry-${PROJECT_VERSION}-windows-x64)
# What ships is stripped of the build's debugging information (a third of the size).
set(stage ${CMAKE_BINARY_DIR}/package-stage/${package_name})
set(staged ${stage}/vellumry.exe ${stage}/vellumry-decode.exe ${stage}/LICENSE ${stage}/THIRD-PARTY-NOTICES.txt)
add_custom_command(OUTPUT ${staged}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}
  COMMAND ${CMAKE_STRIP} -o ${stage}/vellumry.exe $<TARGET_FILE:vellumry>
  COMMAND ${CMAKE_STRIP} -o ${stage}/vellumry-decode.exe $<TARGET_FILE:vellumry-decode>
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/LICENSE ${stage}/LICENSE
  COMMAND ${CMAKE_COMMAND} -E copy ${VELLUMRY_NOTICES} ${stage}/THIRD-PARTY-NOTICES.txt
  DEPENDS vellumry vellumry-decode ${CMAKE_SOURCE_DIR}/LICENSE ${VELLUMRY_NOTICES}
  COMMENT "Stripping the programs for the packages, with the licence and the notices")
add_custom_target(windows_stage DEPENDS ${staged})

set(installer ${CMAKE_BINARY_DIR}/${package_name}-setup.exe)
find_program(MAKENSIS makensis)
add_custom_command(OUTPUT ${installer}
  COMMAND ${MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DVERSION4=${PROJECT_VERSION}.0
          -DBUILD=${stage} -DICON=${VELLUMRY_ICO} -DOUTFILE=${installer}
          ${CMAKE_SOURCE_DIR}/assets/windows/installer.nsi
  DEPENDS vellumry vellumry-decode windows_stage windows_icon ${CMAKE_SOURCE_DIR}/assets/windows/installer.nsi
  COMMENT "Making the installer ${package_name}-setup.exe")
add_custom_target(windows_installer DEPENDS ${installer})

set(zip ${CMAKE_BINARY_DIR}/${package_name}.zip)
add_custom_command(OUTPUT ${zip}
  COMMAND ${CMAKE_COMMAND} -E chdir ${stage}/.. ${CMAKE_COMMAND} -E tar cf ${zip} --format=zip ${package_name}
  DEPENDS vellumry vellumry-decode windows_stage
  COMMENT "Making ${package_name}.zip")
add_custom_target(windows_zip DEPENDS ${zip})
add_custom_target(windows_package DEPENDS windows_installer windows_zip)
