#include "picture/picture_scaling.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

bool FitInside(int width, int height, int largestSide, int* fitWidth, int* fitHeight) {
    *fitWidth = width;
    *fitHeight = height;
    if (largestSide <= 0 || (width <= largestSide && height <= largestSide)) return false;
    const bool wide = width >= height;
    const int64_t longer = wide ? width : height, shorter = wide ? height : width;
    int64_t other = (shorter * largestSide + longer / 2) / longer;
    if (other < 1) other = 1;
    if (other > largestSide) other = largestSide;
    *fitWidth = wide ? largestSide : int(other);
    *fitHeight = wide ? int(other) : largestSide;
    return true;
}

namespace {

// Positions are counted in sub-units: a source pixel is `newCount` sub-units long and a new
// pixel `sourceCount`, so both axes cover sourceCount * newCount sub-units and every overlap is
// an exact integer. A new pixel's weights add up to sourceWidth * sourceHeight.

// Adds one source row into `sums` (4 per new column): each value times the length it shares
// with each new column. A sum stays below 255 * sourceWidth <= 255 * 2^24 < 2^32.
void AddRow(const unsigned char* row, int sourceWidth, int width, uint32_t* sums) {
    memset(sums, 0, sizeof(uint32_t) * 4 * size_t(width));
    uint32_t* column = sums;
    uint64_t position = 0, boundary = uint64_t(sourceWidth);  // boundary: where this column ends
    for (int x = 0; x < sourceWidth; ++x, row += 4) {
        const uint64_t end = position + uint64_t(width);
        if (end <= boundary) {
            const uint32_t weight = uint32_t(width);
            for (int c = 0; c < 4; ++c) column[c] += row[c] * weight;
            if (end == boundary) {
                column += 4;
                boundary += uint64_t(sourceWidth);
            }
        } else {  // a pixel no longer than a column straddles at most one boundary
            const uint32_t first = uint32_t(boundary - position), second = uint32_t(end - boundary);
            for (int c = 0; c < 4; ++c) {
                column[c] += row[c] * first;
                column[4 + c] += row[c] * second;
            }
            column += 4;
            boundary += uint64_t(sourceWidth);
        }
        position = end;
    }
}

void AddWeighted(uint64_t* into, const uint32_t* sums, uint32_t weight, size_t count) {
    for (size_t i = 0; i < count; ++i) into[i] += uint64_t(sums[i]) * weight;
}

// Rounds each accumulated value divided by `total` to the nearest integer, exactly: a double
// estimate (the values stay far below 2^53), corrected by one where it fell on the wrong side.
void WriteRow(unsigned char* out, const uint64_t* values, size_t count, uint64_t total) {
    const double reciprocal = 1.0 / double(total);
    for (size_t i = 0; i < count; ++i) {
        const uint64_t scaled = values[i] + total / 2;
        uint64_t quotient = uint64_t(double(scaled) * reciprocal);
        if (quotient * total > scaled) --quotient;
        else if ((quotient + 1) * total <= scaled) ++quotient;
        out[i] = static_cast<unsigned char>(quotient > 255 ? 255 : quotient);
    }
}

}  // namespace

bool ShrinkPicture(unsigned char* pixels, int sourceWidth, int sourceHeight, int width, int height) {
    if (width < 1 || height < 1 || width > sourceWidth || height > sourceHeight) return false;
    if (width == sourceWidth && height == sourceHeight) return true;
    const size_t count = size_t(width) * 4;
    // One row of column sums, and the rows being accumulated: the current one and the next,
    // which a source row straddling two new rows also feeds.
    unsigned char* scratch = static_cast<unsigned char*>(malloc(count * (sizeof(uint32_t) + 2 * sizeof(uint64_t))));
    if (!scratch) return false;
    uint32_t* sums = reinterpret_cast<uint32_t*>(scratch);
    uint64_t* current = reinterpret_cast<uint64_t*>(scratch + count * sizeof(uint32_t));
    uint64_t* next = current + count;
    memset(current, 0, 2 * count * sizeof(uint64_t));

    const uint64_t total = uint64_t(sourceWidth) * uint64_t(sourceHeight);
    const size_t sourceStride = size_t(sourceWidth) * 4;
    int y = 0;
    uint64_t position = 0, boundary = uint64_t(sourceHeight);
    for (int sourceY = 0; sourceY < sourceHeight; ++sourceY) {
        AddRow(pixels + sourceStride * size_t(sourceY), sourceWidth, width, sums);
        const uint64_t end = position + uint64_t(height);
        const bool straddles = end > boundary;
        if (!straddles) {
            AddWeighted(current, sums, uint32_t(height), count);
        } else {
            AddWeighted(current, sums, uint32_t(boundary - position), count);
            AddWeighted(next, sums, uint32_t(end - boundary), count);
        }
        if (end >= boundary) {
            // New row y is complete. It overwrites only source rows already read: it ends at
            // (y + 1) * width pixels, and the next source row starts at (sourceY + 1) *
            // sourceWidth, with sourceY >= y and sourceWidth >= width.
            WriteRow(pixels + count * size_t(y), current, count, total);
            uint64_t* done = current;
            current = next;
            next = done;
            memset(next, 0, count * sizeof(uint64_t));
            ++y;
            boundary += uint64_t(sourceHeight);
        }
        position = end;
    }
    free(scratch);
    return true;
}
