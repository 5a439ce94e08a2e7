// Writing a file safely on Linux: the file appears whole or not at all, and every failure
// leaves no temporary file and an existing file of the target's name byte for byte as it was.
// The failures are real: another user's view of a folder, a file-size limit, a folder removed
// or moved meanwhile, a writer killed with SIGKILL in the middle of an export.
#include <gtest/gtest.h>

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "picture/safe_file.h"
#include "tests/picture/test_pictures.h"

extern char** environ;

namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    remove(path);
    return 0;
}

void RemoveTree(const std::string& path) {
    nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

// Every name in a folder, hidden ones too, sorted.
std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (!dir) return names;
    while (struct dirent* entry = readdir(dir)) {
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) names.push_back(entry->d_name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

const std::vector<unsigned char> kOldBytes = {'o', 'l', 'd', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e', '\n'};

std::vector<unsigned char> SomeBytes(size_t size) {
    std::vector<unsigned char> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = (unsigned char)(i * 7 + i / 251);
    return bytes;
}

class SafeFileTest : public testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        SafeFileAvoidUnnamed = GetParam();
        char pattern[] = "/tmp/vellumry-safe-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        chmod(dir_.c_str(), 0755);
        target_ = dir_ + "/coffee-painted.png";
    }
    void TearDown() override {
        SafeFileAvoidUnnamed = false;
        RemoveTree(dir_);
    }
    void PlaceOldFile() { WriteWholeFile(target_, kOldBytes); }
    // The folder holds the old file alone, unchanged.
    void ExpectOnlyOldFile(const std::string& folder) {
        EXPECT_EQ(ListFolder(folder), std::vector<std::string>{"coffee-painted.png"});
        EXPECT_TRUE(ReadWholeFile(folder + "/coffee-painted.png") == kOldBytes);
    }

    std::string dir_, target_;
};

INSTANTIATE_TEST_SUITE_P(Unnamed, SafeFileTest, testing::Values(false));
INSTANTIATE_TEST_SUITE_P(Named, SafeFileTest, testing::Values(true));

}  // namespace

TEST_P(SafeFileTest, ANewFileAppearsOnlyWhenCommittedAndWhole) {
    std::vector<unsigned char> bytes = SomeBytes(3 * 1024 * 1024 + 17);  // past the buffer
    SafeFile file;
    ASSERT_TRUE(SafeFileOpen(&file, target_.c_str())) << file.reason;
    ASSERT_TRUE(SafeFileWrite(&file, bytes.data(), 1000));
    ASSERT_TRUE(SafeFileWrite(&file, bytes.data() + 1000, bytes.size() - 1000));
    EXPECT_FALSE(access(target_.c_str(), F_OK) == 0);
    if (!GetParam()) {
        EXPECT_TRUE(ListFolder(dir_).empty());  // nothing has a name yet
    }
    ASSERT_TRUE(SafeFileCommit(&file)) << file.reason;
    EXPECT_EQ(ListFolder(dir_), std::vector<std::string>{"coffee-painted.png"});
    EXPECT_TRUE(ReadWholeFile(target_) == bytes);
    struct stat info;
    ASSERT_EQ(stat(target_.c_str(), &info), 0);
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
}

TEST_P(SafeFileTest, ReplacesAnExistingFileAndKeepsItsPermissions) {
    PlaceOldFile();
    chmod(target_.c_str(), 0600);
    std::vector<unsigned char> bytes = SomeBytes(5000);
    SafeFile file;
    ASSERT_TRUE(SafeFileOpen(&file, target_.c_str())) << file.reason;
    ASSERT_TRUE(SafeFileWrite(&file, bytes.data(), bytes.size()));
    EXPECT_TRUE(ReadWholeFile(target_) == kOldBytes);  // untouched until the commit
    ASSERT_TRUE(SafeFileCommit(&file)) << file.reason;
    EXPECT_EQ(ListFolder(dir_), std::vector<std::string>{"coffee-painted.png"});
    EXPECT_TRUE(ReadWholeFile(target_) == bytes);
    struct stat info;
    ASSERT_EQ(stat(target_.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_P(SafeFileTest, GivingUpLeavesTheOldFileAndNothingElse) {
    PlaceOldFile();
    std::vector<unsigned char> bytes = SomeBytes(2 * 1024 * 1024);
    SafeFile file;
    ASSERT_TRUE(SafeFileOpen(&file, target_.c_str()));
    ASSERT_TRUE(SafeFileWrite(&file, bytes.data(), bytes.size()));
    SafeFileAbandon(&file);
    ExpectOnlyOldFile(dir_);
    SafeFileAbandon(&file);  // twice is harmless
}

TEST_P(SafeFileTest, PathsThatCannotBeWrittenAreRefusedWithTheSystemsReason) {
    PlaceOldFile();
    mkdir((dir_ + "/a folder.png").c_str(), 0755);
    struct Case {
        std::string path, reason;
    } cases[] = {
        {dir_ + "/missing/x.png", "No such file or directory"},
        {target_ + "/x.png", "Not a directory"},
        {dir_ + "/" + std::string(300, 'n') + ".png", "File name too long"},
        {dir_ + "/a folder.png", "Is a directory"},
        {dir_ + "/", "Is a directory"},
    };
    for (const Case& c : cases) {
        SafeFile file;
        EXPECT_FALSE(SafeFileOpen(&file, c.path.c_str())) << c.path;
        EXPECT_STREQ(file.reason, c.reason.c_str()) << c.path;
    }
    EXPECT_EQ(ListFolder(dir_), (std::vector<std::string>{"a folder.png", "coffee-painted.png"}));
    EXPECT_TRUE(ReadWholeFile(target_) == kOldBytes);
}

TEST_P(SafeFileTest, AFolderRemovedMeanwhileFailsAndIsNotRecreated) {
    std::string folder = dir_ + "/sub";
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    std::string target = folder + "/x.png";
    SafeFile file;
    ASSERT_TRUE(SafeFileOpen(&file, target.c_str()));
    std::vector<unsigned char> bytes = SomeBytes(100000);
    ASSERT_TRUE(SafeFileWrite(&file, bytes.data(), bytes.size()));
    RemoveTree(folder);
    EXPECT_FALSE(SafeFileCommit(&file));
    EXPECT_STREQ(file.reason, "No such file or directory");
    EXPECT_TRUE(ListFolder(dir_).empty());
}

TEST_P(SafeFileTest, AFolderMovedMeanwhileKeepsOnlyItsOldFile) {
    std::string folder = dir_ + "/sub", moved = dir_ + "/moved";
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    WriteWholeFile(folder + "/coffee-painted.png", kOldBytes);
    SafeFile file;
    std::string target = folder + "/coffee-painted.png";
    ASSERT_TRUE(SafeFileOpen(&file, target.c_str()));
    std::vector<unsigned char> bytes = SomeBytes(100000);
    ASSERT_TRUE(SafeFileWrite(&file, bytes.data(), bytes.size()));
    ASSERT_EQ(rename(folder.c_str(), moved.c_str()), 0);
    EXPECT_FALSE(SafeFileCommit(&file));
    EXPECT_STREQ(file.reason, "No such file or directory");
    EXPECT_EQ(ListFolder(dir_), std::vector<std::string>{"moved"});
    ExpectOnlyOldFile(moved);
}

// A full disk, as a file-size limit in a child process: the write fails with EFBIG (SIGXFSZ is
// ignored, as a program that handles the error would).
TEST_P(SafeFileTest, AFileSizeLimitFailsTheWriteAndLeavesTheOldFile) {
    PlaceOldFile();
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeFds[0]);
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::vector<unsigned char> bytes = SomeBytes(4 * 1024 * 1024);
        SafeFile file;
        bool ok = SafeFileOpen(&file, target_.c_str()) && SafeFileWrite(&file, bytes.data(), bytes.size()) &&
                  SafeFileCommit(&file);
        if (!ok) SafeFileAbandon(&file);
        ssize_t ignored = write(pipeFds[1], file.reason, strlen(file.reason));
        (void)ignored;
        _exit(ok ? 0 : 1);
    }
    close(pipeFds[1]);
    char reason[256] = "";
    ssize_t got = read(pipeFds[0], reason, sizeof reason - 1);
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(std::string(reason, got > 0 ? (size_t)got : 0), "File too large");
    ExpectOnlyOldFile(dir_);
}

namespace {

// The export writer in a process of its own, its standard output on a pipe.
struct Writer {
    pid_t pid = -1;
    int out = -1;
};

Writer StartWriter(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    int fds[2];
    Writer writer;
    if (pipe2(fds, O_CLOEXEC) != 0) return writer;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    if (posix_spawnp(&writer.pid, args[0], &actions, nullptr, args.data(), environ) != 0) writer.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    writer.out = fds[0];
    return writer;
}

// One line of the writer's output, waiting at most timeoutMs; "" at its end or on timeout.
std::string ReadLine(int fd, int timeoutMs) {
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int left = (int)std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        struct pollfd waiting = {fd, POLLIN, 0};
        if (left <= 0 || poll(&waiting, 1, left) <= 0) return line;
        char ch;
        if (read(fd, &ch, 1) != 1 || ch == '\n') return line;
        line += ch;
    }
}

int Finish(Writer& writer) {
    int status = -1;
    waitpid(writer.pid, &status, 0);
    close(writer.out);
    return status;
}

}  // namespace

// Root may write anywhere: the writer runs as "nobody" in a folder only root may write to.
TEST_P(SafeFileTest, AFolderTheUserMayNotWriteToIsRefused) {
    PlaceOldFile();
    std::vector<std::string> argv = {EXPORT_WRITER};
    if (GetParam()) argv.push_back("--named");
    argv.insert(argv.end(), {target_, "64", "48"});
    if (geteuid() == 0) {
        argv.insert(argv.begin(), {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
    } else {
        chmod(dir_.c_str(), 0555);
    }
    Writer writer = StartWriter(argv);
    ASSERT_GT(writer.pid, 0);
    std::string line = ReadLine(writer.out, 120000);
    int status = Finish(writer);
    chmod(dir_.c_str(), 0755);
    EXPECT_EQ(line, "failed: Permission denied");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    ExpectOnlyOldFile(dir_);
}

// A kill cannot be caught: whatever the writer had written must vanish with it. (Only the
// unnamed file promises that; a named one stays behind, as its header says.)
TEST(SafeFileKilled, AWriterKilledWhileEncodingLeavesTheOldFileAndNothingElse) {
    char pattern[] = "/tmp/vellumry-kill-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::string dir = pattern, target = dir + "/coffee-painted.png";
    WriteWholeFile(target, kOldBytes);
    // Large and slow enough that the writer is still encoding when it reports half the rows.
    Writer writer = StartWriter({EXPORT_WRITER, "--slow", target, "2400", "2400"});
    ASSERT_GT(writer.pid, 0);
    std::string line = ReadLine(writer.out, 240000);
    kill(writer.pid, SIGKILL);
    int status = Finish(writer);
    EXPECT_EQ(line, "half");
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the writer ended before the kill";
    EXPECT_EQ(ListFolder(dir), std::vector<std::string>{"coffee-painted.png"});
    EXPECT_TRUE(ReadWholeFile(target) == kOldBytes);
    RemoveTree(dir);
}
