#include "tests/picture/test_pictures.h"

#include <stb_image.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>

std::vector<unsigned char> MakeTestPicture(int width, int height, int channels, unsigned seed) {
    std::vector<unsigned char> pixels((size_t)width * height * channels);
    unsigned state = seed * 2654435761u + 1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            int grain = (int)(state >> 28) - 8;  // the paper's fine grain
            // A coloured stroke across the picture: a hard edge in every channel.
            bool stroke = ((x * 3 + y * 2 + (int)seed) / 29) % 4 == 0;
            double u = (double)x / width, v = (double)y / height;
            int r = stroke ? 200 : (int)(120 + 90 * std::sin(6.0 * u + seed));
            int g = stroke ? 40 : (int)(110 + 80 * std::cos(5.0 * v + 0.5 * seed));
            int b = stroke ? 60 : (int)(100 + 70 * std::sin(4.0 * (u + v)));
            unsigned char* p = &pixels[((size_t)y * width + x) * channels];
            int values[3] = {r + grain, g + grain, b + grain};
            for (int c = 0; c < 3; ++c) p[c] = (unsigned char)(values[c] < 0 ? 0 : values[c] > 255 ? 255 : values[c]);
            if (channels == 4) p[3] = (unsigned char)(state >> 20);
        }
    }
    return pixels;
}

std::vector<unsigned char> RgbOf(const std::vector<unsigned char>& pixels, int channels) {
    if (channels == 3) return pixels;
    std::vector<unsigned char> rgb;
    rgb.reserve(pixels.size() / 4 * 3);
    for (size_t i = 0; i < pixels.size(); i += 4) rgb.insert(rgb.end(), &pixels[i], &pixels[i] + 3);
    return rgb;
}

bool DecodeWithStb(const std::vector<unsigned char>& file, std::vector<unsigned char>* rgb, int* width, int* height) {
    int components = 0;
    unsigned char* data = stbi_load_from_memory(file.data(), (int)file.size(), width, height, &components, 3);
    if (!data) return false;
    rgb->assign(data, data + (size_t)*width * *height * 3);
    stbi_image_free(data);
    return true;
}

std::vector<unsigned char> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), (std::streamsize)bytes.size());
}

double Psnr(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) sum += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
    double mse = sum / (double)a.size();
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

int MaxDifference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}
