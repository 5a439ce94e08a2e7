// make_paper: paints the default paper texture, a sheet of near-white rough watercolour paper,
// and writes it as a baseline JPEG (JFIF, YCbCr 4:2:0).
//
//   make_paper assets/paper.jpg [quality [fine tooth]]   (defaults 90 and 0.10: about 250 KB)
//
// Deterministic: the same build writes the same file. The sheet is a height field (rounded
// tooth at two scales, fine grain, a few scattered fibres) lit softly from the upper left, over
// a faintly mottled warm white. All noise is hashed from integer lattice points, so nothing
// repeats and the square has no seams or edges.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>
#include <stb_image_write.h>

static const int Size = 900;
static float FineTooth = 0.10f;

static uint32_t Hash(int x, int y, uint32_t seed) {
    uint32_t h = uint32_t(x) * 0x8da6b343u ^ uint32_t(y) * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 15;
    h *= 0x2c1b3c6du;
    h ^= h >> 12;
    h *= 0x297a2d39u;
    h ^= h >> 15;
    return h;
}

static float Unit(int x, int y, uint32_t seed) { return float(Hash(x, y, seed) & 0xffffff) / float(0xffffff); }

static float Smooth(float t) { return t * t * t * (t * (t * 6 - 15) + 10); }

// Value noise in [0, 1] with a smooth fade between lattice points.
static float Noise(float x, float y, uint32_t seed) {
    int ix = int(std::floor(x)), iy = int(std::floor(y));
    float fx = Smooth(x - ix), fy = Smooth(y - iy);
    float a = Unit(ix, iy, seed), b = Unit(ix + 1, iy, seed);
    float c = Unit(ix, iy + 1, seed), d = Unit(ix + 1, iy + 1, seed);
    return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy;
}

static float Fractal(float x, float y, float scale, int octaves, uint32_t seed) {
    float sum = 0, amplitude = 1, total = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += amplitude * Noise(x / scale, y / scale, seed + uint32_t(i) * 101u);
        total += amplitude;
        amplitude *= 0.5f;
        scale *= 0.5f;
    }
    return sum / total;
}

// Rounded mounds: one jittered point per cell, a soft dome around the nearest point.
static float Tooth(float x, float y, float cell, uint32_t seed) {
    float gx = x / cell, gy = y / cell;
    int cx = int(std::floor(gx)), cy = int(std::floor(gy));
    float nearest = 9;
    for (int j = -1; j <= 1; ++j) {
        for (int i = -1; i <= 1; ++i) {
            float px = cx + i + Unit(cx + i, cy + j, seed);
            float py = cy + j + Unit(cx + i, cy + j, seed + 7u);
            float d = (px - gx) * (px - gx) + (py - gy) * (py - gy);
            nearest = d < nearest ? d : nearest;
        }
    }
    return std::exp(-2.5f * nearest);
}

// Billowy noise: rounded lumps with creases between them, like pressed pulp.
static float Billow(float x, float y, float scale, int octaves, uint32_t seed) {
    float sum = 0, amplitude = 1, total = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += amplitude * std::fabs(2.0f * Noise(x / scale, y / scale, seed + uint32_t(i) * 131u) - 1.0f);
        total += amplitude;
        amplitude *= 0.55f;
        scale *= 0.5f;
    }
    return sum / total;
}

// Short curved fibres pressed into the sheet, as a height field change.
static void AddFibres(std::vector<float>& height, int count, uint32_t seed) {
    for (int n = 0; n < count; ++n) {
        float x = Unit(n, 1, seed) * Size, y = Unit(n, 2, seed) * Size;
        float angle = Unit(n, 3, seed) * 6.2831853f;
        float bend = (Unit(n, 4, seed) - 0.5f) * 0.08f;
        int length = 20 + int(Unit(n, 5, seed) * 70);
        float strength = (Unit(n, 6, seed) - 0.35f) * 0.10f;
        for (int step = 0; step < length; ++step) {
            int px = int(x), py = int(y);
            // Wrap around: a fibre near one side continues on the other, leaving no edge.
            px = (px % Size + Size) % Size;
            py = (py % Size + Size) % Size;
            float fade = std::sin(3.14159265f * step / length);
            height[size_t(py) * Size + px] += strength * fade;
            x += std::cos(angle);
            y += std::sin(angle);
            angle += bend + (Unit(n, 100 + step, seed) - 0.5f) * 0.15f;
        }
    }
}

static float Blur3(const std::vector<float>& field, int x, int y) {
    float sum = 0;
    for (int j = -1; j <= 1; ++j) {
        for (int i = -1; i <= 1; ++i) {
            int px = (x + i + Size) % Size, py = (y + j + Size) % Size;
            sum += field[size_t(py) * Size + px] * ((i == 0 ? 2 : 1) * (j == 0 ? 2 : 1));
        }
    }
    return sum / 16.0f;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: make_paper <output.jpg> [quality]\n");
        return 2;
    }
    int quality = argc > 2 ? atoi(argv[2]) : 90;
    if (argc > 3) FineTooth = float(atof(argv[3]));

    std::vector<float> height(size_t(Size) * Size);
    for (int y = 0; y < Size; ++y) {
        for (int x = 0; x < Size; ++x) {
            // A warp keeps the mounds from looking like a regular cell pattern.
            float wx = x + 14.0f * (Fractal(x, y, 40, 3, 11) - 0.5f);
            float wy = y + 14.0f * (Fractal(x, y, 40, 3, 12) - 0.5f);
            float lumps = Billow(wx, wy, 34, 4, 21);
            float tooth = Tooth(wx, wy, 13, 22);
            float grain = Fractal(x, y, 3, 2, 31);
            float cloud = Fractal(x, y, 160, 4, 41);
            height[size_t(y) * Size + x] = 0.50f * lumps + 0.28f * tooth + 0.18f * grain + 0.20f * cloud;
        }
    }
    AddFibres(height, 900, 51);

    std::vector<float> soft(height.size());
    for (int y = 0; y < Size; ++y) {
        for (int x = 0; x < Size; ++x) soft[size_t(y) * Size + x] = Blur3(height, x, y);
    }

    std::vector<unsigned char> rgb(size_t(Size) * Size * 3);
    for (int y = 0; y < Size; ++y) {
        for (int x = 0; x < Size; ++x) {
            auto at = [&](int px, int py) {
                return soft[size_t((py + Size) % Size) * Size + size_t((px + Size) % Size)];
            };
            // Light from the upper left, grazing just enough to lift the tooth.
            float dx = at(x + 1, y) - at(x - 1, y);
            float dy = at(x, y + 1) - at(x, y - 1);
            // Fine tooth, lit the same way but never blurred: the surface of the fibres.
            float fx = Fractal(x + 1, y, 1.7f, 2, 33) - Fractal(x - 1, y, 1.7f, 2, 33);
            float fy = Fractal(x, y + 1, 1.7f, 2, 33) - Fractal(x, y - 1, 1.7f, 2, 33);
            float shade = 1.0f - 0.55f * (dx + dy) - FineTooth * (fx + fy);
            // The valleys hold a little shadow of their own.
            shade -= 0.045f * (0.6f - at(x, y));
            float mottle = 0.012f * (Fractal(x, y, 60, 3, 61) - 0.5f);
            float speck = Unit(x, y, 71) > 0.9993f ? -0.05f * Unit(x, y, 72) : 0.0f;
            float light = shade + mottle + speck;
            const float base[3] = {244.0f, 241.5f, 235.0f};  // warm white
            for (int c = 0; c < 3; ++c) {
                float v =
                    base[c] * light + (Unit(x, y, 81) - 0.5f) * 4.0f + (Unit(x, y, 91 + uint32_t(c)) - 0.5f) * 1.5f;
                rgb[(size_t(y) * Size + x) * 3 + c] = (unsigned char)(v < 0 ? 0 : (v > 255 ? 255 : std::lround(v)));
            }
        }
    }
    if (!stbi_write_jpg(argv[1], Size, Size, 3, rgb.data(), quality)) {
        fprintf(stderr, "make_paper: could not write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
