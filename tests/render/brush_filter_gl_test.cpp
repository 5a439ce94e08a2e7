// The brush pass on a real GL (Mesa llvmpipe on a virtual display), read back with
// glReadPixels and compared with the CPU reference of brush_reference.cpp.
#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "brush_reference.h"
#include "gl_test_support.h"
#include "gl/gl_loader.h"
#include "render/brush_filter.h"
#include "settings/look_file.h"
#include "render/texture_slots.h"

// The tolerance of every comparison, per channel, in 8-bit steps.
static const int Tolerance = 2;

namespace {

// What the pass drew: every pixel of the target, top row first, and the viewport it set.
struct Frame {
    int Width = 0;
    GLint Viewport[4] = {};
    std::vector<uint8_t> Pixels;
    const uint8_t* At(int x, int yFromTop) const { return &Pixels[(size_t(yFromTop) * Width + x) * 4]; }
};

// Draws into an offscreen RGBA8 target standing in for the window, so alpha can be read back.
Frame Draw(int windowWidth, int windowHeight) {
    Frame frame;
    frame.Width = windowWidth;
    const std::vector<uint8_t> bottomUp = DrawFrameOffscreen(windowWidth, windowHeight, frame.Viewport);
    const size_t row = size_t(windowWidth) * 4;
    for (int y = windowHeight - 1; y >= 0; --y)
        frame.Pixels.insert(frame.Pixels.end(), &bottomUp[y * row], &bottomUp[y * row] + row);
    return frame;
}

// Draws with the pictures and parameters in place and checks every pixel: black bars outside
// the drawn area, the reference inside it, all four channels.
void ExpectMatchesReference(const Picture& picture, const Picture& paper, int windowWidth, int windowHeight) {
    const Frame frame = Draw(windowWidth, windowHeight);
    const BrushViewport v = ComputeBrushViewport(windowWidth, windowHeight, DiffuseWidth, DiffuseHeight);
    EXPECT_EQ(std::vector<GLint>(frame.Viewport, frame.Viewport + 4),
              (std::vector<GLint>{v.X, v.Y, v.Width, v.Height}));
    const int top = windowHeight - v.Y - v.Height;
    const ReferenceParameters parameters = {BrushParameters.Opacity, BrushParameters.StrokeCoeff,
                                            BrushParameters.BackgroundCoeff};
    // At 1:1 every lookup is a texel centre and the smear's choice must be exact; between texel
    // centres a near tie may fall either way (see ReferenceBrushPixelOutcomes).
    const double tieMargin = v.Width == picture.Width && v.Height == picture.Height ? 0.0 : 2.0 / 255;
    int mismatches = 0;
    for (int y = 0; y < windowHeight; ++y) {
        for (int x = 0; x < windowWidth; ++x) {
            const uint8_t* got = frame.At(x, y);
            const int column = x - v.X, row = y - top;
            std::vector<Rgba> outcomes = {Rgba{0, 0, 0, 1}};
            if (column >= 0 && column < v.Width && row >= 0 && row < v.Height)
                outcomes =
                    ReferenceBrushPixelOutcomes(picture, paper, v.Width, v.Height, column, row, parameters, tieMargin);
            int difference = 256;
            for (const Rgba& c : outcomes) {
                const double want[4] = {c.R, c.G, c.B, c.A};
                int d = 0;
                for (int i = 0; i < 4; ++i) d = std::max(d, std::abs(int(got[i]) - int(ToUnorm8(want[i]))));
                difference = std::min(difference, d);
            }
            const Rgba& c = outcomes[0];
            if (difference > Tolerance && ++mismatches <= 5)
                ADD_FAILURE() << "pixel (" << x << ", " << y << " from the top) is (" << int(got[0]) << ", "
                              << int(got[1]) << ", " << int(got[2]) << ", " << int(got[3]) << "), the reference ("
                              << int(ToUnorm8(c.R)) << ", " << int(ToUnorm8(c.G)) << ", " << int(ToUnorm8(c.B)) << ", "
                              << int(ToUnorm8(c.A)) << ")";
        }
    }
    EXPECT_EQ(mismatches, 0) << "pixels off by more than " << Tolerance;
}

// Deterministic pseudo-random numbers for the test pictures.
struct Random {
    uint32_t State;
    uint32_t Next() {
        State = State * 1664525u + 1013904223u;
        return State >> 8;
    }
};

// Blocks of colours from a palette whose brightnesses are far apart, so that no comparison of
// the smear hangs on rounding. Some palette entries share their RGB and differ in alpha only.
Picture BlockPicture(int width, int height, int block, uint32_t seed) {
    static const uint8_t palette[][4] = {
        {0, 0, 0, 255},    {255, 255, 255, 255}, {255, 0, 0, 255},   {0, 255, 0, 255},
        {0, 0, 255, 255},  {200, 40, 120, 200},  {30, 160, 90, 255}, {250, 220, 60, 255},
        {90, 90, 90, 128}, {20, 70, 230, 255},   {250, 220, 60, 60},
    };
    const int count = sizeof palette / sizeof palette[0];
    Random random{seed};
    Picture picture = MakePicture(width, height, 0, 0, 0);
    std::vector<int> choice(size_t((width + block - 1) / block) * ((height + block - 1) / block));
    for (int& c : choice) c = int(random.Next() % count);
    const int blocksPerRow = (width + block - 1) / block;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t* c = palette[choice[size_t(y / block) * blocksPerRow + x / block]];
            picture.Set(x, y, c[0], c[1], c[2], c[3]);
        }
    return picture;
}

// A paper with its own grain, of a size unrelated to the picture's.
Picture GrainPaper(int width, int height, uint32_t seed) {
    Random random{seed};
    Picture paper = MakePicture(width, height, 0, 0, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            paper.Set(x, y, uint8_t(150 + random.Next() % 106), uint8_t(150 + random.Next() % 106),
                      uint8_t(150 + random.Next() % 106), uint8_t(200 + random.Next() % 56));
    return paper;
}

// A smooth grey picture: under linear filtering at any scale, samples of nearly equal
// brightness are nearly the same colour, so the smear's choice cannot flip the result.
Picture GreyWaves(int width, int height) {
    Picture picture = MakePicture(width, height, 0, 0, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double v = 0.5 + 0.25 * std::sin(x * 0.7) + 0.2 * std::cos(y * 0.45 + x * 0.1);
            const uint8_t g = uint8_t(std::lround(std::clamp(v, 0.0, 1.0) * 255));
            picture.Set(x, y, g, g, g);
        }
    return picture;
}

}  // namespace

using BrushFilterGL = RendererGLTest;

TEST_F(BrushFilterGL, InitLeavesProgramQuadAndSamplersInPlace) {
    GLint program = 0, vertexArray = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &vertexArray);
    ASSERT_NE(program, 0);
    EXPECT_NE(vertexArray, 0);
    EXPECT_EQ(glGetAttribLocation(GLuint(program), "aPosition"), 0);
    EXPECT_EQ(glGetAttribLocation(GLuint(program), "aTexCoord"), 1);
    for (const char* name : {"uResolution", "uBrush.Opacity", "uBrush.StrokeCoeff", "uBrush.BackgroundCoeff"})
        EXPECT_NE(glGetUniformLocation(GLuint(program), name), -1) << name;
    GLint unit = -1;
    glGetUniformiv(GLuint(program), glGetUniformLocation(GLuint(program), "sTexture"), &unit);
    EXPECT_EQ(unit, 0);
    glGetUniformiv(GLuint(program), glGetUniformLocation(GLuint(program), "sBackgroundTexture"), &unit);
    EXPECT_EQ(unit, 1);
    EXPECT_EQ(BrushParameters.StrokeCoeff, 0.33333334f);
}

TEST_F(BrushFilterGL, FlatAreaIsThePictureTimesThePaperMix) {
    const Picture flat = MakePicture(32, 16, 180, 90, 40, 255);
    const Picture paper = GrainPaper(8, 4, 7);
    PutPictureInSlot(flat);
    PutPaperInSlot(paper);
    ExpectMatchesReference(flat, paper, 32, 16);
    // Independently of the reference: with every sample equal, only the paper acts.
    const Frame frame = Draw(32, 16);
    const uint8_t* p = frame.At(0, 0);
    const double g = 1.0 / 3, paperRed = paper.Texels[0] / 255.0;
    EXPECT_NEAR(p[0], 180 * (1 - g + g * paperRed), 1.0);
    // Scaled up, on a window of another aspect.
    ExpectMatchesReference(flat, paper, 77, 21);
}

TEST_F(BrushFilterGL, HardEdgesInEachChannelAtOneToOne) {
    const Picture paper = GrainPaper(16, 8, 3);
    PutPaperInSlot(paper);
    for (int channel = 0; channel < 3; ++channel) {
        SCOPED_TRACE("channel " + std::to_string(channel));
        // Vertical and horizontal steps in one channel only, over a mid-grey ground.
        Picture picture = MakePicture(32, 32, 100, 100, 100);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                uint8_t c[3] = {100, 100, 100};
                if (x >= 16 || (y >= 12 && y < 20)) c[channel] = 250;
                picture.Set(x, y, c[0], c[1], c[2]);
            }
        PutPictureInSlot(picture);
        ExpectMatchesReference(picture, paper, 32, 32);
    }
    // Steps in all three channels at once drive the edge weight negative.
    const Picture blocks = BlockPicture(32, 32, 4, 11);
    PutPictureInSlot(blocks);
    ExpectMatchesReference(blocks, paper, 32, 32);
}

TEST_F(BrushFilterGL, EqualBrightnessKeepsTheEarlierSample) {
    // Same RGB everywhere: every neighbour ties with the centre, so the centre stays and its
    // alpha comes through. A smear that took ties would show the neighbours' alpha.
    Picture picture = MakePicture(16, 16, 120, 160, 200, 255);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) picture.Set(x, y, 120, 160, 200, uint8_t(16 * ((x + 3 * y) % 16)));
    const Picture paper = MakePicture(2, 2, 255, 255, 255, 255);
    PutPictureInSlot(picture);
    PutPaperInSlot(paper);
    BrushParameters = {1.0f, 0.0f, 0.0f};
    ExpectMatchesReference(picture, paper, 16, 16);
    const Frame frame = Draw(16, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) ASSERT_EQ(frame.At(x, y)[3], 16 * ((x + 3 * y) % 16)) << x << ", " << y;

    // Two bright neighbours of equal brightness but different alpha: the earlier in the order
    // (the one four rows down, before the one two rows down and three to the left) wins.
    Picture ties = MakePicture(16, 16, 10, 10, 10, 255);
    ties.Set(8, 12, 250, 250, 250, 40);  // four rows below (8, 8)
    ties.Set(5, 10, 250, 250, 250, 90);  // two rows below, three to the left
    PutPictureInSlot(ties);
    ExpectMatchesReference(ties, paper, 16, 16);
    EXPECT_EQ(Draw(16, 16).At(8, 8)[3], 40);
}

TEST_F(BrushFilterGL, ParameterExtremes) {
    const Picture picture = BlockPicture(32, 16, 3, 5);
    const Picture paper = GrainPaper(8, 8, 9);
    PutPictureInSlot(picture);
    PutPaperInSlot(paper);
    for (float opacity : {0.0f, 1.0f})
        for (float stroke : {0.0f, 1.0f})
            for (float background : {0.0f, 1.0f}) {
                SCOPED_TRACE("opacity " + std::to_string(opacity) + " stroke " + std::to_string(stroke) +
                             " background " + std::to_string(background));
                BrushParameters = {opacity, stroke, background};
                ExpectMatchesReference(picture, paper, 32, 16);
            }
    // Opacity 0 and no paper: the picture itself, exactly.
    BrushParameters = {0.0f, 1.0f, 0.0f};
    const Frame frame = Draw(32, 16);
    EXPECT_EQ(std::vector<uint8_t>(frame.Pixels), picture.Texels);
}

// Each built-in look, its three values put where choosing it puts them (ui/look_picker.h), paints
// what the reference paints with those values.
TEST_F(BrushFilterGL, BuiltInLooksPaintAsTheirValuesSay) {
    const Picture picture = BlockPicture(32, 16, 3, 5);
    const Picture paper = GrainPaper(8, 8, 9);
    PutPictureInSlot(picture);
    PutPaperInSlot(paper);
    for (int i = 0; i < BuiltInLookCount(); ++i) {
        const Look& look = BuiltInLook(i);
        SCOPED_TRACE(look.Name);
        BrushParameters = {look.Opacity, look.Stroke, look.Intensity};
        ExpectMatchesReference(picture, paper, 32, 16);
    }
}

TEST_F(BrushFilterGL, NeighboursWrapToTheOppositeBorder) {
    // A black picture with a white top row: only the wrap brings white to the rows four and
    // two above the bottom, whose upward neighbours run past the bottom border.
    Picture picture = MakePicture(16, 16, 0, 0, 0);
    for (int x = 0; x < 16; ++x) picture.Set(x, 0, 255, 255, 255);
    const Picture paper = MakePicture(1, 1, 255, 255, 255);
    PutPictureInSlot(picture);
    PutPaperInSlot(paper);
    BrushParameters = {1.0f, 0.0f, 0.0f};
    ExpectMatchesReference(picture, paper, 16, 16);
    const Frame frame = Draw(16, 16);
    EXPECT_EQ(frame.At(8, 12)[0], 255) << "the sample four rows down wraps to the top row";
    EXPECT_EQ(frame.At(8, 14)[0], 255) << "the samples two rows down wrap to the top row";
    EXPECT_EQ(frame.At(8, 13)[0], 0);
    // and a white right column reaches the left border through the samples three to the left
    Picture column = MakePicture(16, 16, 0, 0, 0);
    for (int y = 0; y < 16; ++y) column.Set(15, y, 255, 255, 255);
    PutPictureInSlot(column);
    ExpectMatchesReference(column, paper, 16, 16);
    EXPECT_EQ(Draw(16, 16).At(2, 8)[0], 255);
}

TEST_F(BrushFilterGL, NonSquareDrawnAreasAndOtherScales) {
    const Picture paper = GrainPaper(8, 8, 4);
    PutPaperInSlot(paper);
    // 16 x 8 at scale 4 with bars above and below (pixel units that differ per axis), then at
    // 1:1 with an odd spare column; hard edges at scales that sample on quarter texels.
    const Picture blocks = BlockPicture(16, 8, 2, 17);
    PutPictureInSlot(blocks);
    ExpectMatchesReference(blocks, paper, 64, 40);
    ExpectMatchesReference(blocks, paper, 17, 8);
    ExpectMatchesReference(blocks, paper, 32, 16);  // x2
    ExpectMatchesReference(blocks, paper, 8, 4);    // x0.5
    // A smooth picture at scales with arbitrary fractions.
    const Picture waves = GreyWaves(20, 15);
    PutPictureInSlot(waves);
    ExpectMatchesReference(waves, paper, 30, 23);  // x1.5
    ExpectMatchesReference(waves, paper, 47, 37);  // x2.35
    ExpectMatchesReference(waves, paper, 13, 9);   // x0.6
}

TEST_F(BrushFilterGL, OnePixelPictureAndNoPicture) {
    // One texel: every lookup returns it, so the drawn square is its colour times the paper mix.
    const Picture one = MakePicture(1, 1, 200, 100, 50, 255);
    const Picture paper = GrainPaper(5, 3, 8);
    PutPictureInSlot(one);
    PutPaperInSlot(paper);
    ExpectMatchesReference(one, paper, 30, 20);
    // No picture (the empty slot at start): nothing is painted, the drawn area is the clear.
    RemovePictureFromSlot();
    const Frame frame = Draw(100, 60);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 100; ++x)
            ASSERT_EQ(std::vector<uint8_t>(frame.At(x, y), frame.At(x, y) + 4), (std::vector<uint8_t>{0, 0, 0, 255}))
                << x << ", " << y;
}

TEST_F(BrushFilterGL, DrawSetsTheViewportOnTheWindowAndLeavesUnitOneActive) {
    const Picture picture = MakePicture(3, 7, 10, 20, 30);
    PutPictureInSlot(picture);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    DrawBrushFilter(999, 999);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[0], 285);
    EXPECT_EQ(viewport[1], 0);
    EXPECT_EQ(viewport[2], 428);
    EXPECT_EQ(viewport[3], 998);
    GLint active = 0, unit0 = 0, unit1 = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    EXPECT_EQ(active, GL_TEXTURE1);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &unit1);
    EXPECT_EQ(GLuint(unit1), FilterTexture);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &unit0);
    EXPECT_EQ(GLuint(unit0), DiffuseTexture);
    // A zero-width window leaves only the clear.
    DrawBrushFilter(0, 600);
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 0);
    EXPECT_EQ(viewport[3], 0);
}

// Init on a fresh context with sources of the test's choosing: the failure is the line and the
// driver's log, cut at 1023 characters, then abort.
class BrushFilterFailure : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

// The log the driver gives for a source, read here in full.
static std::string CompileLog(GLenum kind, const char* source) {
    const GLuint shader = glCreateShader(kind);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    std::string log(size_t(std::max(length, 1)), '\0');
    glGetShaderInfoLog(shader, length, nullptr, log.data());
    log.resize(strlen(log.c_str()));
    glDeleteShader(shader);
    return log;
}

static std::string LinkLog(const char* vertexSource, const char* pixelSource) {
    const GLuint program = glCreateProgram();
    const GLenum kinds[2] = {GL_VERTEX_SHADER, GL_FRAGMENT_SHADER};
    const char* sources[2] = {vertexSource, pixelSource};
    for (int i = 0; i < 2; ++i) {
        const GLuint shader = glCreateShader(kinds[i]);
        glShaderSource(shader, 1, &sources[i], nullptr);
        glCompileShader(shader);
        glAttachShader(program, shader);
    }
    glBindAttribLocation(program, 0, "aPosition");
    glBindAttribLocation(program, 1, "aTexCoord");
    glBindFragDataLocation(program, 0, "OutputColor");
    glLinkProgram(program);
    GLint length = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    std::string log(size_t(std::max(length, 1)), '\0');
    glGetProgramInfoLog(program, length, nullptr, log.data());
    log.resize(strlen(log.c_str()));
    return log;
}

static std::string ManyErrorsSource() {
    std::string source = "#version 140\nout vec4 OutputColor;\nvoid main()\n{\n";
    for (int i = 0; i < 120; ++i) source += "    Undeclared" + std::to_string(i) + " = 1.0;\n";
    return source + "    OutputColor = vec4(1.0);\n}\n";
}

static const char* const PassThroughVertex =
    "#version 140\nin vec2 aPosition;\nvoid main() { gl_Position = vec4(aPosition, 1.0, 1.0); }\n";
static const char* const NeedsTexCoordPixel =
    "#version 140\nin vec2 pTexCoord;\nout vec4 OutputColor;\nvoid main() { OutputColor = vec4(pTexCoord, 0.0, 1.0); "
    "}\n";
// Compiles, but passes on a vec3 where the pixel shader above takes a vec2.
static const char* const MismatchedVertex =
    "#version 140\nin vec2 aPosition;\nout vec3 pTexCoord;\n"
    "void main() { pTexCoord = vec3(aPosition, 0.0); gl_Position = vec4(aPosition, 1.0, 1.0); }\n";

TEST_F(BrushFilterFailure, WritesTheLineAndTheDriversLogThenAborts) {
    const GLTestWindow window = OpenGLTestWindow("brush test", 320, 240, SDL_WINDOW_HIDDEN);
    ASSERT_NE(window.Context, nullptr);
    // A log longer than the buffer is cut at 1023 characters.
    const std::string manyErrors = ManyErrorsSource();
    const std::string longLog = CompileLog(GL_FRAGMENT_SHADER, manyErrors.c_str());
    ASSERT_GT(longLog.size(), 1023u) << "the driver's log is too short to be cut";
    EXPECT_EXIT(InitBrushFilterWithSources(PassThroughVertex, manyErrors.c_str()), ::testing::KilledBySignal(SIGABRT),
                ::testing::Eq("[Error]: Failed to compile brush pixel shader:\n" + longLog.substr(0, 1023) + "\n"));

    const char* broken = "#version 140\nvoid main() { gl_Position = vec4(1.0) }\n";
    const std::string log = CompileLog(GL_VERTEX_SHADER, broken);
    ASSERT_FALSE(log.empty());
    EXPECT_EXIT(InitBrushFilterWithSources(broken, NeedsTexCoordPixel), ::testing::KilledBySignal(SIGABRT),
                ::testing::Eq("[Error]: Failed to compile quad vertex shader:\n" + log.substr(0, 1023) + "\n"));

    // Both compile; the two stages disagree on the type of the value passed between them.
    const std::string linkLog = LinkLog(MismatchedVertex, NeedsTexCoordPixel);
    ASSERT_FALSE(linkLog.empty());
    EXPECT_EXIT(InitBrushFilterWithSources(MismatchedVertex, NeedsTexCoordPixel), ::testing::KilledBySignal(SIGABRT),
                ::testing::Eq("[Info]: Compiled shaders\n[Error]: Failed to link brush shader program:\n" +
                              linkLog.substr(0, 1023) + "\n"));
}
