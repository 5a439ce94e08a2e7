// Where the program finds its decoder: beside itself in the build folder, under
// ../libexec/vellumry/ when installed; only executable files count.
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "picture/helper_location.h"

namespace {

class HelperLocation : public ::testing::Test {
protected:
    std::string Root;

    void SetUp() override {
        char pattern[] = "/tmp/vellumry-helper-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        Root = pattern;
    }
    void TearDown() override { ASSERT_EQ(system(("rm -rf '" + Root + "'").c_str()), 0); }

    // A file at Root/relative, made executable or not.
    void Make(const std::string& relative, bool executable) {
        const std::string path = Root + "/" + relative;
        ASSERT_EQ(system(("mkdir -p \"$(dirname '" + path + "')\"").c_str()), 0);
        std::ofstream(path) << "#!/bin/sh\n";
        ASSERT_EQ(chmod(path.c_str(), executable ? 0755 : 0644), 0);
    }

    // FindHelperFrom for the program at Root/bin/vellumry: the path found, or "" for none.
    std::string Find(size_t size = PATH_MAX) {
        std::string found(size, '\0');
        const std::string program = Root + "/bin/vellumry";
        if (!FindHelperFrom(program.c_str(), "vellumry-decode", &found[0], size)) return "";
        return found.c_str();
    }
};

}  // namespace

TEST_F(HelperLocation, TheInstalledFolderIsRelativeToTheProgram) {
    EXPECT_STREQ(HelperDirFromProgram, "../libexec/vellumry");
    Make("bin/vellumry", true);
    Make("libexec/vellumry/vellumry-decode", true);
    EXPECT_EQ(Find(), Root + "/bin/../libexec/vellumry/vellumry-decode");
}

TEST_F(HelperLocation, BesideTheProgramComesFirst) {
    Make("bin/vellumry", true);
    Make("bin/vellumry-decode", true);
    Make("libexec/vellumry/vellumry-decode", true);
    EXPECT_EQ(Find(), Root + "/bin/vellumry-decode");
}

TEST_F(HelperLocation, OnlyAnExecutableFileCounts) {
    Make("bin/vellumry", true);
    EXPECT_EQ(Find(), "") << "no helper anywhere";
    Make("bin/vellumry-decode", false);
    EXPECT_EQ(Find(), "") << "not executable";
    ASSERT_EQ(mkdir((Root + "/libexec").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((Root + "/libexec/vellumry").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((Root + "/libexec/vellumry/vellumry-decode").c_str(), 0755), 0);
    EXPECT_EQ(Find(), "") << "a folder of that name";
}

TEST_F(HelperLocation, APathThatDoesNotFitIsRefusedNotCut) {
    Make("bin/vellumry", true);
    Make("libexec/vellumry/vellumry-decode", true);
    const std::string whole = Root + "/bin/../libexec/vellumry/vellumry-decode";
    EXPECT_EQ(Find(whole.size()), "") << "one byte short for the terminating NUL";
    EXPECT_EQ(Find(whole.size() + 1), whole);
}

TEST(HelperLocationOfThisProgram, TheBuildFolderHelperIsFound) {
    // The tests run from the build folder, where the helper sits beside every executable.
    char found[PATH_MAX];
    ASSERT_TRUE(FindHelperProgram("vellumry-decode", found, sizeof found));
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(length, 0);
    self[length] = 0;
    std::string folder(self);
    folder.resize(folder.rfind('/'));
    EXPECT_EQ(std::string(found), folder + "/vellumry-decode");
    EXPECT_FALSE(FindHelperProgram("no-such-helper", found, sizeof found));
}
