#!/usr/bin/env bash
# run-headless.sh PROGRAM SCREENSHOT [SECONDS]: runs PROGRAM on a private virtual X display for a
# few seconds, saves a screenshot of its window (of the whole display if it has none), then ends
# the program the orderly way (SDL turns SIGTERM into a quit request). Exits with the program's
# status.
set -euo pipefail
program=$(readlink -f "$1")
screenshot=$(readlink -f "$2")
seconds=${3:-3}
here=$(dirname "$(readlink -f "$0")")
exec "$here/../tests/support/with-xvfb.sh" bash -c '
  set -u
  "$0" &
  pid=$!
  sleep "$2"
  window=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n 1)
  import -window "${window:-root}" "$1"
  kill -TERM "$pid"
  wait "$pid"
' "$program" "$screenshot" "$seconds"
