#include "brush_reference.h"

#include <algorithm>
#include <cmath>

void Picture::Set(int x, int y, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    uint8_t* texel = &Texels[(size_t(y) * Width + x) * 4];
    texel[0] = r;
    texel[1] = g;
    texel[2] = b;
    texel[3] = a;
}

Picture MakePicture(int width, int height, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    Picture picture;
    picture.Width = width;
    picture.Height = height;
    picture.Texels.resize(size_t(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) picture.Set(x, y, r, g, b, a);
    return picture;
}

static Rgba Texel(const Picture& picture, int x, int y, bool clamp = false) {
    if (clamp) {
        x = std::clamp(x, 0, picture.Width - 1);
        y = std::clamp(y, 0, picture.Height - 1);
    }
    // Repeat: indices wrap to the opposite border.
    x = ((x % picture.Width) + picture.Width) % picture.Width;
    y = ((y % picture.Height) + picture.Height) % picture.Height;
    const uint8_t* texel = &picture.Texels[(size_t(y) * picture.Width + x) * 4];
    return Rgba{texel[0] / 255.0, texel[1] / 255.0, texel[2] / 255.0, texel[3] / 255.0};
}

static Rgba Add(Rgba a, Rgba b) { return Rgba{a.R + b.R, a.G + b.G, a.B + b.B, a.A + b.A}; }
static Rgba Scale(Rgba a, double k) { return Rgba{a.R * k, a.G * k, a.B * k, a.A * k}; }
static Rgba Sub(Rgba a, Rgba b) { return Add(a, Scale(b, -1.0)); }

static Rgba SampleLinear(const Picture& picture, double s, double t, bool clamp) {
    if (picture.Width == 0 || picture.Height == 0) return Rgba{0, 0, 0, 1};
    // Texel centres sit at half-integers: the four nearest centres, weighted by distance.
    const double u = s * picture.Width - 0.5;
    const double v = t * picture.Height - 0.5;
    const double u0 = std::floor(u), v0 = std::floor(v);
    const double fu = u - u0, fv = v - v0;
    const int x = int(u0), y = int(v0);
    // a + f * (b - a): equal texels give exactly their own value, so samples of equal colour
    // tie in the smear as they do in the GL.
    auto lerp = [](Rgba a, Rgba b, double f) { return Add(a, Scale(Sub(b, a), f)); };
    const Rgba top = lerp(Texel(picture, x, y, clamp), Texel(picture, x + 1, y, clamp), fu);
    const Rgba bottom = lerp(Texel(picture, x, y + 1, clamp), Texel(picture, x + 1, y + 1, clamp), fu);
    return lerp(top, bottom, fv);
}

Rgba SampleLinearRepeat(const Picture& picture, double s, double t) { return SampleLinear(picture, s, t, false); }
Rgba SampleLinearClamp(const Picture& picture, double s, double t) { return SampleLinear(picture, s, t, true); }

static double Luma(Rgba c) { return std::sqrt(0.299 * c.R * c.R + 0.587 * c.G * c.G + 0.114 * c.B * c.B); }

std::vector<Rgba> ReferenceBrushPixelOutcomes(const Picture& picture, const Picture& paper, int drawnWidth,
                                              int drawnHeight, int column, int row, const ReferenceParameters& p,
                                              double tieMargin) {
    // Picture coordinates of the pixel centre, y growing down; one step is one drawn pixel.
    return ReferenceBrushOutcomesAt(picture, paper, (column + 0.5) / drawnWidth, (row + 0.5) / drawnHeight,
                                    1.0 / drawnWidth, 1.0 / drawnHeight, p, tieMargin);
}

std::vector<Rgba> ReferenceBrushOutcomesAt(const Picture& picture, const Picture& paper, double x, double y,
                                           double stepX, double stepY, const ReferenceParameters& p, double tieMargin) {
    auto at = [&](double cx, double cy, int dx, int dy) {
        return SampleLinearRepeat(picture, cx + dx * stepX, cy + dy * stepY);
    };

    const Rgba color = at(x, y, 0, 0);

    // Smear: the brightest neighbour wins; an equally bright later one does not.
    const int offsets[7][2] = {{0, 0}, {0, 4}, {-3, 2}, {3, 2}, {0, -4}, {-3, -4}, {3, 4}};
    Rgba samples[7];
    for (int i = 0; i < 7; ++i) samples[i] = at(x, y, offsets[i][0], offsets[i][1]);
    int winner = 0;
    for (int i = 1; i < 7; ++i)
        if (Luma(samples[i]) > Luma(samples[winner])) winner = i;
    std::vector<Rgba> brushes = {samples[winner]};
    for (int i = 0; i < 7; ++i)
        if (i != winner && Luma(samples[i]) >= Luma(samples[winner]) - tieMargin) brushes.push_back(samples[i]);

    // Sobel around the point four rows up; k[row][column] with row and column in -1..1.
    const double cy = y - 4 * stepY;
    Rgba k[3][3];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) k[r][c] = at(x, cy, c - 1, r - 1);
    const Rgba left = Add(Add(k[0][0], Scale(k[1][0], 2)), k[2][0]);
    const Rgba right = Add(Add(k[0][2], Scale(k[1][2], 2)), k[2][2]);
    const Rgba upper = Add(Add(k[0][0], Scale(k[0][1], 2)), k[0][2]);
    const Rgba lower = Add(Add(k[2][0], Scale(k[2][1], 2)), k[2][2]);
    const Rgba h = Sub(right, left), v = Sub(upper, lower);
    const double edgeR = std::hypot(h.R, v.R), edgeG = std::hypot(h.G, v.G), edgeB = std::hypot(h.B, v.B);
    const double edgeCoeff = 1.0 - std::sqrt(edgeR * edgeG * edgeB);

    // The three mixes in closed form, then the multiply towards the paper.
    const double smear = p.Opacity * (1.0 - p.StrokeCoeff + p.StrokeCoeff * edgeCoeff);
    const Rgba paperColor = SampleLinearRepeat(paper, x, y);
    const double g = p.BackgroundCoeff;
    std::vector<Rgba> outcomes;
    for (const Rgba& brush : brushes) {
        const Rgba stroked = Add(color, Scale(Sub(brush, color), smear));
        outcomes.push_back(Rgba{stroked.R * (1 - g + g * paperColor.R), stroked.G * (1 - g + g * paperColor.G),
                                stroked.B * (1 - g + g * paperColor.B), stroked.A * (1 - g + g * paperColor.A)});
    }
    return outcomes;
}

uint8_t ToUnorm8(double value) { return uint8_t(std::lround(std::clamp(value, 0.0, 1.0) * 255.0)); }
