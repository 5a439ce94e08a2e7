// A picture uploaded a band of rows at a time, on a real GL: the texture it makes is the one a
// one-piece upload makes, and an import whose bands are still going in is dropped whole (its
// texture deleted, the slot and its picture untouched, no line of it) by a cancel or a newer
// import. The frames are looks at the import, as the window makes them; the helper is the real
// one, and nothing here waits on the clock but a hang detector.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

#include "gl_test_support.h"
#include "render/strip_upload.h"
#include "render/texture_import.h"
#include "render/texture_slots.h"
#include "tests/picture/decoder_test_support.h"
#include "tests/picture/import_test_files.h"

namespace {

Bytes ReadTexels(GLuint texture, int width, int height) {
    Bytes texels(size_t(width) * height * 4);
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
    return texels;
}

GLint TextureParameter(GLuint texture, GLenum name) {
    GLint value = 0;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexParameteriv(GL_TEXTURE_2D, name, &value);
    return value;
}

// The decoded pictures' shared memory this process still maps or holds open.
int SharedPictureMemory() {
    int held = 0;
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) held += line.find("memfd:vellumry-picture") != std::string::npos;
    DIR* fds = opendir("/proc/self/fd");
    while (dirent* entry = readdir(fds)) {
        char target[256] = {0};
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        if (readlink(link.c_str(), target, sizeof target - 1) > 0)
            held += strstr(target, "memfd:vellumry-picture") != nullptr;
    }
    closedir(fds);
    return held;
}

GLuint Bound() {
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    return GLuint(bound);
}

class StripUploadGL : public RendererGLTest {
protected:
    TestFolder Folder;
    std::stringstream LogText;
    std::streambuf* SavedCerr = nullptr;
    size_t SavedBudget = 0;

    void SetUp() override {
        RendererGLTest::SetUp();
        SavedBudget = TextureUploadBytesPerFrame;
        SavedCerr = std::cerr.rdbuf(LogText.rdbuf());
    }
    void TearDown() override {
        EndTextureImports();
        std::cerr.rdbuf(SavedCerr);
        TextureUploadBytesPerFrame = SavedBudget;
        RendererGLTest::TearDown();
    }

    std::string WritePicture(const char* name, const Bytes& pixels, int width, int height) {
        const std::string path = Folder.File(name);
        EXPECT_TRUE(WriteBytes(path, EncodePng(pixels, width, height, 4)));
        return path;
    }

    // Frames until the import's pixels have come and a first band is in, or its end (false then).
    static bool LookUntilUploading(ImportOutcome* outcome) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (!TextureBeingUploaded() && std::chrono::steady_clock::now() < limit) {
            if (FinishTextureImport(outcome)) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return TextureBeingUploaded() != 0;
    }
    // Frames until the import ends; the number of them, or 0 when a minute goes by first.
    static int LookUntilDone(ImportOutcome* outcome) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        for (int frames = 1; std::chrono::steady_clock::now() < limit; ++frames) {
            if (FinishTextureImport(outcome)) return frames;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return 0;
    }
};

TEST_F(StripUploadGL, BandsMakeTheTextureThatOnePieceMakes) {
    const GLuint elsewhere = UploadSlotTexture(nullptr, 1, 1);
    struct Case {
        int Width, Height;
        size_t Bytes;
        int Steps;
    };
    const int row = 37 * 4;
    // One row a step (a budget under a row), bands that do not divide the height (the last is
    // short), a budget between two rows' worth, and the whole picture in one step.
    for (const Case& c : {Case{37, 23, 1, 23}, Case{37, 23, size_t(row) * 5, 5}, Case{37, 23, size_t(row) * 3 + 99, 8},
                          Case{37, 23, size_t(row) * 23, 1}, Case{1, 1, 1, 1}}) {
        SCOPED_TRACE(testing::Message() << c.Width << " x " << c.Height << ", " << c.Bytes << " bytes a step");
        const Bytes texels = TestPixels(c.Width, c.Height, 4);
        const GLuint whole = UploadSlotTexture(texels.data(), c.Width, c.Height);
        StripUpload upload;
        char reason[256];
        ASSERT_TRUE(StartStripUpload(&upload, c.Width, c.Height, reason, sizeof reason)) << reason;
        glBindTexture(GL_TEXTURE_2D, elsewhere);
        int steps = 1;
        StripUploadState state;
        while ((state = UploadStrips(&upload, texels.data(), c.Bytes, reason, sizeof reason)) == STRIPS_GOING) {
            EXPECT_EQ(elsewhere, Bound()) << "a step puts the unit's texture back";
            ++steps;
        }
        ASSERT_EQ(STRIPS_WHOLE, state) << reason;
        EXPECT_EQ(c.Steps, steps);
        EXPECT_EQ(upload.Texture, Bound()) << "the whole texture is left bound, as a one-piece upload leaves it";
        EXPECT_EQ(ReadTexels(whole, c.Width, c.Height), ReadTexels(upload.Texture, c.Width, c.Height));
        for (GLenum name : {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER, GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T})
            EXPECT_EQ(TextureParameter(whole, name), TextureParameter(upload.Texture, name)) << name;
        GLint levelOne = -1;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &levelOne);
        EXPECT_EQ(0, levelOne) << "no mipmaps";
        glDeleteTextures(1, &whole);
        glDeleteTextures(1, &upload.Texture);
    }

    // Dropped half way: its texture goes, the others stay.
    StripUpload upload;
    char reason[256];
    const Bytes texels = TestPixels(8, 8, 4);
    ASSERT_TRUE(StartStripUpload(&upload, 8, 8, reason, sizeof reason));
    ASSERT_EQ(STRIPS_GOING, UploadStrips(&upload, texels.data(), 8 * 4 * 3, reason, sizeof reason));
    const GLuint half = upload.Texture;
    DropStripUpload(&upload);
    EXPECT_FALSE(glIsTexture(half));
    EXPECT_EQ(0u, upload.Texture);
    EXPECT_TRUE(glIsTexture(elsewhere));
    glDeleteTextures(1, &elsewhere);

    // Larger than the GL takes: refused at the start, with the reason, and no texture left.
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    EXPECT_FALSE(StartStripUpload(&upload, largest + 1, 1, reason, sizeof reason));
    EXPECT_EQ(0u, upload.Texture);
    EXPECT_NE(std::string::npos, std::string(reason).find("the graphics driver refused")) << reason;
}

// The import arrives in the frame of its last band, with its lines, and not before; a picture
// of one band in the frame its answer comes in.
TEST_F(StripUploadGL, AnImportArrivesWholeInTheFrameOfItsLastBand) {
    const Bytes small = TestPixels(6, 5, 4);
    const std::string smallPath = WritePicture("small.png", small, 6, 5);
    ImportOutcome outcome;
    ASSERT_TRUE(StartTextureImport(TEXTURE_SLOT_DIFFUSE, smallPath.c_str(), &outcome));
    EXPECT_FALSE(LookUntilUploading(&outcome)) << "one band: no frame sees it half uploaded";
    EXPECT_TRUE(outcome.Done) << outcome.Reason;
    EXPECT_EQ(small, ReadTexels(DiffuseTexture, 6, 5));

    // Wider than the largest texture, so that the helper scales it (to 4 rows) and its import
    // writes a line; one row a band.
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    const int wide = largest + largest / 2;
    const std::string widePath = WritePicture("wide.png", Bytes(size_t(wide) * 6 * 4, 90), wide, 6);
    TextureUploadBytesPerFrame = size_t(largest) * 4;
    const unsigned changes = TextureSlotChanges;
    ASSERT_TRUE(StartTextureImport(TEXTURE_SLOT_DIFFUSE, widePath.c_str(), &outcome));
    ASSERT_TRUE(LookUntilUploading(&outcome));
    EXPECT_EQ(changes, TextureSlotChanges);
    EXPECT_EQ(6, DiffuseWidth);
    EXPECT_STREQ(widePath.c_str(), LoadingTexturePath()) << "still loading while its bands go in";
    EXPECT_EQ("", LogText.str());
    EXPECT_EQ(3, LookUntilDone(&outcome)) << "the first of four bands went in with the answer";
    EXPECT_TRUE(outcome.Done) << outcome.Reason;
    EXPECT_EQ(changes + 1, TextureSlotChanges);
    EXPECT_EQ(largest, DiffuseWidth);
    EXPECT_EQ(4, DiffuseHeight);
    EXPECT_EQ(Bytes(size_t(largest) * 4 * 4, 90), ReadTexels(DiffuseTexture, largest, 4));
    EXPECT_EQ(0u, LogText.str().find("[Info]: Picture larger than the largest texture, scaled down: "))
        << LogText.str();
    EXPECT_EQ(nullptr, LoadingTexturePath());
}

// Given up on while its bands go in, by a cancel, a newer import or the way out: the half-filled
// texture is deleted, the slot keeps its picture until the newer one is whole, and the picture
// given up on never shows.
TEST_F(StripUploadGL, ACancelOrANewerImportDropsAPictureHalfUploaded) {
    const Bytes first = TestPixels(3, 2, 4);
    PutPictureInSlot(first.data(), 3, 2);
    const GLuint picture = DiffuseTexture;
    const unsigned changes = TextureSlotChanges;
    const std::string dropped = WritePicture("dropped.png", TestPixels(40, 30, 4), 40, 30);
    const Bytes newer = TestPixels(9, 7, 4);
    const std::string newerPath = WritePicture("newer.png", newer, 9, 7);
    TextureUploadBytesPerFrame = 40 * 4 * 2;

    ImportOutcome outcome;
    ASSERT_TRUE(StartTextureImport(TEXTURE_SLOT_DIFFUSE, dropped.c_str(), &outcome));
    ASSERT_TRUE(LookUntilUploading(&outcome));
    EXPECT_FALSE(FinishTextureImport(&outcome));
    GLuint half = TextureBeingUploaded();
    CancelTextureImport();
    EXPECT_FALSE(glIsTexture(half));
    EXPECT_EQ(0u, TextureBeingUploaded());
    EXPECT_EQ(nullptr, LoadingTexturePath());
    EXPECT_FALSE(FinishTextureImport(&outcome)) << "nothing is left to arrive";
    // Its pixels go back a band a frame: 15 bands of 2 rows.
    for (int frame = 0; frame < 15; ++frame) FinishTextureImport(&outcome);
    EXPECT_EQ(0, SharedPictureMemory());
    EXPECT_EQ(picture, DiffuseTexture);
    EXPECT_EQ(changes, TextureSlotChanges);
    EXPECT_EQ(first, ReadTexels(DiffuseTexture, 3, 2));

    ASSERT_TRUE(StartTextureImport(TEXTURE_SLOT_DIFFUSE, dropped.c_str(), &outcome));
    ASSERT_TRUE(LookUntilUploading(&outcome));
    half = TextureBeingUploaded();
    ASSERT_TRUE(StartTextureImport(TEXTURE_SLOT_DIFFUSE, newerPath.c_str(), &outcome));
    EXPECT_FALSE(glIsTexture(half));
    EXPECT_STREQ(newerPath.c_str(), LoadingTexturePath());
    const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!FinishTextureImport(&outcome) && std::chrono::steady_clock::now() < limit) {
        ASSERT_EQ(picture, DiffuseTexture) << "the slot keeps its picture until the newer one is whole";
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_TRUE(outcome.Done) << outcome.Reason;
    EXPECT_EQ(changes + 1, TextureSlotChanges) << "the dropped picture never went into the slot";
    EXPECT_EQ(9, DiffuseWidth);
    EXPECT_EQ(7, DiffuseHeight);
    EXPECT_EQ(newer, ReadTexels(DiffuseTexture, 9, 7));
    EXPECT_FALSE(glIsTexture(picture));
    for (int frame = 0; frame < 15; ++frame) FinishTextureImport(&outcome);
    EXPECT_EQ(0, SharedPictureMemory()) << "the dropped pixels go back a band a frame, whatever else loads";
    // Each drop says it was cancelled, as for a picture still decoding; nothing else is written.
    const std::string cancelled = "[Info]: Cancelled loading texture: " + dropped + "\n";
    EXPECT_EQ(cancelled + cancelled, LogText.str());

    // The way out: dropped without a line.
    ASSERT_TRUE(StartTextureImport(TEXTURE_SLOT_FILTER, dropped.c_str(), &outcome));
    ASSERT_TRUE(LookUntilUploading(&outcome));
    half = TextureBeingUploaded();
    const GLuint paper = FilterTexture;
    EndTextureImports();
    EXPECT_FALSE(glIsTexture(half));
    EXPECT_EQ(0, SharedPictureMemory());
    EXPECT_EQ(paper, FilterTexture);
    EXPECT_EQ(cancelled + cancelled, LogText.str());
}

// A JPEG whose rows the helper hands over as it decodes them: the texture that arrives is the
// decode's, in an import looked at frame by frame and in one waited for; one that fails after
// its first rows went in leaves no texture, memory or line of them, and the slot as it was.
TEST_F(StripUploadGL, RowsHandedOverEarlyMakeTheDecodesTexture) {
    const int width = 2048, height = 1536;  // large enough for the helper's two threads
    const std::string png = WritePicture("large.png", TestPixels(width, height, 4), width, height);
    const std::string jpeg = Folder.File("large.jpg");
    ASSERT_EQ(0, system(("convert '" + png + "' -quality 90 '" + jpeg + "'").c_str()));
    const Decoded decoded = Decode(jpeg);
    ASSERT_TRUE(decoded.Ok) << decoded.Reason;
    TextureUploadBytesPerFrame = size_t(width) * 4 * 64;
    ImportOutcome outcome;
    ASSERT_TRUE(StartTextureImport(TEXTURE_SLOT_DIFFUSE, jpeg.c_str(), &outcome));
    ASSERT_GT(LookUntilDone(&outcome), 0);
    ASSERT_TRUE(outcome.Done) << outcome.Reason;
    EXPECT_EQ(decoded.Pixels, ReadTexels(DiffuseTexture, width, height));
    PutPictureInSlot(TestPixels(3, 2, 4).data(), 3, 2);
    ASSERT_TRUE(LoadDiffuseTexture(jpeg.c_str()).Done);
    EXPECT_EQ(decoded.Pixels, ReadTexels(DiffuseTexture, width, height));

    const std::string cut = Folder.File("cut.jpg");
    const Bytes whole = ReadBytes(jpeg);
    ASSERT_TRUE(WriteBytes(cut, Bytes(whole.begin(), whole.begin() + long(whole.size() * 8 / 10))));
    const GLuint picture = DiffuseTexture;
    LogText.str("");
    ASSERT_TRUE(StartTextureImport(TEXTURE_SLOT_DIFFUSE, cut.c_str(), &outcome));
    std::vector<GLuint> early;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!FinishTextureImport(&outcome) && std::chrono::steady_clock::now() < limit) {
        if (TextureBeingUploaded()) early.push_back(TextureBeingUploaded());
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_FALSE(outcome.Done);
    EXPECT_NE(std::string::npos, std::string(outcome.Reason).find("cut short")) << outcome.Reason;
    for (GLuint texture : early) EXPECT_FALSE(glIsTexture(texture));
    EXPECT_EQ(0u, TextureBeingUploaded());
    EXPECT_EQ(picture, DiffuseTexture);
    EXPECT_EQ(0, SharedPictureMemory());
    EXPECT_EQ(0u, LogText.str().find("[Error]: Failed to load texture: ")) << LogText.str();
    EXPECT_EQ(std::string::npos, LogText.str().find("scaled down")) << LogText.str();
    ASSERT_FALSE(LoadDiffuseTexture(cut.c_str()).Done);
    EXPECT_EQ(picture, DiffuseTexture);
    EXPECT_EQ(0, SharedPictureMemory());
}

}  // namespace
