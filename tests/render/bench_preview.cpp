// bench_preview: what a whole frame of the program costs with the cached preview, beside a bare
// frame of the same window, at 800 x 600, 1920 x 1080 and 3840 x 2160 windows (needs a display
// at least that large: tools/bench.sh runs it on a 3840 x 2160 virtual screen), with a picture
// that fills the window and with a 3:2 picture (bars at the sides or above and below).
//   - steady: the program's frame (DrawBrushFilter, DrawUI, the UI's render, the swap) with the
//     picture shown and nothing changing, beside a bare SDL2 + UI frame of the same window that
//     clears to black and draws the same menu bar;
//   - paint: the program's frame in which a parameter changes (the pass into the cache and the
//     presentation), beside the frame as it was before the cache (the pass straight into the
//     window in every frame);
//   - the memory the cache holds at that size.
// Each figure is the median of frames timed from the frame's start to the swap and glFinish; the
// two frames of a pair are timed in alternation, so both see the same load on a shared machine.
//   bench_preview [seconds per pair]
// Prints figures only; it judges nothing.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "bench_window.h"
#include "render/brush_filter.h"
#include "render/cached_preview.h"
#include "render/texture_import.h"
#include "ui/draw_ui.h"
#include "ui/ui_state.h"
#include "tests/support/bench_timing.h"

static BenchWindow Window;

// The picture in the slot, at this size.
static void ShowPicture(int width, int height) {
    PutPictureInSlot(DetailedTexels(width, height).data(), width, height);
}

// The program's frame, as app/main.cpp runs it.
static void ProgramFrame() {
    BeginBenchFrame(&Window);
    DrawBrushFilter(Window.Width, Window.Height);
    DrawUI(Window.Width);
    EndBenchFrame(Window);
}

static void BareFrame() { BareBenchFrame(&Window); }

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    if (!OpenBenchWindow("bench_preview", &Window)) return 1;
    InitBrushFilter();

    SDL_DisplayMode display = {};
    SDL_GetCurrentDisplayMode(0, &display);
    std::printf("Whole frames on %s (%s), %u hardware threads, a %d x %d screen; median of frame + swap + glFinish\n",
                reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
                reinterpret_cast<const char*>(glGetString(GL_VERSION)), std::thread::hardware_concurrency(), display.w,
                display.h);
    std::printf("  %-10s %-7s %9s %9s %7s   %9s %9s %7s   %9s\n", "window", "picture", "steady ms", "bare ms", "ratio",
                "paint ms", "before ms", "ratio", "cache MB");
    const int sizes[3][2] = {{800, 600}, {1920, 1080}, {3840, 2160}};
    for (const auto& size : sizes) {
        const int w = size[0], h = size[1];
        SDL_SetWindowSize(Window.Test.Window, w, h);
        int drawableW = 0, drawableH = 0;
        for (int i = 0; i < 200 && (drawableW != w || drawableH != h); ++i) {
            BareFrame();
            SDL_GL_GetDrawableSize(Window.Test.Window, &drawableW, &drawableH);
        }
        if (drawableW != w || drawableH != h) {
            std::printf("  %dx%d: the window could not take that size (%d x %d)\n", w, h, drawableW, drawableH);
            continue;
        }
        for (int shape = 0; shape < 2; ++shape) {
            // The window's own size, then a 3:2 picture of about the same number of pixels.
            if (shape == 0) ShowPicture(w, h);
            else
                ShowPicture(int(std::lround(std::sqrt(w * double(h) * 1.5))),
                            int(std::lround(std::sqrt(w * double(h) / 1.5))));
            ShowOptions = false;
            BrushParameters = InitialBrushParameters;

            double steadyMs = 0, bareMs = 0, paintMs = 0, beforeMs = 0;
            AlternatingMedianMs(seconds, 5, 400, ProgramFrame, BareFrame, &steadyMs, &bareMs);
            // A parameter that changes in every frame: the pass runs into the cache every frame.
            auto paintFrame = [] {
                BrushParameters.Opacity = BrushParameters.Opacity == 1.0f ? 0.999f : 1.0f;
                ProgramFrame();
            };
            auto frameBefore = [] {
                PreviewCaching = false;
                ProgramFrame();
                PreviewCaching = true;
            };
            AlternatingMedianMs(seconds, 5, 400, paintFrame, frameBefore, &paintMs, &beforeMs);
            const OffscreenTarget& cache = PreviewTarget();
            const double cacheMB = double(cache.Width) * cache.Height * 4 / 1e6;

            char label[32];
            std::snprintf(label, sizeof label, "%dx%d", w, h);
            std::printf("  %-10s %-7s %9.2f %9.2f %7.2f   %9.2f %9.2f %7.2f   %9.1f\n", label,
                        shape == 0 ? "fills" : "3:2", steadyMs, bareMs, steadyMs / bareMs, paintMs, beforeMs,
                        paintMs / beforeMs, cacheMB);
            std::fflush(stdout);
        }
    }
    ShutdownBrushFilter();
    CloseBenchWindow(&Window);
    return 0;
}
