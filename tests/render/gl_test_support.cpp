#include "gl_test_support.h"

#include "render/brush_filter.h"
#include "render/cached_preview.h"
#include "render/texture_slots.h"

GLTestWindow OpenGLTestWindow(const char* title, int width, int height, Uint32 flags) {
    GLTestWindow w;
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return w;
    w.Window = SDL_CreateWindow(title, 0, 0, width, height, SDL_WINDOW_OPENGL | flags);
    if (!w.Window) return w;
    w.Context = SDL_GL_CreateContext(w.Window);
    if (w.Context && LoadGLEntryPoints() != GL_LOADER_OK) w.Context = nullptr;
    return w;
}

void CloseGLTestWindow(const GLTestWindow& window) {
    if (window.Context) SDL_GL_DeleteContext(window.Context);
    if (window.Window) SDL_DestroyWindow(window.Window);
    SDL_Quit();
}

GLuint UploadSlotTexture(const uint8_t* texels, int width, int height) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels);
    return texture;
}

void PutPictureInSlot(const uint8_t* texels, int width, int height) {
    SetTextureSlot(TEXTURE_SLOT_DIFFUSE, UploadSlotTexture(texels, width, height), width, height);
}

void PutPaperInSlot(const uint8_t* texels, int width, int height) {
    SetTextureSlot(TEXTURE_SLOT_FILTER, UploadSlotTexture(texels, width, height), 0, 0);
}

void RemovePictureFromSlot() { SetTextureSlot(TEXTURE_SLOT_DIFFUSE, 0, 0, 0); }

std::vector<uint8_t> DrawFrameOffscreen(int windowWidth, int windowHeight, GLint* viewport) {
    GLuint framebuffer = 0, colour = 0;
    glGenRenderbuffers(1, &colour);
    glBindRenderbuffer(GL_RENDERBUFFER, colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, windowWidth, windowHeight);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
    glClearColor(0.5f, 0.25f, 0.75f, 0.5f);
    glClear(GL_COLOR_BUFFER_BIT);
    DrawBrushFilter(windowWidth, windowHeight);
    if (viewport) glGetIntegerv(GL_VIEWPORT, viewport);
    std::vector<uint8_t> pixels(size_t(windowWidth) * windowHeight * 4);
    glReadPixels(0, 0, windowWidth, windowHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &framebuffer);
    glDeleteRenderbuffers(1, &colour);
    return pixels;
}

std::vector<uint8_t> DetailedTexels(int width, int height) {
    std::vector<uint8_t> texels(size_t(width) * height * 4);
    uint32_t state = 12345;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            uint8_t* t = &texels[(size_t(y) * width + x) * 4];
            t[0] = uint8_t((x * 255) / width);
            t[1] = uint8_t((y * 255) / height);
            t[2] = uint8_t(state >> 24);
            t[3] = 255;
        }
    return texels;
}

GLTestWindow RendererGLTest::Window;

void RendererGLTest::SetUpTestSuite() {
    Window = OpenGLTestWindow("renderer test", 320, 240, SDL_WINDOW_HIDDEN);
    ASSERT_NE(Window.Context, nullptr) << SDL_GetError();
    InitBrushFilter();
}

void RendererGLTest::TearDownTestSuite() {
    ShutdownBrushFilter();
    CloseGLTestWindow(Window);
}

void RendererGLTest::SetUp() {
    ASSERT_NE(Window.Context, nullptr);
    BrushParameters = InitialBrushParameters;
    CompareWithOriginal = false;
    PreviewCaching = true;
}

void RendererGLTest::TearDown() { EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR)); }
