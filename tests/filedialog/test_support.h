// Small process helpers for the file dialog tests: temporary folders, child processes with a
// pipe on their standard output, and reading what they wrote.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// A new empty folder under /tmp; RemoveTempDirs deletes every one made so far.
std::string MakeTempDir();
void RemoveTempDirs();
void WriteFile(const std::string& path, const std::string& text, bool executable = false);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
// Lines of a text file, without their newlines.
std::vector<std::string> ReadLines(const std::string& path);

// Starts argv[0] (searched on PATH) with the current environment plus `extraEnv`
// ("NAME=value"), its standard output on a pipe whose read end goes to *outFd.
pid_t StartProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv, int* outFd);
// Reads one line from fd, waiting at most timeoutMs. False on timeout or end of file.
bool ReadLine(int fd, std::string& line, int timeoutMs);
// Sends SIGTERM (if still running) and collects the process.
void StopProcess(pid_t pid);

// The file dialog tests check text such as "zenity ended with exit status 5.".
std::string LastError();
