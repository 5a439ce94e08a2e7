#!/usr/bin/env bash
# build-windows.sh [build|test|package]: the Windows build of Vellumry, cross-compiled with mingw-w64.
#   build (default)  build-windows/vellumry.exe (+ its decoder helper and the Windows tests)
#   test             build, then run the Windows tests under Wine on a virtual X display
#   package          build, then the installer (NSIS) and the zip of the two executables
# Dependencies come from Debian's own source packages and are built once into
# build-windows/deps/ (SDL2 2.26, zlib, libpng 1.6 and libjpeg-turbo 2.1 as static libraries;
# ImGui 1.86's sources, compiled into our build), so a second run only rebuilds what changed.
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
  libgtest-dev nasm)
# The third-party notices the packages carry come from these packages' licence files
# (tools/third-party-notices.list); mingw-w64-common and gcc-mingw-w64-base come with the compiler.
BUILD_PACKAGES+=(libsdl2-dev libimgui-dev libpng-dev zlib1g-dev libjpeg62-turbo-dev fonts-roboto-unhinted
  libtiff-dev libwebp-dev libheif-dev libde265-dev libdav1d-dev liblcms2-dev nlohmann-json3-dev)
TEST_PACKAGES=(wine wine64 xvfb xauth xdotool x11-utils imagemagick python3-xlib)
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

# SDL2, static, installed under deps/sdl2. The stamp names the source it was built from.
sdl_prefix=$deps/sdl2
if [ "$(cat "$sdl_prefix/.built-from" 2>/dev/null)" != "$sdl_src" ]; then
  echo "build-windows: building SDL2 for Windows from $(basename "$sdl_src")"
  rm -rf "$deps/sdl2-build" "$sdl_prefix"
  cmake -S "$sdl_src" -B "$deps/sdl2-build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$sdl_prefix" \
    -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF >"$deps/sdl2-configure.log"
  cmake --build "$deps/sdl2-build" -j "$jobs" >"$deps/sdl2-build.log"
  cmake --install "$deps/sdl2-build" >/dev/null
  echo "$sdl_src" >"$sdl_prefix/.built-from"
fi

# A static library from a CMake source tree, installed under deps/$1 once per source folder.
#   build_static_dep NAME SOURCE_DIR [CMAKE OPTIONS...]
build_static_dep() {
  local name=$1 src=$2 prefix=$deps/$1
  shift 2
  [ "$(cat "$prefix/.built-from" 2>/dev/null)" = "$src" ] && return 0
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
  echo "$src" >"$prefix/.built-from"
}

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

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSDL2_DIR="$sdl_prefix/lib/cmake/SDL2" \
  -DIMGUI_SOURCE_DIR="$imgui_src" -DWINDOWS_DEPS_DIR="$deps" >/dev/null
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
