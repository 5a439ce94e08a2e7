# Installing on Linux (`cmake --install build`, prefix /usr/local unless CMAKE_INSTALL_PREFIX
# says otherwise), in the layout a desktop expects:
#   bin/vellumry                                 the program
#   libexec/vellumry/vellumry-decode             its picture decoder (found from bin/ relatively)
#   share/applications/<id>.desktop              the menu entry: "Open with" for the types that load
#   share/metainfo/<id>.metainfo.xml             what software centres show
#   share/icons/hicolor/{scalable,NxN}/apps/<id>.{svg,png}   the icon (tools/make_icon.py)
#   share/man/man1/vellumry.1.gz                 the manual page
#   share/doc/vellumry/{copyright,changelog.gz}   copyright: the program's licence (LICENSE) and
#                                                the third-party notices, generated (ui/CMakeLists.txt)
# <id> is the reverse-DNS application id VELLUMRY_APP_ID.
include(GNUInstallDirs)

set(linux_assets ${CMAKE_SOURCE_DIR}/assets/linux)
set(desktop_out ${CMAKE_BINARY_DIR}/generated/desktop)
file(MAKE_DIRECTORY ${desktop_out})

configure_file(${linux_assets}/${VELLUMRY_APP_ID}.metainfo.xml.in ${desktop_out}/${VELLUMRY_APP_ID}.metainfo.xml @ONLY)
configure_file(${linux_assets}/vellumry.1.in ${desktop_out}/vellumry.1 @ONLY)
configure_file(${linux_assets}/changelog.in ${desktop_out}/changelog @ONLY)

# Compressed as Debian wants them: best compression, no name or time stamp in the header.
set(gzip_script "import gzip, sys; open(sys.argv[2], 'wb').write(gzip.compress(open(sys.argv[1], 'rb').read(), 9, mtime=0))")
foreach(name vellumry.1 changelog)
  add_custom_command(OUTPUT ${desktop_out}/${name}.gz
    COMMAND ${Python3_EXECUTABLE} -c "${gzip_script}" ${desktop_out}/${name} ${desktop_out}/${name}.gz
    DEPENDS ${desktop_out}/${name}
    COMMENT "Compressing ${name}" VERBATIM)
endforeach()

set(icon_sizes 16 24 32 48 64 128 256)
set(icon_files ${desktop_out}/icons/hicolor/scalable/apps/${VELLUMRY_APP_ID}.svg)
foreach(size ${icon_sizes})
  list(APPEND icon_files ${desktop_out}/icons/hicolor/${size}x${size}/apps/${VELLUMRY_APP_ID}.png)
endforeach()
add_custom_command(OUTPUT ${icon_files}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/make_icon.py ${desktop_out}/icons ${VELLUMRY_APP_ID}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/make_icon.py
  COMMENT "Drawing the icon")
add_custom_target(desktop_files ALL
  DEPENDS ${icon_files} ${desktop_out}/vellumry.1.gz ${desktop_out}/changelog.gz)

install(TARGETS vellumry RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS vellumry-decode RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/vellumry)
install(FILES ${linux_assets}/${VELLUMRY_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${desktop_out}/${VELLUMRY_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY ${desktop_out}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES ${desktop_out}/vellumry.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${VELLUMRY_DEBIAN_COPYRIGHT} ${desktop_out}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
