#!/usr/bin/env bash
# decoder_libs_samples.sh FOLDER: makes the pictures that decoder_libs_win_tests reads, with
# Debian's own encoders, into FOLDER (made if missing).
#   quadrants16.rgb  the source: 64 x 48, four flat quadrants, 16-bit RGB, big-endian
#   quadrants8.rgba  the same at 8 bits (the high bytes), its bottom-right quadrant half
#                    transparent
#   *.tif            LZW and Deflate at 16 bits; PackBits and JPEG at 8 bits (ImageMagick)
#   *.webp           lossless, lossy, and a two-frame animation whose first frame is the
#                    source (cwebp, img2webp)
#   quadrants.heic, quadrants.avif  (heif-enc, avifenc)
#   AdobeRGB1998.icc colord's profile
# Lossless files hold the source exactly; lossy ones come close to it.
set -euo pipefail
dir=$1
mkdir -p "$dir"
cd "$dir"

python3 - <<'PY'
import struct
# Each quadrant's 16-bit colour; the low bytes differ from the high ones, so a decode that
# drops to 8 bits and back shows.
quadrants = [(0xE61F, 0x2A83, 0x3211), (0x28C4, 0xC870, 0x3CA9),
             (0x3257, 0x46E2, 0xDC0D), (0xF09A, 0xE63B, 0xC87E)]
width, height = 64, 48
rgb16, rgba8 = bytearray(), bytearray()
for y in range(height):
    for x in range(width):
        q = (2 if y >= height // 2 else 0) + (1 if x >= width // 2 else 0)
        rgb16 += struct.pack('>3H', *quadrants[q])
        rgba8 += bytes([c >> 8 for c in quadrants[q]] + [128 if q == 3 else 255])
open('quadrants16.rgb', 'wb').write(rgb16)
open('quadrants8.rgba', 'wb').write(rgba8)
PY

src16=(-size 64x48 -depth 16 -endian MSB rgb:quadrants16.rgb)
src8=(-size 64x48 -depth 8 rgba:quadrants8.rgba)
convert "${src16[@]}" -compress LZW lzw16.tif
convert "${src16[@]}" -compress Zip zip16.tif
convert "${src8[@]}" -alpha off -compress RLE packbits8.tif
convert "${src8[@]}" -alpha off -compress JPEG -quality 95 jpeg8.tif
# Full-colour PNGs: heif-enc 1.15 swaps green and blue in a palette PNG, which is what
# ImageMagick writes for a picture of so few colours.
convert "${src8[@]}" PNG32:quadrants8.png
convert "${src8[@]}" -alpha off PNG24:quadrants8-opaque.png
convert "${src8[@]}" -flip PNG32:flipped8.png

cwebp -quiet -lossless quadrants8.png -o lossless.webp
cwebp -quiet -q 95 quadrants8.png -o lossy.webp
img2webp -lossless quadrants8.png flipped8.png -o animated.webp >/dev/null 2>&1
heif-enc -q 95 quadrants8-opaque.png -o quadrants.heic >/dev/null
avifenc --min 0 --max 8 quadrants8-opaque.png quadrants.avif >/dev/null
cp /usr/share/color/icc/colord/AdobeRGB1998.icc .
