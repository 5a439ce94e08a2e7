// bare_waiting_window: the least a resting SDL2 + UI program can cost, the idle benchmark's
// floor (tools/bench_idle.py): a window of the program's kind (OpenGL, the UI library, a menu bar
// with the program's three menus) whose loop draws a frame after each event and otherwise waits
// for the next (SDL_WaitEvent). It ends on the window's close or SIGTERM.
//   bare_waiting_window
#include <initializer_list>

#include <SDL.h>
#include <imgui.h>
#include <backends/imgui_impl_opengl3.h>
#include <backends/imgui_impl_sdl.h>

#include "gl/gl_loader.h"

int main(int, char**) {
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) return 1;
    SDL_Window* window = SDL_CreateWindow("Vellumry bare", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 800, 600,
                                          SDL_WINDOW_OPENGL | SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE);
    SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
    if (!context || LoadGLEntryPoints() != GL_LOADER_OK) return 1;
    ImGui::CreateContext();
    ImGui::GetIO().IniFilename = nullptr;
    ImGui_ImplSDL2_InitForOpenGL(window, context);
    ImGui_ImplOpenGL3_Init("#version 150");

    bool running = true;
    while (running) {
        SDL_Event event;
        if (!SDL_WaitEvent(&event)) break;
        do {
            ImGui_ImplSDL2_ProcessEvent(&event);
            if (event.type == SDL_QUIT) running = false;
        } while (SDL_PollEvent(&event));
        int width = 0, height = 0;
        SDL_GetWindowSize(window, &width, &height);
        ImGui_ImplOpenGL3_NewFrame();
        ImGui_ImplSDL2_NewFrame();
        ImGui::NewFrame();
        glViewport(0, 0, width, height);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        if (ImGui::BeginMainMenuBar()) {
            for (const char* menu : {"File", "View", "About"})
                if (ImGui::BeginMenu(menu, true)) ImGui::EndMenu();
            ImGui::EndMainMenuBar();
        }
        ImGui::Render();
        ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
        SDL_GL_SwapWindow(window);
    }
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplSDL2_Shutdown();
    ImGui::DestroyContext();
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
