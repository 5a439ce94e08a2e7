// The picture decoder's Windows client and helper under Wine: what comes back is what
// stb_image decodes in process, non-ASCII paths open, bad files fail with a reason, and every
// misbehaving helper ends in a failure with nothing of it left running.
#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBIW_WINDOWS_UTF8
#include <stb_image.h>
#include <stb_image_write.h>

#include "picture/image_decoder.h"
#include "picture/picture_scaling.h"
#include "tests/picture/decoder_test_support.h"

namespace {

// Lets a process of low integrity, as the helpers are, write in a folder and what it holds.
void OpenToLowIntegrity(const std::wstring& folder) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"S:(ML;OICI;NW;;;LW)", SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        return;
    PACL label = nullptr;
    BOOL present = FALSE, defaulted = FALSE;
    if (GetSecurityDescriptorSacl(descriptor, &present, &label, &defaulted) && present)
        SetNamedSecurityInfoW(const_cast<wchar_t*>(folder.c_str()), SE_FILE_OBJECT, LABEL_SECURITY_INFORMATION, nullptr,
                              nullptr, nullptr, label);
    LocalFree(descriptor);
}

// The tests' folder, where the misbehaving helper writes its pid file; with `lowWrites`
// false, a second one that keeps the default integrity, where a helper may write nothing.
std::string Folder(bool lowWrites = true) {
    static std::string folders[2];
    std::string& folder = folders[lowWrites];
    if (folder.empty()) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        std::wstring wide = std::wstring(temp) + L"vellumry d\u00e9codeur \U0001F600" + (lowWrites ? L"" : L" 2");
        CreateDirectoryW(wide.c_str(), nullptr);
        if (lowWrites) OpenToLowIntegrity(wide);
        char utf8[4 * MAX_PATH];
        WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, utf8, sizeof utf8, nullptr, nullptr);
        folder = utf8;
    }
    return folder;
}

std::string WriteFile(const std::string& name, const std::string& bytes, bool lowWrites = true) {
    std::string path = Folder(lowWrites) + "\\" + name;
    FILE* file = stbiw__fopen(path.c_str(), "wb");
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
    return path;
}

// A picture whose every pixel says where it is.
std::vector<unsigned char> Pattern(int width, int height, int channels) {
    std::vector<unsigned char> pixels(size_t(width) * height * channels);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                pixels[(size_t(y) * width + x) * channels + c] = (x * 7 + y * 13 + c * 61) & 255;
    return pixels;
}

std::string ProgramFolder() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    *strrchr(path, '\\') = 0;
    return path;
}

// Whether the process that wrote "<picture>.pid" has ended.
bool HelperEnded(const std::string& picture) {
    std::string pidPath = picture + ".pid";
    FILE* file = stbiw__fopen(pidPath.c_str(), "r");
    if (!file) return false;
    unsigned long pid = 0;
    bool read = fscanf(file, "%lu", &pid) == 1;
    fclose(file);
    if (!read) return false;
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!process) return true;
    bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

}  // namespace

TEST(WindowsDecoder, PngAndBmpComeBackAsStbDecodesThemInProcess) {
    const int width = 301, height = 77;
    for (int channels : {1, 3, 4}) {
        std::vector<unsigned char> source = Pattern(width, height, channels);
        std::string name = "pattern " + std::to_string(channels) + " \u00fc";
        std::string png = Folder() + "\\" + name + ".png";
        std::string bmp = Folder() + "\\" + name + ".bmp";
        ASSERT_TRUE(stbi_write_png(png.c_str(), width, height, channels, source.data(), width * channels));
        ASSERT_TRUE(stbi_write_bmp(bmp.c_str(), width, height, channels, source.data()));
        for (const std::string& path : {png, bmp}) {
            Decoded decoded = Decode(path);
            ASSERT_TRUE(decoded.Ok) << path << ": " << decoded.Reason;
            int w = 0, h = 0;
            unsigned char* expected = stbi_load(path.c_str(), &w, &h, nullptr, 4);
            ASSERT_NE(expected, nullptr);
            EXPECT_EQ(decoded.Width, width);
            EXPECT_EQ(decoded.Height, height);
            EXPECT_EQ(memcmp(decoded.Pixels.data(), expected, size_t(w) * h * 4), 0) << path;
            // And what stb decodes is the pattern itself: grey and RGB expanded, alpha 255.
            for (size_t i = 0; path == png && i < size_t(width) * height; ++i) {
                const unsigned char* px = &decoded.Pixels[i * 4];
                const unsigned char* in = &source[i * channels];
                unsigned char r = in[0], g = channels == 1 ? in[0] : in[1], b = channels == 1 ? in[0] : in[2];
                unsigned char a = channels == 4 ? in[3] : 255;
                ASSERT_TRUE(px[0] == r && px[1] == g && px[2] == b && px[3] == a) << path << " pixel " << i;
            }
            stbi_image_free(expected);
        }
    }
}

TEST(WindowsDecoder, BadFilesFailWithAReason) {
    struct Case {
        std::string Path, Reason;
    };
    // A grey PNG header claiming 30000 x 20000 pixels (2.4 GB of RGBA), then nothing.
    static const char header[] = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x75\x30\0\0\x4e\x20\x08\x00\0\0\0";
    std::string png(header, sizeof header - 1);
    int length = 0;
    std::vector<unsigned char> pattern = Pattern(40, 40, 3);
    unsigned char* encoded = stbi_write_png_to_mem(pattern.data(), 40 * 3, 40, 40, 3, &length);
    std::string whole(reinterpret_cast<char*>(encoded), size_t(length));
    STBIW_FREE(encoded);
    const Case cases[] = {
        {Folder() + "\\missing.png", "No such file or directory"},
        {Folder(), "it is a folder, not a file"},
        {"NUL", "it is a device, not a file"},
        {WriteFile("empty.png", ""), "the file is empty"},
        {WriteFile("text.png", "not a picture at all"), "not a picture format this program reads"},
        // A TIFF header with no directory behind it: libtiff's, not stb's.
        {WriteFile("tiff.tif", std::string("II*\0\x08\0\0\0", 8)), "the file is damaged or cut short (TIFF)"},
        {WriteFile("huge.png", png + std::string(64, '\0')), "the picture is too large: 30000 x 20000 pixels"},
        {WriteFile("cut.png", whole.substr(0, whole.size() / 2)), "the file is damaged or cut short (PNG: "},
    };
    for (const Case& c : cases) {
        Decoded decoded = Decode(c.Path);
        EXPECT_FALSE(decoded.Ok) << c.Path;
        EXPECT_NE(decoded.Reason.find(c.Reason), std::string::npos) << c.Path << ": " << decoded.Reason;
    }
}

TEST(WindowsDecoder, APictureNeedingMoreThanTheMemoryLimitFails) {
    DecoderSettings restore;
    std::vector<unsigned char> source = Pattern(1000, 1000, 3);
    std::string png = Folder() + "\\big.png";
    ASSERT_TRUE(stbi_write_png(png.c_str(), 1000, 1000, 3, source.data(), 1000 * 3));
    ImageDecoderMemoryLimit = 2 << 20;  // the RGBA alone is 4 MB
    Decoded decoded = Decode(png);
    EXPECT_FALSE(decoded.Ok);
    EXPECT_EQ(decoded.Reason, "not enough memory to decode it (limit 2 MiB)");
    ImageDecoderMemoryLimit = 64 << 20;
    decoded = Decode(png);
    EXPECT_TRUE(decoded.Ok) << decoded.Reason;
}

TEST(WindowsDecoder, MisbehavingHelpersFailAndAreGone) {
    DecoderSettings restore;
    std::string helper = ProgramFolder() + "\\misbehaving_decoder_win.exe";
    ImageDecoderPath = helper.c_str();
    ImageDecoderTimeLimitMs = 1500;
    struct Case {
        const char* Word;
        const char* Reason;
    };
    const Case cases[] = {
        {"crash", "the decoder stopped (access violation)"},
        {"hang", "took too long (more than 1.5 s)"},
        {"silent", "the decoder failed (exit status 0x00000000)"},
        {"exit3", "the decoder failed (exit status 0x00000003)"},
        {"garbage", "the decoder gave no answer"},
        {"bogus", "the decoder's answer was malformed"},
        {"small", "could not map the decoded picture"},
        {"oversized", "the decoder's answer was malformed"},
        // Sections that map whole but whose pages fault when read.
        {"reserved", "the decoder's answer was malformed"},
        {"partly", "the decoder's answer was malformed"},
    };
    DWORD handlesBefore = 0, handlesAfter = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);
    for (const Case& c : cases) {
        std::string picture = WriteFile(std::string(c.Word) + ".png", c.Word);
        auto start = std::chrono::steady_clock::now();
        Decoded decoded = Decode(picture);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        EXPECT_FALSE(decoded.Ok) << c.Word;
        EXPECT_EQ(decoded.Reason.find(c.Reason), 0u) << c.Word << ": " << decoded.Reason;
        EXPECT_LT(seconds, 8.0) << c.Word;
        EXPECT_TRUE(HelperEnded(picture)) << c.Word;
    }
    GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
    EXPECT_LE(handlesAfter, handlesBefore + 2);  // none per decode (a little slack for Wine's own)

    // A helper that delivers and then stays is ended; the pixels are still good.
    std::string picture = WriteFile("linger.png", "linger");
    Decoded decoded = Decode(picture);
    EXPECT_TRUE(decoded.Ok) << decoded.Reason;
    EXPECT_EQ(decoded.Width, 16);
    EXPECT_TRUE(HelperEnded(picture));
}

// A named pipe is refused before any helper starts (the helper path does not exist, so a start
// would say "could not start"), whether its server is waiting for a client or busy.
TEST(WindowsDecoder, ANamedPipeIsRefusedAtOnce) {
    DecoderSettings restore;
    ImageDecoderPath = "C:\\nonexistent\\vellumry-decode.exe";
    const wchar_t* name = L"\\\\.\\pipe\\vellumry-decoder-test";
    HANDLE server = CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    for (int attempt = 0; attempt < 2; ++attempt) {  // waiting for a client, then with one
        Decoded decoded = Decode("\\\\.\\pipe\\vellumry-decoder-test");
        EXPECT_FALSE(decoded.Ok);
        EXPECT_EQ(decoded.Reason, "it is a named pipe, not a file") << attempt;
    }
    CloseHandle(server);
}

// A decode answers "running" at once for as long as its helper works, and a cancel ends it.
TEST(WindowsDecoder, ADecodeRunsWithoutHoldingTheCaller) {
    DecoderSettings restore;
    std::string helper = ProgramFolder() + "\\misbehaving_decoder_win.exe";
    ImageDecoderPath = helper.c_str();
    std::string picture = WriteFile("hang again.png", "hang");
    char reason[256];
    PictureDecode* decode = StartPictureDecode(picture.c_str(), 0, reason, sizeof reason);
    ASSERT_NE(decode, nullptr) << reason;
    for (int look = 0; look < 20; ++look) {
        DecodedPicture decoded;
        ASSERT_EQ(DECODE_RUNNING, PollPictureDecode(decode, look % 2 ? 0 : 20, &decoded, reason, sizeof reason));
    }
    CancelPictureDecode(decode);
    ReapEndedDecoders(30000);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!HelperEnded(picture) && std::chrono::steady_clock::now() < deadline) Sleep(20);
    EXPECT_TRUE(HelperEnded(picture));
}

// A picture larger than the largest side comes back scaled by the helper, aspect kept, the
// pixels the area averages of what stb_image decodes (the same scaler, run here on stb's
// in-process decode), the picture's own size beside.
TEST(WindowsDecoder, APictureLargerThanTheLargestSideComesBackScaled) {
    const int width = 300, height = 20;
    std::vector<unsigned char> source = Pattern(width, height, 3);
    std::string png = Folder() + "\\wide \u00e9.png";
    ASSERT_TRUE(stbi_write_png(png.c_str(), width, height, 3, source.data(), width * 3));
    Decoded decoded = Decode(png, 64);
    ASSERT_TRUE(decoded.Ok) << decoded.Reason;
    EXPECT_EQ(decoded.SourceWidth, width);
    EXPECT_EQ(decoded.SourceHeight, height);
    EXPECT_EQ(decoded.Width, 64);
    EXPECT_EQ(decoded.Height, 4);  // 20 * 64 / 300 = 4.27
    int w = 0, h = 0;
    unsigned char* expected = stbi_load(png.c_str(), &w, &h, nullptr, 4);
    ASSERT_NE(expected, nullptr);
    ASSERT_TRUE(ShrinkPicture(expected, w, h, 64, 4));
    EXPECT_EQ(memcmp(decoded.Pixels.data(), expected, 64 * 4 * 4), 0);
    stbi_image_free(expected);
}

bool FileExists(const std::string& path) {
    FILE* file = stbiw__fopen(path.c_str(), "rb");
    if (file) fclose(file);
    return file != nullptr;
}

// A helper taken over by a crafted file runs with a low-integrity token in a job that allows no
// second process: it can neither start one nor write where the user's files are, and the
// program reports a failed decode. Wine runs every process with its own full token and ignores
// the job's process limit, so this holds on Windows only; under Wine the other tests show that
// decoding works as before with the token and the limit asked for.
TEST(WindowsDecoder, AHelperTakenOverStartsNothingAndWritesNothing) {
    if (GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version"))
        GTEST_SKIP() << "Wine enforces neither integrity levels nor a job's process limit";
    DecoderSettings restore;
    std::string helper = ProgramFolder() + "\\misbehaving_decoder_win.exe";
    ImageDecoderPath = helper.c_str();
    const std::string spawn = WriteFile("spawn.png", "spawn");
    const std::string write = WriteFile("write.png", "write", false);
    for (const std::string& picture : {spawn, write}) {
        Decoded decoded = Decode(picture);
        EXPECT_FALSE(decoded.Ok) << picture;
        EXPECT_EQ(decoded.Reason, "the decoder failed (exit status 0x00000008)") << picture;
        EXPECT_FALSE(FileExists(picture + ".made")) << picture;
    }
}
