// bench_brush: what the brush pass costs per frame on the GL at hand (llvmpipe under Xvfb here),
// at drawn areas of 800 x 600, 1920 x 1080 and 3840 x 2160, beside a trivial pass that makes the
// same 18 texture fetches per pixel at the same offsets and only averages them. Each figure is
// the median time of one DrawBrushFilter (clear, binds, uniforms, draw) followed by glFinish,
// into an offscreen RGBA8 target of the drawn size, with a picture of that size; the two
// passes are timed in alternation.
//   bench_brush [seconds per figure]       (needs a display: run under tests/support/with-xvfb.sh)
// Prints figures only; it judges nothing.
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "gl/gl_loader.h"
#include "render/brush_filter.h"
#include "render/cached_preview.h"
#include "render/texture_import.h"

// Same attributes and quad as the brush pass; 17 lookups of the picture at the brush's own
// offsets and one of the paper, nothing else.
static const char* const TrivialPixelShader = R"glsl(#version 140
in vec2 pTexCoord;
out vec4 OutputColor;
uniform vec2 uResolution;
uniform sampler2D sTexture;
uniform sampler2D sBackgroundTexture;
void main()
{
    vec2 U = 1.0 / uResolution;
    vec2 P = vec2(pTexCoord.x, 1.0 - pTexCoord.y);
    vec2 C = vec2(P.x, P.y - 4.0 * U.y);
    vec4 Sum = texture(sTexture, P)
        + texture(sTexture, P + vec2(0.0, 4.0) * U) + texture(sTexture, P + vec2(-3.0, 2.0) * U)
        + texture(sTexture, P + vec2(3.0, 2.0) * U) + texture(sTexture, P + vec2(0.0, -4.0) * U)
        + texture(sTexture, P + vec2(-3.0, -4.0) * U) + texture(sTexture, P + vec2(3.0, 4.0) * U)
        + texture(sTexture, C + vec2(-1.0, -1.0) * U) + texture(sTexture, C + vec2(0.0, -1.0) * U)
        + texture(sTexture, C + vec2(1.0, -1.0) * U) + texture(sTexture, C + vec2(-1.0, 0.0) * U)
        + texture(sTexture, C) + texture(sTexture, C + vec2(1.0, 0.0) * U)
        + texture(sTexture, C + vec2(-1.0, 1.0) * U) + texture(sTexture, C + vec2(0.0, 1.0) * U)
        + texture(sTexture, C + vec2(1.0, 1.0) * U) + texture(sTexture, P);
    OutputColor = Sum / 17.0 * texture(sBackgroundTexture, P);
}
)glsl";

static const char* const QuadVertexShader = R"glsl(#version 140
in vec2 aPosition;
in vec2 aTexCoord;
out vec2 pTexCoord;
void main() { pTexCoord = aTexCoord; gl_Position = vec4(aPosition, 1.0, 1.0); }
)glsl";

static GLuint BuildTrivialProgram() {
    const GLuint program = glCreateProgram();
    const GLenum kinds[2] = {GL_VERTEX_SHADER, GL_FRAGMENT_SHADER};
    const char* sources[2] = {QuadVertexShader, TrivialPixelShader};
    for (int i = 0; i < 2; ++i) {
        const GLuint shader = glCreateShader(kinds[i]);
        glShaderSource(shader, 1, &sources[i], nullptr);
        glCompileShader(shader);
        GLint ok = 0;
        glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
        if (!ok) {
            char log[1024] = {};
            glGetShaderInfoLog(shader, sizeof log, nullptr, log);
            std::fprintf(stderr, "bench_brush: trivial shader: %s\n", log);
            std::exit(1);
        }
        glAttachShader(program, shader);
    }
    glBindAttribLocation(program, 0, "aPosition");
    glBindAttribLocation(program, 1, "aTexCoord");
    glLinkProgram(program);
    return program;
}

// A picture with detail everywhere, so neither pass meets flat colour only.
static GLuint MakePicture(int width, int height) {
    std::vector<unsigned char> texels(size_t(width) * height * 4);
    uint32_t state = 12345;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            unsigned char* t = &texels[(size_t(y) * width + x) * 4];
            t[0] = (unsigned char)((x * 255) / width);
            t[1] = (unsigned char)((y * 255) / height);
            t[2] = (unsigned char)(state >> 24);
            t[3] = 255;
        }
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    return texture;
}

static double Median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Times the two passes in alternation, so that both see the same load on a shared machine.
template <typename DrawA, typename DrawB>
static void MedianFrameMs(double seconds, DrawA drawA, DrawB drawB, double* msA, double* msB) {
    drawA();  // warm: first use of the programs and textures
    drawB();
    glFinish();
    std::vector<double> timesA, timesB;
    auto timeOne = [](auto draw, std::vector<double>& times) {
        const auto start = std::chrono::steady_clock::now();
        draw();
        glFinish();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    };
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (timesA.size() < 3 || (std::chrono::steady_clock::now() < end && timesA.size() < 500)) {
        timeOne(drawA, timesA);
        timeOne(drawB, timesB);
    }
    *msA = Median(timesA);
    *msB = Median(timesB);
}

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "bench_brush: %s\n", SDL_GetError());
        return 1;
    }
    SDL_Window* window = SDL_CreateWindow("bench", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window || !SDL_GL_CreateContext(window) || LoadGLEntryPoints() != GL_LOADER_OK) {
        std::fprintf(stderr, "bench_brush: no OpenGL 3 context: %s\n", SDL_GetError());
        return 1;
    }
    InitBrushFilter();
    // The pass itself in every draw, not the cache's copy of it.
    PreviewCaching = false;
    GLint brushProgram = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &brushProgram);
    const GLuint trivialProgram = BuildTrivialProgram();
    glUseProgram(trivialProgram);
    glUniform1i(glGetUniformLocation(trivialProgram, "sTexture"), 0);
    glUniform1i(glGetUniformLocation(trivialProgram, "sBackgroundTexture"), 1);
    const GLint trivialResolution = glGetUniformLocation(trivialProgram, "uResolution");
    glUseProgram(GLuint(brushProgram));

    std::printf("Brush pass per frame on %s (%s), %u hardware threads; median of draw + glFinish\n",
                reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
                reinterpret_cast<const char*>(glGetString(GL_VERSION)), std::thread::hardware_concurrency());
    std::printf("  %-11s %12s %12s %14s %8s\n", "drawn area", "brush ms", "trivial ms", "brush Mpx/s", "ratio");
    const int sizes[3][2] = {{800, 600}, {1920, 1080}, {3840, 2160}};
    for (const auto& size : sizes) {
        const int w = size[0], h = size[1];
        glDeleteTextures(1, &DiffuseTexture);
        DiffuseTexture = MakePicture(w, h);
        DiffuseWidth = w;
        DiffuseHeight = h;
        GLuint framebuffer = 0, colour = 0;
        glGenRenderbuffers(1, &colour);
        glBindRenderbuffer(GL_RENDERBUFFER, colour);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);

        // The same per-frame work with the trivial program in place of the brush program.
        auto drawBrush = [&] { DrawBrushFilter(w, h); };
        auto drawTrivial = [&] {
            glUseProgram(trivialProgram);
            glViewport(0, 0, w, h);
            glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
            glActiveTexture(GL_TEXTURE0);
            glBindTexture(GL_TEXTURE_2D, DiffuseTexture);
            glActiveTexture(GL_TEXTURE1);
            glBindTexture(GL_TEXTURE_2D, FilterTexture);
            glUniform2f(trivialResolution, float(w), float(h));
            glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_INT, nullptr);
            glUseProgram(GLuint(brushProgram));
        };
        double brushMs = 0, trivialMs = 0;
        MedianFrameMs(seconds, drawBrush, drawTrivial, &brushMs, &trivialMs);

        char label[32];
        std::snprintf(label, sizeof label, "%dx%d", w, h);
        std::printf("  %-11s %12.2f %12.2f %14.1f %8.2f\n", label, brushMs, trivialMs, w * double(h) / brushMs / 1000.0,
                    brushMs / trivialMs);
        std::fflush(stdout);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &framebuffer);
        glDeleteRenderbuffers(1, &colour);
    }
    ShutdownBrushFilter();
    return 0;
}
