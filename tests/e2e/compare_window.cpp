// compare_window: checks a screenshot of the program's window against the brush filter computed
// on the CPU, for the end-to-end tests.
//
//   compare_window SHOT PICTURE PAPER LEFT TOP WIDTH HEIGHT OPACITY STROKE BACKGROUND SKIP_TOP
//
// SHOT is the window's client area (any format stb_image reads), PICTURE and PAPER the image
// files the program was given. LEFT, TOP, WIDTH, HEIGHT: the drawn area in window pixels, TOP
// counted from the top. Rows above SKIP_TOP (the menu bar) are not compared. Inside the drawn
// area a pixel must match one of the reference's outcomes within 2 steps per channel; outside
// it must be black within 2 steps. Prints one line:
//   inside=N outside=M worst=D box=X0,Y0,X1,Y1
// N and M count the pixels off inside and outside the drawn area, D is the largest difference
// seen, and the box the smallest rectangle holding every pixel off ("-" when none is).
// and exits 0; it exits 2 when it cannot read its inputs.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tests/e2e/read_picture.h"
#include "tests/render/brush_reference.h"

int main(int argc, char** argv) {
    if (argc != 12) {
        fprintf(stderr,
                "usage: compare_window SHOT PICTURE PAPER LEFT TOP WIDTH HEIGHT OPACITY STROKE BACKGROUND "
                "SKIP_TOP\n");
        return 2;
    }
    Picture shot, picture, paper;
    if (!ReadPicture("compare_window", argv[1], shot) || !ReadPicture("compare_window", argv[2], picture) ||
        !ReadPicture("compare_window", argv[3], paper))
        return 2;
    const int left = atoi(argv[4]), top = atoi(argv[5]), width = atoi(argv[6]), height = atoi(argv[7]);
    const ReferenceParameters parameters{atof(argv[8]), atof(argv[9]), atof(argv[10])};
    const int skipTop = atoi(argv[11]);

    const int tolerance = 2;
    // Between texel centres a GL's filtering may tip a near tie of the smear either way.
    const bool oneToOne = width == picture.Width && height == picture.Height;
    const double tieMargin = oneToOne ? 0.0 : 2.0 / 255;
    int inside = 0, outside = 0, worst = 0;
    int x0 = shot.Width, y0 = shot.Height, x1 = -1, y1 = -1;
    for (int y = skipTop; y < shot.Height; ++y) {
        for (int x = 0; x < shot.Width; ++x) {
            const uint8_t* got = &shot.Texels[(size_t(y) * shot.Width + x) * 4];
            const int column = x - left, row = y - top;
            std::vector<Rgba> outcomes = {Rgba{0, 0, 0, 1}};
            const bool drawn = column >= 0 && column < width && row >= 0 && row < height;
            if (drawn)
                outcomes =
                    ReferenceBrushPixelOutcomes(picture, paper, width, height, column, row, parameters, tieMargin);
            int difference = 256;
            int nearest[3] = {};
            for (const Rgba& c : outcomes) {
                const int want[3] = {ToUnorm8(c.R), ToUnorm8(c.G), ToUnorm8(c.B)};
                int d = 0;
                for (int i = 0; i < 3; ++i) d = std::max(d, std::abs(int(got[i]) - want[i]));
                if (d < difference) std::copy_n(want, 3, nearest);
                difference = std::min(difference, d);
            }
            worst = std::max(worst, difference);
            if (difference > tolerance) {
                // The first few go to the error stream, for the test's log.
                if (inside + outside < 5)
                    fprintf(stderr, "pixel (%d, %d) is (%d, %d, %d), the reference (%d, %d, %d)\n", x, y, got[0],
                            got[1], got[2], nearest[0], nearest[1], nearest[2]);
                ++(drawn ? inside : outside);
                x0 = std::min(x0, x);
                y0 = std::min(y0, y);
                x1 = std::max(x1, x);
                y1 = std::max(y1, y);
            }
        }
    }
    if (inside + outside)
        printf("inside=%d outside=%d worst=%d box=%d,%d,%d,%d\n", inside, outside, worst, x0, y0, x1, y1);
    else printf("inside=0 outside=0 worst=%d box=-\n", worst);
    return 0;
}
