#!/usr/bin/env bash
# wine-prefix.sh: makes the Wine prefix named by $WINEPREFIX ready for the tests, once.
# Its windows are unmanaged (Managed=N): the virtual display has no window manager, and a
# managed window waits ~2 s for one on every close. Mono and Gecko are not installed (no
# download prompts); nothing here needs them. Safe to call from several tests at once.
set -eu
: "${WINEPREFIX:?WINEPREFIX must name the prefix folder}"
export WINEDEBUG=-all
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock -w 300 9
[ -f "$WINEPREFIX/.vellumry-ready" ] && exit 0
rm -rf "$WINEPREFIX"
# No display needed for setting up the prefix.
DISPLAY= WINEDLLOVERRIDES="mscoree,mshtml=" timeout 300 wineboot -i >/dev/null 2>&1
DISPLAY= timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
  >/dev/null 2>&1
timeout 60 wineserver -w
touch "$WINEPREFIX/.vellumry-ready"
