// bench_photo_import: what importing a photo costs, format by format, beside the baseline of
// stb_image decoding the same JPEG in this process plus its upload. Makes, with ImageMagick and
// heif-enc, a 24-megapixel photo-like picture as JPEG (quality 92, ImageMagick's default
// sampling), HEIC and 16-bit TIFF (Deflate), then a 20000 x 15000 JPEG (quality 92, stb_image_write's), and prints
// the median of a few whole imports of each (LoadDiffuseTexture: decode in the helper + upload,
// glFinish). Needs a display with OpenGL 3 (tests/support/with-xvfb.sh) and the tools.
//   bench_photo_import [runs]
#include <SDL.h>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stb_image.h>
#include <stb_image_write.h>
#include <string>
#include <sys/resource.h>
#include <vector>

#include "gl/gl_loader.h"
#include "picture/image_decoder.h"
#include "render/texture_import.h"
#include "render/texture_slots.h"
#include "tests/support/bench_timing.h"

// Smooth colour fields with grain, as a photograph has: RGB rows.
static std::vector<unsigned char> SourcePixels(int width, int height) {
    std::vector<unsigned char> pixels(size_t(width) * height * 3);
    unsigned state = 12345;
    for (int y = 0; y < height; ++y) {
        unsigned char* row = &pixels[size_t(y) * width * 3];
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = int(state >> 27) - 16;
            unsigned char* p = &row[size_t(x) * 3];
            p[0] =
                (unsigned char)std::clamp(int(128 + 100 * std::sin(x * 0.003) * std::cos(y * 0.004)) + noise, 0, 255);
            p[1] = (unsigned char)std::clamp(int(128 + 90 * std::sin((x + y) * 0.002)) + noise, 0, 255);
            p[2] = (unsigned char)std::clamp(int(128 + 80 * std::cos(x * 0.0011 - y * 0.0023)) + noise, 0, 255);
        }
    }
    return pixels;
}

static bool WriteSource(const std::string& path, int width, int height) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) return false;
    fprintf(file, "P6\n%d %d\n255\n", width, height);
    const std::vector<unsigned char> pixels = SourcePixels(width, height);
    fwrite(pixels.data(), 1, pixels.size(), file);
    return fclose(file) == 0;
}

template <typename F>
static void MedianWallAndCpu(int runs, F run, double* wall, double* cpu) {
    std::vector<double> walls;
    *cpu = MedianCpuMs(runs, [&] { walls.push_back(TimedMs(run)); });
    *wall = Median(walls);
}

static bool Shell(const std::string& command) { return system((command + " >/dev/null 2>&1").c_str()) == 0; }

// Wall and CPU milliseconds of an import; false when it failed.
static bool Import(int runs, const std::string& path, int* width, int* height, double* wall, double* cpu) {
    ImportOutcome first = LoadDiffuseTexture(path.c_str());  // warm-up: page cache, driver
    if (!first.Done) return false;
    *width = DiffuseWidth, *height = DiffuseHeight;
    MedianWallAndCpu(
        runs,
        [&] {
            LoadDiffuseTexture(path.c_str());
            glFinish();
        },
        wall, cpu);
    return true;
}

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    char folder[] = "/tmp/bench_photo_import.XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::string base = folder, source = base + "/source.ppm", jpeg = base + "/photo.jpg",
                      heic = base + "/photo.heic", tiff = base + "/photo.tif", huge = base + "/huge.jpg";
    if (!WriteSource(source, 6000, 4000) || !Shell("convert " + source + " -quality 92 " + jpeg) ||
        !Shell("convert " + source + " -depth 16 -compress Zip " + tiff) ||
        !Shell("convert " + source + " " + base + "/source.png") ||
        !Shell("heif-enc -q 90 " + base + "/source.png -o " + heic)) {
        fprintf(stderr, "bench_photo_import: could not make the samples (ImageMagick, heif-enc)\n");
        return 1;
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        fprintf(stderr, "bench_photo_import: no display (%s)\n", SDL_GetError());
        return 1;
    }
    SDL_Window* window = SDL_CreateWindow("bench_photo_import", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!context || LoadGLEntryPoints() != GL_LOADER_OK) {
        fprintf(stderr, "bench_photo_import: no OpenGL 3 context (%s)\n", SDL_GetError());
        return 1;
    }

    // The baseline: stb_image in this process, then the same upload an import makes.
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    auto stbAndUpload = [&] {
        int w = 0, h = 0;
        unsigned char* pixels = stbi_load(jpeg.c_str(), &w, &h, nullptr, 4);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
        glFinish();
        stbi_image_free(pixels);
    };
    stbAndUpload();
    double baseline = 0, baselineCpu = 0;
    MedianWallAndCpu(runs, stbAndUpload, &baseline, &baselineCpu);
    const double stbAlone = MedianMs(runs, [&] {
        int w = 0, h = 0;
        stbi_image_free(stbi_load(jpeg.c_str(), &w, &h, nullptr, 4));
    });
    glDeleteTextures(1, &texture);

    printf("24-megapixel photo imports (6000 x 4000), median of %d, %s:\n", runs,
           reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    printf("                                                   wall, x baseline   CPU (helper's too), x baseline\n");
    printf("  baseline: stb_image in process + upload, JPEG q92  %8.1f ms          %8.1f ms\n", baseline, baselineCpu);
    printf("  (stb_image decode alone                             %8.1f ms)\n", stbAlone);
    struct Sample {
        const char* what;
        std::string path;
    } samples[] = {{"JPEG q92 (4:4:4)", jpeg}, {"HEIC q90", heic}, {"16-bit TIFF, Deflate", tiff}};
    for (const Sample& sample : samples) {
        int w = 0, h = 0;
        double ms = 0, cpu = 0;
        if (!Import(runs, sample.path, &w, &h, &ms, &cpu)) printf("  import %-22s  failed\n", sample.what);
        else
            printf("  import %-22s (%d x %d)  %8.1f ms %5.2f x   %8.1f ms %5.2f x\n", sample.what, w, h, ms,
                   ms / baseline, cpu, cpu / baselineCpu);
        fflush(stdout);
    }

    // Written by stb_image_write (4:4:4 at this quality): ImageMagick would need gigabytes.
    if (!stbi_write_jpg(huge.c_str(), 20000, 15000, 3, SourcePixels(20000, 15000).data(), 92)) {
        printf("  (could not make the 20000 x 15000 JPEG)\n");
    } else {
        int w = 0, h = 0;
        double ms = 0, cpu = 0;
        ImageDecoderTimeLimitMs = 120000;  // a figure, even on a machine far busier than a user's
        printf("\n20000 x 15000 JPEG q92 import, one run after a warm-up:\n");
        if (!Import(1, huge, &w, &h, &ms, &cpu)) printf("  failed\n");
        else printf("  whole import, scaled to %d x %d  wall %8.1f ms, CPU %8.1f ms\n", w, h, ms, cpu);
    }

    SetTextureSlot(TEXTURE_SLOT_DIFFUSE, 0, 0, 0);
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    Shell(std::string("rm -rf ") + folder);
    return 0;
}
