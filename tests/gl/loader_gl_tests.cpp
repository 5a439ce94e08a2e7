// The loader on a real context (Mesa under Xvfb): everything the program may call is found.
#include <gtest/gtest.h>

#include <SDL.h>

#include "gl/gl_loader.h"

static const char* const Core33Names[] = {
#include "gl_core33_names.inc"
};

TEST(GLLoaderOnMesa, FillsEveryCore33EntryPoint) {
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
    SDL_Window* window = SDL_CreateWindow("loader", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    ASSERT_NE(window, nullptr) << SDL_GetError();
    SDL_GLContext context = SDL_GL_CreateContext(window);
    ASSERT_NE(context, nullptr) << SDL_GetError();

    EXPECT_EQ(LoadGLEntryPoints(), GL_LOADER_OK);
    EXPECT_GE(GLContextVersion[0], 3);
    EXPECT_TRUE(IsGLVersionAtLeast(3, 3));

    ASSERT_GT(sizeof(Core33Names) / sizeof(Core33Names[0]), 300u);
    for (const char* name : Core33Names) {
        int slot = 0;
        while (slot < GL_ENTRY_POINT_COUNT && strcmp(GLEntryPointNames[slot], name) != 0) ++slot;
        ASSERT_LT(slot, GL_ENTRY_POINT_COUNT) << name << " is not in the table";
        EXPECT_NE(GLEntryPoints[slot], nullptr) << name;
    }
    // A call through the table reaches the driver.
    glClearColor(0.25f, 0.5f, 0.75f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    unsigned char pixel[4] = {};
    glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    EXPECT_NEAR(pixel[0], 64, 1);
    EXPECT_NEAR(pixel[1], 128, 1);
    EXPECT_NEAR(pixel[2], 191, 1);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
    SDL_Quit();
}
