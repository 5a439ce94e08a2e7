// The fit of the picture into the window: single precision, truncation toward zero.
#include <gtest/gtest.h>

#include "render/brush_filter.h"

static void ExpectViewport(int windowW, int windowH, int pictureW, int pictureH, BrushViewport expected) {
    const BrushViewport v = ComputeBrushViewport(windowW, windowH, pictureW, pictureH);
    EXPECT_EQ(v.X, expected.X);
    EXPECT_EQ(v.Y, expected.Y);
    EXPECT_EQ(v.Width, expected.Width);
    EXPECT_EQ(v.Height, expected.Height);
}

TEST(BrushViewport, FitsAndCentresThePicture) {
    SCOPED_TRACE("no picture yet: the 800 x 600 default fills the start window exactly");
    ExpectViewport(800, 600, 800, 600, {0, 0, 800, 600});
    ExpectViewport(1000, 600, 800, 600, {100, 0, 800, 600});
    // scale 1.28
    ExpectViewport(1366, 768, 800, 600, {171, 0, 1024, 768});
    // both scales are the same float: the vertical one is taken, the picture fills the window
    ExpectViewport(1280, 720, 1920, 1080, {0, 0, 1280, 720});
    // a tall window: bars above and below
    ExpectViewport(800, 1000, 800, 600, {0, 200, 800, 600});
}

TEST(BrushViewport, OddSpareColumnGoesRightAndOddSpareRowGoesUp) {
    ExpectViewport(801, 600, 800, 600, {0, 0, 800, 600});
    // 67 spare rows: 33 below the picture (y counts from the bottom), 34 above
    ExpectViewport(100, 100, 3, 1, {0, 33, 100, 33});
}

TEST(BrushViewport, SinglePrecisionTruncatesOneRowShort) {
    // 999/7 in single precision times 7 lands just under 999 and truncates to 998.
    ExpectViewport(999, 999, 3, 7, {285, 0, 428, 998});
}

TEST(BrushViewport, OnePixelPictureMeetsTheShorterSide) {
    ExpectViewport(30, 20, 1, 1, {5, 0, 20, 20});
    ExpectViewport(20, 30, 1, 1, {0, 5, 20, 20});
}

TEST(BrushViewport, EmptyWindowOrPictureGivesAnEmptyArea) {
    const BrushViewport zeroWidth = ComputeBrushViewport(0, 600, 800, 600);
    EXPECT_EQ(zeroWidth.Width, 0);
    EXPECT_EQ(zeroWidth.Height, 0);
    const BrushViewport zeroHeight = ComputeBrushViewport(800, 0, 800, 600);
    EXPECT_EQ(zeroHeight.Width, 0);
    EXPECT_EQ(zeroHeight.Height, 0);
    // A picture without a size must not divide by zero (the sanitizer build would object).
    const BrushViewport noPicture = ComputeBrushViewport(800, 600, 0, 0);
    EXPECT_EQ(noPicture.Width, 0);
    EXPECT_EQ(noPicture.Height, 0);
}

TEST(BrushViewport, LargeWindowsAndPicturesStayInside) {
    // Sweep sizes: the drawn area never leaves the window and always touches two opposite sides
    // but for the one row or column that truncation may lose.
    const int pictures[][2] = {{1, 1}, {3, 7}, {7, 3}, {800, 600}, {1920, 1080}, {6000, 4000}, {16384, 1}};
    for (const auto& picture : pictures) {
        for (int w = 1; w <= 4097; w += 97) {
            for (int h = 1; h <= 2161; h += 113) {
                const BrushViewport v = ComputeBrushViewport(w, h, picture[0], picture[1]);
                ASSERT_GE(v.X, 0);
                ASSERT_GE(v.Y, 0);
                ASSERT_LE(v.X + v.Width, w);
                ASSERT_LE(v.Y + v.Height, h);
                const bool fillsWidth = v.Width >= w - 1;
                const bool fillsHeight = v.Height >= h - 1;
                ASSERT_TRUE(fillsWidth || fillsHeight)
                    << "window " << w << "x" << h << " picture " << picture[0] << "x" << picture[1];
                // centred: the spare on either side differs by at most one
                ASSERT_GE(w - v.Width - 2 * v.X, 0);
                ASSERT_LE(w - v.Width - 2 * v.X, 1);
                ASSERT_GE(h - v.Height - 2 * v.Y, 0);
                ASSERT_LE(h - v.Height - 2 * v.Y, 1);
            }
        }
    }
}
