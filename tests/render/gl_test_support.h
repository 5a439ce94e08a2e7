// gl_test_support: what the renderer's GL tests and benchmarks share: a window with the
// platform's default context, as the program makes it, pictures put into the texture slots as
// an import puts them, and the tests' one fixture.
//
//   GLTestWindow window = OpenGLTestWindow("preview test", 320, 240, SDL_WINDOW_HIDDEN);
//   ASSERT_NE(window.Context, nullptr) << SDL_GetError();   // SDL, window, context, entry points
//   CloseGLTestWindow(window);              // at the end
//   PutPictureInSlot(picture);              // through the slots' setter: the old texture goes,
//   PutPaperInSlot(paper);                  // the size and the slots' counter follow
//   RemovePictureFromSlot();                // the empty slot of start-up
//   std::vector<uint8_t> pixels = DrawFrameOffscreen(333, 200, viewport);   // one frame's draw
//   std::vector<uint8_t> texels = DetailedTexels(1920, 1080);   // the benchmarks' picture
//
//   class PreviewGL : public RendererGLTest { ... };   // a hidden window and the renderer
//
// Nothing here checks a GL error, save the fixture after each test; main thread, with the
// context current for the slot calls.
#pragma once
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "gl/gl_loader.h"
#include "brush_reference.h"

struct GLTestWindow {
    SDL_Window* Window = nullptr;
    SDL_GLContext Context = nullptr;  // null when SDL, the window, the context or the entry points failed
};

// SDL_Init(SDL_INIT_VIDEO), a window of this size and flags with an OpenGL context, and the
// loaded entry points.
GLTestWindow OpenGLTestWindow(const char* title, int width, int height, Uint32 flags);
// The context, the window and SDL, in that order.
void CloseGLTestWindow(const GLTestWindow& window);

// A new RGBA texture as the slots hold them (GL_LINEAR both ways, no mipmaps), bound on the
// active unit; texels row 0 is the top row.
GLuint UploadSlotTexture(const uint8_t* texels, int width, int height);

void PutPictureInSlot(const uint8_t* texels, int width, int height);
void RemovePictureFromSlot();
void PutPaperInSlot(const uint8_t* texels, int width, int height);
inline void PutPictureInSlot(const Picture& picture) {
    PutPictureInSlot(picture.Texels.data(), picture.Width, picture.Height);
}
inline void PutPaperInSlot(const Picture& paper) { PutPaperInSlot(paper.Texels.data(), paper.Width, paper.Height); }

// One frame's DrawBrushFilter into an RGBA8 target standing in for a window of this size, read
// back (RGBA, bottom row first); the viewport the draw left goes into `viewport` when given.
// The target starts filled with a colour the renderer never writes, so a missing clear shows.
// The window's framebuffer is bound again after.
std::vector<uint8_t> DrawFrameOffscreen(int windowWidth, int windowHeight, GLint* viewport = nullptr);

// A picture with detail everywhere (ramps in red and green, noise in blue), so that a pass
// meets no flat colour only.
std::vector<uint8_t> DetailedTexels(int width, int height);

// The renderer's GL tests: a hidden 320 x 240 window with its context and the renderer
// initialised, once for the suite (ShutdownBrushFilter and CloseGLTestWindow after it); before
// each test the brush parameters at their start, no comparing, the cache on; after it, no GL
// error left. A suite that adds to these calls them from its own.
class RendererGLTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void SetUp() override;
    void TearDown() override;
    static GLTestWindow Window;
};
