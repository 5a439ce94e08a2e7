// The fallback: zenity, then kdialog, found on PATH, with no session bus. Fake helpers record
// the arguments and environment they were given and answer as each test says.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "filedialog/nfd.h"
#include "filedialog/nfd_common.h"
#include "tests/filedialog/test_support.h"

using testing::Contains;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::Not;

namespace {

// Records its name, its arguments (NUL-separated) and its locale settings, prints the prepared
// answer and exits with the prepared status. It interprets nothing it is given.
const char kFakeHelper[] = R"SH(#!/bin/sh
printf '%s' "$0" > "$FAKE_CHOOSER_DIR/program"
: > "$FAKE_CHOOSER_DIR/args"
for arg in "$@"; do printf '%s\0' "$arg" >> "$FAKE_CHOOSER_DIR/args"; done
printf 'LC_ALL=%s LANG=%s LC_CTYPE=%s LC_MESSAGES=%s' "${LC_ALL-unset}" "${LANG-unset}" \
    "${LC_CTYPE-unset}" "${LC_MESSAGES-unset}" > "$FAKE_CHOOSER_DIR/locale"
/bin/cat "$FAKE_CHOOSER_DIR/output"
exit "$(/bin/cat "$FAKE_CHOOSER_DIR/status")"
)SH";

class Helper : public testing::Test {
protected:
    void SetUp() override {
        alarm(60);
        dir_ = MakeTempDir();
        bin_ = dir_ + "/bin";
        ASSERT_EQ(mkdir(bin_.c_str(), 0755), 0);
        // No session bus of any kind: the portal is skipped without trying to start a bus.
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        unsetenv("XDG_RUNTIME_DIR");
        unsetenv("WAYLAND_DISPLAY");
        setenv("DISPLAY", ":99", 1);  // never opened: the helpers are fakes
        setenv("PATH", bin_.c_str(), 1);
        setenv("FAKE_CHOOSER_DIR", dir_.c_str(), 1);
        setenv("LC_ALL", "C", 1);
        unsetenv("LANG");
        unsetenv("LC_CTYPE");
        unsetenv("LC_MESSAGES");
        Answer(0, "");
    }
    void TearDown() override {
        if (chdir("/") != 0) ADD_FAILURE() << "chdir";
        RemoveTempDirs();
        alarm(0);
    }

    void Install(const char* program) { WriteFile(bin_ + "/" + program, kFakeHelper, true); }
    void Answer(int status, const std::string& output) {
        WriteFile(dir_ + "/status", std::to_string(status));
        WriteFile(dir_ + "/output", output);
    }
    std::vector<std::string> Args() {
        std::vector<std::string> args;
        std::string all = ReadFile(dir_ + "/args");
        for (size_t start = 0; start < all.size();) {
            size_t end = all.find('\0', start);
            args.push_back(all.substr(start, end - start));
            start = end + 1;
        }
        return args;
    }
    bool Ran() { return FileExists(dir_ + "/program"); }

    std::string dir_, bin_;
};

// Names a shell would act on, and names a helper would take for options.
const std::vector<std::string> kHostileNames = {
    "/tmp/it's \"quoted\".png", "/tmp/$(touch pwned).png", "/tmp/`id`;rm -rf x|y&z.png", "-rf",
    "--filename=/etc/passwd",   "/tmp/a\\b\tc *?[x].png",
};

}  // namespace

TEST_F(Helper, OpenFileAsksZenityWithFiltersAndFolder) {
    Install("zenity");
    std::string folder = MakeTempDir();
    Answer(0, "/home/me/\xC3\xA9t\xC3\xA9 1.PNG\n");
    char* path = nullptr;
    ASSERT_EQ(NFD_OpenFile("png,jpg;a b|c", folder.c_str(), &path), NFD_RESULT_OK) << LastError();
    EXPECT_STREQ(path, "/home/me/\xC3\xA9t\xC3\xA9 1.PNG");
    free(path);
    EXPECT_THAT(Args(), ElementsAre("--file-selection", "--title", "Open", "--filename=" + folder + "/",
                                    "--file-filter=*.png;*.jpg | *.[pP][nN][gG] *.[jJ][pP][gG]",
                                    "--file-filter=*.a b/c | *.[aA]?[bB]|[cC]", "--file-filter=*.* | *"));
    // Non-ASCII names come back intact: the character set is UTF-8.
    EXPECT_EQ(ReadFile(dir_ + "/locale"), "LC_ALL=unset LANG=C LC_CTYPE=C.UTF-8 LC_MESSAGES=unset");
}

// The helper speaks the person's language: only a character set other than UTF-8 changes, and
// then only the character set. ("xx_YY" is installed nowhere, so it has none.)
TEST_F(Helper, HelpersKeepThePersonsLanguage) {
    Install("zenity");
    Answer(0, "/x\n");
    struct Case {
        const char *All, *Lang, *Messages, *Got;
    } cases[] = {
        {nullptr, "C.UTF-8", "xx_YY.UTF-8", "LC_ALL=unset LANG=C.UTF-8 LC_CTYPE=unset LC_MESSAGES=xx_YY.UTF-8"},
        {"C.UTF-8", "xx_YY", nullptr, "LC_ALL=C.UTF-8 LANG=xx_YY LC_CTYPE=unset LC_MESSAGES=unset"},
        {nullptr, "xx_YY.ISO-8859-1", "xx_YY", "LC_ALL=unset LANG=xx_YY.ISO-8859-1 LC_CTYPE=C.UTF-8 LC_MESSAGES=xx_YY"},
        // LC_ALL overrode every category; LANG now does, all but the character set.
        {"xx_YY", "C.UTF-8", "C", "LC_ALL=unset LANG=xx_YY LC_CTYPE=C.UTF-8 LC_MESSAGES=unset"},
    };
    for (const Case& c : cases) {
        c.All ? setenv("LC_ALL", c.All, 1) : unsetenv("LC_ALL");
        setenv("LANG", c.Lang, 1);
        c.Messages ? setenv("LC_MESSAGES", c.Messages, 1) : unsetenv("LC_MESSAGES");
        char* path = nullptr;
        ASSERT_EQ(NFD_OpenFile(nullptr, nullptr, &path), NFD_RESULT_OK) << LastError();
        free(path);
        EXPECT_EQ(ReadFile(dir_ + "/locale"), c.Got);
    }
}

TEST_F(Helper, ModesBecomeZenityOptions) {
    Install("zenity");
    Answer(0, "/x\n");
    char* path = nullptr;
    ASSERT_EQ(NFD_SaveFile("png", nullptr, &path), NFD_RESULT_OK);
    free(path);
    EXPECT_THAT(Args(), ElementsAre("--file-selection", "--title", "Save As", "--save", "--confirm-overwrite",
                                    "--file-filter=*.png | *.[pP][nN][gG]", "--file-filter=*.* | *"));
    path = nullptr;
    ASSERT_EQ(NFD_ChooseFolder("/nonexistent/place", &path), NFD_RESULT_OK);
    free(path);
    EXPECT_THAT(Args(), ElementsAre("--file-selection", "--title", "Select Folder", "--directory"));
}

TEST_F(Helper, SaveAsPutsTheSuggestedNameInTheFolder) {
    Install("zenity");
    std::string folder = MakeTempDir();
    Answer(0, folder + "/coffee-painted.png\n");
    char* path = nullptr;
    ASSERT_EQ(NFD_SaveFileAs("png;jpg,jpeg", folder.c_str(), "coffee-painted.png", &path), NFD_RESULT_OK)
        << LastError();
    EXPECT_EQ(path, folder + "/coffee-painted.png");
    free(path);
    EXPECT_THAT(Args(),
                ElementsAre("--file-selection", "--title", "Save As", "--save", "--confirm-overwrite",
                            "--filename=" + folder + "/coffee-painted.png", "--file-filter=*.png | *.[pP][nN][gG]",
                            "--file-filter=*.jpg;*.jpeg | *.[jJ][pP][gG] *.[jJ][pP][eE][gG]", "--file-filter=*.* | *"));
    // No usable folder: the name goes with the working folder, where the chooser starts.
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    ASSERT_EQ(NFD_SaveFileAs(nullptr, "/nonexistent/place", "-rf $(x).png", &path), NFD_RESULT_OK);
    free(path);
    EXPECT_THAT(Args(), Contains("--filename=" + dir_ + "/-rf $(x).png"));
}

TEST_F(Helper, KdialogGetsTheSuggestedNameWithItsFolder) {
    Install("kdialog");
    std::string folder = MakeTempDir();
    Answer(0, "/k/x.png\n");
    char* path = nullptr;
    ASSERT_EQ(NFD_SaveFileAs("png", folder.c_str(), "caf\xC3\xA9.png", &path), NFD_RESULT_OK) << LastError();
    free(path);
    EXPECT_THAT(Args(), ElementsAre("--title", "Save As", "--getsavefilename", folder + "/caf\xC3\xA9.png",
                                    "*.png (*.[pP][nN][gG])\n*.* (*)"));
}

TEST_F(Helper, DefaultPathThatIsNoFolder) {
    Install("zenity");
    Answer(0, "/x\n");
    std::string file = dir_ + "/plain.txt";
    WriteFile(file, "not a folder");
    char* path = nullptr;
    // An existing file, and a path through it, are not folders to start in: the chooser opens
    // where it likes.
    for (const std::string& defaultPath : {file, file + "/below"}) {
        ASSERT_EQ(NFD_OpenFile(nullptr, defaultPath.c_str(), &path), NFD_RESULT_OK) << defaultPath;
        free(path);
        EXPECT_THAT(Args(), ElementsAre("--file-selection", "--title", "Open"));
    }
    // A path that cannot be resolved at all fails before any chooser shows.
    std::string loop = dir_ + "/loop";
    ASSERT_EQ(symlink(loop.c_str(), loop.c_str()), 0);
    unlink((dir_ + "/program").c_str());
    path = nullptr;
    EXPECT_EQ(NFD_OpenFile(nullptr, loop.c_str(), &path), NFD_RESULT_ERROR);
    EXPECT_EQ(LastError(), "Error creating ShellItem");
    EXPECT_EQ(NFD_ChooseFolder(loop.c_str(), &path), NFD_RESULT_ERROR);
    EXPECT_EQ(LastError(), "SetDefaultPath failed.");
    EXPECT_EQ(path, nullptr);
    EXPECT_FALSE(Ran());
}

TEST_F(Helper, SeveralFilesOnePerLine) {
    Install("zenity");
    Answer(0, "/p/one.png\n/p/two words.jpg\n/p/three.bmp\n");
    NFDPathSet set;
    ASSERT_EQ(NFD_OpenFiles(nullptr, nullptr, &set), NFD_RESULT_OK) << LastError();
    ASSERT_EQ(NFD_PathSetCount(&set), 3u);
    EXPECT_EQ(set.offsets[0], 0u);
    EXPECT_STREQ(NFD_PathSetPath(&set, 0), "/p/one.png");
    EXPECT_STREQ(NFD_PathSetPath(&set, 1), "/p/two words.jpg");
    EXPECT_STREQ(NFD_PathSetPath(&set, 2), "/p/three.bmp");
    NFD_PathSetRelease(&set);
    EXPECT_THAT(Args(), ElementsAre("--file-selection", "--title", "Open", "--multiple", "--separator=\n"));
}

TEST_F(Helper, ExitStatusesMeanChosenCancelledOrFailed) {
    Install("zenity");
    NFDi_RecordError("an earlier failure.");
    Answer(1, "");
    char sentinel[] = "untouched";
    char* path = sentinel;
    EXPECT_EQ(NFD_OpenFile("png", nullptr, &path), NFD_RESULT_CANCELLED);
    EXPECT_EQ(path, sentinel);
    EXPECT_EQ(LastError(), "an earlier failure.");

    Answer(5, "");
    EXPECT_EQ(NFD_OpenFile("png", nullptr, &path), NFD_RESULT_ERROR);
    EXPECT_EQ(path, sentinel);
    EXPECT_EQ(LastError(), "zenity ended with exit status 5.");

    Answer(0, "");  // "chosen" with nothing printed
    EXPECT_EQ(NFD_OpenFile("png", nullptr, &path), NFD_RESULT_ERROR);
    EXPECT_EQ(path, sentinel);
    EXPECT_EQ(LastError(), "The file chooser returned no path.");
}

TEST_F(Helper, HostileNamesComeBackUnchangedAndUninterpreted) {
    Install("zenity");
    std::string all;
    for (const std::string& name : kHostileNames) all += name + "\n";
    Answer(0, all);
    NFDPathSet set;
    ASSERT_EQ(NFD_OpenFiles(nullptr, nullptr, &set), NFD_RESULT_OK);
    std::vector<std::string> got;
    for (size_t i = 0; i < NFD_PathSetCount(&set); ++i) got.push_back(NFD_PathSetPath(&set, i));
    NFD_PathSetRelease(&set);
    EXPECT_THAT(got, ElementsAreArray(kHostileNames));

    // One name may hold newlines, even a last one.
    Answer(0, "/tmp/two\nlines\n.png\n\n");
    char* path = nullptr;
    ASSERT_EQ(NFD_OpenFile(nullptr, nullptr, &path), NFD_RESULT_OK);
    EXPECT_STREQ(path, "/tmp/two\nlines\n.png\n");
    free(path);

    // A starting folder with such a name reaches the helper as one argument, unexpanded.
    std::string folder = MakeTempDir() + "/$(touch pwned) `touch pwned2` it's -x";
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    path = nullptr;
    ASSERT_EQ(NFD_OpenFile(nullptr, folder.c_str(), &path), NFD_RESULT_OK);
    free(path);
    EXPECT_THAT(Args(), Contains("--filename=" + folder + "/"));
    EXPECT_FALSE(FileExists(dir_ + "/pwned"));
    EXPECT_FALSE(FileExists(dir_ + "/pwned2"));
}

TEST_F(Helper, KdialogWhenZenityIsMissing) {
    Install("kdialog");
    std::string folder = MakeTempDir();
    Answer(0, "/k/a.png\n/k/b.png\n");
    NFDPathSet set;
    ASSERT_EQ(NFD_OpenFiles("png", folder.c_str(), &set), NFD_RESULT_OK) << LastError();
    ASSERT_EQ(NFD_PathSetCount(&set), 2u);
    EXPECT_STREQ(NFD_PathSetPath(&set, 1), "/k/b.png");
    NFD_PathSetRelease(&set);
    EXPECT_THAT(Args(), ElementsAre("--title", "Open", "--getopenfilename", "--multiple", "--separate-output",
                                    folder + "/", "*.png (*.[pP][nN][gG])\n*.* (*)"));

    Answer(0, "/k/dir\n");
    char* path = nullptr;
    ASSERT_EQ(NFD_ChooseFolder(nullptr, &path), NFD_RESULT_OK);
    EXPECT_STREQ(path, "/k/dir");
    free(path);
    EXPECT_THAT(Args(), ElementsAre("--title", "Select Folder", "--getexistingdirectory", ""));
}

TEST_F(Helper, NoDisplayStartsNoHelper) {
    Install("zenity");
    unsetenv("DISPLAY");
    char* path = nullptr;
    EXPECT_EQ(NFD_OpenFile("png", nullptr, &path), NFD_RESULT_ERROR);
    EXPECT_EQ(path, nullptr);
    EXPECT_EQ(LastError(), "No file chooser is available: install xdg-desktop-portal or zenity.");
    EXPECT_FALSE(Ran());
}

TEST_F(Helper, NothingInstalledMeansNoChooser) {
    char* path = nullptr;
    EXPECT_EQ(NFD_SaveFile(nullptr, nullptr, &path), NFD_RESULT_ERROR);
    EXPECT_EQ(LastError(), "No file chooser is available: install xdg-desktop-portal or zenity.");
}

TEST_F(Helper, LastErrorIsKeptAcrossLaterSuccess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A fresh process: empty before any failure, then the failure's text, which a later
    // successful call leaves in place.
    EXPECT_EXIT(
        {
            bool emptyFirst = NFD_LastError()[0] == '\0';
            char* path = nullptr;
            bool failed = NFD_OpenFile(nullptr, nullptr, &path) == NFD_RESULT_ERROR;
            std::string message = NFD_LastError();
            Install("zenity");
            Answer(0, "/ok.png\n");
            bool succeeded = NFD_OpenFile(nullptr, nullptr, &path) == NFD_RESULT_OK;
            free(path);
            bool kept = message == NFD_LastError() && !message.empty();
            RemoveTempDirs();
            exit(emptyFirst && failed && succeeded && kept ? 7 : 8);
        },
        testing::ExitedWithCode(7), "");
}
