#!/usr/bin/env bash
# build-windows.sh [build|test|package]: the Windows build of Vellumry, cross-compiled with mingw-w64.
#   build (default)  build-windows/vellumry.exe (+ its decoder helper and the Windows tests)
#   test             build, then run the Windows tests under Wine on a virtual X display
#   package          build, then the installer (NSIS) and the zip of the two executables
# Dependencies come from Debian's own source packages and are built once into
# build-windows/deps/ (SDL2 2.26, zlib, libpng 1.6, libjpeg-turbo 2.1, libtiff 4.5, libwebp 1.2,
# lcms2 2.14, libheif 1.15 with libde265 and dav1d as static libraries; ImGui 1.86's and
# nlohmann-json's sources, compiled into our build), so a second run only rebuilds what changed.
# Needs root for the apt-get steps the first time (or the packages already installed and the
# sources already fetched).
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")/.."
root=$PWD
build=$root/build-windows
deps=$build/deps
mode=${1:-build}
case "$mode" in
  build | test | package) ;;
  *) sed -n '2,5p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
esac

BUILD_PACKAGES=(g++-mingw-w64-x86-64 cmake ninja-build python3 dpkg-dev khronos-api libstb-dev
  libgtest-dev nasm meson make)
# The third-party notices the packages carry come from these packages' licence files
# (tools/third-party-notices.list); mingw-w64-common and gcc-mingw-w64-base come with the compiler.
BUILD_PACKAGES+=(libsdl2-dev libimgui-dev libpng-dev zlib1g-dev libjpeg62-turbo-dev fonts-roboto-unhinted
  libtiff-dev libwebp-dev libheif-dev libde265-dev libdav1d-dev liblcms2-dev nlohmann-json3-dev)
TEST_PACKAGES=(wine wine64 xvfb xauth xdotool x11-utils imagemagick python3-xlib
  libheif-examples libavif-bin webp colord-data)
# The installer: makensis (its tests install it under Wine, so the tests need it too).
PACKAGE_PACKAGES=(nsis)

missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || echo "$p"
  done
}

need_root() {
  if [ "$(id -u)" != 0 ]; then
    echo "build-windows: $1 needs root; run it once as root (or: sudo $0 $mode)" >&2
    exit 1
  fi
}

apt_updated=0
apt_update() {
  [ $apt_updated = 1 ] && return 0
  apt-get update -qq
  apt_updated=1
}

ensure_packages() {
  local missing
  missing=$(missing_packages "$@")
  [ -z "$missing" ] && return 0
  need_root "installing $(echo $missing)"
  echo "build-windows: installing" $missing
  apt_update
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
}

# apt-get source needs a deb-src entry; Debian's images ship only binary entries.
ensure_deb_src() {
  if grep -Eqs '^[[:space:]]*(Types:.*deb-src|deb-src[[:space:]].*bookworm[[:space:]]+main)' \
      /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; then
    return 0
  fi
  need_root "adding a deb-src entry"
  local uri keyring
  uri=$(awk '/^URIs:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
  keyring=$(awk '/^Signed-By:/ {print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
  cat >/etc/apt/sources.list.d/vellumry-deb-src.sources <<EOF
Types: deb-src
URIs: ${uri:-http://deb.debian.org/debian}
Suites: bookworm
Components: main
Signed-By: ${keyring:-/usr/share/keyrings/debian-archive-keyring.gpg}
EOF
  apt_updated=0
  apt_update
}

# Unpacks Debian's source package $1 under deps/src once; prints the unpacked folder.
source_package() {
  local name=$1 dir
  dir=$(find "$deps/src" -maxdepth 1 -mindepth 1 -type d -name "$2" 2>/dev/null | sort | tail -n 1)
  if [ -z "$dir" ]; then
    ensure_deb_src
    mkdir -p "$deps/src"
    (cd "$deps/src" && apt-get source -qq "$name" >&2 2>/dev/null) ||
      (apt_update >&2 && cd "$deps/src" && apt-get source -qq "$name" >&2)
    dir=$(find "$deps/src" -maxdepth 1 -mindepth 1 -type d -name "$2" | sort | tail -n 1)
  fi
  [ -n "$dir" ] || { echo "build-windows: no source folder for $name" >&2; exit 1; }
  echo "$dir"
}

toolchain=$root/cmake/mingw-w64.cmake
jobs=$(nproc 2>/dev/null || echo 2)

ensure_packages "${BUILD_PACKAGES[@]}"
[ "$mode" = test ] && ensure_packages "${TEST_PACKAGES[@]}"
[ "$mode" != build ] && ensure_packages "${PACKAGE_PACKAGES[@]}"

sdl_src=$(source_package libsdl2 'libsdl2-2.*')
imgui_src=$(source_package imgui 'imgui-1.86*')

# A dependency is built once per source folder: deps/NAME/.built-from names the folder it was
# built from. Only the folder's own name is compared, so a build-windows/ moved along with its
# deps/src is not rebuilt.
dep_built() {
  local stamp
  stamp=$(cat "$deps/$1/.built-from" 2>/dev/null) || return 1
  [ "$(basename "$stamp")" = "$(basename "$2")" ]
}
dep_done() { basename "$2" >"$deps/$1/.built-from"; }

# A static library from a CMake source tree, installed under deps/$1.
#   build_static_dep NAME SOURCE_DIR [CMAKE OPTIONS...]
build_static_dep() {
  local name=$1 src=$2 prefix=$deps/$1
  shift 2
  dep_built "$name" "$src" && return 0
  echo "build-windows: building $name for Windows from $(basename "$src")"
  rm -rf "$deps/$name-build" "$prefix"
  cmake -S "$src" -B "$deps/$name-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" "$@" >"$deps/$name-configure.log"
  if [ "$name" = zlib ]; then
    # Debian's zlib source lacks the resource file of the DLL: build and install the static
    # library alone.
    cmake --build "$deps/$name-build" -j "$jobs" --target zlibstatic >"$deps/$name-build.log"
    mkdir -p "$prefix/lib" "$prefix/include"
    cp "$deps/$name-build/libzlibstatic.a" "$prefix/lib/libz.a"
    cp "$src/zlib.h" "$deps/$name-build/zconf.h" "$prefix/include/"
  else
    cmake --build "$deps/$name-build" -j "$jobs" >"$deps/$name-build.log"
    cmake --install "$deps/$name-build" >/dev/null
  fi
  dep_done "$name" "$src"
}

# The same from a Meson source tree, cross-compiled through tools/mingw-w64-cross.ini.
#   build_meson_dep NAME SOURCE_DIR [MESON OPTIONS...]
build_meson_dep() {
  local name=$1 src=$2 prefix=$deps/$1
  shift 2
  dep_built "$name" "$src" && return 0
  echo "build-windows: building $name for Windows from $(basename "$src")"
  rm -rf "$deps/$name-build" "$prefix"
  meson setup "$deps/$name-build" "$src" --cross-file "$root/tools/mingw-w64-cross.ini" \
    --prefix "$prefix" --libdir lib --buildtype release --default-library static "$@" \
    >"$deps/$name-configure.log"
  ninja -C "$deps/$name-build" -j "$jobs" >"$deps/$name-build.log"
  meson install -C "$deps/$name-build" >/dev/null
  dep_done "$name" "$src"
}

# The same from an Autoconf source tree, configured outside it; only the library (src/) and
# its headers (include/) are built and installed.
#   build_autoconf_dep NAME SOURCE_DIR [CONFIGURE OPTIONS...]
build_autoconf_dep() {
  local name=$1 src=$2 prefix=$deps/$1
  shift 2
  dep_built "$name" "$src" && return 0
  echo "build-windows: building $name for Windows from $(basename "$src")"
  rm -rf "$deps/$name-build" "$prefix"
  mkdir -p "$deps/$name-build"
  (cd "$deps/$name-build" && "$src/configure" --host=x86_64-w64-mingw32 \
    CC=x86_64-w64-mingw32-gcc-posix --prefix="$prefix" --enable-static --disable-shared "$@") \
    >"$deps/$name-configure.log"
  make -C "$deps/$name-build/src" -j "$jobs" >"$deps/$name-build.log"
  make -C "$deps/$name-build/src" install >/dev/null
  make -C "$deps/$name-build/include" install >/dev/null
  dep_done "$name" "$src"
}

# SDL2, static, installed under deps/sdl2.
sdl_prefix=$deps/sdl2
build_static_dep sdl2 "$sdl_src" -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF

# The picture encoders' libraries: zlib, then libpng on it, and libjpeg-turbo (its SIMD code
# through nasm). Only the static libraries are linked.
zlib_src=$(source_package zlib 'zlib-1.*')
png_src=$(source_package libpng1.6 'libpng1.6-1.6.*')
jpeg_src=$(source_package libjpeg-turbo 'libjpeg-turbo-2.*')
build_static_dep zlib "$zlib_src"
build_static_dep libpng "$png_src" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF \
  -DPNG_EXECUTABLES=OFF -DZLIB_INCLUDE_DIR="$deps/zlib/include" \
  -DZLIB_LIBRARY="$deps/zlib/lib/libz.a"
build_static_dep libjpeg-turbo "$jpeg_src" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
  -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm

# The picture decoders' libraries, all static: libtiff on the zlib and libjpeg-turbo above (its
# other optional codecs off), libwebp with its demuxer, Little CMS 2, and libheif with libde265
# for HEVC and dav1d for AV1 (its assembly through nasm). libheif's plugin loading is off: the
# two decoders are linked in. The search for libraries through pkg-config sees nothing, so
# none of the host's own is taken by mistake.
tiff_src=$(source_package tiff 'tiff-4.*')
webp_src=$(source_package libwebp 'libwebp-1.*')
lcms_src=$(source_package lcms2 'lcms2-2.*')
de265_src=$(source_package libde265 'libde265-1.*')
dav1d_src=$(source_package dav1d 'dav1d-1.*')
heif_src=$(source_package libheif 'libheif-1.*')
json_src=$(source_package nlohmann-json3 'nlohmann-json3-3.*')
export PKG_CONFIG_LIBDIR=$deps/no-pkg-config PKG_CONFIG_PATH=
build_static_dep libtiff "$tiff_src" -DBUILD_SHARED_LIBS=OFF -Dtiff-tools=OFF \
  -Dtiff-tests=OFF -Dtiff-contrib=OFF -Dtiff-docs=OFF -Dcxx=OFF -Dzlib=ON -Djpeg=ON \
  -Dlibdeflate=OFF -Djbig=OFF -Dlerc=OFF -Dlzma=OFF -Dzstd=OFF -Dwebp=OFF -Djpeg12=OFF \
  -DZLIB_INCLUDE_DIR="$deps/zlib/include" -DZLIB_LIBRARY="$deps/zlib/lib/libz.a" \
  -DJPEG_INCLUDE_DIR="$deps/libjpeg-turbo/include" \
  -DJPEG_LIBRARY="$deps/libjpeg-turbo/lib/libjpeg.a"
build_static_dep libwebp "$webp_src" -DBUILD_SHARED_LIBS=OFF -DWEBP_BUILD_ANIM_UTILS=OFF \
  -DWEBP_BUILD_CWEBP=OFF -DWEBP_BUILD_DWEBP=OFF -DWEBP_BUILD_GIF2WEBP=OFF \
  -DWEBP_BUILD_IMG2WEBP=OFF -DWEBP_BUILD_VWEBP=OFF -DWEBP_BUILD_WEBPINFO=OFF \
  -DWEBP_BUILD_LIBWEBPMUX=OFF -DWEBP_BUILD_WEBPMUX=OFF -DWEBP_BUILD_EXTRAS=OFF
build_autoconf_dep lcms2 "$lcms_src" --without-jpeg --without-tiff --without-zlib
build_static_dep libde265 "$de265_src" -DBUILD_SHARED_LIBS=OFF -DENABLE_SDL=OFF \
  -DENABLE_DECODER=OFF -DENABLE_ENCODER=OFF
build_meson_dep dav1d "$dav1d_src" -Denable_tools=false -Denable_tests=false \
  -Denable_examples=false -Denable_asm=true
build_static_dep libheif "$heif_src" -DBUILD_SHARED_LIBS=OFF -DENABLE_PLUGIN_LOADING=OFF \
  -DWITH_EXAMPLES=OFF -DWITH_X265=OFF -DWITH_AOM_DECODER=OFF -DWITH_AOM_ENCODER=OFF \
  -DWITH_RAV1E=OFF -DWITH_SvtEnc=OFF -DWITH_LIBDE265=ON -DWITH_DAV1D=ON \
  -DLIBDE265_INCLUDE_DIR="$deps/libde265/include" \
  -DLIBDE265_LIBRARY="$deps/libde265/lib/libde265.a" \
  -DDAV1D_INCLUDE_DIR="$deps/dav1d/include" -DDAV1D_LIBRARY="$deps/dav1d/lib/libdav1d.a"
unset PKG_CONFIG_LIBDIR PKG_CONFIG_PATH

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSDL2_DIR="$sdl_prefix/lib/cmake/SDL2" \
  -DIMGUI_SOURCE_DIR="$imgui_src" -DWINDOWS_DEPS_DIR="$deps" \
  -DJSON_SOURCE_DIR="$json_src" >/dev/null
cmake --build "$build" -j "$jobs"
echo "build-windows: $build/vellumry.exe"

if [ "$mode" = package ]; then
  cmake --build "$build" --target windows_package
  ls "$build"/vellumry-*-windows-x64-setup.exe "$build"/vellumry-*-windows-x64.zip
  exit 0
fi
[ "$mode" = test ] || exit 0

# One virtual display and one Wine prefix for the whole run; the tests share them, one at a
# time (each Wine test is RUN_SERIAL).
export WINEPREFIX=$build/wineprefix
"$root/tests/windows/wine-prefix.sh"
status=0
"$root/tests/support/with-xvfb.sh" bash -c '
  ctest --test-dir "$1" --output-on-failure -L windows; s=$?
  wineserver -k 2>/dev/null; exit $s' _ "$build" || status=$?
exit $status
