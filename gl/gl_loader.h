// gl_loader: fills the OpenGL entry-point table once the context is current.
//
//   SDL_GL_CreateContext(window);
//   if (LoadGLEntryPoints() < 0) ...;      // every core-profile GL call now goes through its slot
//   glClear(GL_COLOR_BUFFER_BIT);          // standard names and signatures, from gl_table.h
//
// The table covers the whole core profile of OpenGL 1.0 to 4.6 (generated from the Khronos
// registry). Nothing is looked up after loading; a slot that stayed null is never tested, so
// calling through it crashes: check the result code before drawing.
#pragma once
#include "gl_table.h"

enum GLLoaderResult {
    GL_LOADER_OK = 0,                 // library opened, table filled, context 3.0 or later
    GL_LOADER_NO_VERSION_QUERY = -1,  // table filled, but no glGetIntegerv to read the version
    GL_LOADER_NO_LIBRARY = -2,        // the platform's OpenGL library failed to load
    GL_LOADER_OLD_VERSION = -3,       // table filled, but the context is older than 3.0
};

typedef void* (*GLEntryPointLookup)(const char* name);

// The platform's OpenGL library, held from loading until process exit.
extern void* GLLibrary;
// Major and minor version of the current context, as read at loading (0.0 before).
extern int GLContextVersion[2];
// The library names tried in order; a test may point this at names that do not exist.
extern const char* const* GLLibraryNames;

int LoadGLEntryPoints();
int LoadGLEntryPointsWith(GLEntryPointLookup lookup);
void* FindGLEntryPoint(const char* name);
bool IsGLVersionAtLeast(int major, int minor);
