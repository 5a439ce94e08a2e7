// bench_painted_export: what exporting a 24-megapixel painting costs, step by step, beside the
// encoder alone on the same pixels, and how long the window waits for it in any one frame. A
// 6000 x 4000 photograph-like picture in the slot, shown in an 800 x 600 window (the reach of an
// 800 x 533 view), then for PNG and for JPEG, in alternation so that both see the same load, the
// median of a few runs of:
//   - the offscreen pass alone: every tile of the export's render drawn and finished (glFinish);
//   - the pass with the read-back: RenderPaintedPicture into a buffer, in one piece over the
//     same tiles; the read-back is the difference;
//   - the buffer the pixels go into (its allocation; the pixels are then moved into the job,
//     never copied);
//   - the encoder alone, from those pixels into memory;
//   - the render in one piece as it was before the render went in steps (tiles of 2048, all in
//     one frame): what the main thread was held for;
//   - the whole export as the window runs it: StartPaintedPictureExport, then frames: the
//     window's draw (the cached painting presented, the swap) and FinishPaintedPictureExport,
//     which renders the next tiles within its budget, hands the pixels to the job and then only
//     asks how far it is; while the job writes, the window is polled each millisecond (its frames
//     then run beside the worker, as before). Timed: the longest step in one frame (the main
//     thread held by the export), the render's part with the window's frames in it, the whole
//     until the file is in place (encoding, the safe write with its flush, the rename);
// and what the whole adds beyond pass + read-back + encoder (taken run by run, with the render
// timed again right before the whole export, then the median and the spread over the runs),
// with and without the window's own frames drawn during the render.
// Then, for the choice of the tile and the budget: the render alone in steps with frames in
// between at a few tile sides and budgets, beside the render in one piece in the same run.
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
#include "gl_test_support.h"

namespace {

const int kWidth = 6000, kHeight = 4000;
const int kOldTileSide = 2048;  // the render's tiles when it ran in one piece

using Clock = std::chrono::steady_clock;

SDL_Window* Window = nullptr;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Fail(const char* reason) {
    std::fprintf(stderr, "bench_painted_export: %s\n", reason);
    std::exit(1);
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
    PutPictureInSlot(texels.data(), kWidth, kHeight);
}

// The window's own work in a frame while nothing else changes: the cached painting presented,
// the swap. Returns its time.
double WindowFrame() {
    const auto start = Clock::now();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    DrawBrushFilter(800, 600);
    SDL_GL_SwapWindow(Window);
    return MsSince(start);
}

// The pass alone over the export's tiles (OffscreenTileLimit within the GL's limits), each
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
    if (!SizeOffscreenTarget(&target, std::min(side, kWidth), std::min(side, kHeight), reason, sizeof reason))
        Fail(reason);
    for (int top = 0; top < kHeight; top += side)
        for (int left = 0; left < kWidth; left += side) {
            const int w = std::min(side, kWidth - left), h = std::min(side, kHeight - top);
            RunBrushPassOffscreen(target,
                                  PictureTileRegion(kWidth, kHeight, left, top, w, h, float(reachWidth),
                                                    float(reachHeight), DiffuseTexture, FilterTexture),
                                  BrushParameters);
            glFinish();  // each tile as the render waits for it before reading it back
        }
    DeleteOffscreenTarget(&target);
    return MsSince(start);
}

// The render in one piece into `rgb`, with tiles of `side`.
double RenderInOnePiece(std::vector<unsigned char>* rgb, int side) {
    const int saved = OffscreenTileLimit;
    OffscreenTileLimit = side;
    char reason[256];
    const auto start = Clock::now();
    if (!RenderPaintedPicture(rgb->data(), rgb->size(), reason, sizeof reason)) Fail(reason);
    const double ms = MsSince(start);
    OffscreenTileLimit = saved;
    return ms;
}

bool ToMemory(void* context, const unsigned char* bytes, size_t size) {
    auto* out = static_cast<std::vector<unsigned char>*>(context);
    out->insert(out->end(), bytes, bytes + size);
    return true;
}

struct Run {
    double Pass, PassAndReadBack, Buffer, Encoder, OnePiece;
    double Whole, LongestStep, LongestFrame, Rendering, RenderingFrames;
    int Frames;
    size_t Bytes;
};

Run OneRun(PictureFormat format, const std::string& path) {
    Run run = {};
    run.Pass = PassAlone();

    auto start = Clock::now();
    std::vector<unsigned char> rgb(size_t(kWidth) * kHeight * 3);
    run.Buffer = MsSince(start);
    RenderInOnePiece(&rgb, OffscreenTileLimit);
    char reason[256];
    std::vector<unsigned char> encoded;
    encoded.reserve(80u << 20);
    start = Clock::now();
    if (!EncodePicture(format, PixelRows{rgb.data(), kWidth, kHeight, 3}, DefaultEncoderSettings(),
                       ByteSink{ToMemory, &encoded}, EncodeProgress{nullptr, nullptr}, reason, sizeof reason))
        Fail(reason);
    run.Encoder = MsSince(start);
    run.Bytes = encoded.size();
    encoded = std::vector<unsigned char>();

    run.OnePiece = RenderInOnePiece(&rgb, kOldTileSide);
    // The render timed again right before the whole export, into the same (warm) buffer.
    run.PassAndReadBack = RenderInOnePiece(&rgb, OffscreenTileLimit);
    rgb = std::vector<unsigned char>();

    ExportOutcome outcome;
    start = Clock::now();
    if (!StartPaintedPictureExport(path.c_str(), format, &outcome)) Fail(outcome.Reason);
    run.LongestStep = MsSince(start);
    for (;;) {
        const bool rendering = PaintedPictureExportRendering();
        double frame = 0.0;
        if (rendering) {
            frame = WindowFrame();
            run.RenderingFrames += frame;
            ++run.Frames;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const auto step = Clock::now();
        const bool ended = FinishPaintedPictureExport(&outcome, nullptr);
        const double held = MsSince(step);
        run.LongestStep = std::max(run.LongestStep, held);
        run.LongestFrame = std::max(run.LongestFrame, frame + held);
        if (rendering && !PaintedPictureExportRendering()) run.Rendering = MsSince(start);
        if (ended) break;
    }
    run.Whole = MsSince(start);
    if (!outcome.Done) Fail(outcome.Reason);
    return run;
}

// The render alone in steps, frames in between, at a tile side and a budget.
struct Stepped {
    double Whole, LongestStep, Frames;
    int Count;
};

Stepped RenderInSteps(int side, double budget) {
    const int savedSide = OffscreenTileLimit;
    OffscreenTileLimit = side;
    std::vector<unsigned char> rgb(size_t(kWidth) * kHeight * 3);
    char reason[256];
    Stepped stepped = {};
    const auto start = Clock::now();
    if (!StartPaintedPictureRender(rgb.data(), rgb.size(), reason, sizeof reason)) Fail(reason);
    for (;;) {
        stepped.Frames += WindowFrame();
        ++stepped.Count;
        const auto step = Clock::now();
        const RenderStep result = StepPaintedPictureRender(budget, nullptr, reason, sizeof reason);
        stepped.LongestStep = std::max(stepped.LongestStep, MsSince(step));
        if (result == RENDER_FAILED) Fail(reason);
        if (result == RENDER_DONE) break;
    }
    EndPaintedPictureRender();
    stepped.Whole = MsSince(start);
    OffscreenTileLimit = savedSide;
    return stepped;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const GLTestWindow window = OpenGLTestWindow("Vellumry", 800, 600, SDL_WINDOW_SHOWN);
    Window = window.Window;
    if (!window.Context) Fail("no OpenGL 3 context");
    // The export's lines go nowhere: figures only on the output.
    std::ostringstream log;
    std::streambuf* saved = std::cerr.rdbuf(log.rdbuf());
    InitBrushFilter();
    ShowPicture();
    WindowFrame();  // the view whose reach the export takes; the cache painted
    glFinish();
    int reachWidth = 0, reachHeight = 0;
    LastDrawnPictureSize(&reachWidth, &reachHeight);

    std::string self = argv[0];
    std::string folder = std::string(dirname(&self[0])) + "/bench_painted_export.XXXXXX";
    if (!mkdtemp(&folder[0])) Fail("no folder for the files");
    std::printf(
        "%d x %d picture painted with the reach of an %d x %d view, on %s; tiles of %d, steps of %.0f ms; "
        "median of %d runs\n",
        kWidth, kHeight, reachWidth, reachHeight, reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
        OffscreenTileLimit, ExportRenderMillisecondsPerFrame, runs);

    const PictureFormat formats[2] = {PICTURE_PNG, PICTURE_JPEG};
    const char* names[2] = {"PNG (level 1, SUB)", "JPEG (quality 92, 4:4:4)"};
    std::vector<Run> results[2];
    OneRun(PICTURE_JPEG, folder + "/warm.jpg");  // first use of the targets, the pages, the encoder
    for (int run = 0; run < runs; ++run)
        for (int f = 0; f < 2; ++f)
            results[f].push_back(OneRun(formats[f], folder + (f == 0 ? "/painted.png" : "/painted.jpg")));

    for (int f = 0; f < 2; ++f) {
        auto median = [&](double (*value)(const Run&)) {
            std::vector<double> values;
            for (const Run& r : results[f]) values.push_back(value(r));
            return Median(values);
        };
        auto range = [&](double (*value)(const Run&), double* low, double* high) {
            *low = 1e9;
            *high = -1e9;
            for (const Run& r : results[f]) {
                *low = std::min(*low, value(r));
                *high = std::max(*high, value(r));
            }
        };
        // The differences are taken run by run (each run's steps back to back), so that a change
        // in the machine's load between runs does not land in them.
        const double pass = median([](const Run& r) { return r.Pass; });
        const double readBack = median([](const Run& r) { return r.PassAndReadBack - r.Pass; });
        const double buffer = median([](const Run& r) { return r.Buffer; });
        const double encoder = median([](const Run& r) { return r.Encoder; });
        const double parts = median([](const Run& r) { return r.PassAndReadBack + r.Encoder; });
        const double whole = median([](const Run& r) { return r.Whole; });
        const double onePiece = median([](const Run& r) { return r.OnePiece; });
        const double longestStep = median([](const Run& r) { return r.LongestStep; });
        const double longestFrame = median([](const Run& r) { return r.LongestFrame; });
        const double heldRatio = median([](const Run& r) { return r.LongestStep / r.OnePiece; });
        const double rendering = median([](const Run& r) { return r.Rendering; });
        const double frames = median([](const Run& r) { return double(r.Frames); });
        const double framesTime = median([](const Run& r) { return r.RenderingFrames; });
        auto adds = [](const Run& r) { return r.Whole - r.PassAndReadBack - r.Encoder; };
        auto share = [](const Run& r) { return (r.Whole / (r.PassAndReadBack + r.Encoder) - 1) * 100; };
        auto shareBeyondFrames = [](const Run& r) {
            return ((r.Whole - r.RenderingFrames) / (r.PassAndReadBack + r.Encoder) - 1) * 100;
        };
        double low = 0, high = 0, lowBeyond = 0, highBeyond = 0;
        range(share, &low, &high);
        range(shareBeyondFrames, &lowBeyond, &highBeyond);
        std::printf("\n%s, %.1f MB:\n", names[f], results[f].back().Bytes / 1e6);
        std::printf("  %-50s %8.0f ms\n", "offscreen pass (tiles drawn and finished)", pass);
        std::printf("  %-50s %8.0f ms\n", "read-back (pass with read-back, less the pass)", readBack);
        std::printf("  %-50s %8.0f ms\n", "buffer for the pixels (moved in, never copied)", buffer);
        std::printf("  %-50s %8.0f ms\n", "encoder alone, into memory", encoder);
        std::printf("  %-50s %8.0f ms\n", "pass + read-back + encoder", parts);
        std::printf("  %-50s %8.0f ms   the window's frames in it: %.0f, %.0f ms\n",
                    "render in steps, with the window's frames", rendering, frames, framesTime);
        std::printf("  %-50s %8.0f ms\n", "whole export, the file in place", whole);
        std::printf("  %-50s %8.0f ms   %+.1f %% of pass + read-back + encoder (runs: %+.1f to %+.1f %%)\n",
                    "what the export adds", median(adds), median(share), low, high);
        std::printf("  %-50s %8.0f ms   %+.1f %% (runs: %+.1f to %+.1f %%)\n",
                    "  less the window's own frames during the render",
                    median([](const Run& r) { return r.Whole - r.RenderingFrames - r.PassAndReadBack - r.Encoder; }),
                    median(shareBeyondFrames), lowBeyond, highBeyond);
        std::printf("  %-50s %8.1f ms   the render in one piece before (tiles of %d): %.0f ms; ratio %.3f\n",
                    "main thread held by the export, longest frame", longestStep, kOldTileSide, onePiece, heldRatio);
        std::printf("  %-50s %8.1f ms\n", "  that frame with the window's own draw", longestFrame);
    }

    // The tile and the budget: the render alone in steps (JPEG or PNG alike), one run each,
    // beside the render in one piece right before it.
    std::printf("\nThe render in steps at other tiles and budgets (one run each, the window's frames in between):\n");
    std::printf("  %-6s %-10s %8s %10s %12s %14s %12s\n", "tile", "budget", "frames", "longest", "render",
                "of it frames", "one piece");
    const struct {
        int Side;
        double Budget;
    } choices[] = {{512, 0.0}, {256, 0.0}, {128, 0.0}, {256, 12.0}, {256, 25.0}, {256, 50.0}, {512, 25.0}};
    std::vector<unsigned char> rgb(size_t(kWidth) * kHeight * 3);
    for (const auto& choice : choices) {
        const double onePiece = RenderInOnePiece(&rgb, kOldTileSide);
        const Stepped stepped = RenderInSteps(choice.Side, choice.Budget);
        char budget[32];
        if (choice.Budget > 0) std::snprintf(budget, sizeof budget, "%.0f ms", choice.Budget);
        else std::snprintf(budget, sizeof budget, "one tile");
        std::printf("  %-6d %-10s %8d %7.1f ms %9.0f ms %11.0f ms %9.0f ms\n", choice.Side, budget, stepped.Count,
                    stepped.LongestStep, stepped.Whole, stepped.Frames, onePiece);
    }

    std::cerr.rdbuf(saved);
    for (const char* name : {"/warm.jpg", "/painted.png", "/painted.jpg"}) unlink((folder + name).c_str());
    rmdir(folder.c_str());
    ShutdownBrushFilter();
    CloseGLTestWindow(window);
    return 0;
}
