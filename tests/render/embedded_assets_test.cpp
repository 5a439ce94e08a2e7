// The built-in paper and font: the bytes in the program are the files they were made from, and
// the paper is what the filter expects (a 900 x 900 baseline JPEG of near-white paper).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <stb_image.h>

#include "tests/picture/import_test_files.h"
#include "render/embedded_assets.h"

TEST(EmbeddedAssets, BytesEqualTheirSourceFiles) {
    EXPECT_EQ(ReadBytes(PAPER_FILE), Bytes(DefaultFilterData, DefaultFilterData + DefaultFilterDataSize));
    EXPECT_EQ(ReadBytes(FONT_FILE), Bytes(UIFontData, UIFontData + UIFontDataSize));
    // A TrueType font starts with version 1.0 and has glyph outlines.
    ASSERT_GT(UIFontDataSize, 12);
    EXPECT_EQ(Bytes({0, 1, 0, 0}), Bytes(UIFontData, UIFontData + 4));
    EXPECT_NE(std::string::npos, std::string(UIFontData, UIFontData + UIFontDataSize).find("glyf"));
}

TEST(EmbeddedAssets, PaperIsABaselineJfifJpegOfNearWhitePaper) {
    const unsigned char* d = DefaultFilterData;
    const int n = DefaultFilterDataSize;
    EXPECT_GT(n, 150 * 1000);
    EXPECT_LT(n, 350 * 1000);
    // SOI, then the JFIF 1.01 marker segment.
    ASSERT_EQ(Bytes({0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1}), Bytes(d, d + 13));
    // Walk the marker segments up to the frame header: baseline (SOF0), 8 bits, 3 components,
    // luma 2 x 2, both chroma 1 x 1.
    int at = 2;
    while (at + 4 < n && d[at] == 0xff && d[at + 1] != 0xc0) {
        ASSERT_NE(0xc2, d[at + 1]) << "progressive";
        at += 2 + (d[at + 2] << 8 | d[at + 3]);
    }
    ASSERT_LT(at + 18, n);
    ASSERT_EQ(0xc0, d[at + 1]);
    EXPECT_EQ(8, d[at + 4]);
    EXPECT_EQ(900, d[at + 5] << 8 | d[at + 6]);
    EXPECT_EQ(900, d[at + 7] << 8 | d[at + 8]);
    ASSERT_EQ(3, d[at + 9]);
    EXPECT_EQ(0x22, d[at + 11]);
    EXPECT_EQ(0x11, d[at + 14]);
    EXPECT_EQ(0x11, d[at + 17]);

    int width = 0, height = 0;
    unsigned char* pixels = stbi_load_from_memory(d, n, &width, &height, nullptr, 4);
    ASSERT_NE(nullptr, pixels);
    ASSERT_EQ(900, width);
    ASSERT_EQ(900, height);
    // Near white and evenly lit: every 100 x 100 block has about the same brightness, and there is
    // grain (no flat areas) but no dark marks.
    double blockMin = 255, blockMax = 0;
    int darkest = 255;
    for (int by = 0; by < 9; ++by) {
        for (int bx = 0; bx < 9; ++bx) {
            double sum = 0, sumSquares = 0;
            for (int y = by * 100; y < by * 100 + 100; ++y) {
                for (int x = bx * 100; x < bx * 100 + 100; ++x) {
                    const unsigned char* p = pixels + (size_t(y) * width + x) * 4;
                    double luma = 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2];
                    sum += luma;
                    sumSquares += luma * luma;
                    darkest = std::min(darkest, int(luma));
                }
            }
            double mean = sum / 10000, deviation = std::sqrt(sumSquares / 10000 - mean * mean);
            blockMin = std::min(blockMin, mean);
            blockMax = std::max(blockMax, mean);
            EXPECT_GT(deviation, 3.0) << "block " << bx << "," << by << " has no grain";
        }
    }
    EXPECT_GT(blockMin, 225.0);
    EXPECT_LT(blockMax - blockMin, 4.0) << "unevenly lit";
    EXPECT_GT(darkest, 150);
    stbi_image_free(pixels);
}
