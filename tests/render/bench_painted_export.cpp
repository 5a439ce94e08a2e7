// bench_painted_export: what exporting a 24-megapixel painting costs, step by step, beside the
// encoder alone on the same pixels. A 6000 x 4000 photograph-like picture in the slot, shown in
// an 800 x 600 window (the reach of an 800 x 533 view), then for PNG and for JPEG, in
// alternation so that both see the same load, the median of a few runs of:
//   - the offscreen pass alone: every tile of the render drawn and finished (glFinish);
//   - the pass with the read-back: RenderPaintedPicture into a buffer; the read-back is the
//     difference;
//   - the buffer the pixels go into (its allocation; the pixels are then moved into the job,
//     never copied);
//   - the encoder alone, from those pixels into memory;
//   - the whole export as the window runs it: StartPaintedPictureExport (buffer, pass,
//     read-back, the job's start), then FinishPaintedPictureExport polled each millisecond until
//     the file is in place (encoding, the safe write with its flush, the rename);
// and what the whole adds beyond pass + read-back + encoder (taken run by run, with the render
// timed again right before the whole export, then the median and the spread over the runs),
// with the time the main thread is held (the start call: the window shows no new frame
// meanwhile).
// Files go to a folder beside the benchmark (on the disk, not in memory).
//   bench_painted_export [runs]
// Prints figures only; it judges nothing.
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <libgen.h>
#include <unistd.h>

#include "gl/gl_loader.h"
#include "picture/export_job.h"
#include "picture/png_jpeg_encoder.h"
#include "render/brush_filter.h"
#include "render/offscreen_pass.h"
#include "render/picture_export.h"
#include "render/texture_import.h"

namespace {

const int kWidth = 6000, kHeight = 4000;

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Smooth colour fields with a camera's fine noise, as in the other export benchmark.
void ShowPicture() {
    std::vector<unsigned char> texels(size_t(kWidth) * kHeight * 4);
    uint32_t state = 99;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            state = state * 1664525u + 1013904223u;
            const int detail = int(state >> 29) - 4;
            const double u = x / 900.0, v = y / 700.0;
            unsigned char* t = &texels[(size_t(y) * kWidth + x) * 4];
            t[0] = (unsigned char)std::clamp(int(128 + 90 * std::sin(u * 2.1 + std::sin(v * 3.0))) + detail, 0, 255);
            t[1] = (unsigned char)std::clamp(int(120 + 80 * std::cos(v * 2.7 + u)) + detail, 0, 255);
            t[2] = (unsigned char)std::clamp(int(110 + 70 * std::sin((u - v) * 3.3)) + detail, 0, 255);
            t[3] = 255;
        }
    glGenTextures(1, &DiffuseTexture);
    glBindTexture(GL_TEXTURE_2D, DiffuseTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kWidth, kHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    DiffuseWidth = kWidth;
    DiffuseHeight = kHeight;
    ++TextureSlotChanges;
}

// The pass alone over the same tiles as the render (its largest tile side, the GL's limits),
// finished, with no read-back.
double PassAlone() {
    int reachWidth = 0, reachHeight = 0;
    LastDrawnPictureSize(&reachWidth, &reachHeight);
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    const int side = std::min(OffscreenTileLimit, int(largest));
    const auto start = Clock::now();
    OffscreenTarget target = {};
    char reason[256];
    if (!SizeOffscreenTarget(&target, std::min(side, kWidth), std::min(side, kHeight), reason, sizeof reason)) {
        std::fprintf(stderr, "bench_painted_export: %s\n", reason);
        std::exit(1);
    }
    for (int top = 0; top < kHeight; top += side)
        for (int left = 0; left < kWidth; left += side) {
            const int w = std::min(side, kWidth - left), h = std::min(side, kHeight - top);
            BrushPassRegion region;
            region.Viewport = BrushViewport{0, 0, w, h};
            region.PictureLeft = float(double(left) / kWidth);
            region.PictureTop = float(double(top) / kHeight);
            region.PictureRight = float(double(left + w) / kWidth);
            region.PictureBottom = float(double(top + h) / kHeight);
            region.ReachWidth = float(reachWidth);
            region.ReachHeight = float(reachHeight);
            region.TopRowFirst = true;
            RunBrushPassOffscreen(target, region, BrushParameters);
            glFinish();  // each tile as the render waits for it before reading it back
        }
    DeleteOffscreenTarget(&target);
    return MsSince(start);
}

bool ToMemory(void* context, const unsigned char* bytes, size_t size) {
    auto* out = static_cast<std::vector<unsigned char>*>(context);
    out->insert(out->end(), bytes, bytes + size);
    return true;
}

struct Run {
    double pass, passAndReadBack, buffer, encoder, whole, held;
    size_t bytes;
};

Run OneRun(PictureFormat format, const std::string& path) {
    Run run = {};
    run.pass = PassAlone();

    auto start = Clock::now();
    std::vector<unsigned char> rgb(size_t(kWidth) * kHeight * 3);
    run.buffer = MsSince(start);
    char reason[256];
    if (!RenderPaintedPicture(rgb.data(), rgb.size(), reason, sizeof reason)) {
        std::fprintf(stderr, "bench_painted_export: %s\n", reason);
        std::exit(1);
    }
    std::vector<unsigned char> encoded;
    encoded.reserve(80u << 20);
    start = Clock::now();
    if (!EncodePicture(format, PixelRows{rgb.data(), kWidth, kHeight, 3}, DefaultEncoderSettings(),
                       ByteSink{ToMemory, &encoded}, EncodeProgress{nullptr, nullptr}, reason, sizeof reason)) {
        std::fprintf(stderr, "bench_painted_export: %s\n", reason);
        std::exit(1);
    }
    run.encoder = MsSince(start);
    run.bytes = encoded.size();
    encoded = std::vector<unsigned char>();

    // The render timed again right before the whole export, into the same (warm) buffer.
    start = Clock::now();
    RenderPaintedPicture(rgb.data(), rgb.size(), reason, sizeof reason);
    run.passAndReadBack = MsSince(start);
    rgb = std::vector<unsigned char>();

    ExportOutcome outcome;
    start = Clock::now();
    if (!StartPaintedPictureExport(path.c_str(), format, &outcome)) {
        std::fprintf(stderr, "bench_painted_export: %s\n", outcome.reason);
        std::exit(1);
    }
    run.held = MsSince(start);
    while (!FinishPaintedPictureExport(&outcome, nullptr)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    run.whole = MsSince(start);
    if (!outcome.done) {
        std::fprintf(stderr, "bench_painted_export: %s\n", outcome.reason);
        std::exit(1);
    }
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "bench_painted_export: %s\n", SDL_GetError());
        return 1;
    }
    SDL_Window* window = SDL_CreateWindow("Vellumry", 0, 0, 800, 600, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!context || LoadGLEntryPoints() != GL_LOADER_OK) {
        std::fprintf(stderr, "bench_painted_export: no OpenGL 3 context: %s\n", SDL_GetError());
        return 1;
    }
    // The export's lines go nowhere: figures only on the output.
    std::ostringstream log;
    std::streambuf* saved = std::cerr.rdbuf(log.rdbuf());
    InitBrushFilter();
    ShowPicture();
    DrawBrushFilter(800, 600);  // the view whose reach the export takes
    glFinish();
    int reachWidth = 0, reachHeight = 0;
    LastDrawnPictureSize(&reachWidth, &reachHeight);

    std::string self = argv[0];
    std::string folder = std::string(dirname(&self[0])) + "/bench_painted_export.XXXXXX";
    if (!mkdtemp(&folder[0])) {
        std::fprintf(stderr, "bench_painted_export: no folder for the files\n");
        return 1;
    }
    std::printf("%d x %d picture painted with the reach of an %d x %d view, on %s; median of %d runs\n", kWidth,
                kHeight, reachWidth, reachHeight, reinterpret_cast<const char*>(glGetString(GL_RENDERER)), runs);

    const PictureFormat formats[2] = {PICTURE_PNG, PICTURE_JPEG};
    const char* names[2] = {"PNG (level 1, SUB)", "JPEG (quality 92, 4:4:4)"};
    std::vector<Run> results[2];
    OneRun(PICTURE_JPEG, folder + "/warm.jpg");  // first use of the target, the pages, the encoder
    for (int run = 0; run < runs; ++run)
        for (int f = 0; f < 2; ++f)
            results[f].push_back(OneRun(formats[f], folder + (f == 0 ? "/painted.png" : "/painted.jpg")));

    for (int f = 0; f < 2; ++f) {
        auto median = [&](double (*value)(const Run&)) {
            std::vector<double> values;
            for (const Run& r : results[f]) values.push_back(value(r));
            return Median(values);
        };
        // The differences are taken run by run (each run's steps back to back), so that a change
        // in the machine's load between runs does not land in them.
        const double pass = median([](const Run& r) { return r.pass; });
        const double readBack = median([](const Run& r) { return r.passAndReadBack - r.pass; });
        const double buffer = median([](const Run& r) { return r.buffer; });
        const double encoder = median([](const Run& r) { return r.encoder; });
        const double parts = median([](const Run& r) { return r.passAndReadBack + r.encoder; });
        const double whole = median([](const Run& r) { return r.whole; });
        const double held = median([](const Run& r) { return r.held; });
        const double adds = median([](const Run& r) { return r.whole - r.passAndReadBack - r.encoder; });
        const double share = median([](const Run& r) { return (r.whole / (r.passAndReadBack + r.encoder) - 1) * 100; });
        double low = 1e9, high = -1e9;
        for (const Run& r : results[f]) {
            const double percent = (r.whole / (r.passAndReadBack + r.encoder) - 1) * 100;
            low = std::min(low, percent);
            high = std::max(high, percent);
        }
        std::printf("\n%s, %.1f MB:\n", names[f], results[f].back().bytes / 1e6);
        std::printf("  %-48s %8.0f ms\n", "offscreen pass (tiles drawn and finished)", pass);
        std::printf("  %-48s %8.0f ms\n", "read-back (pass with read-back, less the pass)", readBack);
        std::printf("  %-48s %8.0f ms\n", "buffer for the pixels (moved in, never copied)", buffer);
        std::printf("  %-48s %8.0f ms\n", "encoder alone, into memory", encoder);
        std::printf("  %-48s %8.0f ms\n", "pass + read-back + encoder", parts);
        std::printf("  %-48s %8.0f ms   main thread held %.0f ms\n", "whole export, the file in place", whole, held);
        std::printf("  %-48s %8.0f ms   %+.1f %% of pass + read-back + encoder (runs: %+.1f to %+.1f %%)\n",
                    "what the export adds", adds, share, low, high);
    }

    std::cerr.rdbuf(saved);
    for (const char* name : {"/warm.jpg", "/painted.png", "/painted.jpg"}) unlink((folder + name).c_str());
    rmdir(folder.c_str());
    ShutdownBrushFilter();
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
