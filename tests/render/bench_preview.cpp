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
#include <SDL.h>
#include <imgui.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "gl/gl_loader.h"
#include "render/brush_filter.h"
#include "render/cached_preview.h"
#include "render/texture_import.h"
#include "ui/main_menu.h"
#include "ui/theme.h"
#include "ui/ui_state.h"

static SDL_Window* Window = nullptr;

// A picture with detail everywhere, so the pass meets no flat colour only.
static void ShowPicture(int width, int height) {
    std::vector<unsigned char> texels(size_t(width) * height * 4);
    uint32_t state = 12345;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            unsigned char* t = &texels[(size_t(y) * width + x) * 4];
            t[0] = (unsigned char)((x * 255) / width);
            t[1] = (unsigned char)((y * 255) / height);
            t[2] = (unsigned char)(state >> 24);
            t[3] = 255;
        }
    glDeleteTextures(1, &DiffuseTexture);
    glGenTextures(1, &DiffuseTexture);
    glBindTexture(GL_TEXTURE_2D, DiffuseTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    DiffuseWidth = width;
    DiffuseHeight = height;
    ++TextureSlotChanges;
}

static void BeginFrame(int* width, int* height) {
    SDL_Event event;
    while (SDL_PollEvent(&event)) ImGui_ImplSDL2_ProcessEvent(&event);
    SDL_GetWindowSize(Window, width, height);
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    ImGui::NewFrame();
}

static void EndFrame() {
    ImGui::Render();
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    SDL_GL_SwapWindow(Window);
    glFinish();
}

// The program's frame, as app/main.cpp runs it.
static void ProgramFrame() {
    int width = 0, height = 0;
    BeginFrame(&width, &height);
    DrawBrushFilter(width, height);
    DrawUI(width);
    EndFrame();
}

// A bare frame of the same window: the clear and the same menu bar, nothing else.
static void BareFrame() {
    int width = 0, height = 0;
    BeginFrame(&width, &height);
    glViewport(0, 0, width, height);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    if (ImGui::BeginMainMenuBar()) {
        for (const char* menu : {"File", "View", "About"})
            if (ImGui::BeginMenu(menu, true)) ImGui::EndMenu();
        ImGui::EndMainMenuBar();
    }
    EndFrame();
}

static double Median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

static void TimePair(double seconds, const std::function<void()>& a, const std::function<void()>& b, double* msA,
                     double* msB) {
    a();  // warm: first use at this size
    b();
    std::vector<double> timesA, timesB;
    auto timeOne = [](const std::function<void()>& frame, std::vector<double>& times) {
        const auto start = std::chrono::steady_clock::now();
        frame();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    };
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (timesA.size() < 5 || (std::chrono::steady_clock::now() < end && timesA.size() < 400)) {
        timeOne(a, timesA);
        timeOne(b, timesB);
    }
    *msA = Median(timesA);
    *msB = Median(timesB);
}

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        std::fprintf(stderr, "bench_preview: %s\n", SDL_GetError());
        return 1;
    }
    Window = SDL_CreateWindow("Vellumry", 0, 0, 800, 600, SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE);
    SDL_GLContext context = Window ? SDL_GL_CreateContext(Window) : nullptr;
    if (!context || LoadGLEntryPoints() != GL_LOADER_OK) {
        std::fprintf(stderr, "bench_preview: no OpenGL 3 context: %s\n", SDL_GetError());
        return 1;
    }
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGui::GetIO().IniFilename = nullptr;
    ImGui_ImplSDL2_InitForOpenGL(Window, context);
    ImGui_ImplOpenGL3_Init("#version 150");
    SetupUIStyle(true, 1.0f / 3);
    LoadUIFont();
    InitBrushFilter();

    SDL_DisplayMode display = {};
    SDL_GetCurrentDisplayMode(0, &display);
    std::printf("Whole frames on %s (%s), %u hardware threads, a %d x %d screen; median of frame + swap + glFinish\n",
                reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
                reinterpret_cast<const char*>(glGetString(GL_VERSION)), std::thread::hardware_concurrency(), display.w,
                display.h);
    std::printf("  %-10s %-7s %9s %9s %7s   %9s %9s %7s   %9s\n", "window", "picture", "steady ms", "bare ms",
                "ratio", "paint ms", "before ms", "ratio", "cache MB");
    const int sizes[3][2] = {{800, 600}, {1920, 1080}, {3840, 2160}};
    for (const auto& size : sizes) {
        const int w = size[0], h = size[1];
        SDL_SetWindowSize(Window, w, h);
        int drawableW = 0, drawableH = 0;
        for (int i = 0; i < 200 && (drawableW != w || drawableH != h); ++i) {
            BareFrame();
            SDL_GL_GetDrawableSize(Window, &drawableW, &drawableH);
        }
        if (drawableW != w || drawableH != h) {
            std::printf("  %dx%d: the window could not take that size (%d x %d)\n", w, h, drawableW, drawableH);
            continue;
        }
        for (int shape = 0; shape < 2; ++shape) {
            // The window's own size, then a 3:2 picture of about the same number of pixels.
            if (shape == 0)
                ShowPicture(w, h);
            else
                ShowPicture(int(std::lround(std::sqrt(w * double(h) * 1.5))),
                            int(std::lround(std::sqrt(w * double(h) / 1.5))));
            ShowOptions = false;
            BrushParameters = InitialBrushParameters;

            double steadyMs = 0, bareMs = 0, paintMs = 0, beforeMs = 0;
            TimePair(seconds, ProgramFrame, BareFrame, &steadyMs, &bareMs);
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
            TimePair(seconds, paintFrame, frameBefore, &paintMs, &beforeMs);
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
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplSDL2_Shutdown();
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(Window);
    SDL_Quit();
    return 0;
}
