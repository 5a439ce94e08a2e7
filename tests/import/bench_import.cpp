// bench_import: what a picture import costs. Writes a 24-megapixel JPEG (6000 x 4000, quality
// 90, 4:2:0), then prints the median of a few runs of
//   - the whole import: LoadDiffuseTexture (decode in the helper process + upload, glFinish),
//   - the helper's part alone: DecodePictureFile,
//   - stb_image decoding the same file in this process (stbi_load + stbi_image_free).
// Needs a display with OpenGL 3 (run it under tests/support/with-xvfb.sh when there is none).
//   bench_import [runs]
#include <SDL.h>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stb_image.h>
#include <stb_image_write.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "gl/gl_loader.h"
#include "picture/image_decoder.h"
#include "render/texture_import.h"

static double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

template <typename F>
static double MedianMs(int runs, F run) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        run();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return Median(times);
}

// A photograph-like test picture: smooth colour fields with texture, so the JPEG is of a
// realistic size (a flat picture would decode unrealistically fast).
static bool WritePicture(const char* path, int width, int height) {
    std::vector<unsigned char> rgb(size_t(width) * height * 3);
    unsigned state = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            int noise = int(state >> 27) - 16;
            unsigned char* p = &rgb[(size_t(y) * width + x) * 3];
            p[0] = (unsigned char)std::clamp(int(128 + 100 * std::sin(x * 0.003) * std::cos(y * 0.004)) + noise, 0, 255);
            p[1] = (unsigned char)std::clamp(int(128 + 90 * std::sin((x + y) * 0.002)) + noise, 0, 255);
            p[2] = (unsigned char)std::clamp(int(128 + 80 * std::cos(x * 0.0011 - y * 0.0023)) + noise, 0, 255);
        }
    }
    return stbi_write_jpg(path, width, height, 3, rgb.data(), 90) != 0;
}

int main(int argc, char** argv) {
    int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    char folder[] = "/tmp/bench_import.XXXXXX";
    if (!mkdtemp(folder)) return 1;
    std::string path = std::string(folder) + "/picture-24mp.jpg";
    if (!WritePicture(path.c_str(), 6000, 4000)) {
        fprintf(stderr, "bench_import: could not write %s\n", path.c_str());
        return 1;
    }

    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        fprintf(stderr, "bench_import: no display (%s)\n", SDL_GetError());
        return 1;
    }
    SDL_Window* window = SDL_CreateWindow("bench_import", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!context || LoadGLEntryPoints() != GL_LOADER_OK) {
        fprintf(stderr, "bench_import: no OpenGL 3 context (%s)\n", SDL_GetError());
        return 1;
    }

    LoadDiffuseTexture(path.c_str());  // warm-up: page cache, driver
    if (DiffuseWidth != 6000 || DiffuseHeight != 4000) {
        fprintf(stderr, "bench_import: the import failed\n");
        return 1;
    }
    double import = MedianMs(runs, [&] {
        LoadDiffuseTexture(path.c_str());
        glFinish();
    });
    double helper = MedianMs(runs, [&] {
        DecodedPicture picture;
        char reason[256];
        if (DecodePictureFile(path.c_str(), &picture, reason, sizeof reason)) ReleaseDecodedPicture(&picture);
    });
    double inProcess = MedianMs(runs, [&] {
        int w = 0, h = 0;
        stbi_image_free(stbi_load(path.c_str(), &w, &h, nullptr, 4));
    });

    printf("24-megapixel JPEG import (6000 x 4000, q90 4:2:0), median of %d, %s:\n", runs,
           reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    printf("  import (helper decode + upload)  %8.1f ms\n", import);
    printf("  helper decode alone              %8.1f ms\n", helper);
    printf("  stb_image in process             %8.1f ms\n", inProcess);

    GLuint texture = DiffuseTexture;
    glDeleteTextures(1, &texture);
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    unlink(path.c_str());
    rmdir(folder);
    return 0;
}
