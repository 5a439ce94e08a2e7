// The cached preview and the offscreen pass on a real GL (Mesa llvmpipe on a virtual display):
// the cache against the pass drawn straight into the window, when the pass runs, the GL state
// around it, the original picture while comparing, and the export's render against the CPU
// reference of brush_reference.cpp at views that are not 1:1, whole and in tiles.
#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <iostream>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "brush_reference.h"
#include "gl_test_support.h"
#include "gl/gl_loader.h"
#include "render/brush_filter.h"
#include "render/cached_preview.h"
#include "render/offscreen_pass.h"
#include "render/picture_export.h"
#include "render/texture_slots.h"

namespace {

struct Random {
    uint32_t State;
    uint32_t Next() {
        State = State * 1664525u + 1013904223u;
        return State >> 8;
    }
};

// What a photograph has, without what makes the filter ill-conditioned: smooth colour fields in
// which each channel has its own waves, seamless across the borders (the brush's lookups wrap),
// so samples of nearly equal brightness but different colour are common and a smear choice
// between them may fall either way on a GL whose filtering rounds. (Hard edges in some channels
// but not others, and the wrap seam of a picture that does not tile, make the edge weight
// magnify a rounding of the GL's 8-bit filtered samples many times over; 1:1 views, where
// every lookup is exact, test those.)
Picture MixedPicture(int width, int height, uint32_t seed) {
    Random random{seed};
    const double pi2 = 6.283185307179586;
    double phase[6];
    for (double& p : phase) p = (random.Next() % 1000) / 1000.0 * pi2;
    Picture picture = MakePicture(width, height, 0, 0, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double u = double(x) / width, v = double(y) / height;
            auto channel = [](double value) { return uint8_t(std::lround(std::clamp(value, 0.0, 255.0))); };
            picture.Set(x, y, channel(128 + 90 * std::sin(pi2 * 2 * u + phase[0]) + 30 * std::cos(pi2 * v + phase[1])),
                        channel(120 + 80 * std::sin(pi2 * 3 * v + phase[2]) + 40 * std::sin(pi2 * (u + v) + phase[3])),
                        channel(130 + 100 * std::cos(pi2 * (2 * u - v) + phase[4])),
                        channel(230 + 25 * std::sin(pi2 * u + phase[5])));
        }
    return picture;
}

// Every texel its own colour: the hardest case for a copy that must equal the pass bit for bit,
// as any rounding of the interpolated coordinates shows.
Picture NoisePicture(int width, int height, uint32_t seed) {
    Random random{seed};
    Picture picture = MakePicture(width, height, 0, 0, 0);
    for (uint8_t& texel : picture.Texels) texel = uint8_t(random.Next());
    return picture;
}

Picture GrainPaper(int width, int height, uint32_t seed) {
    Random random{seed};
    Picture paper = MakePicture(width, height, 0, 0, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            paper.Set(x, y, uint8_t(150 + random.Next() % 106), uint8_t(150 + random.Next() % 106),
                      uint8_t(150 + random.Next() % 106), uint8_t(200 + random.Next() % 56));
    return paper;
}

// The pass straight into the window, as every frame drew before the cache.
std::vector<uint8_t> DrawFrameUncached(int windowWidth, int windowHeight) {
    PreviewCaching = false;
    std::vector<uint8_t> pixels = DrawFrameOffscreen(windowWidth, windowHeight);
    PreviewCaching = true;
    return pixels;
}

size_t DifferingBytes(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size()) return std::max(a.size(), b.size());
    size_t count = 0;
    for (size_t i = 0; i < a.size(); ++i) count += a[i] != b[i];
    return count;
}

// The state a draw may touch, as one list of numbers.
std::vector<GLint> GLStateSnapshot() {
    std::vector<GLint> state;
    auto integers = [&](GLenum name, int count) {
        GLint values[4] = {};
        glGetIntegerv(name, values);
        state.insert(state.end(), values, values + count);
    };
    for (GLenum name : {GL_DRAW_FRAMEBUFFER_BINDING, GL_READ_FRAMEBUFFER_BINDING, GL_CURRENT_PROGRAM,
                        GL_VERTEX_ARRAY_BINDING, GL_ARRAY_BUFFER_BINDING, GL_ELEMENT_ARRAY_BUFFER_BINDING,
                        GL_RENDERBUFFER_BINDING, GL_PIXEL_PACK_BUFFER_BINDING, GL_PACK_ALIGNMENT, GL_PACK_ROW_LENGTH,
                        GL_PACK_SKIP_ROWS, GL_PACK_SKIP_PIXELS, GL_UNPACK_ALIGNMENT, GL_ACTIVE_TEXTURE})
        integers(name, 1);
    integers(GL_VIEWPORT, 4);
    integers(GL_SCISSOR_BOX, 4);
    GLint active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    for (int unit = 0; unit < 3; ++unit) {
        glActiveTexture(GLenum(GL_TEXTURE0 + unit));
        integers(GL_TEXTURE_BINDING_2D, 1);
    }
    glActiveTexture(GLenum(active));
    for (GLenum capability : {GL_BLEND, GL_DEPTH_TEST, GL_CULL_FACE, GL_SCISSOR_TEST, GL_STENCIL_TEST})
        state.push_back(glIsEnabled(capability));
    GLboolean mask[4] = {};
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    state.insert(state.end(), mask, mask + 4);
    return state;
}

// The largest difference over the three colour channels between a pixel and a reference colour.
int ColourDifference(const uint8_t* got, const Rgba& want) {
    const double channels[3] = {want.R, want.G, want.B};
    int d = 0;
    for (int i = 0; i < 3; ++i) d = std::max(d, std::abs(int(got[i]) - int(ToUnorm8(channels[i]))));
    return d;
}

struct ReferenceTally {
    int Bulk = 0;        // within the tolerance of the exact outcome
    int Flips = 0;       // within it only of an outcome where a near tie of the smear fell the other way
    int Mismatches = 0;  // within it of no outcome
    int NearTies = 0;    // pixels whose smear has a near tie at all
};

const int Tolerance = 2;
// A GL whose filtered samples carry 8 bits rounds a brightness by up to about half a step; two
// samples closer than one step may compare either way.
const double TieMargin = 1.0 / 255;

// An exported RGB picture (top row first) against the reference at every pixel.
ReferenceTally CompareWithReference(const std::vector<uint8_t>& rgb, const Picture& picture, const Picture& paper,
                                    float reachWidth, float reachHeight, const BrushProperties& p) {
    ReferenceTally tally;
    const ReferenceParameters parameters = {p.Opacity, p.StrokeCoeff, p.BackgroundCoeff};
    for (int row = 0; row < picture.Height; ++row)
        for (int column = 0; column < picture.Width; ++column) {
            const uint8_t* got = &rgb[(size_t(row) * picture.Width + column) * 3];
            const std::vector<Rgba> outcomes =
                ReferenceBrushOutcomesAt(picture, paper, (column + 0.5) / picture.Width, (row + 0.5) / picture.Height,
                                         1.0 / reachWidth, 1.0 / reachHeight, parameters, TieMargin);
            tally.NearTies += outcomes.size() > 1;
            if (ColourDifference(got, outcomes[0]) <= Tolerance) {
                ++tally.Bulk;
                continue;
            }
            const bool flip = std::any_of(outcomes.begin() + 1, outcomes.end(),
                                          [&](const Rgba& c) { return ColourDifference(got, c) <= Tolerance; });
            if (flip) {
                ++tally.Flips;
            } else if (++tally.Mismatches <= 5) {
                const Rgba& c = outcomes[0];
                ADD_FAILURE() << "pixel (" << column << ", " << row << ") is (" << int(got[0]) << ", " << int(got[1])
                              << ", " << int(got[2]) << "), the reference (" << int(ToUnorm8(c.R)) << ", "
                              << int(ToUnorm8(c.G)) << ", " << int(ToUnorm8(c.B)) << ")";
            }
        }
    return tally;
}

std::vector<uint8_t> RenderRGB(int width, int height, float reachWidth, float reachHeight,
                               const BrushProperties& parameters) {
    std::vector<uint8_t> rgb(size_t(width) * height * 3, 0xAB);
    char reason[256] = "";
    EXPECT_TRUE(RenderBrushPassRGB(width, height, reachWidth, reachHeight, parameters, rgb.data(), rgb.size(), reason,
                                   sizeof reason))
        << reason;
    return rgb;
}

const BrushProperties OtherParameters = {0.6f, 0.85f, 0.7f};

}  // namespace

class PreviewGL : public RendererGLTest {
protected:
    void SetUp() override {
        RendererGLTest::SetUp();
        OffscreenTileLimit = 2048;
        PutPaperInSlot(GrainPaper(23, 17, 5));
    }
    void TearDown() override {
        RendererGLTest::TearDown();
        OffscreenTileLimit = 2048;
        CompareWithOriginal = false;
    }
};

TEST_F(PreviewGL, CacheShowsExactlyWhatThePassDrawsInAFramebufferObject) {
    // 1:1, scaled up and down, bars at the sides and above and below, odd sizes, two parameter
    // sets: every byte (alpha too) equals the pass drawn straight into the target there.
    const Picture landscape = NoisePicture(160, 90, 1);
    const Picture portrait = NoisePicture(37, 61, 2);
    const int windows[][2] = {{160, 90}, {333, 200}, {101, 77}, {640, 481}, {90, 300}, {999, 211}};
    for (const Picture* picture : {&landscape, &portrait}) {
        PutPictureInSlot(*picture);
        for (const BrushProperties& parameters : {InitialBrushParameters, OtherParameters}) {
            BrushParameters = parameters;
            for (const auto& window : windows) {
                SCOPED_TRACE(std::to_string(picture->Width) + "x" + std::to_string(picture->Height) + " in " +
                             std::to_string(window[0]) + "x" + std::to_string(window[1]));
                const std::vector<uint8_t> cached = DrawFrameOffscreen(window[0], window[1]);
                EXPECT_EQ(DifferingBytes(cached, DrawFrameUncached(window[0], window[1])), 0u);
            }
        }
    }
}

TEST_F(PreviewGL, CacheShowsWhatThePassDrawsInARealWindow) {
    // The window's own framebuffer, whose raster a GL may keep from the top row down: the cache
    // is painted upside down at the drawn area's raster position and copied back. Mesa's
    // rasterizer interpolates a window's rows a hair differently from a framebuffer object's at
    // some heights, so a row of a picture whose every texel differs may come out one step apart
    // (seen: 3 views of 24, one row each); smooth pictures come out exact (the end-to-end test).
    const Picture landscape = NoisePicture(160, 90, 3);
    const Picture portrait = NoisePicture(37, 61, 4);
    const int windows[][2] = {{320, 240}, {333, 200}, {101, 77},  {90, 300},  {641, 480}, {517, 313},
                              {259, 401}, {700, 211}, {123, 456}, {800, 600}, {611, 389}, {355, 222}};
    BrushParameters = OtherParameters;
    int exact = 0, views = 0;
    for (const auto& window : windows) {
        SDL_SetWindowSize(Window.Window, window[0], window[1]);
        int width = 0, height = 0;
        for (int i = 0; i < 100 && (width != window[0] || height != window[1]); ++i) {
            SDL_PumpEvents();
            SDL_GL_GetDrawableSize(Window.Window, &width, &height);
        }
        ASSERT_EQ(width, window[0]);
        ASSERT_EQ(height, window[1]);
        for (const Picture* picture : {&landscape, &portrait}) {
            SCOPED_TRACE(std::to_string(picture->Width) + "x" + std::to_string(picture->Height) + " in " +
                         std::to_string(width) + "x" + std::to_string(height));
            PutPictureInSlot(*picture);
            auto drawAndRead = [&] {
                glBindFramebuffer(GL_FRAMEBUFFER, 0);
                DrawBrushFilter(width, height);
                std::vector<uint8_t> pixels(size_t(width) * height * 4);
                glReadBuffer(GL_BACK);
                glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
                // The window may keep no alpha; the colours are what shows.
                for (size_t i = 3; i < pixels.size(); i += 4) pixels[i] = 0;
                return pixels;
            };
            const std::vector<uint8_t> cached = drawAndRead();
            PreviewCaching = false;
            const std::vector<uint8_t> uncached = drawAndRead();
            PreviewCaching = true;
            int differing = 0, worst = 0;
            for (size_t i = 0; i < cached.size(); i += 4) {
                int d = 0;
                for (size_t c = 0; c < 3; ++c) d = std::max(d, std::abs(int(cached[i + c]) - int(uncached[i + c])));
                differing += d > 0;
                worst = std::max(worst, d);
            }
            EXPECT_LE(worst, 1);
            EXPECT_LE(differing, width) << "no more than a row";
            exact += differing == 0;
            ++views;
        }
    }
    EXPECT_GE(exact, views * 3 / 4) << "most views exact";
    SDL_SetWindowSize(Window.Window, 320, 240);
}

TEST_F(PreviewGL, PassRunsOnlyWhenWhatItReadsChanges) {
    PutPictureInSlot(MixedPicture(160, 90, 3));
    // 320 x 300 fits the picture to 320 x 180, 60 rows above and below.
    const int paints = PreviewPaintCount();
    const std::vector<uint8_t> first = DrawFrameOffscreen(320, 300);
    EXPECT_EQ(PreviewPaintCount(), paints + 1);
    for (int i = 0; i < 100; ++i) DrawFrameOffscreen(320, 300);
    EXPECT_EQ(PreviewPaintCount(), paints + 1) << "100 frames with nothing changed";
    BrushParameters.Opacity = InitialBrushParameters.Opacity;  // written, not changed
    EXPECT_EQ(DifferingBytes(DrawFrameOffscreen(320, 300), first), 0u);
    EXPECT_EQ(PreviewPaintCount(), paints + 1);

    // Each input: one paint, and the very next frame shows the change.
    int expected = paints + 1;
    auto expectOnePaintShowingTheChange = [&](const char* what, int windowWidth, int windowHeight) {
        SCOPED_TRACE(what);
        const std::vector<uint8_t> frame = DrawFrameOffscreen(windowWidth, windowHeight);
        EXPECT_EQ(PreviewPaintCount(), ++expected);
        EXPECT_EQ(DifferingBytes(frame, DrawFrameUncached(windowWidth, windowHeight)), 0u);
        DrawFrameOffscreen(windowWidth, windowHeight);
        EXPECT_EQ(PreviewPaintCount(), expected) << "and no more";
    };
    BrushParameters.Opacity = 0.5f;
    expectOnePaintShowingTheChange("opacity", 320, 300);
    BrushParameters.StrokeCoeff = 0.9f;
    expectOnePaintShowingTheChange("stroke", 320, 300);
    BrushParameters.BackgroundCoeff = 0.1f;
    expectOnePaintShowingTheChange("paper intensity", 320, 300);
    PutPaperInSlot(GrainPaper(40, 40, 9));
    expectOnePaintShowingTheChange("paper", 320, 300);

    // A new picture of the same size under the old one's name, as when the GL hands a deleted
    // texture's name out again: only the slots' counter tells.
    const Picture next = MixedPicture(160, 90, 4);
    glBindTexture(GL_TEXTURE_2D, DiffuseTexture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, next.Width, next.Height, 0, GL_RGBA, GL_UNSIGNED_BYTE, next.Texels.data());
    SetTextureSlot(TEXTURE_SLOT_DIFFUSE, DiffuseTexture, next.Width, next.Height);
    expectOnePaintShowingTheChange("picture", 320, 300);

    // Another window size: one paint, as the cache holds the whole window, bars and all.
    expectOnePaintShowingTheChange("a taller window, the drawn area where it was", 320, 301);
    expectOnePaintShowingTheChange("the drawn area one row higher", 320, 302);
    expectOnePaintShowingTheChange("a new drawn size", 251, 302);

    // Comparing shows the original without painting; releasing shows the cached painting.
    const std::vector<uint8_t> painting = DrawFrameOffscreen(251, 302);
    CompareWithOriginal = true;
    EXPECT_NE(DifferingBytes(DrawFrameOffscreen(251, 302), painting), 0u);
    CompareWithOriginal = false;
    EXPECT_EQ(DifferingBytes(DrawFrameOffscreen(251, 302), painting), 0u);
    EXPECT_EQ(PreviewPaintCount(), expected);

    // No picture: nothing to paint, whatever changes.
    RemovePictureFromSlot();
    BrushParameters.Opacity = 0.25f;
    DrawFrameOffscreen(320, 300);
    DrawFrameOffscreen(200, 100);
    EXPECT_EQ(PreviewPaintCount(), expected);
}

TEST_F(PreviewGL, PaintingPresentingAndTheOffscreenRenderPutBackTheGLState) {
    PutPictureInSlot(MixedPicture(60, 40, 5));
    // Unusual state, as another user of the GL might leave it: a framebuffer of its own for
    // drawing and another for reading, another viewport, unit 2 active with textures on the
    // first three units, no program and no vertex array, the switches on, a narrow pack.
    GLuint framebuffers[2] = {}, colours[2] = {}, textures[3] = {};
    glGenFramebuffers(2, framebuffers);
    glGenRenderbuffers(2, colours);
    for (int i = 0; i < 2; ++i) {
        glBindRenderbuffer(GL_RENDERBUFFER, colours[i]);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, 200, 150);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffers[i]);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colours[i]);
    }
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffers[0]);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffers[1]);
    glGenTextures(3, textures);
    for (int unit = 0; unit < 3; ++unit) {
        glActiveTexture(GLenum(GL_TEXTURE0 + unit));
        glBindTexture(GL_TEXTURE_2D, textures[unit]);
    }
    GLint brushProgram = 0, quad = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &brushProgram);
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &quad);
    glUseProgram(0);
    glBindVertexArray(0);
    glViewport(3, 4, 50, 60);
    glScissor(1, 2, 300, 300);
    glEnable(GL_SCISSOR_TEST);
    glEnable(GL_BLEND);
    glEnable(GL_CULL_FACE);
    glPixelStorei(GL_PACK_ALIGNMENT, 8);
    glPixelStorei(GL_PACK_ROW_LENGTH, 7);

    const BrushViewport viewport = ComputeBrushViewport(200, 150, 60, 40);
    const std::vector<GLint> before = GLStateSnapshot();
    BrushParameters.Opacity = 0.3f;  // something new to paint
    const int paints = PreviewPaintCount();
    ASSERT_TRUE(PaintPreview(viewport, 200, 150, BrushParameters));
    ASSERT_EQ(PreviewPaintCount(), paints + 1);
    EXPECT_EQ(GLStateSnapshot(), before) << "after painting";
    PresentPreview();
    EXPECT_EQ(GLStateSnapshot(), before) << "after presenting";
    PresentOriginalPicture(viewport);
    EXPECT_EQ(GLStateSnapshot(), before) << "after presenting the original";
    OffscreenTileLimit = 16;
    RenderRGB(60, 40, 50, 30, BrushParameters);
    EXPECT_EQ(GLStateSnapshot(), before) << "after a tiled render and read-back";
    // The export's render in steps, a tile each, with the window's frames in between: each step
    // finds the frame's state and leaves it so.
    std::vector<uint8_t> stepped(size_t(60) * 40 * 3);
    char reason[256] = "";
    ASSERT_TRUE(StartPaintedPictureRender(stepped.data(), stepped.size(), reason, sizeof reason)) << reason;
    EXPECT_EQ(GLStateSnapshot(), before) << "after the render's start";
    int steps = 0;
    while (StepPaintedPictureRender(0.0, nullptr, reason, sizeof reason) == RENDER_RUNNING) {
        ++steps;
        EXPECT_EQ(GLStateSnapshot(), before) << "after step " << steps;
    }
    EXPECT_EQ(GLStateSnapshot(), before) << "after the last step";
    EndPaintedPictureRender();
    EXPECT_EQ(GLStateSnapshot(), before) << "after the render's end";
    EXPECT_EQ(steps, 11) << "4 x 3 tiles of 16, one a step";
    // The frame's draw sets the viewport and both units by design; the scissor box and switch,
    // which it uses to clear the bars, it puts back.
    glUseProgram(GLuint(brushProgram));
    glBindVertexArray(GLuint(quad));
    GLint box[4] = {};
    DrawBrushFilter(200, 150);
    glGetIntegerv(GL_SCISSOR_BOX, box);
    EXPECT_EQ(std::vector<GLint>(box, box + 4), (std::vector<GLint>{1, 2, 300, 300}));
    EXPECT_TRUE(glIsEnabled(GL_SCISSOR_TEST));

    // The copies went where the caller draws, whatever the scissor box said.
    std::vector<uint8_t> drawn(size_t(200) * 150 * 4);
    glDisable(GL_SCISSOR_TEST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffers[0]);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    glReadPixels(0, 0, 200, 150, GL_RGBA, GL_UNSIGNED_BYTE, drawn.data());
    EXPECT_NE(std::count(drawn.begin(), drawn.end(), 0), long(drawn.size())) << "nothing was drawn";

    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glUseProgram(GLuint(brushProgram));
    glBindVertexArray(GLuint(quad));
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(2, framebuffers);
    glDeleteRenderbuffers(2, colours);
    glDeleteTextures(3, textures);
}

TEST_F(PreviewGL, ComparingShowsThePictureScaledBilinearlyWithoutBrushOrPaper) {
    const Picture landscape = MixedPicture(90, 50, 6);
    const Picture portrait = MixedPicture(37, 61, 7);
    // Shown larger and smaller than its own size, not 1:1, with bars.
    const int windows[][2] = {{300, 200}, {61, 40}, {80, 200}};
    BrushParameters = OtherParameters;
    for (const Picture* picture : {&landscape, &portrait}) {
        PutPictureInSlot(*picture);
        for (const auto& window : windows) {
            SCOPED_TRACE(std::to_string(picture->Width) + "x" + std::to_string(picture->Height) + " in " +
                         std::to_string(window[0]) + "x" + std::to_string(window[1]));
            const int paints = PreviewPaintCount();
            CompareWithOriginal = true;
            const std::vector<uint8_t> frame = DrawFrameOffscreen(window[0], window[1]);
            CompareWithOriginal = false;
            EXPECT_EQ(PreviewPaintCount(), paints);
            const BrushViewport v = ComputeBrushViewport(window[0], window[1], picture->Width, picture->Height);
            int off = 0, worst = 0;
            for (int y = 0; y < window[1]; ++y)
                for (int x = 0; x < window[0]; ++x) {
                    const uint8_t* got = &frame[(size_t(y) * window[0] + x) * 4];
                    const int column = x - v.X, rowFromTop = v.Y + v.Height - 1 - y;
                    const bool inside = column >= 0 && column < v.Width && y >= v.Y && y < v.Y + v.Height;
                    const Rgba want =
                        inside ? SampleLinearClamp(*picture, (column + 0.5) / v.Width, (rowFromTop + 0.5) / v.Height)
                               : Rgba{0, 0, 0, 1};
                    const int d = std::max(ColourDifference(got, want), std::abs(int(got[3]) - ToUnorm8(want.A)));
                    worst = std::max(worst, d);
                    off += d > 1;
                }
            EXPECT_EQ(off, 0) << "pixels off by more than 1; the worst by " << worst;
        }
    }
}

TEST_F(PreviewGL, ExportMatchesTheReferenceShownSmallerAndLargerThanItsSize) {
    // A 180 x 120 picture drawn at 120 x 80 (a 120 x 100 window) and at 300 x 200 (a 300 x 300
    // window); the render is at 180 x 120 with the drawn size's reach, in one tile and in tiles
    // whose edges fall anywhere.
    const Picture picture = MixedPicture(180, 120, 8);
    const Picture paper = GrainPaper(47, 31, 10);
    PutPictureInSlot(picture);
    PutPaperInSlot(paper);
    const int windows[][2] = {{120, 100}, {300, 300}};
    for (const auto& window : windows) {
        const BrushViewport drawn = ComputeBrushViewport(window[0], window[1], picture.Width, picture.Height);
        for (const BrushProperties& parameters : {InitialBrushParameters, OtherParameters}) {
            for (int tileLimit : {2048, 41}) {
                SCOPED_TRACE("drawn " + std::to_string(drawn.Width) + "x" + std::to_string(drawn.Height) +
                             ", tiles of " + std::to_string(tileLimit) + ", opacity " +
                             std::to_string(parameters.Opacity));
                OffscreenTileLimit = tileLimit;
                const std::vector<uint8_t> rgb =
                    RenderRGB(picture.Width, picture.Height, float(drawn.Width), float(drawn.Height), parameters);
                const ReferenceTally tally =
                    CompareWithReference(rgb, picture, paper, float(drawn.Width), float(drawn.Height), parameters);
                const int pixels = picture.Width * picture.Height;
                EXPECT_EQ(tally.Mismatches, 0);
                // Flips happen only at near ties between differently coloured samples, and only at
                // a small share of the pixels. (Here about 2 to 3 %: smooth fields are full of
                // near ties; a 1:1 view has none, its lookups being exact.)
                EXPECT_LE(tally.Flips, pixels / 20);
                EXPECT_LE(tally.Flips, tally.NearTies);
                std::cout << "  drawn " << drawn.Width << "x" << drawn.Height << ", tiles of " << tileLimit
                          << ", parameters " << parameters.Opacity << " " << parameters.StrokeCoeff << " "
                          << parameters.BackgroundCoeff << ": " << tally.Bulk << " within " << Tolerance << " levels, "
                          << tally.Flips << " flips (of " << tally.NearTies << " near ties), " << tally.Mismatches
                          << " off, of " << pixels << " pixels\n";
                EXPECT_EQ(tally.Bulk + tally.Flips + tally.Mismatches, pixels);
            }
        }
    }
}

TEST_F(PreviewGL, TilesGiveTheWholeRenderAndTheExportTakesTheLastFramesReach) {
    const Picture picture = MixedPicture(211, 97, 11);
    PutPictureInSlot(picture);
    BrushParameters = OtherParameters;
    const std::vector<uint8_t> whole = RenderRGB(211, 97, 150.0f, 69.0f, BrushParameters);
    OffscreenTileLimit = 32;
    const std::vector<uint8_t> tiled = RenderRGB(211, 97, 150.0f, 69.0f, BrushParameters);
    // Each tile interpolates its own part of the picture's coordinates: at most a rounding apart.
    int differing = 0, worst = 0;
    for (size_t i = 0; i < whole.size(); ++i) {
        differing += whole[i] != tiled[i];
        worst = std::max(worst, std::abs(int(whole[i]) - int(tiled[i])));
    }
    EXPECT_LE(worst, Tolerance);
    EXPECT_LE(differing, int(whole.size() / 200));
    OffscreenTileLimit = 2048;

    // The export renders at the picture's size with the drawn size of the latest frame.
    DrawFrameOffscreen(300, 250);
    const BrushViewport drawn = ComputeBrushViewport(300, 250, 211, 97);
    int width = 0, height = 0;
    PaintedPictureSize(&width, &height);
    EXPECT_EQ(width, 211);
    EXPECT_EQ(height, 97);
    std::vector<uint8_t> exported(size_t(width) * height * 3);
    char reason[256] = "";
    ASSERT_TRUE(RenderPaintedPicture(exported.data(), exported.size(), reason, sizeof reason)) << reason;
    EXPECT_EQ(DifferingBytes(exported, RenderRGB(211, 97, float(drawn.Width), float(drawn.Height), BrushParameters)),
              0u);
    // A frame with no room to draw (a minimised window) leaves the reach as it was.
    DrawFrameOffscreen(300, 0);
    ASSERT_TRUE(RenderPaintedPicture(exported.data(), exported.size(), reason, sizeof reason)) << reason;
    EXPECT_EQ(DifferingBytes(exported, RenderRGB(211, 97, float(drawn.Width), float(drawn.Height), BrushParameters)),
              0u);
}

TEST_F(PreviewGL, RenderRefusesWithAReason) {
    PutPictureInSlot(MixedPicture(20, 10, 12));
    std::vector<uint8_t> rgb(20 * 10 * 3);
    char reason[256] = "";
    EXPECT_FALSE(
        RenderBrushPassRGB(20, 10, 20, 10, BrushParameters, rgb.data(), rgb.size() - 1, reason, sizeof reason));
    EXPECT_NE(std::string(reason).find("600 bytes"), std::string::npos) << reason;
    EXPECT_FALSE(RenderBrushPassRGB(0, 10, 20, 10, BrushParameters, rgb.data(), rgb.size(), reason, sizeof reason));
    EXPECT_FALSE(RenderBrushPassRGB(20, 10, 0, 10, BrushParameters, rgb.data(), rgb.size(), reason, sizeof reason));
    EXPECT_TRUE(RenderBrushPassRGB(20, 10, 20, 10, BrushParameters, rgb.data(), rgb.size(), reason, sizeof reason));
    // Wider than any target the GL can draw into.
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    OffscreenTarget target = {};
    EXPECT_FALSE(SizeOffscreenTarget(&target, largest + 1, 1, reason, sizeof reason));
    EXPECT_EQ(target.Framebuffer, 0u);
    EXPECT_NE(std::string(reason).find("cannot draw"), std::string::npos) << reason;
    RemovePictureFromSlot();
    EXPECT_FALSE(RenderPaintedPicture(rgb.data(), rgb.size(), reason, sizeof reason));
    EXPECT_EQ(std::string(reason), "no picture has been imported");
}

TEST_F(PreviewGL, ShutdownDeletesWhatTheCacheAndThePassesMade) {
    PutPictureInSlot(MixedPicture(50, 30, 13));
    DrawFrameOffscreen(100, 100);
    CompareWithOriginal = true;
    DrawFrameOffscreen(100, 100);
    CompareWithOriginal = false;
    RenderRGB(50, 30, 50, 30, BrushParameters);
    const OffscreenTarget cache = PreviewTarget();
    ASSERT_TRUE(glIsTexture(cache.Texture));
    ASSERT_TRUE(glIsFramebuffer(cache.Framebuffer));
    EXPECT_EQ(cache.Width, 100);
    EXPECT_EQ(cache.Height, 100) << "the window, bars and all";
    ShutdownBrushFilter();
    EXPECT_FALSE(glIsTexture(cache.Texture));
    EXPECT_FALSE(glIsFramebuffer(cache.Framebuffer));
    EXPECT_EQ(PreviewTarget().Texture, 0u);
    // What is left for the rest of the suite: a renderer as at start-up.
    InitBrushFilter();
}
