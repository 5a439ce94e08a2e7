// exif_orientation: the EXIF Orientation tag read from its block, and the turn that makes a
// picture upright (picture/photo_decoders.h). Cameras store pictures as the sensor saw them and
// say in this tag how to show them; every offset in the block is checked against its size, so
// a block that points outside itself counts as no tag at all.
#include <cstring>

#include "picture/photo_decoders.h"

namespace {

struct ExifReader {
    const unsigned char* Bytes;
    size_t Size;
    bool Motorola;  // big-endian ("MM")
};

bool Read16(const ExifReader& exif, size_t at, unsigned* value) {
    if (at > exif.Size || exif.Size - at < 2) return false;
    const unsigned char* p = exif.Bytes + at;
    *value = exif.Motorola ? unsigned(p[0]) << 8 | p[1] : unsigned(p[1]) << 8 | p[0];
    return true;
}

bool Read32(const ExifReader& exif, size_t at, unsigned long* value) {
    unsigned high = 0, low = 0;
    if (!Read16(exif, at, exif.Motorola ? &high : &low) || !Read16(exif, at + 2, exif.Motorola ? &low : &high))
        return false;
    *value = (unsigned long)high << 16 | low;
    return true;
}

}  // namespace

int ExifOrientation(const unsigned char* bytes, size_t size) {
    if (!bytes) return 1;
    if (size >= 6 && memcmp(bytes, "Exif\0\0", 6) == 0) bytes += 6, size -= 6;
    if (size < 8) return 1;
    ExifReader exif = {bytes, size, bytes[0] == 'M'};
    unsigned magic = 0, count = 0;
    unsigned long first = 0;
    if ((memcmp(bytes, "II", 2) != 0 && memcmp(bytes, "MM", 2) != 0) || !Read16(exif, 2, &magic) || magic != 42 ||
        !Read32(exif, 4, &first) || !Read16(exif, first, &count))
        return 1;
    // The first directory (the main picture's); twelve bytes per entry.
    for (unsigned i = 0; i < count; ++i) {
        const size_t entry = first + 2 + size_t(i) * 12;
        unsigned tag = 0, type = 0, value = 0;
        unsigned long values = 0;
        if (!Read16(exif, entry, &tag) || !Read16(exif, entry + 2, &type) || !Read32(exif, entry + 4, &values) ||
            !Read16(exif, entry + 8, &value))
            return 1;
        if (tag == 0x0112) return type == 3 && values == 1 && value >= 1 && value <= 8 ? int(value) : 1;
    }
    return 1;
}

// Where the stored pixel (x, y) of a w x h picture goes in the upright one, for each orientation:
// 2 mirrored, 3 turned half, 4 flipped, 5 mirrored along the diagonal, 6 turned a quarter to the
// left (shown turned right), 7 mirrored along the other diagonal, 8 turned a quarter to the right.
bool TurnUpright(DecodedPhoto* photo) {
    const int o = photo->Orientation;
    const int w = photo->Width, h = photo->Height;
    uint32_t* pixels = reinterpret_cast<uint32_t*>(photo->Pixels);
    photo->Orientation = 1;
    if (o <= 1 || o > 8) return true;
    if (o <= 4) {
        // Mirrored left to right (2, 3) and rows swapped top to bottom (3, 4), where they lie.
        if (o == 2 || o == 3) {
            for (int y = 0; y < h; ++y) {
                uint32_t* row = pixels + size_t(y) * w;
                for (int a = 0, b = w - 1; a < b; ++a, --b) {
                    const uint32_t keep = row[a];
                    row[a] = row[b];
                    row[b] = keep;
                }
            }
        }
        if (o == 3 || o == 4) {
            for (int a = 0, b = h - 1; a < b; ++a, --b) {
                uint32_t* top = pixels + size_t(a) * w;
                uint32_t* bottom = pixels + size_t(b) * w;
                for (int x = 0; x < w; ++x) {
                    const uint32_t keep = top[x];
                    top[x] = bottom[x];
                    bottom[x] = keep;
                }
            }
        }
        return true;
    }
    // The sides swap: the upright picture is h wide and w high.
    uint32_t* turned = reinterpret_cast<uint32_t*>(PhotoPixels(size_t(w) * size_t(h) * 4));
    if (!turned) return false;
    // Blocks of 64 x 64 keep both the reads and the writes within a few pages at a time.
    const int block = 64;
    for (int y0 = 0; y0 < h; y0 += block) {
        for (int x0 = 0; x0 < w; x0 += block) {
            const int y1 = y0 + block < h ? y0 + block : h, x1 = x0 + block < w ? x0 + block : w;
            for (int y = y0; y < y1; ++y) {
                const uint32_t* row = pixels + size_t(y) * w;
                for (int x = x0; x < x1; ++x) {
                    // Upright column and row of the stored (x, y).
                    int ux = y, uy = x;                  // 5: the diagonal
                    if (o == 6) ux = h - 1 - y, uy = x;  // turned right
                    else if (o == 7) ux = h - 1 - y, uy = w - 1 - x;
                    else if (o == 8) ux = y, uy = w - 1 - x;  // turned left
                    turned[size_t(uy) * h + ux] = row[x];
                }
            }
        }
    }
    PhotoPixelsFree(photo->Pixels);
    photo->Pixels = reinterpret_cast<unsigned char*>(turned);
    photo->Width = h;
    photo->Height = w;
    return true;
}
