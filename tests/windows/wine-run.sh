#!/usr/bin/env bash
# wine-run.sh PROGRAM [ARGS...]: runs a test command against the Windows build under Wine.
# PROGRAM is a Windows .exe (run with wine) or a host script that starts Wine itself (it gets
# WINEPREFIX and DISPLAY). Uses $WINEPREFIX (set up on first use) and the current X display,
# or a private virtual display when there is none; Wine's processes are ended afterwards, as
# they hold that display. The exit status is PROGRAM's; a run longer than
# $WINE_TEST_TIMEOUT seconds (default 120) is killed.
set -u
here=$(dirname "$(readlink -f "$0")")
: "${WINEPREFIX:?WINEPREFIX must name the prefix folder}"
export WINEDEBUG=${WINEDEBUG:--all}
if [ -z "${DISPLAY:-}" ]; then
  exec "$here/../support/with-xvfb.sh" bash -c '"$0" "$@"; s=$?; wineserver -k 2>/dev/null; exit $s' "$0" "$@"
fi
"$here/wine-prefix.sh" || { echo "wine-run: the Wine prefix could not be set up" >&2; exit 1; }
# wine64 itself where it is: the "wine" wrapper adds a note about 32-bit Wine to stderr.
wine=wine
[ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
case "$1" in
  *.exe) runner=("$wine") ;;
  *) runner=() ;;
esac
timeout -k 5 "${WINE_TEST_TIMEOUT:-120}" "${runner[@]}" "$@"
