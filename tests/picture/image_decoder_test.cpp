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
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "import_test_files.h"
#include "picture/image_decoder.h"
#include "picture/picture_scaling.h"
#include "tests/picture/decoder_test_support.h"
#include <sys/socket.h>
#include <sys/un.h>

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

// The helpers that cancels killed are reaped later; a generous wait settles them.
bool NoChildLeftOnceReaped() {
    ReapEndedDecoders(30000);
    return NoChildLeft();
}

// The decode of a file whose helper is still at work.
PictureDecode* StartOrFail(const std::string& path, int largestSide = 0) {
    char reason[256];
    PictureDecode* decode = StartPictureDecode(path.c_str(), largestSide, reason, sizeof reason);
    EXPECT_NE(nullptr, decode) << reason;
    return decode;
}

// What a person may read in a log line and a notice: printable text, well-formed UTF-8.
bool Readable(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = (unsigned char)text[i];
        if (c < 0x20 || c == 0x7f) return false;
        if (c >= 0x80) {
            const int length = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc2 ? 2 : 0;
            if (length == 0 || i + length > text.size()) return false;
            for (int k = 1; k < length; ++k)
                if (((unsigned char)text[i + k] & 0xc0) != 0x80) return false;
            i += length - 1;
        }
    }
    return true;
}

bool HasNegativeNumber(const std::string& text) {
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == '-' && text[i + 1] >= '0' && text[i + 1] <= '9') return true;
    return false;
}

bool Convert(const std::string& from, const std::string& options, const std::string& to) {
    std::string command = "convert '" + from + "' " + options + " '" + to + "' 2>/dev/null";
    return system(command.c_str()) == 0;
}

}  // namespace

// Every format stb_image reads in the helper must match stb_image in this process byte for byte,
// and so must an 8-bit PNG, which libpng reads there (both are exact); the sizes are large
// enough that the helper's allocations grow, move and are freed many times. JPEG and deeper
// PNGs are libjpeg-turbo's and libpng's, compared in photo_formats_test.cpp.
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
    ASSERT_TRUE(stbi_write_bmp(folder.File("picture.bmp").c_str(), width, height, 3, pixels.data()));
    ASSERT_TRUE(stbi_write_tga(folder.File("picture.tga").c_str(), width, height, 3, pixels.data()));
    // The same BMP stored top row first, as its negative height says.
    Bytes bmp = ReadBytes(folder.File("picture.bmp")), topDown(bmp.begin(), bmp.begin() + 54);
    const size_t stride = (size_t(width) * 3 + 3) / 4 * 4;
    for (int y = height - 1; y >= 0; --y)
        topDown.insert(topDown.end(), bmp.begin() + long(54 + stride * y), bmp.begin() + long(54 + stride * (y + 1)));
    const int negative = -height;
    memcpy(&topDown[22], &negative, 4);
    ASSERT_TRUE(WriteBytes(folder.File("top-down.bmp"), topDown));
    std::vector<std::string> files = {"picture.png", "picture.bmp", "top-down.bmp", "picture.tga"};
    // GIF and PPM come from imagemagick where it is installed.
    if (Convert(png, "", folder.File("picture.gif"))) files.push_back("picture.gif");
    if (Convert(png, "", folder.File("picture.ppm"))) files.push_back("picture.ppm");

    for (const std::string& name : files) {
        SCOPED_TRACE(name);
        int w = 0, h = 0;
        unsigned char* expected = stbi_load(folder.File(name).c_str(), &w, &h, nullptr, 4);
        ASSERT_NE(nullptr, expected) << stbi_failure_reason();
        Decoded got = Decode(folder.File(name));
        ASSERT_TRUE(got.Ok) << got.Reason;
        EXPECT_EQ(w, got.Width);
        EXPECT_EQ(h, got.Height);
        EXPECT_TRUE(got.Pixels == Bytes(expected, expected + size_t(w) * h * 4));
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
    EXPECT_FALSE(got.Ok);
    EXPECT_NE(std::string::npos, got.Reason.find("Permission denied")) << got.Reason;
}

// A header can claim gigabytes in a few bytes. The claim is refused before anything is
// allocated: even with a helper allowed only 32 MiB the answer is "too large", not "memory".
TEST(ImageDecoder, HugeClaimedSizeIsRefusedFromTheHeader) {
    DecoderSettings restore;
    ImageDecoderMemoryLimit = 32 << 20;
    TestFolder folder;
    ASSERT_TRUE(WriteBytes(folder.File("huge.gif"), GifHeaderOnly(65535, 65535)));
    ASSERT_TRUE(WriteBytes(folder.File("huge.jpg"), JpegHeaderOnly(65535, 65535)));
    ASSERT_TRUE(WriteBytes(folder.File("over.gif"), GifHeaderOnly(25001, 20000)));  // just over 500 million
    for (const char* name : {"huge.gif", "huge.jpg", "over.gif"}) {
        SCOPED_TRACE(name);
        Decoded got = Decode(folder.File(name));
        EXPECT_FALSE(got.Ok);
        EXPECT_NE(std::string::npos, got.Reason.find("the picture is too large: ")) << got.Reason;
        EXPECT_NE(std::string::npos, got.Reason.find(" pixels, at most 500 million")) << got.Reason;
    }
    EXPECT_EQ("the picture is too large: 25001 x 20000 pixels, at most 500 million",
              Decode(folder.File("over.gif")).Reason);
    // A PNG's header alone claims as much.
    ASSERT_TRUE(WriteBytes(folder.File("huge.png"), PngHeaderOnly(65535, 65535)));
    Decoded png = Decode(folder.File("huge.png"));
    EXPECT_FALSE(png.Ok);
    EXPECT_EQ("the picture is too large: 65535 x 65535 pixels, at most 500 million", png.Reason);
}

TEST(ImageDecoder, MemoryLimitStopsALargeDecode) {
    DecoderSettings restore;
    TestFolder folder;
    const int side = 3000;  // 36 MB of RGBA, more than the limit below
    ASSERT_TRUE(WriteBytes(folder.File("large.png"), EncodePng(Bytes(size_t(side) * side, 200), side, side, 1)));
    ImageDecoderMemoryLimit = 16 << 20;
    Decoded limited = Decode(folder.File("large.png"));
    EXPECT_FALSE(limited.Ok);
    EXPECT_EQ(limited.Reason, "not enough memory to decode it (limit 16 MiB)");
    ImageDecoderMemoryLimit = restore.Memory;
    Decoded full = Decode(folder.File("large.png"));
    ASSERT_TRUE(full.Ok) << full.Reason;
    EXPECT_EQ(side, full.Width);
}

TEST(ImageDecoder, MisbehavingHelperIsContained) {
    DecoderSettings restore;
    ImageDecoderPath = MISBEHAVING_DECODER;
    ImageDecoderTimeLimitMs = 400;
    TestFolder folder;
    struct Case {
        const char* Word;
        const char* ReasonHas;
    } cases[] = {
        {"crash", "stopped"},
        {"abort", "stopped"},
        {"hang", "took too long"},
        {"linger", "took too long"},
        {"silent", "no answer"},
        {"short", "no answer"},
        {"exit3", "exit status 3"},
        {"oversized", "malformed"},
        {"outside", "malformed"},
        {"early-outside", "malformed"},
        {"early-backwards", "malformed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Word);
        std::string path = folder.File(std::string(c.Word) + ".png");
        ASSERT_TRUE(WriteBytes(path, Bytes(c.Word, c.Word + strlen(c.Word))));
        auto start = std::chrono::steady_clock::now();
        Decoded got = Decode(path);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_FALSE(got.Ok);
        EXPECT_NE(std::string::npos, got.Reason.find(c.ReasonHas)) << got.Reason;
        EXPECT_LT(seconds, 5.0);  // the limit, not the helper, decides how long we wait
        EXPECT_TRUE(NoChildLeft());
    }
    ImageDecoderPath = "/nonexistent/vellumry-decode";
    Decoded missing = Decode(folder.File("crash.png"));
    EXPECT_FALSE(missing.Ok);
    EXPECT_NE(std::string::npos, missing.Reason.find("could not start")) << missing.Reason;
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
        EXPECT_TRUE(good.Ok) << good.Reason;
        for (const BadInput& b : bad) EXPECT_FALSE(Decode(b.Path).Ok);
    }
    ImageDecoderPath = MISBEHAVING_DECODER;
    ImageDecoderTimeLimitMs = 200;
    EXPECT_FALSE(Decode(folder.File("hang.png")).Ok);
    EXPECT_EQ(before, OpenFdCount());
    EXPECT_TRUE(NoChildLeft());
}

// What is not a regular file is refused before any helper starts (the helper path below does
// not exist, so a start would say "could not start"), with a reason that says what it is; a
// named pipe with no writer does not hold the caller up (a blocking open would never return).
TEST(ImageDecoder, WhatIsNotAFileIsRefusedAtOnceAndNamed) {
    DecoderSettings restore;
    ImageDecoderPath = "/nonexistent/vellumry-decode";
    TestFolder folder;
    ASSERT_EQ(0, mkfifo(folder.File("pipe.png").c_str(), 0600));
    int listening = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    snprintf(address.sun_path, sizeof address.sun_path, "%s", folder.File("socket.png").c_str());
    ASSERT_EQ(0, bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address));
    ASSERT_EQ(0, symlink("/dev/zero", folder.File("x.png").c_str()));
    ASSERT_EQ(0, mkdir(folder.File("album.png").c_str(), 0700));
    struct Case {
        const char* Name;
        const char* Reason;
    } cases[] = {
        {"pipe.png", "it is a named pipe, not a file"},
        {"socket.png", "it is a socket, not a file"},
        {"x.png", "it is a device, not a file"},
        {"album.png", "it is a folder, not a file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        char reason[256] = "unchanged";
        EXPECT_EQ(nullptr, StartPictureDecode(folder.File(c.Name).c_str(), 0, reason, sizeof reason));
        EXPECT_STREQ(c.Reason, reason);
    }
    close(listening);
    EXPECT_TRUE(NoChildLeft());
}

// The shapes whose scaling used to freeze the window: each comes back already scaled by the
// helper (the client has no scaler; see the next test), with the aspect kept and the picture's
// own size beside it. The pixels are the area averages of what stb_image decodes.
TEST(ImageDecoder, HostileShapesComeBackScaledByTheHelper) {
    DecoderSettings restore;
    ImageDecoderTimeLimitMs = 180000;  // a busy machine must not turn a slow answer into a failure
    TestFolder folder;
    const int largest = 16384;
    // A wide strip whose every run of 64 pixels averages to a known colour.
    const int stripWidth = 1048576;
    Bytes strip(size_t(stripWidth) * 3);
    for (int x = 0; x < stripWidth; ++x) {
        strip[size_t(x) * 3] = (unsigned char)((x / 64) % 251);
        strip[size_t(x) * 3 + 1] = (unsigned char)((x % 2) * 200);  // averages to 100
        strip[size_t(x) * 3 + 2] = 7;
    }
    ASSERT_TRUE(WriteBytes(folder.File("wide.png"), EncodePng(strip, stripWidth, 1, 3)));
    ASSERT_TRUE(WriteBytes(folder.File("tall.png"), EncodePng(strip, 1, stripWidth, 3)));
    ASSERT_TRUE(WriteBytes(folder.File("line.bmp"), BmpHeaderOnly(16777216, 1)));
    ASSERT_TRUE(WriteBytes(folder.File("canvas.gif"), GifCanvas(20000, 13421)));
    ASSERT_TRUE(WriteBytes(folder.File("one-over.bmp"), BmpHeaderOnly(16384, 16385)));
    EXPECT_EQ(70u, ReadBytes(folder.File("line.bmp")).size());
    EXPECT_EQ(35u, ReadBytes(folder.File("canvas.gif")).size());
    struct Case {
        const char* Name;
        int SourceWidth, SourceHeight;
    } cases[] = {
        {"wide.png", stripWidth, 1},  {"tall.png", 1, stripWidth},    {"line.bmp", 16777216, 1},
        {"canvas.gif", 20000, 13421}, {"one-over.bmp", 16384, 16385},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Decoded got = Decode(folder.File(c.Name), largest);
        ASSERT_TRUE(got.Ok) << got.Reason;
        int width = 0, height = 0;
        FitInside(c.SourceWidth, c.SourceHeight, largest, &width, &height);
        EXPECT_EQ(c.SourceWidth, got.SourceWidth);
        EXPECT_EQ(c.SourceHeight, got.SourceHeight);
        EXPECT_EQ(width, got.Width);
        EXPECT_EQ(height, got.Height);
        ASSERT_EQ(size_t(width) * height * 4, got.Pixels.size());
        if (c.Name[0] == 'w' || c.Name[0] == 't') {
            for (int i = 0; i < largest; ++i) {
                const unsigned char* p = &got.Pixels[size_t(i) * 4];
                ASSERT_EQ(i % 251, p[0]) << i;
                ASSERT_EQ(100, p[1]) << i;
                ASSERT_EQ(7, p[2]) << i;
                ASSERT_EQ(255, p[3]) << i;
            }
        }
    }
    EXPECT_TRUE(NoChildLeft());
}

// The program's thread never scales: pixels larger than it asked for are a malformed answer,
// not work for it. And whatever a helper writes as its reason reaches a person as readable
// text, never empty.
TEST(ImageDecoder, AnswersAreJudgedNotTrusted) {
    DecoderSettings restore;
    ImageDecoderPath = MISBEHAVING_DECODER;
    TestFolder folder;
    for (const char* word : {"unscaled", "garbled", "mute"})
        ASSERT_TRUE(WriteBytes(folder.File(word), Bytes(word, word + strlen(word))));
    Decoded unscaled = Decode(folder.File("unscaled"), 64);
    EXPECT_FALSE(unscaled.Ok);
    EXPECT_EQ("the decoder's answer was malformed", unscaled.Reason);
    EXPECT_TRUE(Decode(folder.File("unscaled"), 0).Ok) << "the same answer stands where any size fits";
    Decoded garbled = Decode(folder.File("garbled"));
    EXPECT_FALSE(garbled.Ok);
    EXPECT_EQ("END? PNG??[31m ??", garbled.Reason);
    Decoded mute = Decode(folder.File("mute"));
    EXPECT_EQ("the decoder gave no reason", mute.Reason);
}

// The caller is never held up: a decode that spins (a cut-off run-length HDR in the real helper,
// a helper that hangs) answers "running" at once, for as long as it runs, and a cancel ends it.
TEST(ImageDecoder, ADecodeRunsWithoutHoldingTheCaller) {
    DecoderSettings restore;
    TestFolder folder;
    ASSERT_TRUE(WriteBytes(folder.File("cut.hdr"), SpinningHdr()));
    ASSERT_TRUE(WriteBytes(folder.File("hang.png"), Bytes{'h', 'a', 'n', 'g'}));
    const int fds = OpenFdCount();
    for (bool real : {true, false}) {
        SCOPED_TRACE(real ? "spinning stb_image" : "hanging helper");
        ImageDecoderPath = real ? restore.Path : MISBEHAVING_DECODER;
        PictureDecode* decode = StartOrFail(folder.File(real ? "cut.hdr" : "hang.png"));
        ASSERT_NE(nullptr, decode);
        for (int look = 0; look < 20; ++look) {
            DecodedPicture picture;
            char reason[256];
            ASSERT_EQ(DECODE_RUNNING, PollPictureDecode(decode, look % 2 ? 0 : 20, &picture, reason, sizeof reason));
            EXPECT_EQ(nullptr, picture.Pixels);
        }
        EXPECT_FALSE(NoChildLeft());
        CancelPictureDecode(decode);
        EXPECT_TRUE(NoChildLeftOnceReaped());
        EXPECT_EQ(fds, OpenFdCount());
    }
    // Left alone, the spinning decode is stopped by the limit.
    ImageDecoderPath = restore.Path;
    ImageDecoderTimeLimitMs = 300;
    Decoded spun = Decode(folder.File("cut.hdr"));
    EXPECT_EQ("took too long (more than 0.3 s)", spun.Reason);
    EXPECT_TRUE(NoChildLeft());
}

// Waits for a process that ends up as this process's child (being a subreaper), and reaps it.
// False when it is still there after a generous while.
bool ChildEnds(pid_t pid) {
    for (int look = 0; look < 30000; ++look) {
        int status = 0;
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) return true;
        if (done < 0 && errno != ECHILD && errno != EINTR) return false;
        usleep(1000);  // ECHILD: still its parent's; 0: ours and running
    }
    return false;
}

// A helper may fork (a compromised decoder would). A cancel ends its whole process group, and
// never waits on a helper that cannot be reaped yet: each helper here is held back from being
// reaped by its child, as a debugger attached to it would, for as long as that child lives.
TEST(ImageDecoder, ACancelEndsTheHelpersChildrenAndNeverWaits) {
    DecoderSettings restore;
    ImageDecoderPath = MISBEHAVING_DECODER;
    TestFolder folder;
    const int fds = OpenFdCount();
    ASSERT_EQ(0, prctl(PR_SET_CHILD_SUBREAPER, 1));  // the children come to us once orphaned
    std::vector<pid_t> children;
    for (int cancel = 0; cancel < 40; ++cancel) {
        const std::string pidFile = folder.File("child" + std::to_string(cancel));
        const std::string text = "fork " + pidFile;
        ASSERT_TRUE(WriteBytes(folder.File("fork"), Bytes(text.begin(), text.end())));
        PictureDecode* decode = StartOrFail(folder.File("fork"));
        ASSERT_NE(nullptr, decode);
        DecodedPicture picture;
        char reason[256];
        while (ReadBytes(pidFile).empty())
            ASSERT_EQ(DECODE_RUNNING, PollPictureDecode(decode, 20, &picture, reason, sizeof reason)) << reason;
        Bytes pid = ReadBytes(pidFile);
        children.push_back(pid_t(atoi(std::string(pid.begin(), pid.end()).c_str())));
        CancelPictureDecode(decode);  // a 33rd helper that cannot be reaped used to block here
    }
    for (pid_t child : children) EXPECT_TRUE(ChildEnds(child)) << "the helper's child " << child << " lingers";
    prctl(PR_SET_CHILD_SUBREAPER, 0);
    EXPECT_TRUE(NoChildLeftOnceReaped());
    EXPECT_EQ(fds, OpenFdCount());
}

// A table of damaged files of every format, and valid variants stb_image does not read: each
// reason says the kind of problem in plain words, with stb's code in parentheses where it
// helps, and none is empty, holds bytes of the file or a negative number.
TEST(ImageDecoder, DamagedFilesGetReasonsAPersonUnderstands) {
    TestFolder folder;
    std::vector<BadInput> files = MakeDamagedFiles(folder);
    for (const BadInput& input : MakeBadInputs(folder)) files.push_back(input);
    for (const BadInput& file : files) {
        SCOPED_TRACE(file.Name);
        Decoded got = Decode(file.Path);
        ASSERT_FALSE(got.Ok);
        EXPECT_FALSE(got.Reason.empty());
        EXPECT_TRUE(Readable(got.Reason)) << got.Reason;
        EXPECT_FALSE(HasNegativeNumber(got.Reason)) << got.Reason;
        EXPECT_NE(std::string::npos, got.Reason.find(file.ReasonHas)) << got.Reason;
        printf("  %-18s %s\n", file.Name, got.Reason.c_str());
    }
}
