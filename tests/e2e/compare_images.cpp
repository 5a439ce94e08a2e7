// compare_images: pixel comparisons of screenshots for the end-to-end tests of the preview.
//
//   compare_images same A B
//       A and B (any format stb_image reads) pixel by pixel, RGB. Prints "differ=N" (N pixels
//       differ; -1 when the sizes differ).
//   compare_images original SHOT PICTURE LEFT TOP WIDTH HEIGHT SKIP_TOP
//       SHOT against PICTURE scaled bilinearly, edges clamped, into the drawn area LEFT, TOP,
//       WIDTH x HEIGHT (TOP from the top), black outside it; rows above SKIP_TOP are not
//       compared. Prints "inside=N outside=M worst=D": the pixels off by more than 2 steps in
//       any channel inside and outside the drawn area, and the largest difference.
// Exits 0, or 2 when it cannot read its inputs.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/e2e/read_picture.h"
#include "tests/render/brush_reference.h"

static const uint8_t* At(const Picture& p, int x, int y) { return &p.Texels[(size_t(y) * p.Width + x) * 4]; }

int main(int argc, char** argv) {
    if (argc == 4 && strcmp(argv[1], "same") == 0) {
        Picture a, b;
        if (!ReadPicture("compare_images", argv[2], a) || !ReadPicture("compare_images", argv[3], b)) return 2;
        if (a.Width != b.Width || a.Height != b.Height) {
            printf("differ=-1\n");
            return 0;
        }
        long differ = 0;
        for (int y = 0; y < a.Height; ++y)
            for (int x = 0; x < a.Width; ++x) differ += memcmp(At(a, x, y), At(b, x, y), 3) != 0;
        printf("differ=%ld\n", differ);
        return 0;
    }
    if (argc == 9 && strcmp(argv[1], "original") == 0) {
        Picture shot, picture;
        if (!ReadPicture("compare_images", argv[2], shot) || !ReadPicture("compare_images", argv[3], picture)) return 2;
        const int left = atoi(argv[4]), top = atoi(argv[5]), width = atoi(argv[6]), height = atoi(argv[7]);
        const int skipTop = atoi(argv[8]);
        long inside = 0, outside = 0;
        int worst = 0;
        for (int y = skipTop; y < shot.Height; ++y)
            for (int x = 0; x < shot.Width; ++x) {
                const int column = x - left, row = y - top;
                const bool drawn = column >= 0 && column < width && row >= 0 && row < height;
                const Rgba want =
                    drawn ? SampleLinearClamp(picture, (column + 0.5) / width, (row + 0.5) / height) : Rgba{0, 0, 0, 1};
                const int channels[3] = {ToUnorm8(want.R), ToUnorm8(want.G), ToUnorm8(want.B)};
                int d = 0;
                for (int i = 0; i < 3; ++i) d = std::max(d, std::abs(int(At(shot, x, y)[i]) - channels[i]));
                worst = std::max(worst, d);
                if (d > 2) ++(drawn ? inside : outside);
            }
        printf("inside=%ld outside=%ld worst=%d\n", inside, outside, worst);
        return 0;
    }
    fprintf(stderr, "usage: compare_images same A B | original SHOT PICTURE LEFT TOP WIDTH HEIGHT SKIP_TOP\n");
    return 2;
}
