#include "picture/helper_location.h"

#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef VELLUMRY_HELPER_DIR_FROM_BIN
#error "VELLUMRY_HELPER_DIR_FROM_BIN is set by the build from the install folders"
#endif

const char* const HelperDirFromProgram = VELLUMRY_HELPER_DIR_FROM_BIN;

namespace {

bool IsExecutableFile(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISREG(info.st_mode) && access(path, X_OK) == 0;
}

// folder + "/" + [middle + "/"] + name into path; false when it does not fit.
bool Join(char* path, size_t size, const char* folder, size_t folderLength, const char* middle, const char* name) {
    const int written = middle ? snprintf(path, size, "%.*s/%s/%s", int(folderLength), folder, middle, name)
                               : snprintf(path, size, "%.*s/%s", int(folderLength), folder, name);
    return written > 0 && size_t(written) < size;
}

}  // namespace

bool FindHelperFrom(const char* programPath, const char* name, char* path, size_t size) {
    const char* slash = strrchr(programPath, '/');
    if (!slash || size == 0) return false;
    const size_t folderLength = size_t(slash - programPath);
    if (Join(path, size, programPath, folderLength, nullptr, name) && IsExecutableFile(path)) return true;
    if (Join(path, size, programPath, folderLength, HelperDirFromProgram, name) && IsExecutableFile(path)) return true;
    path[0] = 0;
    return false;
}

bool FindHelperProgram(const char* name, char* path, size_t size) {
    char program[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", program, sizeof program - 1);
    if (length <= 0) return false;
    program[length] = 0;
    return FindHelperFrom(program, name, path, size);
}
