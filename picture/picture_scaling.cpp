#include "picture/picture_scaling.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

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

// The four channels of one pixel side by side: one vector operation each step (GCC's vector
// extensions; SSE2 on x86-64, plain code elsewhere).
typedef uint32_t Sums __attribute__((vector_size(16)));
typedef float Values __attribute__((vector_size(16)));
typedef int32_t Ints __attribute__((vector_size(16)));
typedef uint8_t Bytes4 __attribute__((vector_size(4)));

// Positions are counted in sub-units: a source pixel is `newCount` sub-units long and a new
// pixel `sourceCount`, so both axes cover sourceCount * newCount sub-units and every overlap is
// an exact integer.

// Which source columns one new column covers, and how much of the first and of the last; those
// between count whole (`width` sub-units each).
struct Span {
    uint32_t First, Last;
    uint32_t FirstShare, LastShare;  // lastShare is 0 when first == last
};

void MakeSpans(Span* spans, int sourceWidth, int width) {
    const uint64_t whole = uint64_t(width), step = uint64_t(sourceWidth);
    for (int x = 0; x < width; ++x) {
        const uint64_t start = uint64_t(x) * step, end = start + step;
        Span& span = spans[x];
        span.First = uint32_t(start / whole);
        span.Last = uint32_t((end - 1) / whole);
        const uint64_t firstEnd = (uint64_t(span.First) + 1) * whole;
        span.FirstShare = uint32_t((firstEnd < end ? firstEnd : end) - start);
        span.LastShare = span.Last > span.First ? uint32_t(end - uint64_t(span.Last) * whole) : 0;
    }
}

inline Sums Pixel(const unsigned char* at) { return Sums{at[0], at[1], at[2], at[3]}; }

inline Values Share(Sums sum, uint32_t share) { return __builtin_convertvector(sum, Values) * float(share); }

// One source row reduced to the new columns and added into the new rows it falls in: per
// column, each source value times the length it shares with the column (summed in registers,
// whole pixels as exact integers), times the row's weight in `current` and in `next`.
void AddRow(const unsigned char* row, const Span* spans, int width, float currentWeight, float nextWeight,
            Values* __restrict current, Values* __restrict next) {
    const uint32_t whole = uint32_t(width);
    for (int x = 0; x < width; ++x) {
        const Span& span = spans[x];
        const unsigned char* at = row + size_t(span.First) * 4;
        Values sum = Share(Pixel(at), span.FirstShare);
        if (span.Last > span.First) {
            const unsigned char* last = row + size_t(span.Last) * 4;
            Sums inside = {0, 0, 0, 0};  // below 255 * 2^24
            for (at += 4; at < last; at += 4) inside += Pixel(at);
            sum += Share(inside, whole) + Share(Pixel(last), span.LastShare);
        }
        current[x] += sum * currentWeight;
        next[x] += sum * nextWeight;
    }
}

// The finished row, rounded; its values are cleared for the row after next.
void WriteRow(unsigned char* __restrict out, Values* __restrict values, int width) {
    const Ints top = {255, 255, 255, 255};
    for (int x = 0; x < width; ++x, out += 4) {
        Ints rounded = __builtin_convertvector(values[x] + 0.5f, Ints);
        rounded = rounded < top ? rounded : top;
        const Bytes4 pixel = __builtin_convertvector(rounded, Bytes4);
        memcpy(out, &pixel, 4);
    }
    memset(values, 0, sizeof(Values) * size_t(width));
}

// New rows [first, last) of the shrunk picture into `out` (which holds all of its rows), from
// the source rows they cover. In place (out == source) only for all the rows, in one call.
bool ShrinkRows(const unsigned char* source, int sourceWidth, int sourceHeight, unsigned char* out, int width,
                int height, int first, int last) {
    const size_t count = size_t(width) * 4;
    // The new rows being accumulated: the current one and the next, which a source row
    // straddling two also feeds; then the columns' spans.
    void* scratch = malloc((2 * sizeof(Values) + sizeof(Span)) * size_t(width));
    if (!scratch) return false;
    Values* current = static_cast<Values*>(scratch);
    Values* next = current + width;
    Span* spans = reinterpret_cast<Span*>(next + width);
    memset(current, 0, 2 * sizeof(Values) * size_t(width));
    MakeSpans(spans, sourceWidth, width);

    // A new pixel's weights add up to sourceWidth * sourceHeight sub-units squared. A source row
    // is `height` sub-units high, a new row `sourceHeight`: the source row holding the start of
    // new row `first` may begin in the row before it, whose share is added and thrown away.
    const float unit = float(1.0 / (double(sourceWidth) * double(sourceHeight)));
    const size_t sourceStride = size_t(sourceWidth) * 4;
    int sourceY = int(uint64_t(first) * uint64_t(sourceHeight) / uint64_t(height));
    uint64_t position = uint64_t(sourceY) * uint64_t(height);
    int y = int(position / uint64_t(sourceHeight));
    uint64_t boundary = uint64_t(y + 1) * uint64_t(sourceHeight);  // where new row y ends
    for (; sourceY < sourceHeight && y < last; ++sourceY) {
        const uint64_t end = position + uint64_t(height);
        const uint64_t inCurrent = end <= boundary ? uint64_t(height) : boundary - position;
        AddRow(source + sourceStride * size_t(sourceY), spans, width, float(inCurrent) * unit,
               float(uint64_t(height) - inCurrent) * unit, current, next);
        if (end >= boundary) {
            // New row y is complete. In place, it overwrites only source rows already read: it
            // ends at (y + 1) * width pixels, and the next source row starts at (sourceY + 1) *
            // sourceWidth, with sourceY >= y and sourceWidth >= width.
            if (y >= first) WriteRow(out + count * size_t(y), current, width);
            else memset(current, 0, sizeof(Values) * size_t(width));
            Values* done = current;
            current = next;
            next = done;
            ++y;
            boundary += uint64_t(sourceHeight);
        }
        position = end;
    }
    free(scratch);
    return true;
}

bool Shrinkable(int sourceWidth, int sourceHeight, int width, int height) {
    return width >= 1 && height >= 1 && width <= sourceWidth && height <= sourceHeight;
}

}  // namespace

bool ShrinkPicture(unsigned char* pixels, int sourceWidth, int sourceHeight, int width, int height) {
    if (!Shrinkable(sourceWidth, sourceHeight, width, height)) return false;
    if (width == sourceWidth && height == sourceHeight) return true;
    return ShrinkRows(pixels, sourceWidth, sourceHeight, pixels, width, height, 0, height);
}

bool ShrinkPictureInto(const unsigned char* source, int sourceWidth, int sourceHeight, unsigned char* out, int width,
                       int height, int threads) {
    if (!Shrinkable(sourceWidth, sourceHeight, width, height)) return false;
    if (threads < 1) threads = 1;
    if (threads > height) threads = height;
    // Bands of new rows, the first on this thread; a band whose thread does not start is done
    // here too.
    std::vector<std::thread> others;
    std::vector<char> done(size_t(threads), 0);
    auto band = [&](int i) {
        done[size_t(i)] = ShrinkRows(source, sourceWidth, sourceHeight, out, width, height,
                                     int(int64_t(height) * i / threads), int(int64_t(height) * (i + 1) / threads));
    };
    int started = 1;
    for (; started < threads; ++started) {
        try {
            others.emplace_back(band, started);
        } catch (const std::system_error&) {
            break;
        }
    }
    band(0);
    for (int i = started; i < threads; ++i) band(i);
    for (std::thread& other : others) other.join();
    for (char ok : done)
        if (!ok) return false;
    return true;
}
