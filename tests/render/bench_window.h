// bench_window: the program's window for the frame benchmarks: an 800 x 600 GL window with the
// interface set up as the program sets it up, frames begun and ended as app/main.cpp does (to
// the swap and glFinish), and a bare frame of the same window to compare with. Header only.
//
//   BenchWindow window;
//   if (!OpenBenchWindow("bench_zoom", &window)) return 1;
//   BeginBenchFrame(&window); draw(window.Width, window.Height); EndBenchFrame(window);
//   BareBenchFrame(&window);
//   CloseBenchWindow(&window);
#pragma once
#include <SDL.h>
#include <imgui.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>

#include <cstdio>

#include "gl/gl_loader.h"
#include "gl_test_support.h"
#include "ui/theme.h"

struct BenchWindow {
    GLTestWindow Test;
    int Width = 0, Height = 0;  // as the last frame found them
};

inline bool OpenBenchWindow(const char* bench, BenchWindow* window) {
    window->Test = OpenGLTestWindow("Vellumry", 800, 600, SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE);
    if (!window->Test.Context) {
        std::fprintf(stderr, "%s: no OpenGL 3 context: %s\n", bench, SDL_GetError());
        return false;
    }
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGui::GetIO().IniFilename = nullptr;
    ImGui_ImplSDL2_InitForOpenGL(window->Test.Window, window->Test.Context);
    ImGui_ImplOpenGL3_Init("#version 150");
    SetupUIStyle(true, 1.0f / 3);
    LoadUIFont();
    return true;
}

inline void BeginBenchFrame(BenchWindow* window) {
    SDL_Event event;
    while (SDL_PollEvent(&event)) ImGui_ImplSDL2_ProcessEvent(&event);
    SDL_GetWindowSize(window->Test.Window, &window->Width, &window->Height);
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplSDL2_NewFrame();
    ImGui::NewFrame();
}

inline void EndBenchFrame(const BenchWindow& window) {
    ImGui::Render();
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    SDL_GL_SwapWindow(window.Test.Window);
    glFinish();
}

// The clear and the same menu bar, nothing else.
inline void BareBenchFrame(BenchWindow* window) {
    BeginBenchFrame(window);
    glViewport(0, 0, window->Width, window->Height);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    if (ImGui::BeginMainMenuBar()) {
        for (const char* menu : {"File", "View", "About"})
            if (ImGui::BeginMenu(menu, true)) ImGui::EndMenu();
        ImGui::EndMainMenuBar();
    }
    EndBenchFrame(*window);
}

inline void CloseBenchWindow(BenchWindow* window) {
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplSDL2_Shutdown();
    CloseGLTestWindow(window->Test);
}
