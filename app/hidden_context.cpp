#include "app/hidden_context.h"

#include <stdio.h>

#include <SDL.h>

#include "gl/gl_loader.h"

bool StartHiddenContext(HiddenContext* hidden, char* reason, size_t reasonSize) {
    *hidden = HiddenContext{nullptr, nullptr};
#ifndef _WIN32
    SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "offscreen", SDL_HINT_OVERRIDE);
#endif
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        snprintf(reason, reasonSize, "the video driver did not start: %s", SDL_GetError());
        return false;
    }
    // Made before the window, so that they count; the one window of the window's program asks
    // for the same after the fact.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_Window* window = SDL_CreateWindow("Vellumry", 0, 0, 16, 16, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window) {
        snprintf(reason, reasonSize, "no OpenGL surface: %s", SDL_GetError());
        SDL_Quit();
        return false;
    }
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context) {
        snprintf(reason, reasonSize, "no OpenGL 3.3 context: %s", SDL_GetError());
        SDL_DestroyWindow(window);
        SDL_Quit();
        return false;
    }
    hidden->Window = window;
    hidden->Context = context;
    const int loaded = LoadGLEntryPoints();
    if (loaded != GL_LOADER_OK) {
        snprintf(reason, reasonSize, "%s",
                 loaded == GL_LOADER_OLD_VERSION ? "the OpenGL context is older than 3.0"
                                                 : "the OpenGL entry points could not be loaded");
        EndHiddenContext(hidden);
        return false;
    }
    return true;
}

void EndHiddenContext(HiddenContext* hidden) {
    if (hidden->Context) SDL_GL_DeleteContext(static_cast<SDL_GLContext>(hidden->Context));
    if (hidden->Window) SDL_DestroyWindow(static_cast<SDL_Window*>(hidden->Window));
    if (hidden->Context || hidden->Window) SDL_Quit();
    *hidden = HiddenContext{nullptr, nullptr};
}
