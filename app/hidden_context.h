// hidden_context: an OpenGL context to paint with where nothing is shown: SDL's offscreen video
// driver (EGL, which Mesa provides without any display server) on Linux, a hidden window on
// Windows. The brush program and its passes render into their own targets (render/), so the
// context's own surface stays tiny and is never drawn into.
//
//   HiddenContext hidden;
//   char reason[256];
//   if (!StartHiddenContext(&hidden, reason, sizeof reason)) fail(reason);
//   InitBrushFilter(); ...; ShutdownBrushFilter();
//   EndHiddenContext(&hidden);
//
// The offscreen driver is chosen here, over whatever SDL_VIDEODRIVER says, so a DISPLAY or
// WAYLAND_DISPLAY in the environment changes nothing. Asks for a GL 3.3 core context (the brush
// shaders need GLSL 1.40) and loads the entry points (gl/gl_loader.h). Main thread only.
#pragma once
#include <stddef.h>

struct HiddenContext {
    void* Window;   // SDL_Window
    void* Context;  // SDL_GLContext
};

// False, with a reason in plain words (SDL's where it gave one), when there is no GL to paint
// with; nothing is left started then.
bool StartHiddenContext(HiddenContext* hidden, char* reason, size_t reasonSize);
void EndHiddenContext(HiddenContext* hidden);
