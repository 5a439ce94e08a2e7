#include "tests/filedialog/test_support.h"

#include <errno.h>
#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "filedialog/nfd.h"

extern char** environ;

static std::vector<std::string>& TempDirs() {
    static std::vector<std::string> dirs;
    return dirs;
}

std::string MakeTempDir() {
    char pattern[] = "/tmp/vellumry-fd-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir) return "";
    TempDirs().push_back(dir);
    return dir;
}

static int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    remove(path);
    return 0;
}

void RemoveTempDirs() {
    for (const std::string& dir : TempDirs()) nftw(dir.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
    TempDirs().clear();
}

void WriteFile(const std::string& path, const std::string& text, bool executable) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (executable) chmod(path.c_str(), 0755);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool FileExists(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0;
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

pid_t StartProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv, int* outFd) {
    std::vector<std::string> env;
    for (char** entry = environ; *entry; ++entry) env.push_back(*entry);
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> args, envp;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    for (const std::string& entry : env) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);

    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    pid_t pid = -1;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    *outFd = out[0];
    return pid;
}

bool ReadLine(int fd, std::string& line, int timeoutMs) {
    line.clear();
    for (;;) {
        struct pollfd waiting = {fd, POLLIN, 0};
        int ready = poll(&waiting, 1, timeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        char ch;
        ssize_t got = read(fd, &ch, 1);
        if (got <= 0) return false;
        if (ch == '\n') return true;
        line += ch;
    }
}

void StopProcess(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    int status;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
}

std::string LastError() { return NFD_LastError(); }
