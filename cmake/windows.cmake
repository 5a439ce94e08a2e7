# The dependencies of the Windows cross build (tools/build-windows.sh), under the same target
# names that pkg-config gives the native build, so the areas' CMake fragments need no changes:
#   PkgConfig::SDL2   SDL2 2.26 built from Debian's source (static), found through SDL2_DIR
#   PkgConfig::IMGUI  Dear ImGui 1.86 from Debian's source package with its SDL2 and OpenGL 3
#                     bindings, compiled here (IMGUI_SOURCE_DIR)
#   PkgConfig::STB    stb's headers from libstb-dev; the decoder is compiled here with
#                     STBI_WINDOWS_UTF8, so UTF-8 paths open
#   PkgConfig::PNG    libpng 1.6 on zlib, built from Debian's sources (static), under
#                     WINDOWS_DEPS_DIR/libpng and WINDOWS_DEPS_DIR/zlib
#   PkgConfig::JPEG   libjpeg-turbo 2.1 from Debian's source (static), WINDOWS_DEPS_DIR/libjpeg-turbo
#   PkgConfig::TIFF   libtiff 4.5 on the zlib and libjpeg-turbo above (LZW, Deflate, JPEG,
#                     PackBits; <tiffio.h>)
#   PkgConfig::WEBP   libwebp 1.2 and its demuxer (<webp/decode.h>, <webp/demux.h>)
#   PkgConfig::LCMS2  Little CMS 2.14 (<lcms2.h>)
#   PkgConfig::HEIF   libheif 1.15 with libde265 (HEVC) and dav1d (AV1) linked in, no plugin
#                     loading (<libheif/heif.h>)
#   PkgConfig::JSON   nlohmann's JSON headers from Debian's source package (JSON_SOURCE_DIR;
#                     <nlohmann/json.hpp>)
#                     All static, built from Debian's sources under WINDOWS_DEPS_DIR.
#   GTest::gtest_main googletest from libgtest-dev's sources
#   nlohmann_json::nlohmann_json  the header-only JSON library, nlohmann-json3-dev's headers
# There is no D-Bus on Windows: PkgConfig::DBUS is not defined.

find_package(SDL2 REQUIRED CONFIG)

set(IMGUI_SOURCE_DIR "" CACHE PATH "Dear ImGui 1.86 sources (Debian's source package)")
if(NOT EXISTS "${IMGUI_SOURCE_DIR}/imgui.h")
  message(FATAL_ERROR "IMGUI_SOURCE_DIR must name ImGui's unpacked sources (tools/build-windows.sh sets it)")
endif()
add_library(imgui STATIC
  ${IMGUI_SOURCE_DIR}/imgui.cpp
  ${IMGUI_SOURCE_DIR}/imgui_demo.cpp
  ${IMGUI_SOURCE_DIR}/imgui_draw.cpp
  ${IMGUI_SOURCE_DIR}/imgui_tables.cpp
  ${IMGUI_SOURCE_DIR}/imgui_widgets.cpp
  ${IMGUI_SOURCE_DIR}/backends/imgui_impl_sdl.cpp
  ${IMGUI_SOURCE_DIR}/backends/imgui_impl_opengl3.cpp)
# <imgui.h> and <backends/imgui_impl_sdl.h>, as with Debian's installed headers. Its own
# warnings are not ours to fix.
target_include_directories(imgui SYSTEM PUBLIC ${IMGUI_SOURCE_DIR})
target_compile_options(imgui PRIVATE -w)
target_link_libraries(imgui PUBLIC SDL2::SDL2-static)

set(stb_impl ${CMAKE_BINARY_DIR}/generated/stb_image_impl.c)
file(WRITE ${stb_impl}.in
  "// The stb_image implementation that libstb.so provides on Linux.\n"
  "#define STB_IMAGE_IMPLEMENTATION\n#include <stb_image.h>\n")
configure_file(${stb_impl}.in ${stb_impl} COPYONLY)
add_library(stb STATIC ${stb_impl})
target_include_directories(stb SYSTEM PUBLIC /usr/include/stb)
target_compile_definitions(stb PUBLIC STBI_WINDOWS_UTF8)
target_compile_options(stb PRIVATE -w)

set(WINDOWS_DEPS_DIR "" CACHE PATH "The static libraries built by tools/build-windows.sh")
foreach(dep_lib zlib/lib/libz.a libpng/lib/libpng16.a libjpeg-turbo/lib/libjpeg.a libtiff/lib/libtiff.a
    libwebp/lib/libwebpdemux.a libwebp/lib/libwebp.a lcms2/lib/liblcms2.a libheif/lib/libheif.a
    libde265/lib/libde265.a dav1d/lib/libdav1d.a)
  if(NOT EXISTS "${WINDOWS_DEPS_DIR}/${dep_lib}")
    message(FATAL_ERROR "WINDOWS_DEPS_DIR must hold ${dep_lib} (tools/build-windows.sh builds it)")
  endif()
endforeach()
add_library(PkgConfig::PNG INTERFACE IMPORTED)
set_target_properties(PkgConfig::PNG PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${WINDOWS_DEPS_DIR}/libpng/include;${WINDOWS_DEPS_DIR}/zlib/include"
  INTERFACE_LINK_LIBRARIES "${WINDOWS_DEPS_DIR}/libpng/lib/libpng16.a;${WINDOWS_DEPS_DIR}/zlib/lib/libz.a")
add_library(PkgConfig::JPEG INTERFACE IMPORTED)
set_target_properties(PkgConfig::JPEG PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${WINDOWS_DEPS_DIR}/libjpeg-turbo/include"
  INTERFACE_LINK_LIBRARIES "${WINDOWS_DEPS_DIR}/libjpeg-turbo/lib/libjpeg.a")

# The decoders' libraries, each listed before what it uses, as a static link needs. libtiff names
# libjpeg's file, not PkgConfig::JPEG: a target that links both would otherwise get the one
# libjpeg of the target, ahead of libtiff.
add_library(PkgConfig::TIFF INTERFACE IMPORTED)
set_target_properties(PkgConfig::TIFF PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${WINDOWS_DEPS_DIR}/libtiff/include"
  INTERFACE_LINK_LIBRARIES "${WINDOWS_DEPS_DIR}/libtiff/lib/libtiff.a;\
${WINDOWS_DEPS_DIR}/libjpeg-turbo/lib/libjpeg.a;${WINDOWS_DEPS_DIR}/zlib/lib/libz.a")
add_library(PkgConfig::WEBP INTERFACE IMPORTED)
set_target_properties(PkgConfig::WEBP PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${WINDOWS_DEPS_DIR}/libwebp/include"
  INTERFACE_LINK_LIBRARIES "${WINDOWS_DEPS_DIR}/libwebp/lib/libwebpdemux.a;\
${WINDOWS_DEPS_DIR}/libwebp/lib/libwebp.a")
add_library(PkgConfig::LCMS2 INTERFACE IMPORTED)
set_target_properties(PkgConfig::LCMS2 PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${WINDOWS_DEPS_DIR}/lcms2/include"
  INTERFACE_LINK_LIBRARIES "${WINDOWS_DEPS_DIR}/lcms2/lib/liblcms2.a")
# Static builds of both: their headers then declare no DLL imports.
add_library(PkgConfig::HEIF INTERFACE IMPORTED)
set_target_properties(PkgConfig::HEIF PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${WINDOWS_DEPS_DIR}/libheif/include"
  INTERFACE_COMPILE_DEFINITIONS "LIBHEIF_STATIC_BUILD;LIBDE265_STATIC_BUILD"
  INTERFACE_LINK_LIBRARIES "${WINDOWS_DEPS_DIR}/libheif/lib/libheif.a;${WINDOWS_DEPS_DIR}/libde265/lib/libde265.a;\
${WINDOWS_DEPS_DIR}/dav1d/lib/libdav1d.a")

set(JSON_SOURCE_DIR "" CACHE PATH "nlohmann's JSON library (Debian's source package)")
if(NOT EXISTS "${JSON_SOURCE_DIR}/include/nlohmann/json.hpp")
  message(FATAL_ERROR "JSON_SOURCE_DIR must name nlohmann-json's unpacked sources (tools/build-windows.sh sets it)")
endif()
add_library(PkgConfig::JSON INTERFACE IMPORTED)
set_target_properties(PkgConfig::JSON PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES "${JSON_SOURCE_DIR}/include")

add_library(PkgConfig::SDL2 INTERFACE IMPORTED)
set_target_properties(PkgConfig::SDL2 PROPERTIES INTERFACE_LINK_LIBRARIES SDL2::SDL2-static)
add_library(PkgConfig::IMGUI INTERFACE IMPORTED)
set_target_properties(PkgConfig::IMGUI PROPERTIES INTERFACE_LINK_LIBRARIES imgui)
add_library(PkgConfig::STB INTERFACE IMPORTED)
set_target_properties(PkgConfig::STB PROPERTIES INTERFACE_LINK_LIBRARIES stb)

# One self-contained exe each: without the static runtime the exe needs mingw's DLLs, which a
# Windows machine does not have. SDL2main's -mwindows comes first; -mconsole after it wins,
# so the program is a console application with its standard error stream.
add_link_options(-static -static-libgcc -static-libstdc++)
set(CMAKE_CXX_STANDARD_LIBRARIES "${CMAKE_CXX_STANDARD_LIBRARIES} -mconsole")

# Windows headers: no min/max macros.
add_compile_definitions(NOMINMAX)

# googletest from Debian's source, built for the target; it is only used by the tests.
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
if(NOT TARGET GTest::gtest_main)
  add_library(GTest::gtest_main ALIAS gtest_main)
  add_library(GTest::gtest ALIAS gtest)
endif()
