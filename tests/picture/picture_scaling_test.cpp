// Scaling a picture down to fit the largest texture: the sizes keep the aspect, and the pixels,
// shrunk where they lie or in bands into another buffer, are the area averages that a plain double-precision integration over
// each new pixel's footprint gives, rounded.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "picture/picture_scaling.h"

namespace {

typedef std::vector<unsigned char> Bytes;

// The area average of the source under new pixel (x, y), channel c: each source pixel weighs
// as much of it as the new pixel's footprint covers.
double Reference(const Bytes& source, int sourceWidth, int sourceHeight, int width, int height, int x, int y, int c) {
    const double x0 = double(x) * sourceWidth / width, x1 = double(x + 1) * sourceWidth / width;
    const double y0 = double(y) * sourceHeight / height, y1 = double(y + 1) * sourceHeight / height;
    double sum = 0;
    for (int sy = int(std::floor(y0)); sy < int(std::ceil(y1)) && sy < sourceHeight; ++sy) {
        const double coverY = std::min(sy + 1.0, y1) - std::max(double(sy), y0);
        for (int sx = int(std::floor(x0)); sx < int(std::ceil(x1)) && sx < sourceWidth; ++sx) {
            const double coverX = std::min(sx + 1.0, x1) - std::max(double(sx), x0);
            sum += coverX * coverY * source[(size_t(sy) * sourceWidth + sx) * 4 + c];
        }
    }
    return sum / ((x1 - x0) * (y1 - y0));
}

Bytes Noise(int width, int height, unsigned seed) {
    Bytes pixels(size_t(width) * height * 4);
    for (unsigned char& p : pixels) {
        seed = seed * 1664525u + 1013904223u;
        p = (unsigned char)(seed >> 24);
    }
    return pixels;
}

}  // namespace

TEST(FitInside, KeepsTheAspectAndNeverRoundsASideToNothing) {
    struct Case {
        int Width, Height, Largest, FitWidth, FitHeight;
        bool Scaled;
    } cases[] = {
        {1048576, 1, 16384, 16384, 1, true},
        {1, 1048576, 16384, 1, 16384, true},
        {16777216, 1, 16384, 16384, 1, true},
        {20000, 13421, 16384, 16384, 10994, true},
        {16384, 16385, 16384, 16383, 16384, true},
        {26802, 9869, 16384, 16384, 6033, true},
        {3, 100000, 16384, 1, 16384, true},
        {16384, 16384, 16384, 16384, 16384, false},
        {800, 600, 16384, 800, 600, false},
        {70000, 70000, 0, 70000, 70000, false},
        {5, 3, 4, 4, 2, true},  // 2.4 rounds to 2
        {5, 4, 4, 4, 3, true},  // 3.2 rounds to 3
        {8, 5, 4, 4, 3, true},  // 2.5 rounds up
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Width << " x " << c.Height << " in " << c.Largest);
        int width = -1, height = -1;
        EXPECT_EQ(c.Scaled, FitInside(c.Width, c.Height, c.Largest, &width, &height));
        EXPECT_EQ(c.FitWidth, width);
        EXPECT_EQ(c.FitHeight, height);
    }
}

// Every shape of reduction: integer and fractional factors, one axis or both, by one pixel or
// down to one, each against the floating-point integration, shrunk in the caller's own buffer.
TEST(ShrinkPicture, GivesTheAreaAverageOfEveryNewPixel) {
    struct Shape {
        int SourceWidth, SourceHeight, Width, Height;
    } shapes[] = {
        {8, 8, 4, 4},    {7, 5, 3, 2},   {100, 1, 7, 1},  {1, 100, 1, 9}, {17, 13, 16, 13}, {13, 17, 13, 16},
        {64, 64, 64, 1}, {64, 64, 1, 1}, {31, 29, 30, 2}, {5, 5, 5, 5},   {255, 3, 254, 3}, {40, 90, 11, 37},
    };
    unsigned seed = 1;
    for (const Shape& s : shapes) {
        SCOPED_TRACE(testing::Message() << s.SourceWidth << " x " << s.SourceHeight << " -> " << s.Width << " x "
                                        << s.Height);
        const Bytes source = Noise(s.SourceWidth, s.SourceHeight, seed++);
        Bytes pixels = source;
        ASSERT_TRUE(ShrinkPicture(pixels.data(), s.SourceWidth, s.SourceHeight, s.Width, s.Height));
        pixels.resize(size_t(s.Width) * s.Height * 4);
        // In bands of rows into another buffer, on as many threads as asked (more than rows too),
        // the band edges anywhere: the same bytes.
        for (int threads : {1, 2, 3, 40}) {
            Bytes banded(pixels.size(), 7);
            ASSERT_TRUE(ShrinkPictureInto(source.data(), s.SourceWidth, s.SourceHeight, banded.data(), s.Width,
                                          s.Height, threads));
            ASSERT_EQ(pixels, banded) << threads << " threads";
        }
        for (int y = 0; y < s.Height; ++y) {
            for (int x = 0; x < s.Width; ++x) {
                for (int c = 0; c < 4; ++c) {
                    const double expected =
                        Reference(source, s.SourceWidth, s.SourceHeight, s.Width, s.Height, x, y, c);
                    const int got = pixels[(size_t(y) * s.Width + x) * 4 + c];
                    // Rounded to the nearest; a value within single precision of a half may
                    // go either way.
                    ASSERT_LE(std::fabs(got - expected), 0.5 + 1e-3) << "pixel " << x << "," << y << " channel " << c;
                }
            }
        }
    }
}

TEST(ShrinkPicture, FlatAreasStayExactlyFlatAndEdgesStaySharpAtWholeFactors) {
    // Left half one colour, right half another: at a whole factor no new pixel straddles the edge.
    const int sourceWidth = 1024, sourceHeight = 6, width = 256, height = 3;
    Bytes pixels(size_t(sourceWidth) * sourceHeight * 4);
    for (int y = 0; y < sourceHeight; ++y) {
        for (int x = 0; x < sourceWidth; ++x) {
            unsigned char* p = &pixels[(size_t(y) * sourceWidth + x) * 4];
            const bool right = x >= sourceWidth / 2;
            p[0] = right ? 200 : 13, p[1] = right ? 7 : 250, p[2] = 99, p[3] = right ? 255 : 0;
        }
    }
    ASSERT_TRUE(ShrinkPicture(pixels.data(), sourceWidth, sourceHeight, width, height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = &pixels[(size_t(y) * width + x) * 4];
            const bool right = x >= width / 2;
            ASSERT_EQ(right ? 200 : 13, p[0]) << x << "," << y;
            ASSERT_EQ(right ? 7 : 250, p[1]) << x << "," << y;
            ASSERT_EQ(99, p[2]);
            ASSERT_EQ(right ? 255 : 0, p[3]);
        }
    }
}

TEST(ShrinkPicture, RefusesToGrowAndLeavesTheSameSizeAlone) {
    Bytes pixels = Noise(4, 4, 7);
    const Bytes before = pixels;
    EXPECT_FALSE(ShrinkPicture(pixels.data(), 4, 4, 5, 4));
    EXPECT_FALSE(ShrinkPicture(pixels.data(), 4, 4, 4, 0));
    EXPECT_TRUE(ShrinkPicture(pixels.data(), 4, 4, 4, 4));
    EXPECT_EQ(before, pixels);
}
