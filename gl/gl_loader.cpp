#include "gl/gl_loader.h"

#include <SDL.h>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

void* GLLibrary = nullptr;
int GLContextVersion[2] = {0, 0};

#ifdef _WIN32
static const char* const DefaultGLLibraryNames[] = {"opengl32.dll", nullptr};
#else
// libGL carries the GLX entry points SDL's context uses; libOpenGL is the GLVND fallback.
static const char* const DefaultGLLibraryNames[] = {"libGL.so.1", "libOpenGL.so.0", nullptr};
#endif
const char* const* GLLibraryNames = DefaultGLLibraryNames;

static void* OpenGLLibrary() {
    for (const char* const* name = GLLibraryNames; *name; ++name) {
#ifdef _WIN32
        void* library = reinterpret_cast<void*>(LoadLibraryA(*name));
#else
        void* library = dlopen(*name, RTLD_NOW | RTLD_GLOBAL);
#endif
        if (library) return library;
    }
    return nullptr;
}

static void ReleaseGLLibrary() {
    if (!GLLibrary) return;
#ifdef _WIN32
    FreeLibrary(reinterpret_cast<HMODULE>(GLLibrary));
#else
    dlclose(GLLibrary);
#endif
    GLLibrary = nullptr;
}

void* FindGLEntryPoint(const char* name) {
#ifdef _WIN32
    void* address = reinterpret_cast<void*>(wglGetProcAddress(name));
    // Some drivers answer 1, 2, 3 or -1 instead of null for a name they do not know.
    intptr_t code = reinterpret_cast<intptr_t>(address);
    if (code >= -1 && code <= 3) address = nullptr;
    if (!address && GLLibrary)
        address = reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(GLLibrary), name));
#else
    void* address = SDL_GL_GetProcAddress(name);
    if (!address && GLLibrary) address = dlsym(GLLibrary, name);
#endif
    return address;
}

int LoadGLEntryPointsWith(GLEntryPointLookup lookup) {
    GLLibrary = OpenGLLibrary();
    if (!GLLibrary) return GL_LOADER_NO_LIBRARY;
    atexit(ReleaseGLLibrary);

    for (int slot = 0; slot < GL_ENTRY_POINT_COUNT; ++slot) GLEntryPoints[slot] = lookup(GLEntryPointNames[slot]);

    if (!GLEntryPoints[GLSlot_glGetIntegerv]) return GL_LOADER_NO_VERSION_QUERY;
    // A context older than 3.0 does not know these queries and leaves the numbers at 0.
    glGetIntegerv(GL_MAJOR_VERSION, &GLContextVersion[0]);
    glGetIntegerv(GL_MINOR_VERSION, &GLContextVersion[1]);
    return GLContextVersion[0] < 3 ? GL_LOADER_OLD_VERSION : GL_LOADER_OK;
}

int LoadGLEntryPoints() { return LoadGLEntryPointsWith(FindGLEntryPoint); }

bool IsGLVersionAtLeast(int major, int minor) {
    if (major < 3) return false;
    if (major == GLContextVersion[0]) return GLContextVersion[1] >= minor;
    return GLContextVersion[0] >= major;
}
