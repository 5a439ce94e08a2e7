#!/usr/bin/env bash
# with-xvfb.sh COMMAND [ARGS...]: runs COMMAND with DISPLAY set to a fresh Xvfb server on a
# free display number, and stops the server afterwards. The command's exit status is kept.
# The screen is 1280 x 1024 x 24 unless XVFB_SCREEN says otherwise (WIDTHxHEIGHTxDEPTH).
set -u
fifo_dir=$(mktemp -d)
trap 'kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; rm -rf "$fifo_dir"' EXIT
mkfifo "$fifo_dir/displayfd"
Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-1280x1024x24}" -nolisten tcp -noreset 3>"$fifo_dir/displayfd" 2>/dev/null &
xvfb_pid=$!
read -r -t 20 display_number <"$fifo_dir/displayfd" || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$display_number"
unset WAYLAND_DISPLAY
"$@"
