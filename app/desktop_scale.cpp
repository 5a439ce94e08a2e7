#include "app/desktop_scale.h"

#include <stdlib.h>
#include <string.h>

#ifndef _WIN32
#include <dlfcn.h>
#endif

namespace {

// Windows' and X11's 100 %.
constexpr float BaseDPI = 96.0f;

// A value outside this is a broken setting, not a scale: 25 % to 1000 %.
float Checked(float dpi) { return dpi >= 24.0f && dpi <= 960.0f ? dpi / BaseDPI : 1.0f; }

#ifndef _WIN32
// Xft.dpi through libX11's resource lookup, on a connection of our own that closes at once (the
// answer belongs to the connection's database, so it is read before).
float XftScale() {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver || strcmp(driver, "x11") != 0) return 1.0f;
    void* x11 = dlopen("libX11.so.6", RTLD_LAZY | RTLD_LOCAL);
    if (!x11) return 1.0f;
    typedef void* (*OpenDisplayFunction)(const char*);
    typedef char* (*GetDefaultFunction)(void*, const char*, const char*);
    typedef int (*CloseDisplayFunction)(void*);
    const auto openDisplay = reinterpret_cast<OpenDisplayFunction>(dlsym(x11, "XOpenDisplay"));
    const auto getDefault = reinterpret_cast<GetDefaultFunction>(dlsym(x11, "XGetDefault"));
    const auto closeDisplay = reinterpret_cast<CloseDisplayFunction>(dlsym(x11, "XCloseDisplay"));
    float scale = 1.0f;
    void* display = openDisplay && getDefault && closeDisplay ? openDisplay(nullptr) : nullptr;
    if (display) {
        const char* dpi = getDefault(display, "Xft", "dpi");
        if (dpi) scale = Checked(strtof(dpi, nullptr));
        closeDisplay(display);
    }
    dlclose(x11);
    return scale;
}
#endif

#ifdef _WIN32
// The DPI Windows gives the display (per monitor, as the manifest declares the program aware).
float DisplayScale(int display) {
    float dpi = 0.0f;
    if (display >= 0 && SDL_GetDisplayDPI(display, nullptr, &dpi, nullptr) == 0) return Checked(dpi);
    return 1.0f;
}
#endif

}  // namespace

float StartDesktopScale() {
#ifdef _WIN32
    // The window opens centred on the primary display.
    return DisplayScale(0);
#else
    return XftScale();
#endif
}

float WindowDesktopScale(SDL_Window* window, float startScale) {
#ifdef _WIN32
    return DisplayScale(SDL_GetWindowDisplayIndex(window));
#else
    (void)window;
    return startScale;
#endif
}

float FramebufferScale(SDL_Window* window) {
    int windowWidth = 0, windowHeight = 0, drawableWidth = 0, drawableHeight = 0;
    SDL_GetWindowSize(window, &windowWidth, &windowHeight);
    SDL_GL_GetDrawableSize(window, &drawableWidth, &drawableHeight);
    if (windowWidth <= 0 || drawableWidth <= 0) return 1.0f;
    return float(drawableWidth) / float(windowWidth);
}
