# The Debian package, made by CPack's DEB generator from the install rules (cmake/install.cmake):
#   cmake -S . -B build-package -DCMAKE_INSTALL_PREFIX=/usr ... && cmake --build build-package
#   cpack --config build-package/CPackConfig.cmake      -> vellumry_<version>_amd64.deb
# tools/make-deb.sh (`./dev package`) does this with Debian's build flags. The dependencies are
# computed by dpkg-shlibdeps from the shared libraries the two programs link, plus the OpenGL
# library, which is loaded at run time. No maintainer scripts: the icon cache and the desktop
# database are refreshed by the triggers of the packages that own them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vellumry)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Vellumry developers")
set(CPACK_PACKAGE_CONTACT "${VELLUMRY_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "show a picture as if painted with a brush on textured paper")
# The extended description, wrapped for an 80-column terminal (Debian's tools keep lines as
# they are); a line of its own holding "." in the control file separates the paragraphs.
set(CPACK_PACKAGE_DESCRIPTION [[
Vellumry paints a picture with a brush on a sheet of paper, live. Import a
photo and tune the brush with three sliders while the painting follows: how
much of the brush shows, how far its strokes smear, and how strongly the
paper's grain comes through. A sheet of white watercolour paper is built in;
a paper image of one's own can replace it.

Pictures open from the desktop's file chooser, the file manager, the command
line or by dropping them on the window; PNG, JPEG, BMP, GIF, TGA, PSD, HDR,
PIC and PNM files load. Picture files are decoded in a separate process with
time and memory limits. The painting is saved at the picture's full size as a
PNG or JPEG file.]])
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELLUMRY_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${VELLUMRY_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so dpkg-shlibdeps cannot see it: the OpenGL library (libGL.so.1); EGL
# (libEGL.so.1), which `vellumry --paint` paints through where there is no display.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libgl1, libegl1")
# The file chooser: the desktop portal where there is one, zenity otherwise.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-desktop-portal | zenity")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/deb-strip.cmake)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
include(CPack)
