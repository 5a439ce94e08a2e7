// Imports into real GL textures (Mesa under a virtual display): the texture holds exactly the
// file's pixels with the import's parameters, a slot owns one texture, and every failure leaves
// both slots, the size and the process as they were, with one error line.
#include <gtest/gtest.h>

#include <SDL.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <iostream>
#include <sstream>
#include <stb_image_write.h>
#include <string>
#include <vector>

#include "tests/picture/import_test_files.h"
#include "render/embedded_assets.h"
#include "picture/image_decoder.h"
#include "render/texture_import.h"
#include "render/texture_slots.h"

namespace {

// Collects what the log writes to the standard error stream.
struct LogCapture {
    std::stringstream Text;
    std::streambuf* Previous;
    LogCapture() : Previous(std::cerr.rdbuf(Text.rdbuf())) {}
    ~LogCapture() { std::cerr.rdbuf(Previous); }
    // Every line written so far.
    std::vector<std::string> Lines() {
        std::vector<std::string> lines;
        std::istringstream all(Text.str());
        std::string line;
        while (std::getline(all, line)) lines.push_back(line);
        return lines;
    }
};

struct TextureInfo {
    int Width = 0, Height = 0;
    Bytes Pixels;
};

TextureInfo ReadTexture(GLuint texture) {
    TextureInfo info;
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &info.Width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &info.Height);
    info.Pixels.resize(size_t(info.Width) * info.Height * 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, info.Pixels.data());
    return info;
}

bool NoChildLeft() {
    ReapEndedDecoders(30000);
    int status = 0;
    return waitpid(-1, &status, WNOHANG) == -1 && errno == ECHILD;
}

// Looks for the import's answer once a "frame" until it comes; false after a generous minute.
bool FinishWithin(ImportOutcome* outcome, int* looks = nullptr) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (int look = 1; std::chrono::steady_clock::now() < deadline; ++look) {
        if (FinishTextureImport(outcome)) {
            if (looks) *looks = look;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

Bytes Rgba(const Bytes& grey) {
    Bytes out;
    for (unsigned char g : grey) out.insert(out.end(), {g, g, g, 255});
    return out;
}

}  // namespace

class TextureImport : public testing::Test {
protected:
    static SDL_Window* window;
    static SDL_GLContext context;
    TestFolder Folder;

    static void SetUpTestSuite() {
        ASSERT_EQ(0, SDL_Init(SDL_INIT_VIDEO)) << SDL_GetError();
        window = SDL_CreateWindow("texture import test", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        ASSERT_NE(nullptr, window) << SDL_GetError();
        context = SDL_GL_CreateContext(window);
        ASSERT_NE(nullptr, context) << SDL_GetError();
        ASSERT_EQ(GL_LOADER_OK, LoadGLEntryPoints());
    }
    static void TearDownTestSuite() {
        SDL_GL_DeleteContext(context);
        SDL_DestroyWindow(window);
        SDL_Quit();
    }

    std::string WritePng(const char* name, const Bytes& pixels, int width, int height, int channels) {
        std::string path = Folder.File(name);
        EXPECT_TRUE(WriteBytes(path, EncodePng(pixels, width, height, channels)));
        return path;
    }
};
SDL_Window* TextureImport::window = nullptr;
SDL_GLContext TextureImport::context = nullptr;

// Runs first (declaration order): nothing has been imported yet.
TEST_F(TextureImport, SlotsStartEmptyWithTheWindowsSize) {
    EXPECT_EQ(0u, DiffuseTexture);
    EXPECT_EQ(800, DiffuseWidth);
    EXPECT_EQ(600, DiffuseHeight);
    EXPECT_EQ(0u, FilterTexture);
    EXPECT_EQ(nullptr, LoadingTexturePath());
}

TEST_F(TextureImport, PictureImportUploadsExactPixelsAndShowsOptions) {
    const int width = 5, height = 3;  // rows of 20 bytes: the default unpack alignment holds
    Bytes grey = TestPixels(width, height, 1);
    Bytes rgba = TestPixels(width, height, 4);
    std::string greyPath = WritePng("grey.png", grey, width, height, 1);
    std::string alphaPath = WritePng("alpha.png", rgba, width, height, 4);

    glActiveTexture(GL_TEXTURE0 + 3);  // the import binds on whichever unit is active
    LoadDiffuseTexture(greyPath.c_str());
    ASSERT_NE(0u, DiffuseTexture);
    EXPECT_EQ(width, DiffuseWidth);
    EXPECT_EQ(height, DiffuseHeight);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(GLint(DiffuseTexture), bound);
    glActiveTexture(GL_TEXTURE0);

    TextureInfo texture = ReadTexture(DiffuseTexture);
    EXPECT_EQ(width, texture.Width);
    EXPECT_EQ(height, texture.Height);
    EXPECT_EQ(Rgba(grey), texture.Pixels);  // row 0 is the top row: no flip
    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
    EXPECT_EQ(GL_LINEAR, value);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &value);
    EXPECT_EQ(GL_LINEAR, value);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, &value);
    EXPECT_EQ(GL_REPEAT, value);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &value);
    EXPECT_EQ(GL_REPEAT, value);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &value);
    EXPECT_TRUE(value == GL_RGBA || value == GL_RGBA8) << value;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_RED_SIZE, &value);
    EXPECT_EQ(8, value);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &value);
    EXPECT_EQ(0, value) << "no mipmaps";

    LoadDiffuseTexture(alphaPath.c_str());
    EXPECT_EQ(rgba, ReadTexture(DiffuseTexture).Pixels);
}

TEST_F(TextureImport, SecondImportReplacesAndDeletesTheTexture) {
    std::string path = WritePng("twice.png", TestPixels(9, 4, 3), 9, 4, 3);
    LoadDiffuseTexture(path.c_str());
    GLuint first = DiffuseTexture;
    Bytes firstPixels = ReadTexture(first).Pixels;
    LoadDiffuseTexture(path.c_str());
    EXPECT_NE(0u, DiffuseTexture);
    EXPECT_NE(first, DiffuseTexture);
    EXPECT_FALSE(glIsTexture(first));
    EXPECT_EQ(9, DiffuseWidth);
    EXPECT_EQ(4, DiffuseHeight);
    EXPECT_EQ(firstPixels, ReadTexture(DiffuseTexture).Pixels);

    LoadFilterTexture(path.c_str());
    GLuint paper = FilterTexture;
    LoadFilterTexture(path.c_str());
    EXPECT_FALSE(glIsTexture(paper));
    EXPECT_TRUE(glIsTexture(FilterTexture));
    EXPECT_EQ(9, DiffuseWidth) << "a filter import keeps the picture's size";
}

TEST_F(TextureImport, EveryFailureKeepsTheSlotsAndWritesOneLine) {
    std::string good = WritePng("good.png", TestPixels(6, 6, 4), 6, 6, 4);
    LoadDiffuseTexture(good.c_str());
    LoadFilterTexture(good.c_str());
    const GLuint picture = DiffuseTexture, paper = FilterTexture;
    ASSERT_NE(0u, picture);

    std::vector<BadInput> bad = MakeBadInputs(Folder);
    std::string crash = Folder.File("crash");
    ASSERT_TRUE(WriteBytes(crash, Bytes{'c', 'r', 'a', 's', 'h'}));
    bad.push_back({"crashing decoder", crash, "stopped"});
    for (const BadInput& input : bad) {
        for (bool filter : {false, true}) {
            SCOPED_TRACE(std::string(input.Name) + (filter ? " as paper" : " as picture"));
            const char* helper = ImageDecoderPath;
            if (input.Path == crash) ImageDecoderPath = MISBEHAVING_DECODER;
            LogCapture log;
            ImportOutcome outcome =
                filter ? LoadFilterTexture(input.Path.c_str()) : LoadDiffuseTexture(input.Path.c_str());
            ImageDecoderPath = helper;
            EXPECT_FALSE(outcome.Done);
            EXPECT_EQ(picture, DiffuseTexture);
            EXPECT_EQ(paper, FilterTexture);
            EXPECT_TRUE(glIsTexture(picture));
            EXPECT_TRUE(glIsTexture(paper));
            EXPECT_EQ(6, DiffuseWidth);
            EXPECT_EQ(6, DiffuseHeight);
            std::string expected = "[Error]: Failed to load texture: " + input.Path + ": ";
            std::vector<std::string> lines = log.Lines();
            ASSERT_EQ(1u, lines.size());
            EXPECT_EQ(expected, lines[0].substr(0, expected.size()));
            EXPECT_NE(std::string::npos, std::string(outcome.Reason).find(input.ReasonHas)) << outcome.Reason;
            EXPECT_EQ(expected + outcome.Reason, lines[0]) << "the line and the outcome give the same reason";
        }
    }
}

TEST_F(TextureImport, ControlCharactersInAPathStayOnOneLine) {
    std::string path = Folder.File("two\nlines\r.png");
    LogCapture log;
    LoadDiffuseTexture(path.c_str());
    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_NE(std::string::npos, lines[0].find("two?lines?.png: No such file")) << lines[0];
}

TEST_F(TextureImport, NonAsciiPath) {
    std::string path = Folder.File("Papier für Aquarell — 紙.png");
    Bytes pixels = TestPixels(4, 4, 4);
    ASSERT_TRUE(WriteBytes(path, EncodePng(pixels, 4, 4, 4)));
    LoadFilterTexture(path.c_str());
    EXPECT_EQ(pixels, ReadTexture(FilterTexture).Pixels);
}

// Wider than the GL's largest texture: scaled to the largest width, aspect kept, an info line.
TEST_F(TextureImport, PictureLargerThanTheGlLimitIsScaledDown) {
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    ASSERT_GT(largest, 0);
    const int width = largest + largest / 2, height = 6;
    Bytes grey(size_t(width) * height, 0);
    for (int y = 0; y < height; ++y) {  // left half dark, right half light
        for (int x = width / 2; x < width; ++x) grey[size_t(y) * width + x] = 200;
    }
    std::string path = WritePng("wide.png", grey, width, height, 1);
    LogCapture log;
    LoadDiffuseTexture(path.c_str());
    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(0u, lines[0].find("[Info]: ")) << lines[0];
    EXPECT_NE(std::string::npos, lines[0].find(path)) << lines[0];
    EXPECT_EQ(largest, DiffuseWidth);
    EXPECT_EQ(4, DiffuseHeight);  // 6 * 2/3
    TextureInfo texture = ReadTexture(DiffuseTexture);
    ASSERT_EQ(largest, texture.Width);
    ASSERT_EQ(4, texture.Height);
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(0, texture.Pixels[(size_t(y) * largest + 10) * 4]);
        EXPECT_EQ(200, texture.Pixels[(size_t(y) * largest + largest - 10) * 4]);
        EXPECT_EQ(255, texture.Pixels[(size_t(y) * largest + 10) * 4 + 3]);
    }
}

TEST_F(TextureImport, EmbeddedPaperFillsTheFilterSlot) {
    GLuint before = FilterTexture;
    LoadFilterTextureFromMemory(DefaultFilterData, DefaultFilterDataSize);
    ASSERT_NE(0u, FilterTexture);
    EXPECT_FALSE(before && glIsTexture(before));
    TextureInfo texture = ReadTexture(FilterTexture);
    EXPECT_EQ(900, texture.Width);
    EXPECT_EQ(900, texture.Height);

    GLuint paper = FilterTexture;
    LogCapture log;
    const unsigned char nonsense[] = "not a picture";
    Bytes huge = GifHeaderOnly(65535, 65535);
    const ImportOutcome outcomes[] = {
        LoadFilterTextureFromMemory(nonsense, sizeof nonsense),
        LoadFilterTextureFromMemory(DefaultFilterData, 500),  // cut short
        LoadFilterTextureFromMemory(nullptr, 0),
        LoadFilterTextureFromMemory(huge.data(), int(huge.size())),
    };
    for (const ImportOutcome& outcome : outcomes) {
        EXPECT_FALSE(outcome.Done);
        EXPECT_NE(0, outcome.Reason[0]);
    }
    EXPECT_EQ(paper, FilterTexture);
    EXPECT_EQ(4u, log.Lines().size());
}

// The import without waiting: nothing changes until the frame in which the answer is taken, and
// then exactly what a waiting import changes (slot, size, Options), with the same lines.
TEST_F(TextureImport, AnImportInTheBackgroundChangesTheSlotWhenItsAnswerIsTaken) {
    std::string first = WritePng("first.png", TestPixels(7, 5, 4), 7, 5, 4);
    Bytes pixels = TestPixels(9, 3, 4);
    std::string second = WritePng("second.png", pixels, 9, 3, 4);
    ASSERT_TRUE(LoadDiffuseTexture(first.c_str()).Done);
    const GLuint before = DiffuseTexture;
    LogCapture log;
    ImportOutcome outcome;
    ASSERT_TRUE(StartTextureImport(TEXTURE_SLOT_DIFFUSE, second.c_str(), &outcome));
    EXPECT_STREQ(second.c_str(), LoadingTexturePath());
    EXPECT_EQ(before, DiffuseTexture);
    EXPECT_EQ(7, DiffuseWidth);
    int looks = 0;
    ASSERT_TRUE(FinishWithin(&outcome, &looks));
    EXPECT_TRUE(outcome.Done) << outcome.Reason;
    EXPECT_EQ(nullptr, LoadingTexturePath());
    EXPECT_FALSE(glIsTexture(before));
    EXPECT_EQ(9, DiffuseWidth);
    EXPECT_EQ(3, DiffuseHeight);
    EXPECT_EQ(pixels, ReadTexture(DiffuseTexture).Pixels);
    EXPECT_FALSE(FinishTextureImport(&outcome)) << "an import ends once";
    EXPECT_TRUE(log.Lines().empty());

    // A paper that fails says so when its answer is taken, and leaves both slots.
    const GLuint paper = FilterTexture, picture = DiffuseTexture;
    std::string broken = Folder.File("broken.png");
    ASSERT_TRUE(WriteBytes(broken, Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 1, 2, 3}));
    ASSERT_TRUE(StartTextureImport(TEXTURE_SLOT_FILTER, broken.c_str(), &outcome));
    ASSERT_TRUE(FinishWithin(&outcome));
    EXPECT_FALSE(outcome.Done);
    EXPECT_EQ(paper, FilterTexture);
    EXPECT_EQ(picture, DiffuseTexture);
    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ("[Error]: Failed to load texture: " + broken + ": " + outcome.Reason, lines[0]);
    EXPECT_TRUE(NoChildLeft());
}

// A second import replaces one still loading (its helper ended); a cancel leaves the slots as
// they were; what cannot even start says so at once.
TEST_F(TextureImport, AnImportStillLoadingIsReplacedOrCancelledWithItsHelper) {
    const char* helper = ImageDecoderPath;
    std::string hang = Folder.File("hang.png");
    ASSERT_TRUE(WriteBytes(hang, Bytes{'h', 'a', 'n', 'g'}));
    Bytes pixels = TestPixels(4, 4, 4);
    std::string good = WritePng("good.png", pixels, 4, 4, 4);
    ASSERT_TRUE(LoadDiffuseTexture(good.c_str()).Done);
    const GLuint picture = DiffuseTexture, paper = FilterTexture;

    LogCapture log;
    ImportOutcome outcome;
    ImageDecoderPath = MISBEHAVING_DECODER;
    ASSERT_TRUE(StartTextureImport(TEXTURE_SLOT_DIFFUSE, hang.c_str(), &outcome));
    ImageDecoderPath = helper;
    for (int look = 0; look < 5; ++look) EXPECT_FALSE(FinishTextureImport(&outcome));
    ASSERT_TRUE(StartTextureImport(TEXTURE_SLOT_FILTER, good.c_str(), &outcome));
    ASSERT_TRUE(FinishWithin(&outcome));
    EXPECT_TRUE(outcome.Done) << outcome.Reason;
    EXPECT_EQ(picture, DiffuseTexture) << "the replaced picture import never arrives";
    EXPECT_NE(paper, FilterTexture);
    EXPECT_EQ(pixels, ReadTexture(FilterTexture).Pixels);

    ImageDecoderPath = MISBEHAVING_DECODER;
    ASSERT_TRUE(StartTextureImport(TEXTURE_SLOT_DIFFUSE, hang.c_str(), &outcome));
    ImageDecoderPath = helper;
    CancelTextureImport();
    EXPECT_EQ(nullptr, LoadingTexturePath());
    EXPECT_FALSE(FinishTextureImport(&outcome));
    EXPECT_EQ(picture, DiffuseTexture);
    EXPECT_TRUE(NoChildLeft());
    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("[Info]: Cancelled loading texture: " + hang, lines[0]);
    EXPECT_EQ(lines[0], lines[1]);

    // A named pipe: refused before any helper starts, at once (a blocking open would hang here).
    std::string pipe = Folder.File("x.png");
    ASSERT_EQ(0, mkfifo(pipe.c_str(), 0600));
    EXPECT_FALSE(StartTextureImport(TEXTURE_SLOT_DIFFUSE, pipe.c_str(), &outcome));
    EXPECT_FALSE(outcome.Done);
    EXPECT_STREQ("it is a named pipe, not a file", outcome.Reason);
    EXPECT_EQ(nullptr, LoadingTexturePath());
    EXPECT_TRUE(NoChildLeft());

    // The way out ends a loading helper and reaps it, without a line.
    ImageDecoderPath = MISBEHAVING_DECODER;
    ASSERT_TRUE(StartTextureImport(TEXTURE_SLOT_DIFFUSE, hang.c_str(), &outcome));
    ImageDecoderPath = helper;
    EndTextureImports();
    EXPECT_EQ(nullptr, LoadingTexturePath());
    int status = 0;
    EXPECT_EQ(-1, waitpid(-1, &status, WNOHANG)) << "reaped before EndTextureImports returned";
    EXPECT_EQ(3u, log.Lines().size());
}

// Pixels larger than the GL's largest texture are the helper's to scale; an answer that has not
// scaled them is refused, never scaled on this thread.
TEST_F(TextureImport, AnAnswerLargerThanTheLargestTextureIsRefused) {
    const char* helper = ImageDecoderPath;
    const GLuint picture = DiffuseTexture;
    std::string unscaled = Folder.File("unscaled");
    ASSERT_TRUE(WriteBytes(unscaled, Bytes{'u', 'n', 's', 'c', 'a', 'l', 'e', 'd'}));
    ImageDecoderPath = MISBEHAVING_DECODER;
    LogCapture log;
    ImportOutcome outcome = LoadDiffuseTexture(unscaled.c_str());
    ImageDecoderPath = helper;
    EXPECT_FALSE(outcome.Done);
    EXPECT_STREQ("the decoder's answer was malformed", outcome.Reason);
    EXPECT_EQ(picture, DiffuseTexture);
}

// The one way the slots change: every call counts (the cache's only sign of new pixels under an
// old name), and the texture a slot lets go of is deleted at once unless a render holds it; then
// the hold's end, or the shutdown's emptying, deletes it. Runs last: it empties the slots.
TEST_F(TextureImport, TheSlotSetterCountsEveryChangeAndSparesHeldTextures) {
    auto newTexture = [] {
        GLuint texture = 0;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);  // a name becomes a texture once bound
        return texture;
    };
    const GLuint first = newTexture(), second = newTexture(), paper = newTexture(), nextPaper = newTexture();
    const unsigned changes = TextureSlotChanges;
    SetTextureSlot(TEXTURE_SLOT_DIFFUSE, first, 7, 5);
    EXPECT_EQ(changes + 1, TextureSlotChanges);
    EXPECT_EQ(first, DiffuseTexture);
    EXPECT_EQ(7, DiffuseWidth);
    EXPECT_EQ(5, DiffuseHeight);
    // The same texture again (its pixels replaced in place): counted, and kept.
    SetTextureSlot(TEXTURE_SLOT_DIFFUSE, first, 7, 5);
    EXPECT_EQ(changes + 2, TextureSlotChanges);
    EXPECT_TRUE(glIsTexture(first));

    // Replaced while a render holds it: out of the slot, alive until the hold ends.
    HoldSlotTexture(first);
    SetTextureSlot(TEXTURE_SLOT_DIFFUSE, second, 3, 2);
    EXPECT_EQ(second, DiffuseTexture);
    EXPECT_TRUE(glIsTexture(first));
    LetGoOfSlotTexture(first);
    EXPECT_FALSE(glIsTexture(first));
    // A hold that ends while its texture is still in the slot leaves it there.
    HoldSlotTexture(second);
    LetGoOfSlotTexture(second);
    EXPECT_TRUE(glIsTexture(second));
    // Not held: deleted at once; the paper slot leaves the picture's size alone.
    SetTextureSlot(TEXTURE_SLOT_FILTER, paper, 0, 0);
    SetTextureSlot(TEXTURE_SLOT_FILTER, nextPaper, 0, 0);
    EXPECT_FALSE(glIsTexture(paper));
    EXPECT_EQ(3, DiffuseWidth);
    EXPECT_EQ(changes + 5, TextureSlotChanges);

    // Emptying, as the renderer's shutdown does: the slots' textures and the held ones all go,
    // the picture's size is the empty slot's, and the forgotten hold deletes nothing later.
    HoldSlotTexture(second);
    const GLuint third = newTexture();
    SetTextureSlot(TEXTURE_SLOT_DIFFUSE, third, 4, 4);
    EmptyTextureSlots();
    for (GLuint texture : {second, third, nextPaper}) EXPECT_FALSE(glIsTexture(texture)) << texture;
    EXPECT_EQ(0u, DiffuseTexture);
    EXPECT_EQ(0u, FilterTexture);
    EXPECT_EQ(800, DiffuseWidth);
    EXPECT_EQ(600, DiffuseHeight);
    const GLuint reused = newTexture();  // the GL may hand a deleted name out again
    LetGoOfSlotTexture(second);
    EXPECT_TRUE(glIsTexture(reused));
    glDeleteTextures(1, &reused);
}
