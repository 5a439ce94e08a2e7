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
#   - a 24-megapixel JPEG import beside stb_image in process, a 20000 x 15000 import split
#     into the decoder helper's part (decode + scale) and the upload, and the longest frame of
#     a 16384 x 16384 import with its pixels uploaded in one piece beside a band a frame (when
#     the build has bench_import)
#   - photo imports (24-megapixel JPEG q92, HEIC, 16-bit TIFF; a 20000 x 15000 JPEG) beside
#     stb_image decoding the JPEG in process plus its upload
#   - writing a 24-megapixel picture: the encoders alone (PNG settings compared, JPEG chroma),
#     and what the export job (copy, thread, safe write) adds beyond the encoder
#   - exporting a 24-megapixel painting as the program does, to PNG and to JPEG: the offscreen
#     pass, the read-back, the buffer and the encoding, beside the whole export
#   - vellumry --paint on 24 pictures of 12 megapixels: its wall time beside the sum of its
#     stages measured alone and beside one process per picture, and the peak memory of each
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
echo "== Photo import =="
if [ -x "$build/bench_photo_import" ]; then run bench_photo_import 3; else echo "(no bench_photo_import in $build)"; fi
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
echo
echo "== Painting from the command line =="
run bench_paint_batch "$build/vellumry" 24
exit $status
