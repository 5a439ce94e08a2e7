#!/usr/bin/env bash
# photo_samples.sh FOLDER: makes the photos that photo_decoders_win_tests opens through the
# Windows decoder helper, each with ImageMagick's reading of it beside it (NAME.oracle.png,
# 8-bit RGBA, upright and in sRGB), into FOLDER (made if missing).
#   source.png    the upright original: 97 x 61, smooth colour, a dark block top left
#   turned.jpg    stored turned a quarter clockwise, tagged (EXIF Orientation 8) to turn back
#   photo.heic    heif-enc's HEIC of the source
#   prophoto.tif  the source in ProPhoto RGB at 16 bits (colord's profile embedded)
#   prophoto.tif.unconverted.png  ImageMagick's reading of it with the profile ignored
#   large.jpg     2400 x 1800, large enough to be decoded by two threads
# sRGB is Little CMS's own (the profile the helper converts to), written through the host's
# liblcms2, so the two conversions differ only in their arithmetic.
set -euo pipefail
dir=$1
mkdir -p "$dir"
cd "$dir"

python3 - <<'PY'
import ctypes, math
width, height = 97, 61
rows = bytearray()
for y in range(height):
    for x in range(width):
        if x < width // 4 and y < height // 3:
            rows += bytes([40, 40, 60])
        else:
            rows += bytes([int(40 + 215 * x / (width - 1)), int(128 + 100 * math.sin(y * 0.15)),
                           int(235 - 180 * (x + y) / (width + height))])
open('source.ppm', 'wb').write(b'P6 %d %d 255\n' % (width, height) + rows)
lcms = ctypes.CDLL('liblcms2.so.2')
lcms.cmsCreate_sRGBProfile.restype = ctypes.c_void_p
profile = lcms.cmsCreate_sRGBProfile()
assert lcms.cmsSaveProfileToFile(ctypes.c_void_p(profile), b'srgb.icc')
PY

oracle() { convert "$1" "${@:2}" -depth 8 PNG32:"$1.oracle.png"; }
convert source.ppm PNG24:source.png
convert source.png -rotate 90 -quality 92 turned.jpg
exiftool -q -overwrite_original -Orientation#=8 turned.jpg
oracle turned.jpg -auto-orient
heif-enc -q 90 source.png -o photo.heic >/dev/null
oracle photo.heic
convert source.png -depth 16 -profile srgb.icc -profile /usr/share/color/icc/colord/ProPhotoRGB.icc \
  -compress Zip prophoto.tif
oracle prophoto.tif -profile srgb.icc
convert prophoto.tif +profile '*' -depth 8 PNG32:prophoto.tif.unconverted.png
convert source.png -resize 2400x1800! -quality 90 large.jpg
oracle large.jpg
