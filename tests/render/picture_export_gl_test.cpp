// The export of the painted picture on a real GL (Mesa llvmpipe on a virtual display): the file
// written, decoded independently with stb_image, against the offscreen render of the same
// picture and view (PNG exactly, JPEG within the codec's error), at views smaller and larger
// than the picture; the render in steps, a tile a frame with the window drawn in between, equal
// byte for byte to the render in one piece; the file keeps what it started with (parameters,
// view, picture and paper) while the user changes them; the log lines of success and failure,
// a failure during the render, and the shutdown in the middle of one.
#include <gtest/gtest.h>

#include <SDL.h>
#include <stb_image.h>
#include <stb_image_write.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "gl/gl_loader.h"
#include "render/brush_filter.h"
#include "render/offscreen_pass.h"
#include "render/picture_export.h"
#include "render/texture_import.h"
#include "render/texture_slots.h"
#include "gl_test_support.h"

namespace {

// Smooth colour waves with a grain on top: what a photograph has, with detail for the codecs.
std::vector<uint8_t> PictureTexels(int width, int height, uint32_t seed) {
    std::vector<uint8_t> texels(size_t(width) * height * 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const double u = double(x) / width, v = double(y) / height;
            const int grain = int(seed >> 28) - 8;
            uint8_t* t = &texels[(size_t(y) * width + x) * 4];
            t[0] = uint8_t(std::clamp(int(128 + 100 * std::sin(6.2831853 * (2 * u + v))) + grain, 0, 255));
            t[1] = uint8_t(std::clamp(int(120 + 90 * std::cos(6.2831853 * 3 * v)) + grain, 0, 255));
            t[2] = uint8_t(std::clamp(int(130 + 80 * std::sin(6.2831853 * (u - v))) + grain, 0, 255));
            t[3] = 255;
        }
    return texels;
}

// Into the slot as an import puts it.
void SetPicture(int width, int height, uint32_t seed) {
    PutPictureInSlot(PictureTexels(width, height, seed).data(), width, height);
}

// One frame of a window of this size: it sets the brush reach the export takes (the drawn size
// of the latest frame).
void DrawFrame(int windowWidth, int windowHeight) { DrawFrameOffscreen(windowWidth, windowHeight); }

std::vector<uint8_t> Render() {
    int width = 0, height = 0;
    PaintedPictureSize(&width, &height);
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    char reason[256] = "";
    EXPECT_TRUE(RenderPaintedPicture(rgb.data(), rgb.size(), reason, sizeof reason)) << reason;
    return rgb;
}

// The file decoded by stb_image, as RGB; empty when it does not decode.
std::vector<uint8_t> Decode(const std::string& path, int* width, int* height) {
    int channels = 0;
    unsigned char* pixels = stbi_load(path.c_str(), width, height, &channels, 3);
    if (!pixels) {
        ADD_FAILURE() << path << ": " << stbi_failure_reason();
        return {};
    }
    std::vector<uint8_t> rgb(pixels, pixels + size_t(*width) * *height * 3);
    stbi_image_free(pixels);
    return rgb;
}

std::string ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

// Polls as the frame loop does until the export has ended; the progress seen on the way must
// only grow and stay below 1 until the file is in place.
ExportOutcome Finish() {
    ExportOutcome outcome = {};
    float last = 0.0f;
    for (;;) {
        float progress = -1.0f;
        if (FinishPaintedPictureExport(&outcome, &progress)) return outcome;
        EXPECT_TRUE(PaintedPictureExportRunning());
        EXPECT_GE(progress, last);
        EXPECT_LT(progress, 1.0f);
        last = progress;
        usleep(1000);
    }
}

// Frames as the window runs them while an export goes on: the window's draw at the size that
// `window(frame)` gives (1, 2, ... from the first step), then the export's step, with what the
// user does in `meanwhile(frame)` before the frame. Until the export ends; the bar's share only
// grows and stays below 1 on the way.
struct ExportFrames {
    ExportOutcome Outcome = {};
    int RenderingFrames = 0;            // frames that ended with the picture still rendering
    std::vector<float> RenderProgress;  // the bar in those frames
};
template <typename Window, typename Meanwhile>
ExportFrames RunFrames(Window window, Meanwhile meanwhile) {
    ExportFrames frames;
    float last = 0.0f;
    for (int frame = 1;; ++frame) {
        meanwhile(frame);
        const std::pair<int, int> size = window(frame);
        DrawFrame(size.first, size.second);
        float progress = -1.0f;
        if (FinishPaintedPictureExport(&frames.Outcome, &progress)) return frames;
        EXPECT_GE(progress, last);
        EXPECT_LT(progress, 1.0f);
        last = progress;
        if (PaintedPictureExportRendering()) {
            ++frames.RenderingFrames;
            frames.RenderProgress.push_back(progress);
        } else {
            usleep(1000);  // the worker encodes; the frames need not spin
        }
    }
}

std::pair<int, int> Window200x150(int) { return {200, 150}; }
void Nothing(int) {}

bool AppendBytes(std::string* out, const void* data, int size) {
    out->append(static_cast<const char*>(data), size_t(size));
    return true;
}

// A PNG of the test's picture, as a file brings it.
std::string PngBytes(int width, int height, uint32_t seed) {
    const std::vector<uint8_t> texels = PictureTexels(width, height, seed);
    std::string png;
    stbi_write_png_to_func(
        [](void* context, void* data, int size) { AppendBytes(static_cast<std::string*>(context), data, size); }, &png,
        width, height, 4, texels.data(), width * 4);
    return png;
}

class PictureExportGL : public RendererGLTest {
protected:
    static void SetUpTestSuite() {
        RendererGLTest::SetUpTestSuite();
        PutPaperInSlot(PictureTexels(37, 29, 77).data(), 37, 29);  // a paper with grain of its own
    }
    // The renderer again after a test shut it down, with the suite's paper.
    static void StartRenderer() {
        InitBrushFilter();
        PutPaperInSlot(PictureTexels(37, 29, 77).data(), 37, 29);
    }
    void SetUp() override {
        RendererGLTest::SetUp();
        char folder[] = "/tmp/vellumry-export-gl-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        Folder = folder;
        Saved = std::cerr.rdbuf(Log.rdbuf());
    }
    void TearDown() override {
        std::cerr.rdbuf(Saved);
        OffscreenTileLimit = 256;
        ExportRenderMillisecondsPerFrame = 25.0;
        RendererGLTest::TearDown();
        EXPECT_FALSE(PaintedPictureExportRunning());
        std::string command = "rm -rf '" + Folder + "'";
        EXPECT_EQ(system(command.c_str()), 0);
    }
    std::string Folder;
    std::ostringstream Log;
    std::streambuf* Saved = nullptr;
};

TEST_F(PictureExportGL, ThePngHoldsExactlyTheRenderAtViewsSmallerAndLargerThanThePicture) {
    SetPicture(301, 173, 1);
    BrushParameters = BrushProperties{0.6f, 0.85f, 0.7f};
    // Shown at about two thirds, then at about three times its size; the file is the picture's.
    for (const auto& window : {std::make_pair(200, 150), std::make_pair(900, 700)}) {
        SCOPED_TRACE(std::to_string(window.first) + "x" + std::to_string(window.second));
        DrawFrame(window.first, window.second);
        const std::vector<uint8_t> rendered = Render();
        const std::string path = Folder + "/painted " + std::to_string(window.first) + ".png";
        ExportOutcome outcome;
        ASSERT_TRUE(StartPaintedPictureExport(path.c_str(), PICTURE_PNG, &outcome)) << outcome.Reason;
        outcome = Finish();
        ASSERT_TRUE(outcome.Done) << outcome.Reason;
        EXPECT_EQ(outcome.Width, 301);
        EXPECT_EQ(outcome.Height, 173);
        EXPECT_STREQ(outcome.Reason, "");
        int width = 0, height = 0;
        const std::vector<uint8_t> written = Decode(path, &width, &height);
        ASSERT_EQ(width, 301);
        ASSERT_EQ(height, 173);
        size_t differing = 0;
        for (size_t i = 0; i < written.size(); ++i) differing += written[i] != rendered[i];
        EXPECT_EQ(differing, 0u);
        EXPECT_NE(Log.str().find("[Info]: Exported picture: " + path + "\n"), std::string::npos) << Log.str();
    }
    // Each view gave its own painting: the brush reach follows the view.
    int width = 0, height = 0;
    EXPECT_NE(Decode(Folder + "/painted 200.png", &width, &height),
              Decode(Folder + "/painted 900.png", &width, &height));
    EXPECT_EQ(Log.str().find("[Error]"), std::string::npos) << Log.str();
}

TEST_F(PictureExportGL, TheJpegIsTheRenderWithinTheCodecsError) {
    SetPicture(257, 311, 2);
    DrawFrame(400, 300);
    const std::vector<uint8_t> rendered = Render();
    const std::string path = Folder + "/painted.JPG";
    ExportOutcome outcome;
    ASSERT_TRUE(StartPaintedPictureExport(path.c_str(), PICTURE_JPEG, &outcome)) << outcome.Reason;
    outcome = Finish();
    ASSERT_TRUE(outcome.Done) << outcome.Reason;
    int width = 0, height = 0;
    const std::vector<uint8_t> written = Decode(path, &width, &height);
    ASSERT_EQ(width, 257);
    ASSERT_EQ(height, 311);
    // Quality 92 with full colour resolution on a grainy painting: 37.6 dB here, at worst 26
    // levels off. A wrong size, row order or channel order gives far less.
    double squares = 0;
    int worst = 0;
    for (size_t i = 0; i < written.size(); ++i) {
        const int d = std::abs(int(written[i]) - int(rendered[i]));
        squares += double(d) * d;
        worst = std::max(worst, d);
    }
    const double psnr = 10.0 * std::log10(255.0 * 255.0 / (squares / written.size()));
    EXPECT_GT(psnr, 35.0) << "worst " << worst;
    EXPECT_LE(worst, 48);
    EXPECT_EQ(ReadAll(path).compare(0, 3, "\xFF\xD8\xFF"), 0) << "a JPEG, whatever the extension's case";
}

TEST_F(PictureExportGL, TheFileKeepsTheParametersItStartedWith) {
    SetPicture(640, 480, 3);
    DrawFrame(320, 240);
    const std::vector<uint8_t> before = Render();
    const std::string path = Folder + "/kept.png";
    ExportOutcome outcome;
    ASSERT_TRUE(StartPaintedPictureExport(path.c_str(), PICTURE_PNG, &outcome)) << outcome.Reason;
    // The sliders move and the window draws on while the file is written.
    BrushParameters = BrushProperties{0.1f, 0.9f, 0.0f};
    DrawFrame(320, 240);
    // One export at a time: a second is refused with its line, the first goes on.
    ExportOutcome second;
    const std::string other = Folder + "/other.png";
    EXPECT_FALSE(StartPaintedPictureExport(other.c_str(), PICTURE_PNG, &second));
    EXPECT_FALSE(second.Done);
    EXPECT_STREQ(second.Reason, "Another export is still running.");
    EXPECT_NE(Log.str().find("[Error]: Failed to export picture: " + other + ": Another export is still running.\n"),
              std::string::npos)
        << Log.str();
    outcome = Finish();
    ASSERT_TRUE(outcome.Done) << outcome.Reason;
    int width = 0, height = 0;
    EXPECT_TRUE(Decode(path, &width, &height) == before);
    EXPECT_FALSE(Render() == before) << "the new parameters paint differently";
    EXPECT_NE(access(other.c_str(), F_OK), 0);
}

TEST_F(PictureExportGL, FailuresWriteOneErrorLineAndLeaveWhatWasThere) {
    SetPicture(64, 48, 4);
    DrawFrame(64, 48);
    // A folder that is not there: the job fails with the system's reason.
    const std::string missing = Folder + "/gone/painted.png";
    ExportOutcome outcome;
    ASSERT_TRUE(StartPaintedPictureExport(missing.c_str(), PICTURE_PNG, &outcome));
    outcome = Finish();
    EXPECT_FALSE(outcome.Done);
    EXPECT_STREQ(outcome.Reason, "No such file or directory");
    EXPECT_EQ(Log.str(), "[Error]: Failed to export picture: " + missing + ": No such file or directory\n");

    // Over a folder: refused, the folder and what is in it stay.
    const std::string folder = Folder + "/taken.png";
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    std::ofstream(folder + "/inside") << "kept";
    ASSERT_TRUE(StartPaintedPictureExport(folder.c_str(), PICTURE_PNG, &outcome));
    outcome = Finish();
    EXPECT_FALSE(outcome.Done);
    EXPECT_NE(std::string(outcome.Reason), "");
    EXPECT_EQ(ReadAll(folder + "/inside"), "kept");

    // No picture in the slot: nothing starts.
    Log.str("");
    RemovePictureFromSlot();
    const std::string none = Folder + "/none.png";
    EXPECT_FALSE(StartPaintedPictureExport(none.c_str(), PICTURE_PNG, &outcome));
    EXPECT_STREQ(outcome.Reason, "no picture has been imported");
    EXPECT_EQ(Log.str(), "[Error]: Failed to export picture: " + none + ": no picture has been imported\n");
    EXPECT_FALSE(PaintedPictureExportRunning());
    EXPECT_FALSE(WaitForPaintedPictureExport(&outcome)) << "nothing to wait for";
    EXPECT_NE(access(none.c_str(), F_OK), 0);
}

TEST_F(PictureExportGL, WaitingTakesTheOutcomeAsTheFrameLoopWould) {
    SetPicture(1200, 900, 5);
    DrawFrame(800, 600);
    const std::string path = Folder + "/waited.jpeg";
    ExportOutcome outcome;
    ASSERT_TRUE(StartPaintedPictureExport(path.c_str(), PICTURE_JPEG, &outcome));
    ASSERT_TRUE(WaitForPaintedPictureExport(&outcome));
    EXPECT_TRUE(outcome.Done) << outcome.Reason;
    EXPECT_FALSE(PaintedPictureExportRunning());
    EXPECT_FALSE(FinishPaintedPictureExport(&outcome, nullptr)) << "taken once";
    EXPECT_EQ(Log.str(), "[Info]: Exported picture: " + path + "\n");
    int width = 0, height = 0;
    EXPECT_EQ(Decode(path, &width, &height).size(), size_t(1200) * 900 * 3);
}

}  // namespace

namespace {

TEST_F(PictureExportGL, TheRenderInStepsIsTheRenderInOnePieceByteForByte) {
    SetPicture(301, 173, 6);
    BrushParameters = BrushProperties{0.6f, 0.85f, 0.7f};
    DrawFrame(200, 150);
    // Tiles of 40 x 40 with edges anywhere: 8 x 5 of them, one a frame.
    OffscreenTileLimit = 40;
    ExportRenderMillisecondsPerFrame = 0.0;
    const std::vector<uint8_t> onePiece = Render();
    const std::string path = Folder + "/stepped.png";
    ExportOutcome outcome;
    ASSERT_TRUE(StartPaintedPictureExport(path.c_str(), PICTURE_PNG, &outcome)) << outcome.Reason;
    EXPECT_TRUE(PaintedPictureExportRendering()) << "nothing is drawn before the frames";
    const ExportFrames frames = RunFrames(Window200x150, Nothing);
    ASSERT_TRUE(frames.Outcome.Done) << frames.Outcome.Reason;
    // The fortieth tile ends the render in the fortieth frame.
    EXPECT_EQ(frames.RenderingFrames, 39);
    ASSERT_FALSE(frames.RenderProgress.empty());
    EXPECT_GT(frames.RenderProgress.front(), 0.0f) << "the bar moves from the first tile";
    EXPECT_LT(frames.RenderProgress.front(), frames.RenderProgress.back());
    int width = 0, height = 0;
    const std::vector<uint8_t> written = Decode(path, &width, &height);
    ASSERT_EQ(width, 301);
    ASSERT_EQ(height, 173);
    EXPECT_TRUE(written == onePiece) << "the file is the render in one piece";
    EXPECT_EQ(Log.str(), "[Info]: Exported picture: " + path + "\n");

    // The render on its own, several tiles a step within a budget, into a buffer filled with
    // what the render never writes: every byte comes from a tile.
    std::vector<uint8_t> rgb(onePiece.size(), 0xAB);
    char reason[256] = "";
    ASSERT_TRUE(StartPaintedPictureRender(rgb.data(), rgb.size(), reason, sizeof reason)) << reason;
    EXPECT_TRUE(PaintedPictureRendering());
    float share = 0.0f;
    RenderStep step = RENDER_RUNNING;
    int steps = 0;
    while ((step = StepPaintedPictureRender(5.0, &share, reason, sizeof reason)) == RENDER_RUNNING) {
        ++steps;
        DrawFrame(200, 150);
    }
    ASSERT_EQ(step, RENDER_DONE) << reason;
    EXPECT_EQ(share, 1.0f);
    EndPaintedPictureRender();
    EXPECT_FALSE(PaintedPictureRendering());
    EXPECT_EQ(PaintedPictureRenderTarget().Framebuffer, 0u);
    EXPECT_LT(steps, 39) << "within 5 ms, more than one tile a step";
    EXPECT_TRUE(rgb == onePiece);
}

TEST_F(PictureExportGL, WhatTheUserChangesWhileItRendersDoesNotReachTheFile) {
    SetPicture(240, 160, 7);
    BrushParameters = BrushProperties{0.7f, 0.6f, 0.5f};
    DrawFrame(200, 150);
    OffscreenTileLimit = 32;  // 8 x 5 tiles
    ExportRenderMillisecondsPerFrame = 0.0;
    const std::vector<uint8_t> expected = Render();
    const GLuint picture = DiffuseTexture, paper = FilterTexture;
    const std::string nextPicture = Folder + "/next.png";
    {
        std::ofstream file(nextPicture, std::ios::binary);
        file << PngBytes(50, 40, 8);
    }
    const std::string nextPaper = PngBytes(21, 19, 9);

    const std::string path = Folder + "/kept.png";
    ExportOutcome outcome;
    ASSERT_TRUE(StartPaintedPictureExport(path.c_str(), PICTURE_PNG, &outcome)) << outcome.Reason;
    bool replacedKept = false, letGo = false;
    auto window = [](int frame) { return frame < 6 ? std::make_pair(200, 150) : std::make_pair(900, 700); };
    auto meanwhile = [&](int frame) {
        if (frame == 3) BrushParameters = BrushProperties{0.2f, 0.9f, 0.1f};  // the sliders
        if (frame == 9) {
            // Another picture and another paper through the imports' own path.
            const ImportOutcome imported = LoadDiffuseTexture(nextPicture.c_str());
            ASSERT_TRUE(imported.Done) << imported.Reason;
            const ImportOutcome papered = LoadFilterTextureFromMemory(
                reinterpret_cast<const unsigned char*>(nextPaper.data()), int(nextPaper.size()));
            ASSERT_TRUE(papered.Done) << papered.Reason;
            ASSERT_NE(DiffuseTexture, picture);
            ASSERT_NE(FilterTexture, paper);
        }
        if (frame > 9 && PaintedPictureExportRendering()) replacedKept = glIsTexture(picture) && glIsTexture(paper);
        if (frame > 9 && !PaintedPictureExportRendering() && !letGo) {
            // The render is over: the replaced textures are gone, the new ones stay.
            letGo = true;
            EXPECT_FALSE(glIsTexture(picture));
            EXPECT_FALSE(glIsTexture(paper));
            EXPECT_TRUE(glIsTexture(DiffuseTexture));
            EXPECT_TRUE(glIsTexture(FilterTexture));
        }
    };
    const ExportFrames frames = RunFrames(window, meanwhile);
    ASSERT_TRUE(frames.Outcome.Done) << frames.Outcome.Reason;
    EXPECT_GT(frames.RenderingFrames, 9) << "the changes came while it rendered";
    EXPECT_TRUE(replacedKept) << "the replaced picture and paper were kept for the render";
    EXPECT_TRUE(letGo);
    EXPECT_EQ(frames.Outcome.Width, 240);
    EXPECT_EQ(frames.Outcome.Height, 160);
    int width = 0, height = 0;
    const std::vector<uint8_t> written = Decode(path, &width, &height);
    ASSERT_EQ(width, 240);
    ASSERT_EQ(height, 160);
    EXPECT_TRUE(written == expected) << "the file is what the export started with";
    // While the window shows the new picture.
    EXPECT_EQ(DiffuseWidth, 50);
    EXPECT_EQ(Log.str().find("[Error]"), std::string::npos) << Log.str();
}

TEST_F(PictureExportGL, AGraphicsFailureWhileItRendersEndsTheExportWithItsLine) {
    SetPicture(120, 90, 10);
    DrawFrame(120, 90);
    OffscreenTileLimit = 32;
    ExportRenderMillisecondsPerFrame = 0.0;
    const std::string path = Folder + "/broken.png";
    ExportOutcome outcome;
    ASSERT_TRUE(StartPaintedPictureExport(path.c_str(), PICTURE_PNG, &outcome)) << outcome.Reason;
    float progress = 0.0f;
    ASSERT_FALSE(FinishPaintedPictureExport(&outcome, &progress));
    ASSERT_TRUE(PaintedPictureExportRendering());
    // The paper is replaced, then the render's target goes from under it: its next tile fails in
    // the GL, as a driver out of memory would fail it.
    const GLuint paper = FilterTexture;
    const std::string nextPaper = PngBytes(16, 16, 11);
    ASSERT_TRUE(
        LoadFilterTextureFromMemory(reinterpret_cast<const unsigned char*>(nextPaper.data()), int(nextPaper.size()))
            .Done);
    const OffscreenTarget target = PaintedPictureRenderTarget();
    glDeleteFramebuffers(1, &target.Framebuffer);
    ASSERT_TRUE(FinishPaintedPictureExport(&outcome, &progress));
    EXPECT_FALSE(outcome.Done);
    const std::string reason = outcome.Reason;
    EXPECT_EQ(reason.rfind("the graphics driver failed rendering the 120 x 90 picture (GL error 0x", 0), 0u) << reason;
    EXPECT_EQ(Log.str(), "[Error]: Failed to export picture: " + path + ": " + reason + "\n");
    EXPECT_FALSE(PaintedPictureExportRunning());
    EXPECT_FALSE(PaintedPictureRendering());
    EXPECT_FALSE(glIsTexture(target.Texture)) << "the target deleted";
    EXPECT_FALSE(glIsTexture(paper)) << "the replaced paper let go";
    EXPECT_NE(access(path.c_str(), F_OK), 0);
    while (glGetError() != GL_NO_ERROR) {}

    // Nothing stays stuck: the next export writes its file.
    ASSERT_TRUE(StartPaintedPictureExport(path.c_str(), PICTURE_PNG, &outcome)) << outcome.Reason;
    EXPECT_TRUE(RunFrames(Window200x150, Nothing).Outcome.Done);
}

TEST_F(PictureExportGL, TheRenderersShutdownDeletesWhatARenderingExportHolds) {
    SetPicture(120, 90, 12);
    DrawFrame(120, 90);
    OffscreenTileLimit = 32;
    ExportRenderMillisecondsPerFrame = 0.0;
    const std::string path = Folder + "/never.png";
    ExportOutcome outcome;
    ASSERT_TRUE(StartPaintedPictureExport(path.c_str(), PICTURE_PNG, &outcome)) << outcome.Reason;
    ASSERT_FALSE(FinishPaintedPictureExport(&outcome, nullptr));
    const GLuint picture = DiffuseTexture;
    const std::string nextPicture = Folder + "/next.png";
    {
        std::ofstream file(nextPicture, std::ios::binary);
        file << PngBytes(30, 20, 13);
    }
    ASSERT_TRUE(LoadDiffuseTexture(nextPicture.c_str()).Done);
    const OffscreenTarget target = PaintedPictureRenderTarget();
    ASSERT_TRUE(glIsFramebuffer(target.Framebuffer));
    ASSERT_TRUE(glIsTexture(picture)) << "kept for the render";
    ShutdownBrushFilter();
    EXPECT_FALSE(glIsFramebuffer(target.Framebuffer));
    EXPECT_FALSE(glIsTexture(target.Texture));
    EXPECT_FALSE(glIsTexture(picture));
    EXPECT_FALSE(PaintedPictureRendering());
    // The export learns it in its next step, as a failure with its line; no file.
    ASSERT_TRUE(FinishPaintedPictureExport(&outcome, nullptr));
    EXPECT_FALSE(outcome.Done);
    EXPECT_STREQ(outcome.Reason, "the render was ended before it was complete");
    EXPECT_EQ(Log.str(),
              "[Error]: Failed to export picture: " + path + ": the render was ended before it was complete\n");
    EXPECT_NE(access(path.c_str(), F_OK), 0);
    StartRenderer();  // for the rest of the suite
}

}  // namespace
