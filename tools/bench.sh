#!/usr/bin/env bash
# bench.sh [BUILD]: prints the benchmark figures of an existing build (default build/), each on
# a private virtual display. Builds nothing; judges nothing.
#   - start-up: process start to the first presented frame of the real program
#   - the brush pass per frame at three drawn areas, beside a trivial 18-fetch pass
#   - whole frames with the cached preview at three window sizes (on a 3840 x 2160 virtual
#     screen), beside a bare frame and beside the frame as it was before the cache
#   - zoomed frames (steady, a pan step, a sweep across new ground, a paint) at 1080p and 4K
#     beside a bare frame
#   - an idle window's CPU: the program at rest, its loop as it was before it rested, and a bare
#     SDL2 + UI window that waits for events
#   - a 24-megapixel JPEG import beside stb_image in process, and a 20000 x 15000 import split
#     into the decoder helper's part (decode + scale) and the upload (when the build has
#     bench_import)
#   - writing a 24-megapixel picture: the encoders alone (PNG settings compared, JPEG chroma),
#     and what the export job (copy, thread, safe write) adds beyond the encoder
#   - exporting a 24-megapixel painting as the program does, to PNG and to JPEG: the offscreen
#     pass, the read-back, the buffer and the encoding, beside the whole export
set -uo pipefail
root=$(dirname "$(readlink -f "$0")")/..
build=$(readlink -f "${1:-$root/build}")
xvfb="$root/tests/support/with-xvfb.sh"
status=0

run() {
  local program="$build/$1"
  shift
  if [ ! -x "$program" ]; then
    echo "($(basename "$program") is not in $build; build first)"
    return
  fi
  "$xvfb" "$program" "$@" || { echo "($(basename "$program") failed)"; status=1; }
}

echo "== Start-up =="
run bench_startup 7
echo
echo "== Brush pass =="
run bench_brush 2
echo
echo "== Cached preview =="
XVFB_SCREEN=3840x2160x24 run bench_preview 3
echo
echo "== Zoom and pan =="
XVFB_SCREEN=3840x2160x24 run bench_zoom 2
echo
echo "== Idle window =="
if [ -x "$build/vellumry" ] && [ -x "$build/bare_waiting_window" ]; then
  XVFB_SCREEN=3840x2160x24 "$xvfb" python3 "$root/tools/bench_idle.py" "$build" 5 || { echo "(bench_idle failed)"; status=1; }
else
  echo "(no vellumry or bare_waiting_window in $build)"
fi
echo
echo "== Picture import =="
if [ -x "$build/bench_import" ]; then run bench_import; else echo "(no bench_import in $build)"; fi
echo
echo "== Picture export =="
if [ -x "$build/bench_export" ]; then
  (cd "$build" && ./bench_export) || { echo "(bench_export failed)"; status=1; }
else
  echo "(no bench_export in $build)"
fi
echo
echo "== Painted picture export =="
run bench_painted_export 5
exit $status
