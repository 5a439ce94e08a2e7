// The export job on its worker thread, polled as the main loop polls it, and the naming rules
// the export command follows. Files are read back with stb_image.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "base/file_name.h"
#include "picture/export_job.h"
#include "picture/export_name.h"
#include "tests/picture/test_pictures.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <stdlib.h>
#include <unistd.h>
#endif

namespace {

std::string MakeTempFolder() {
#ifdef _WIN32
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    std::string folder = std::string(base) + "vellumry-job-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
#else
    char pattern[] = "/tmp/vellumry-job-XXXXXX";
    return mkdtemp(pattern) ? pattern : "";
#endif
}

// Polls as a frame loop would, until the job ends; the progress seen on the way.
ExportStatus PollUntilDone(std::vector<float>* progress) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(240);
    while (std::chrono::steady_clock::now() < deadline) {
        ExportStatus status = PollPictureExport();
        if (status.State != EXPORT_RUNNING) return status;
        progress->push_back(status.Progress);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return WaitForPictureExport();
}

class ExportJob : public testing::Test {
protected:
    void SetUp() override { folder_ = MakeTempFolder(); }
    void TearDown() override {
        WaitForPictureExport();
        for (const std::string& path : written_) remove(path.c_str());
#ifdef _WIN32
        RemoveDirectoryA(folder_.c_str());
#else
        rmdir(folder_.c_str());
#endif
    }
    std::string Path(const std::string& name) {
        written_.push_back(folder_ + "/" + name);
        return written_.back();
    }
    std::string folder_;
    std::vector<std::string> written_;
};

}  // namespace

TEST_F(ExportJob, WritesAPngWhileTheCallerPollsAndReportsOnce) {
    const int width = 900, height = 700;
    std::vector<unsigned char> pixels = MakeTestPicture(width, height, 4, 9);
    std::vector<unsigned char> expected = RgbOf(pixels, 4);
    std::string path = Path("coffee-painted.png"), reason;
    ASSERT_TRUE(StartPictureExport(path, PICTURE_PNG, std::move(pixels), width, height, 4, &reason)) << reason;
    EXPECT_TRUE(PictureExportBusy());

    std::vector<float> progress;
    ExportStatus done = PollUntilDone(&progress);
    ASSERT_EQ(done.State, EXPORT_SUCCEEDED) << done.Reason;
    EXPECT_EQ(done.Path, path);
    EXPECT_EQ(FileNameOfPath(done.Path.c_str()), "coffee-painted.png");
    EXPECT_EQ(done.Width, width);
    EXPECT_EQ(done.Height, height);
    EXPECT_EQ(done.Progress, 1.0f);
    for (size_t i = 0; i < progress.size(); ++i) {
        EXPECT_GE(progress[i], 0.0f);
        EXPECT_LT(progress[i], 1.0f);  // never 100 % before the file is in place
        if (i > 0) {
            EXPECT_GE(progress[i], progress[i - 1]);
        }
    }
    // The outcome came once; then there is nothing.
    EXPECT_EQ(PollPictureExport().State, EXPORT_IDLE);
    EXPECT_FALSE(PictureExportBusy());

    std::vector<unsigned char> rgb;
    int w = 0, h = 0;
    ASSERT_TRUE(DecodeWithStb(ReadWholeFile(path), &rgb, &w, &h));
    EXPECT_EQ(w, width);
    EXPECT_EQ(h, height);
    EXPECT_TRUE(rgb == expected);
}

TEST_F(ExportJob, WritesAJpegFromRgbPixels) {
    std::vector<unsigned char> pixels = MakeTestPicture(333, 222, 3, 4);
    std::string path = Path("coffee-painted.JPEG"), reason;
    ASSERT_TRUE(StartPictureExport(path, PICTURE_JPEG, pixels, 333, 222, 3, &reason)) << reason;
    ExportStatus done = WaitForPictureExport();
    ASSERT_EQ(done.State, EXPORT_SUCCEEDED) << done.Reason;
    std::vector<unsigned char> rgb;
    int w = 0, h = 0;
    ASSERT_TRUE(DecodeWithStb(ReadWholeFile(path), &rgb, &w, &h));
    ASSERT_EQ(w * h, 333 * 222);
    EXPECT_GT(Psnr(pixels, rgb), 33.0);
}

TEST_F(ExportJob, ASecondExportIsRefusedUntilTheFirstIsCollected) {
    std::string first = Path("first.png"), second = Path("second.png"), reason;
    ASSERT_TRUE(StartPictureExport(first, PICTURE_PNG, MakeTestPicture(800, 600, 3, 1), 800, 600, 3, &reason));
    EXPECT_FALSE(StartPictureExport(second, PICTURE_PNG, MakeTestPicture(8, 6, 3, 1), 8, 6, 3, &reason));
    EXPECT_EQ(reason, "Another export is still running.");
    // Finished or not, the first job's outcome has not been collected yet.
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(StartPictureExport(second, PICTURE_PNG, MakeTestPicture(8, 6, 3, 1), 8, 6, 3, &reason));
    EXPECT_EQ(WaitForPictureExport().State, EXPORT_SUCCEEDED);
    EXPECT_EQ(WaitForPictureExport().State, EXPORT_IDLE);
    ASSERT_TRUE(StartPictureExport(second, PICTURE_PNG, MakeTestPicture(8, 6, 3, 1), 8, 6, 3, &reason));
    EXPECT_EQ(WaitForPictureExport().State, EXPORT_SUCCEEDED);
    FILE* probe = fopen(second.c_str(), "rb");
    EXPECT_NE(probe, nullptr);
    if (probe) fclose(probe);
}

TEST_F(ExportJob, AFailureComesBackWithTheSystemsReason) {
    std::string reason;
    std::string path = folder_ + "/no such folder/x.png";
    ASSERT_TRUE(StartPictureExport(path, PICTURE_PNG, MakeTestPicture(40, 30, 4, 1), 40, 30, 4, &reason));
    std::vector<float> progress;
    ExportStatus done = PollUntilDone(&progress);
    EXPECT_EQ(done.State, EXPORT_FAILED);
    EXPECT_EQ(done.Path, path);
    EXPECT_EQ(FileNameOfPath(done.Path.c_str()), "x.png");
    EXPECT_FALSE(done.Reason.empty());
#ifndef _WIN32
    EXPECT_EQ(done.Reason, "No such file or directory");
#endif
    EXPECT_EQ(PollPictureExport().State, EXPORT_IDLE);
}

#if GTEST_HAS_DEATH_TEST && !defined(_WIN32)
// File > Exit calls exit() at once: the file must still be finished, not cut off.
TEST_F(ExportJob, ExitDuringAnExportFinishesTheFileFirst) {
    // Forked ("fast"): the child writes to this test's folder.
    GTEST_FLAG_SET(death_test_style, "fast");
    std::string path = Path("exit.png");
    const int width = 1200, height = 900;
    EXPECT_EXIT(
        {
            std::string reason;
            StartPictureExport(path, PICTURE_PNG, MakeTestPicture(width, height, 4, 6), width, height, 4, &reason);
            exit(PictureExportBusy() ? 5 : 6);
        },
        testing::ExitedWithCode(5), "");
    std::vector<unsigned char> rgb;
    int w = 0, h = 0;
    ASSERT_TRUE(DecodeWithStb(ReadWholeFile(path), &rgb, &w, &h));
    EXPECT_TRUE(rgb == RgbOf(MakeTestPicture(width, height, 4, 6), 4));
}
#endif

TEST_F(ExportJob, PixelsThatDoNotMatchTheSizeAreRefused) {
    std::string reason;
    EXPECT_FALSE(StartPictureExport(Path("x.png"), PICTURE_PNG, std::vector<unsigned char>(100), 10, 10, 4, &reason));
    EXPECT_EQ(reason, "The picture's pixels do not match its size.");
    EXPECT_FALSE(StartPictureExport(Path("x.png"), PICTURE_PNG, std::vector<unsigned char>(), 0, 0, 4, &reason));
    EXPECT_FALSE(PictureExportBusy());
}

TEST(ExportNames, TheExtensionChoosesTheFormatInAnyCase) {
    struct Case {
        const char* Chosen;
        const char* Path;
        PictureFormat Format;
        bool Added;
    } cases[] = {
        {"/p/a.png", "/p/a.png", PICTURE_PNG, false},
        {"/p/a.PNG", "/p/a.PNG", PICTURE_PNG, false},
        {"/p/a.jpg", "/p/a.jpg", PICTURE_JPEG, false},
        {"/p/a.JpEg", "/p/a.JpEg", PICTURE_JPEG, false},
        {"/p/caf\xC3\xA9 1", "/p/caf\xC3\xA9 1.png", PICTURE_PNG, true},
        {"/p/a.", "/p/a.png", PICTURE_PNG, true},
        {"/p.d/.png", "/p.d/.png.png", PICTURE_PNG, true},  // a hidden name, not an extension
        {"/p.jpg/a", "/p.jpg/a.png", PICTURE_PNG, true},    // a folder's dot is not the name's
    };
    for (const Case& c : cases) {
        ExportName name;
        std::string reason;
        ASSERT_TRUE(ResolveExportName(c.Chosen, &name, &reason)) << c.Chosen;
        EXPECT_EQ(name.Path, c.Path) << c.Chosen;
        EXPECT_EQ(name.Format, c.Format) << c.Chosen;
        EXPECT_EQ(name.ExtensionAdded, c.Added) << c.Chosen;
    }
}

TEST(ExportNames, AnyOtherExtensionIsRefusedNamingBothFormats) {
    for (const char* chosen : {"/p/a.tif", "/p/a.png.bak", "/p/a.jpe", "/p/a.webp"}) {
        ExportName name;
        std::string reason;
        EXPECT_FALSE(ResolveExportName(chosen, &name, &reason)) << chosen;
        EXPECT_NE(reason.find("PNG (.png)"), std::string::npos) << reason;
        EXPECT_NE(reason.find("JPEG (.jpg, .jpeg)"), std::string::npos) << reason;
    }
    ExportName name;
    std::string reason;
    EXPECT_FALSE(ResolveExportName("/p/a.tif", &name, &reason));
    EXPECT_EQ(reason,
              "\".tif\" is not a format the picture can be exported in: choose PNG (.png) or JPEG (.jpg, .jpeg).");
    EXPECT_FALSE(ResolveExportName("", &name, &reason));
    EXPECT_FALSE(ResolveExportName("/p/", &name, &reason));
}

TEST(ExportNames, SuggestionAndFolderComeFromThePicturesPath) {
    EXPECT_EQ(SuggestedExportName("/home/me/Pictures/coffee.jpg"), "coffee-painted.png");
    EXPECT_EQ(SuggestedExportName("/home/me/caf\xC3\xA9.au lait.PNG"), "caf\xC3\xA9.au lait-painted.png");
    EXPECT_EQ(SuggestedExportName("/home/me/README"), "README-painted.png");
    EXPECT_EQ(SuggestedExportName("/home/me/.hidden"), ".hidden-painted.png");
    EXPECT_EQ(SuggestedExportName("coffee.jpg"), "coffee-painted.png");
    EXPECT_EQ(SuggestedExportName(""), "picture-painted.png");
    // The chooser takes only well-formed UTF-8: a Latin-1 name, or one with a line break, is
    // suggested cleaned, with a character every system allows in a file name.
    EXPECT_EQ(SuggestedExportName("/home/me/caf\xE9 cr\xE8me.jpg"), "caf_ cr_me-painted.png");
    EXPECT_EQ(SuggestedExportName("/home/me/a\nb\xC3.jpg"), "a_b_-painted.png");

    EXPECT_EQ(PictureFolder("/home/me/Pictures/coffee.jpg"), "/home/me/Pictures");
    EXPECT_EQ(PictureFolder("/coffee.jpg"), "/");
    EXPECT_EQ(PictureFolder("rel/dir//coffee.jpg"), "rel/dir");
    EXPECT_EQ(PictureFolder("coffee.jpg"), "");
    EXPECT_EQ(FileNameOfPath("/home/me/coffee-painted.png"), "coffee-painted.png");
    EXPECT_STREQ(ExportFilterList, "png;jpg,jpeg");
#ifdef _WIN32
    EXPECT_EQ(PictureFolder("C:\\Users\\me\\coffee.jpg"), "C:\\Users\\me");
    EXPECT_EQ(PictureFolder("C:\\coffee.jpg"), "C:\\");
    EXPECT_EQ(SuggestedExportName("C:\\Users\\me.d\\coffee.jpg"), "coffee-painted.png");
    EXPECT_EQ(FileNameOfPath("Z:\\tmp/a\\b.png"), "b.png");
#endif
}
