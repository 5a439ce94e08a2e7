// The portal binding against a fake portal (fake_portal.py) on a private session bus. No
// display: where the portal is missing, the fallback finds nothing to start.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "filedialog/nfd.h"
#include "filedialog/nfd_common.h"
#include "tests/filedialog/test_support.h"

using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;
using testing::StartsWith;

namespace {

const char kBusConfig[] = R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=@DIR@</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

// The bus and the fake portal of the running test, for the hang guard below.
volatile pid_t g_children[2] = {-1, -1};

// A test that hangs ends the program, taking the bus and the fake portal with it.
void OnHang(int) {
    static const char message[] = "file dialog test hung; stopping\n";
    ssize_t ignored = write(2, message, sizeof message - 1);
    (void)ignored;
    for (pid_t child : g_children) {
        if (child > 0) kill(child, SIGTERM);
    }
    _exit(3);
}

// Options are recorded one per line; these pick the ones with a given start.
std::vector<std::string> LinesStarting(const std::vector<std::string>& lines, const std::string& start) {
    std::vector<std::string> picked;
    for (const std::string& line : lines) {
        if (line.compare(0, start.size(), start) == 0) picked.push_back(line);
    }
    return picked;
}

class Portal : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = MakeTempDir();
        std::string config = kBusConfig;
        config.replace(config.find("@DIR@"), 5, dir_);
        WriteFile(dir_ + "/bus.conf", config);
        // `timeout` ends the bus even if this process dies without tearing down.
        bus_ = StartProcess(
            {"timeout", "300", "dbus-daemon", "--nofork", "--print-address=1", "--config-file=" + dir_ + "/bus.conf"},
            {}, &busOut_);
        ASSERT_GT(bus_, 0);
        g_children[0] = bus_;
        signal(SIGALRM, OnHang);
        ASSERT_TRUE(ReadLine(busOut_, address_, 20000)) << "dbus-daemon did not start";
    }

    static void TearDownTestSuite() {
        StopProcess(bus_);
        close(busOut_);
        RemoveTempDirs();
    }

    void SetUp() override {
        ASSERT_FALSE(address_.empty());
        alarm(90);  // a hang ends the test program instead of waiting forever
        setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        record_ = dir_ + "/record-" + testing::UnitTest::GetInstance()->current_test_info()->name();
        unlink(record_.c_str());
    }

    void TearDown() override {
        StopProcess(portal_);
        if (portalOut_ >= 0) close(portalOut_);
        alarm(0);
    }

    void StartPortal(const std::string& script) {
        portal_ = StartProcess({"timeout", "120", "/usr/bin/python3", FAKE_PORTAL},
                               {"FAKE_PORTAL_SCRIPT=" + script, "FAKE_PORTAL_RECORD=" + record_}, &portalOut_);
        ASSERT_GT(portal_, 0);
        g_children[1] = portal_;
        std::string line;
        ASSERT_TRUE(ReadLine(portalOut_, line, 30000)) << "the fake portal did not start";
        ASSERT_EQ(line, "ready");
    }

    std::vector<std::string> Record() { return ReadLines(record_); }

    static std::string dir_, address_;
    static pid_t bus_;
    static int busOut_;
    std::string record_;
    pid_t portal_ = -1;
    int portalOut_ = -1;
};

std::string Portal::dir_, Portal::address_;
pid_t Portal::bus_ = -1;
int Portal::busOut_ = -1;

}  // namespace

TEST_F(Portal, OneFileWithSpacesAndNonAsciiArrivesDecoded) {
    StartPortal(R"({"uris": ["file:///home/me/My%20Pictures/%C3%89t%C3%A9%20%E6%97%A5%E6%9C%AC%20%23%25.png"]})");
    char* path = nullptr;
    ASSERT_EQ(NFD_OpenFile("png,jpg,tif,bmp", nullptr, &path), NFD_RESULT_OK) << LastError();
    ASSERT_NE(path, nullptr);
    EXPECT_STREQ(path, "/home/me/My Pictures/\xC3\x89t\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC #%.png");
    free(path);

    std::vector<std::string> got = Record();
    EXPECT_THAT(got, Contains("method OpenFile"));
    EXPECT_THAT(got, Contains("option handle_token vellumry"));
    EXPECT_THAT(
        LinesStarting(got, "filter "),
        ElementsAre(
            "filter *.png;*.jpg;*.tif;*.bmp|0:*.[pP][nN][gG]|0:*.[jJ][pP][gG]|0:*.[tT][iI][fF]|0:*.[bB][mM][pP]",
            "filter *.*|0:*"));
    EXPECT_THAT(got, Not(Contains(StartsWith("option multiple"))));
    EXPECT_THAT(got, Not(Contains(StartsWith("option directory"))));
    EXPECT_THAT(got, Not(Contains(StartsWith("option current_folder"))));
}

TEST_F(Portal, ThreeFilesInSelectionOrder) {
    StartPortal(R"({"uris": ["file:///b/second.png", "file://localhost/a/first.png", "file:///c/third%20one.jpg"]})");
    NFDPathSet set;
    ASSERT_EQ(NFD_OpenFiles("png;jpg", nullptr, &set), NFD_RESULT_OK) << LastError();
    ASSERT_EQ(NFD_PathSetCount(&set), 3u);
    EXPECT_EQ(set.offsets[0], 0u);
    EXPECT_STREQ(NFD_PathSetPath(&set, 0), "/b/second.png");
    EXPECT_STREQ(NFD_PathSetPath(&set, 1), "/a/first.png");
    EXPECT_STREQ(NFD_PathSetPath(&set, 2), "/c/third one.jpg");
    NFD_PathSetRelease(&set);

    std::vector<std::string> got = Record();
    EXPECT_THAT(got, Contains("option multiple True"));
    EXPECT_THAT(LinesStarting(got, "filter "),
                ElementsAre("filter *.png|0:*.[pP][nN][gG]", "filter *.jpg|0:*.[jJ][pP][gG]", "filter *.*|0:*"));
}

TEST_F(Portal, CancelAndEscapeLeaveOutputAndErrorAlone) {
    for (int response : {1, 2}) {
        StartPortal("{\"response\": " + std::to_string(response) + "}");
        NFDi_RecordError("an earlier failure.");
        char sentinel[] = "untouched";
        char* path = sentinel;
        EXPECT_EQ(NFD_OpenFile("png", nullptr, &path), NFD_RESULT_CANCELLED) << response;
        EXPECT_EQ(path, sentinel);
        EXPECT_EQ(LastError(), "an earlier failure.");
        StopProcess(portal_);
        close(portalOut_);
        portal_ = -1;
        portalOut_ = -1;
    }
}

TEST_F(Portal, SaveAsksSaveFileAndStartsInAnExistingFolder) {
    std::string folder = MakeTempDir();
    StartPortal(R"({"uris": ["file:///tmp/new%20name.png"]})");
    char* path = nullptr;
    // A relative spelling of the folder reaches the portal as the absolute one.
    std::string spelled = folder + "/./";
    ASSERT_EQ(NFD_SaveFile(nullptr, spelled.c_str(), &path), NFD_RESULT_OK) << LastError();
    EXPECT_STREQ(path, "/tmp/new name.png");
    free(path);

    std::vector<std::string> got = Record();
    EXPECT_THAT(got, Contains("method SaveFile"));
    EXPECT_THAT(got, Contains("option current_folder " + folder));
    EXPECT_THAT(got, Contains("option current_folder_terminated True"));
    EXPECT_THAT(LinesStarting(got, "filter "), ElementsAre());  // no filter list: no filters at all
}

TEST_F(Portal, SaveAsGivesTheSuggestedNameAndFolder) {
    std::string folder = MakeTempDir();
    StartPortal(R"({"uris": ["file:///tmp/caf%C3%A9-painted.png"]})");
    char* path = nullptr;
    ASSERT_EQ(NFD_SaveFileAs("png;jpg,jpeg", folder.c_str(), "caf\xC3\xA9-painted.png", &path), NFD_RESULT_OK)
        << LastError();
    EXPECT_STREQ(path, "/tmp/caf\xC3\xA9-painted.png");
    free(path);
    std::vector<std::string> got = Record();
    EXPECT_THAT(got, Contains("method SaveFile"));
    EXPECT_THAT(got, Contains("title Save As"));
    EXPECT_THAT(got, Contains("option current_name caf\xC3\xA9-painted.png"));
    EXPECT_THAT(got, Contains("option current_folder " + folder));
    EXPECT_THAT(LinesStarting(got, "filter "),
                ElementsAre("filter *.png|0:*.[pP][nN][gG]",
                            "filter *.jpg;*.jpeg|0:*.[jJ][pP][gG]|0:*.[jJ][pP][eE][gG]", "filter *.*|0:*"));

    // Without a name it is the plain save: no current_name at all.
    unlink(record_.c_str());
    path = nullptr;
    ASSERT_EQ(NFD_SaveFileAs(nullptr, nullptr, "", &path), NFD_RESULT_OK) << LastError();
    free(path);
    EXPECT_THAT(Record(), Not(Contains(StartsWith("option current_name"))));
}

TEST_F(Portal, SaveAsRefusesANameThatIsNotAPlainFileName) {
    StartPortal(R"({"uris": ["file:///x.png"]})");
    for (const char* name : {"sub/x.png", "..", "bad\xC3.png"}) {
        char* path = nullptr;
        EXPECT_EQ(NFD_SaveFileAs("png", nullptr, name, &path), NFD_RESULT_ERROR) << name;
        EXPECT_EQ(path, nullptr);
        EXPECT_EQ(LastError(), "The suggested file name is not a plain file name.");
    }
    EXPECT_THAT(Record(), Not(Contains(StartsWith("method"))));  // the portal was never asked
}

TEST_F(Portal, MissingDefaultFolderIsIgnored) {
    StartPortal(R"({"uris": ["file:///x.png"]})");
    char* path = nullptr;
    ASSERT_EQ(NFD_OpenFile("png", "/nonexistent/folder/here", &path), NFD_RESULT_OK) << LastError();
    free(path);
    EXPECT_THAT(Record(), Not(Contains(StartsWith("option current_folder"))));
}

TEST_F(Portal, ChoosesAFolderOnAVersion3Portal) {
    StartPortal(R"({"version": 3, "uris": ["file:///home/me/Pictures"]})");
    char* path = nullptr;
    ASSERT_EQ(NFD_ChooseFolder(nullptr, &path), NFD_RESULT_OK) << LastError();
    EXPECT_STREQ(path, "/home/me/Pictures");
    free(path);
    std::vector<std::string> got = Record();
    EXPECT_THAT(got, Contains("get org.freedesktop.portal.FileChooser version"));
    EXPECT_THAT(got, Contains("method OpenFile"));
    EXPECT_THAT(got, Contains("option directory True"));
    EXPECT_THAT(LinesStarting(got, "filter "), ElementsAre());
}

TEST_F(Portal, TooOldForFolders) {
    StartPortal(R"({"version": 2, "uris": ["file:///home"]})");
    char* path = nullptr;
    EXPECT_EQ(NFD_ChooseFolder(nullptr, &path), NFD_RESULT_ERROR);
    EXPECT_EQ(path, nullptr);
    EXPECT_THAT(LastError(), HasSubstr("too old to choose folders (version 2, 3 needed)"));
    EXPECT_THAT(Record(), Not(Contains(StartsWith("method"))));
}

TEST_F(Portal, AnswerBeforeTheCallReturnsIsNotLost) {
    StartPortal(R"({"signal_first": true, "uris": ["file:///early.png"]})");
    char* path = nullptr;
    ASSERT_EQ(NFD_OpenFile(nullptr, nullptr, &path), NFD_RESULT_OK) << LastError();
    EXPECT_STREQ(path, "/early.png");
    free(path);
}

// Any client of the session bus can send a signal on the request's path; only the portal's
// answer counts.
TEST_F(Portal, AnAnswerFromAnotherClientIsNotTaken) {
    StartPortal(R"({"forge": true, "uris": ["file:///genuine.png"]})");
    char* path = nullptr;
    ASSERT_EQ(NFD_OpenFile(nullptr, nullptr, &path), NFD_RESULT_OK) << LastError();
    EXPECT_STREQ(path, "/genuine.png");
    free(path);
    EXPECT_THAT(Record(), Contains("forged"));
}

TEST_F(Portal, FollowsARequestPathOfThePortalsChoosing) {
    StartPortal(R"({"other_handle": true, "uris": ["file:///old.png"]})");
    char* path = nullptr;
    ASSERT_EQ(NFD_OpenFile(nullptr, nullptr, &path), NFD_RESULT_OK) << LastError();
    EXPECT_STREQ(path, "/old.png");
    free(path);
}

TEST_F(Portal, PortalLeavingTheBusIsAnErrorNotAHang) {
    StartPortal(R"({"vanish": true})");
    char* path = nullptr;
    EXPECT_EQ(NFD_OpenFile("png", nullptr, &path), NFD_RESULT_ERROR);
    EXPECT_EQ(path, nullptr);
    EXPECT_EQ(LastError(), "The file chooser portal left the session bus while its dialog was open.");
}

TEST_F(Portal, DBusErrorIsNamed) {
    StartPortal(R"({"error": "org.freedesktop.portal.Error.InvalidArgument"})");
    char* path = nullptr;
    EXPECT_EQ(NFD_OpenFile("png", nullptr, &path), NFD_RESULT_ERROR);
    EXPECT_EQ(path, nullptr);
    EXPECT_THAT(LastError(), HasSubstr("org.freedesktop.portal.Error.InvalidArgument"));
}

TEST_F(Portal, AddressThatIsNotALocalFileIsAnError) {
    StartPortal(R"({"uris": ["https://example.org/x.png"]})");
    char* path = nullptr;
    EXPECT_EQ(NFD_OpenFile(nullptr, nullptr, &path), NFD_RESULT_ERROR);
    EXPECT_EQ(path, nullptr);
    EXPECT_THAT(LastError(), HasSubstr("not a local file: https://example.org/x.png"));
}

TEST_F(Portal, SuccessWithoutFilesIsAnError) {
    StartPortal(R"({"uris": []})");
    NFDPathSet set;
    EXPECT_EQ(NFD_OpenFiles(nullptr, nullptr, &set), NFD_RESULT_ERROR);
    EXPECT_EQ(LastError(), "The file chooser portal returned no file.");
}

TEST_F(Portal, NoPortalAndNoDisplayMeansNoChooser) {
    // Nobody owns the portal name on this bus: ServiceUnknown, then no display for a helper.
    char* path = nullptr;
    EXPECT_EQ(NFD_OpenFile("png", nullptr, &path), NFD_RESULT_ERROR);
    EXPECT_EQ(path, nullptr);
    EXPECT_EQ(LastError(), "No file chooser is available: install xdg-desktop-portal or zenity.");
}
