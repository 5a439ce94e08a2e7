// bench_brush: what the brush pass costs per frame on the GL at hand (llvmpipe under Xvfb here),
// at drawn areas of 800 x 600, 1920 x 1080 and 3840 x 2160, beside a trivial pass that makes the
// same 18 texture fetches per pixel at the same offsets and only averages them. Each figure is
// the median time of one DrawBrushFilter (clear, binds, uniforms, draw) followed by glFinish,
// into an offscreen RGBA8 target of the drawn size, with a picture of that size; the two
// passes are timed in alternation.
//   bench_brush [seconds per figure]       (needs a display: run under tests/support/with-xvfb.sh)
// Prints figures only; it judges nothing.
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "gl/gl_loader.h"
#include "gl_test_support.h"
#include "render/brush_filter.h"
#include "render/cached_preview.h"
#include "render/texture_import.h"
#include "tests/support/bench_timing.h"

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

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    if (!OpenGLTestWindow("bench", 64, 64, SDL_WINDOW_HIDDEN).Context) {
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
        PutPictureInSlot(DetailedTexels(w, h).data(), w, h);
        GLuint framebuffer = 0, colour = 0;
        glGenRenderbuffers(1, &colour);
        glBindRenderbuffer(GL_RENDERBUFFER, colour);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, w, h);
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);

        // The same per-frame work with the trivial program in place of the brush program.
        auto drawBrush = [&] {
            DrawBrushFilter(w, h);
            glFinish();
        };
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
            glFinish();
        };
        double brushMs = 0, trivialMs = 0;
        AlternatingMedianMs(seconds, 3, 500, drawBrush, drawTrivial, &brushMs, &trivialMs);

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
