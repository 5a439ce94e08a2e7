// bench_zoom: what zoomed frames cost, beside a bare frame of the same window, at 1920 x 1080 and
// 3840 x 2160 windows (tools/bench.sh runs it on a 3840 x 2160 virtual screen), with a 6000 x 4000
// picture:
//   - steady: the program's frame with nothing changing, fitted, at 50 %, 100 % and 200 %;
//   - pan: a frame that moves the view by 16 pixels over ground already seen (at 100 % the
//     full-size painting's tiles are all painted: the composition and the copy; at 50 % the
//     pass over the window);
//   - sweep: 32-pixel pan steps across the picture at 100 %, each painting the tiles that come
//     into view for the first time: the mean step and the tiles it paints;
//   - paint: a frame in which a parameter changes, fitted and at 100 % (every tile in view).
// Each figure is the median (the sweep: the mean) of frames timed from the frame's start to the
// swap and glFinish; pairs are timed in alternation (tests/support/bench_timing.h).
//   bench_zoom [seconds per pair]
// Prints figures only; it judges nothing.
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "bench_window.h"
#include "render/brush_filter.h"
#include "render/full_size_painting.h"
#include "render/texture_slots.h"
#include "tests/support/bench_timing.h"
#include "ui/draw_ui.h"
#include "ui/ui_state.h"
#include "ui/zoom_input.h"

static BenchWindow Window;
static int& Width = Window.Width;
static int& Height = Window.Height;

// The program's frame, as app/main.cpp runs it.
static void ProgramFrame() {
    BeginBenchFrame(&Window);
    DrawBrushFilter(Width, Height);
    DrawUI(Width);
    DrawZoomIndicator(Width, Height);
    EndBenchFrame(Window);
}

static void BareFrame() { BareBenchFrame(&Window); }

static void ViewAt(double scale) {
    PictureZoom =
        ZoomViewAbout(FittedZoomView, scale, Width * 0.5, Height * 0.5, Width, Height, DiffuseWidth, DiffuseHeight);
}

static void Pan(double dx) {
    PictureZoom = PanZoomView(PictureZoom, dx, 0, Width, Height, DiffuseWidth, DiffuseHeight);
}

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    if (!OpenBenchWindow("bench_zoom", &Window)) return 1;
    InitBrushFilter();
    const int pictureW = 6000, pictureH = 4000;
    PutPictureInSlot(DetailedTexels(pictureW, pictureH).data(), pictureW, pictureH);
    ShowOptions = false;

    std::printf("Zoomed frames on %s, a %d x %d picture; median of frame + swap + glFinish (sweep: mean)\n",
                reinterpret_cast<const char*>(glGetString(GL_RENDERER)), pictureW, pictureH);
    std::printf("  %-10s %7s | %7s %7s %7s %7s | %8s %8s | %9s %6s | %9s %9s\n", "window", "bare", "fit", "50%", "100%",
                "200%", "pan 100%", "pan 50%", "sweep 100%", "tiles", "paint fit", "paint 100%");
    const int sizes[2][2] = {{1920, 1080}, {3840, 2160}};
    for (const auto& size : sizes) {
        SDL_SetWindowSize(Window.Test.Window, size[0], size[1]);
        for (int i = 0; i < 200 && (Width != size[0] || Height != size[1]); ++i) BareFrame();
        if (Width != size[0] || Height != size[1]) {
            std::printf("  %dx%d: the window could not take that size\n", size[0], size[1]);
            continue;
        }
        double bare = 0, steady[4] = {}, unused = 0;
        const double scales[4] = {0, 0.5, 1.0, 2.0};
        for (int i = 0; i < 4; ++i) {
            if (scales[i] == 0) PictureZoom = FittedZoomView;
            else ViewAt(scales[i]);
            AlternatingMedianMs(seconds, 5, 300, ProgramFrame, BareFrame, &steady[i], i == 0 ? &bare : &unused);
        }
        // Over ground already seen: back and forth.
        double pan100 = 0, pan50 = 0;
        double direction = 16;
        auto panFrame = [&] {
            direction = -direction;
            Pan(direction);
            ProgramFrame();
        };
        ViewAt(1.0);
        AlternatingMedianMs(seconds, 5, 300, panFrame, BareFrame, &pan100, &unused);
        ViewAt(0.5);
        AlternatingMedianMs(seconds, 5, 300, panFrame, BareFrame, &pan50, &unused);

        // Across the picture at 100 %, from its left edge, on a painting made afresh.
        BrushParameters.Opacity = BrushParameters.Opacity == 1.0f ? 0.999f : 1.0f;
        ViewAt(1.0);
        Pan(1e6);
        ProgramFrame();
        const int tilesBefore = FullSizeTilesPainted();
        int steps = 0;
        double sweepMs = 0;
        while (PictureZoom.CentreX < pictureW - Width * 0.5 - 1) {
            sweepMs += TimedMs([] {
                Pan(-32);
                ProgramFrame();
            });
            ++steps;
        }
        const double tilesPerStep = double(FullSizeTilesPainted() - tilesBefore) / steps;

        double paintFit = 0, paint100 = 0;
        auto paintFrame = [] {
            BrushParameters.Opacity = BrushParameters.Opacity == 1.0f ? 0.999f : 1.0f;
            ProgramFrame();
        };
        PictureZoom = FittedZoomView;
        AlternatingMedianMs(seconds, 3, 100, paintFrame, BareFrame, &paintFit, &unused);
        ViewAt(1.0);
        AlternatingMedianMs(seconds, 3, 100, paintFrame, BareFrame, &paint100, &unused);

        char label[32];
        std::snprintf(label, sizeof label, "%dx%d", Width, Height);
        std::printf("  %-10s %7.2f | %7.2f %7.2f %7.2f %7.2f | %8.2f %8.2f | %9.2f %6.2f | %9.1f %9.1f\n", label, bare,
                    steady[0], steady[1], steady[2], steady[3], pan100, pan50, sweepMs / steps, tilesPerStep, paintFit,
                    paint100);
        std::fflush(stdout);
    }
    ShutdownBrushFilter();
    CloseBenchWindow(&Window);
    return 0;
}
