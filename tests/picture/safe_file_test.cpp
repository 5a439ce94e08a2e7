// Writing a file safely on Linux, beyond what every platform promises
// (safe_file_contract_test.cpp): permissions carried over, the system's own reasons, and real
// failures: another user's view of a folder, a file-size limit, a folder removed or moved
// meanwhile, a writer killed with SIGKILL in the middle of an export.
#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "picture/safe_file.h"
#include "tests/picture/safe_file_fixture.h"

extern char** environ;

TEST_P(SafeFileTest, ANewFileGetsTheDefaultPermissions) {
    SafeFile file;
    ASSERT_TRUE(SafeFileOpen(&file, target_.c_str())) << file.Reason;
    ASSERT_TRUE(SafeFileCommit(&file)) << file.Reason;
    struct stat info;
    ASSERT_EQ(stat(target_.c_str(), &info), 0);
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(info.st_mode & 07777, 0666 & ~mask);
}

// A private file stays private; setuid, setgid and sticky bits are not the new file's to have.
TEST_P(SafeFileTest, AReplacedFileKeepsItsPermissionBitsOnly) {
    for (mode_t mode : {0600, 04755, 02750, 01644}) {
        SCOPED_TRACE(mode);
        PlaceOldFile();
        ASSERT_EQ(chmod(target_.c_str(), mode), 0);
        SafeFile file;
        ASSERT_TRUE(SafeFileOpen(&file, target_.c_str())) << file.Reason;
        ASSERT_TRUE(SafeFileWrite(&file, "new", 3));
        ASSERT_TRUE(SafeFileCommit(&file)) << file.Reason;
        EXPECT_EQ(ReadAll(target_), "new");
        struct stat info;
        ASSERT_EQ(stat(target_.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, mode & 0777);
        chmod(target_.c_str(), 0644);
    }
}

TEST_P(SafeFileTest, PathsThatCannotBeWrittenAreRefusedWithTheSystemsReason) {
    PlaceOldFile();
    mkdir((dir_ + "/a folder.png").c_str(), 0755);
    struct Case {
        std::string Path, Reason;
    } cases[] = {
        {dir_ + "/missing/x.png", "No such file or directory"},
        {target_ + "/x.png", "Not a directory"},
        {dir_ + "/" + std::string(300, 'n') + ".png", "File name too long"},
        {dir_ + "/a folder.png", "Is a directory"},
        {dir_ + "/", "Is a directory"},
    };
    for (const Case& c : cases) {
        SafeFile file;
        EXPECT_FALSE(SafeFileOpen(&file, c.Path.c_str())) << c.Path;
        EXPECT_STREQ(file.Reason, c.Reason.c_str()) << c.Path;
    }
    EXPECT_EQ(ListFolder(dir_), (std::vector<std::string>{"a folder.png", kTargetName}));
    EXPECT_EQ(ReadAll(target_), kOldBytes);
}

TEST_P(SafeFileTest, AFolderRemovedMeanwhileFailsAndIsNotRecreated) {
    std::string folder = dir_ + "/sub";
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    std::string target = folder + "/x.png";
    SafeFile file;
    ASSERT_TRUE(SafeFileOpen(&file, target.c_str()));
    std::string bytes = SomeBytes(100000);
    ASSERT_TRUE(SafeFileWrite(&file, bytes.data(), bytes.size()));
    RemoveFolder(folder);
    EXPECT_FALSE(SafeFileCommit(&file));
    EXPECT_STREQ(file.Reason, "No such file or directory");
    EXPECT_TRUE(ListFolder(dir_).empty());
}

TEST_P(SafeFileTest, AFolderMovedMeanwhileKeepsOnlyItsOldFile) {
    std::string folder = dir_ + "/sub", moved = dir_ + "/moved";
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    std::string target = PathIn(folder, kTargetName);
    WriteAll(target, kOldBytes);
    SafeFile file;
    ASSERT_TRUE(SafeFileOpen(&file, target.c_str()));
    std::string bytes = SomeBytes(100000);
    ASSERT_TRUE(SafeFileWrite(&file, bytes.data(), bytes.size()));
    ASSERT_EQ(rename(folder.c_str(), moved.c_str()), 0);
    EXPECT_FALSE(SafeFileCommit(&file));
    EXPECT_STREQ(file.Reason, "No such file or directory");
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
        std::string bytes = SomeBytes(4 * 1024 * 1024);
        SafeFile file;
        bool ok = SafeFileOpen(&file, target_.c_str()) && SafeFileWrite(&file, bytes.data(), bytes.size()) &&
                  SafeFileCommit(&file);
        if (!ok) SafeFileAbandon(&file);
        ssize_t ignored = write(pipeFds[1], file.Reason, strlen(file.Reason));
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
    pid_t Pid = -1;
    int Out = -1;
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
    if (posix_spawnp(&writer.Pid, args[0], &actions, nullptr, args.data(), environ) != 0) writer.Pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    writer.Out = fds[0];
    return writer;
}

// One line of the writer's output, waiting at most timeoutMs; "" at its end or on timeout.
std::string ReadLine(int fd, int timeoutMs) {
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int left =
            (int)std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                .count();
        struct pollfd waiting = {fd, POLLIN, 0};
        if (left <= 0 || poll(&waiting, 1, left) <= 0) return line;
        char ch;
        if (read(fd, &ch, 1) != 1 || ch == '\n') return line;
        line += ch;
    }
}

int Finish(Writer& writer) {
    int status = -1;
    waitpid(writer.Pid, &status, 0);
    close(writer.Out);
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
    ASSERT_GT(writer.Pid, 0);
    std::string line = ReadLine(writer.Out, 120000);
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
    std::string dir = pattern, target = PathIn(dir, kTargetName);
    WriteAll(target, kOldBytes);
    // Large and slow enough that the writer is still encoding when it reports half the rows.
    Writer writer = StartWriter({EXPORT_WRITER, "--slow", target, "2400", "2400"});
    ASSERT_GT(writer.Pid, 0);
    std::string line = ReadLine(writer.Out, 240000);
    kill(writer.Pid, SIGKILL);
    int status = Finish(writer);
    EXPECT_EQ(line, "half");
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the writer ended before the kill";
    EXPECT_EQ(ListFolder(dir), std::vector<std::string>{kTargetName});
    EXPECT_EQ(ReadAll(target), kOldBytes);
    RemoveFolder(dir);
}
