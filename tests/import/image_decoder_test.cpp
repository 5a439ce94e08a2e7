// The decoder helper and its client, without GL: what comes back must be exactly what stb_image
// decodes in process, the limits must hold, every misbehaving helper must end in a failure with
// a reason, and nothing (fds, child processes) may be left behind. The texture tests cover the
// bad files one by one.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <stb_image.h>
#include <stb_image_write.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "import_test_files.h"
#include "picture/image_decoder.h"
#include "tests/import/decoder_test_support.h"

namespace {

int OpenFdCount() {
    int count = 0;
    DIR* folder = opendir("/proc/self/fd");
    while (dirent* entry = readdir(folder)) count += entry->d_name[0] != '.';
    closedir(folder);
    return count;
}

bool NoChildLeft() {
    int status = 0;
    return waitpid(-1, &status, WNOHANG) == -1 && errno == ECHILD;
}



bool Convert(const std::string& from, const std::string& options, const std::string& to) {
    std::string command = "convert '" + from + "' " + options + " '" + to + "' 2>/dev/null";
    return system(command.c_str()) == 0;
}

}  // namespace

// Every format the helper hands back must match stb_image in this process byte for byte; the
// sizes are large enough that the helper's allocations grow, move and are freed many times.
TEST(ImageDecoder, MatchesStbImageInProcessForEveryFormat) {
    TestFolder folder;
    const int width = 1531, height = 997;
    Bytes pixels = TestPixels(width, height, 3);
    for (int y = 0; y < height; ++y) {  // smooth areas too, so the JPEG has realistic content
        for (int x = 0; x < width / 2; ++x) {
            unsigned char* p = &pixels[(size_t(y) * width + x) * 3];
            p[0] = (unsigned char)(x / 4), p[1] = (unsigned char)(y / 4), p[2] = (unsigned char)((x + y) / 8);
        }
    }
    std::string png = folder.File("picture.png");
    ASSERT_TRUE(WriteBytes(png, EncodePng(pixels, width, height, 3)));
    ASSERT_TRUE(stbi_write_jpg(folder.File("picture.jpg").c_str(), width, height, 3, pixels.data(), 90));
    ASSERT_TRUE(stbi_write_bmp(folder.File("picture.bmp").c_str(), width, height, 3, pixels.data()));
    ASSERT_TRUE(stbi_write_tga(folder.File("picture.tga").c_str(), width, height, 3, pixels.data()));
    std::vector<std::string> files = {"picture.png", "picture.jpg", "picture.bmp", "picture.tga"};
    // Progressive JPEG, GIF, 16-bit PNG and PPM come from imagemagick where it is installed.
    if (Convert(png, "-interlace JPEG -quality 85", folder.File("progressive.jpg"))) files.push_back("progressive.jpg");
    if (Convert(png, "", folder.File("picture.gif"))) files.push_back("picture.gif");
    if (Convert(png, "-depth 16", folder.File("deep.png"))) files.push_back("deep.png");
    if (Convert(png, "", folder.File("picture.ppm"))) files.push_back("picture.ppm");

    for (const std::string& name : files) {
        SCOPED_TRACE(name);
        int w = 0, h = 0;
        unsigned char* expected = stbi_load(folder.File(name).c_str(), &w, &h, nullptr, 4);
        ASSERT_NE(nullptr, expected) << stbi_failure_reason();
        Decoded got = Decode(folder.File(name));
        ASSERT_TRUE(got.ok) << got.reason;
        EXPECT_EQ(w, got.width);
        EXPECT_EQ(h, got.height);
        EXPECT_TRUE(got.pixels == Bytes(expected, expected + size_t(w) * h * 4));
        stbi_image_free(expected);
    }
}

TEST(ImageDecoder, UnreadableFileFails) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop root from reading";
    TestFolder folder;
    std::string path = folder.File("locked.png");
    ASSERT_TRUE(WriteBytes(path, EncodePng(TestPixels(4, 4, 3), 4, 4, 3)));
    chmod(path.c_str(), 0);
    Decoded got = Decode(path);
    EXPECT_FALSE(got.ok);
    EXPECT_NE(std::string::npos, got.reason.find("Permission denied")) << got.reason;
}

// A header can claim gigabytes in a few bytes. The claim is refused before anything is
// allocated: even with a helper allowed only 32 MiB the answer is "too large", not "memory".
TEST(ImageDecoder, HugeClaimedSizeIsRefusedFromTheHeader) {
    DecoderSettings restore;
    ImageDecoderMemoryLimit = 32 << 20;
    TestFolder folder;
    ASSERT_TRUE(WriteBytes(folder.File("huge.gif"), GifHeaderOnly(65535, 65535)));
    ASSERT_TRUE(WriteBytes(folder.File("huge.jpg"), JpegHeaderOnly(65535, 65535)));
    ASSERT_TRUE(WriteBytes(folder.File("over.gif"), GifHeaderOnly(16385, 16384)));  // 2^28 + 16384 pixels
    for (const char* name : {"huge.gif", "huge.jpg", "over.gif"}) {
        SCOPED_TRACE(name);
        Decoded got = Decode(folder.File(name));
        EXPECT_FALSE(got.ok);
        EXPECT_NE(std::string::npos, got.reason.find("too large")) << got.reason;
    }
    // stb_image refuses this PNG header itself; the reason still names the format.
    ASSERT_TRUE(WriteBytes(folder.File("huge.png"), PngHeaderOnly(65535, 65535)));
    Decoded png = Decode(folder.File("huge.png"));
    EXPECT_FALSE(png.ok);
    EXPECT_NE(std::string::npos, png.reason.find("PNG header")) << png.reason;
}

TEST(ImageDecoder, MemoryLimitStopsALargeDecode) {
    DecoderSettings restore;
    TestFolder folder;
    const int side = 3000;  // 36 MB of RGBA, more than the limit below
    ASSERT_TRUE(WriteBytes(folder.File("large.png"), EncodePng(Bytes(size_t(side) * side, 200), side, side, 1)));
    ImageDecoderMemoryLimit = 16 << 20;
    Decoded limited = Decode(folder.File("large.png"));
    EXPECT_FALSE(limited.ok);
    EXPECT_EQ(limited.reason, "not enough memory to decode it (limit 16 MiB)");
    ImageDecoderMemoryLimit = restore.memory;
    Decoded full = Decode(folder.File("large.png"));
    ASSERT_TRUE(full.ok) << full.reason;
    EXPECT_EQ(side, full.width);
}

TEST(ImageDecoder, MisbehavingHelperIsContained) {
    DecoderSettings restore;
    ImageDecoderPath = MISBEHAVING_DECODER;
    ImageDecoderTimeLimitMs = 400;
    TestFolder folder;
    struct Case {
        const char* word;
        const char* reasonHas;
    } cases[] = {
        {"crash", "stopped"},     {"abort", "stopped"},   {"hang", "took too long"},
        {"linger", "took too long"}, {"silent", "no answer"}, {"short", "no answer"},
        {"exit3", "exit status 3"}, {"oversized", "malformed"}, {"outside", "malformed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        std::string path = folder.File(std::string(c.word) + ".png");
        ASSERT_TRUE(WriteBytes(path, Bytes(c.word, c.word + strlen(c.word))));
        auto start = std::chrono::steady_clock::now();
        Decoded got = Decode(path);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_FALSE(got.ok);
        EXPECT_NE(std::string::npos, got.reason.find(c.reasonHas)) << got.reason;
        EXPECT_LT(seconds, 5.0);  // the limit, not the helper, decides how long we wait
        EXPECT_TRUE(NoChildLeft());
    }
    ImageDecoderPath = "/nonexistent/vellumry-decode";
    Decoded missing = Decode(folder.File("crash.png"));
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(std::string::npos, missing.reason.find("could not start")) << missing.reason;
}

TEST(ImageDecoder, LeavesNoFdOrProcessBehind) {
    DecoderSettings restore;
    TestFolder folder;
    ASSERT_TRUE(WriteBytes(folder.File("good.png"), EncodePng(TestPixels(40, 30, 4), 40, 30, 4)));
    ASSERT_TRUE(WriteBytes(folder.File("hang.png"), Bytes{'h', 'a', 'n', 'g'}));
    std::vector<BadInput> bad = MakeBadInputs(folder);
    int before = OpenFdCount();
    for (int round = 0; round < 3; ++round) {
        Decoded good = Decode(folder.File("good.png"));
        EXPECT_TRUE(good.ok) << good.reason;
        for (const BadInput& b : bad) EXPECT_FALSE(Decode(b.path).ok);
    }
    ImageDecoderPath = MISBEHAVING_DECODER;
    ImageDecoderTimeLimitMs = 200;
    EXPECT_FALSE(Decode(folder.File("hang.png")).ok);
    EXPECT_EQ(before, OpenFdCount());
    EXPECT_TRUE(NoChildLeft());
}
