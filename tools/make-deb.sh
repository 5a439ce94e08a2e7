#!/usr/bin/env bash
# make-deb.sh [BUILD_DIR]: builds the Debian package vellumry_<version>_<arch>.deb in BUILD_DIR
# (default build-package/) and prints its path on the last line.
# The programs are built as Debian builds its packages: the compiler and linker flags of
# dpkg-buildflags with all hardening on, no build type of CMake's own, prefix /usr, no tests.
# CPack's DEB generator then packs the install tree, with the dependencies dpkg-shlibdeps
# finds. Needs dpkg-dev and file (./dev package installs them).
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")/.."
build=${1:-build-package}

flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
# CMake takes CFLAGS, CXXFLAGS and LDFLAGS from the environment on the first configure only,
# so a changed set of flags starts from a fresh folder.
cflags="$(flags CPPFLAGS) $(flags CFLAGS)"
cxxflags="$(flags CPPFLAGS) $(flags CXXFLAGS)"
ldflags="$(flags LDFLAGS)"
stamp="$cflags|$cxxflags|$ldflags"
if [ -f "$build/.flags" ] && [ "$(cat "$build/.flags")" != "$stamp" ]; then rm -rf "$build"; fi
mkdir -p "$build"
CFLAGS=$cflags CXXFLAGS=$cxxflags LDFLAGS=$ldflags \
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_INSTALL_PREFIX=/usr \
  -DVELLUMRY_TESTS=OFF >/dev/null
echo "$stamp" >"$build/.flags"
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" >/dev/null
rm -f "$build"/vellumry_*.deb
(cd "$build" && cpack --config CPackConfig.cmake >/dev/null)
ls "$build"/vellumry_*.deb
