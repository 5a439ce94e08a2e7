// The safe-file tests' fixture with the file calls of each platform.
#include "tests/picture/safe_file_fixture.h"

#include <algorithm>

#include "picture/safe_file.h"

#ifdef _WIN32
#include <windows.h>

#include "picture/file_paths.h"
#else
#include <dirent.h>
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#endif

const std::string kOldBytes = "old picture\n";
const std::string kTargetName = "caf\xC3\xA9-painted \xE6\x97\xA5.png";

std::string SomeBytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = (char)(i * 7 + i / 251);
    return bytes;
}

#ifdef _WIN32

static std::wstring Wide(const std::string& text) {
    std::wstring wide;
    Utf8ToWide(text, &wide);
    return wide;
}

std::string PathIn(const std::string& folder, const std::string& name) { return folder + "\\" + name; }

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(Wide(folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") names.push_back(WideToUtf8(name));
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadAll(const std::string& path) {
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

void WriteAll(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
    CloseHandle(file);
}

void RemoveFolder(const std::string& folder) {
    for (const std::string& name : ListFolder(folder)) {
        std::wstring path = Wide(folder + "\\" + name);
        DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            RemoveFolder(folder + "\\" + name);
            continue;
        }
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
    }
    RemoveDirectoryW(Wide(folder).c_str());
}

static std::string MakeFolder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::string folder = WideToUtf8(std::wstring(temp) + L"vellumry \u00e9t\u00e9 \U0001F3A8 safe");
    RemoveFolder(folder);  // whatever an earlier, interrupted run left
    CreateDirectoryW(Wide(folder).c_str(), nullptr);
    return folder;
}

#else

std::string PathIn(const std::string& folder, const std::string& name) { return folder + "/" + name; }

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

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<missing>";
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), (std::streamsize)bytes.size());
}

static int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
    remove(path);
    return 0;
}

void RemoveFolder(const std::string& folder) { nftw(folder.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); }

static std::string MakeFolder() {
    char pattern[] = "/tmp/vellumry-safe-\xC3\xA9t\xC3\xA9-\xF0\x9F\x8E\xA8-XXXXXX";
    if (!mkdtemp(pattern)) return std::string();
    chmod(pattern, 0755);
    return pattern;
}

#endif

void SafeFileTest::SetUp() {
    SafeFileAvoidUnnamed = GetParam();
    dir_ = MakeFolder();
    ASSERT_FALSE(dir_.empty());
    target_ = PathIn(dir_, kTargetName);
}

void SafeFileTest::TearDown() {
    SafeFileAvoidUnnamed = false;
    RemoveFolder(dir_);
}

void SafeFileTest::ExpectOnlyOldFile(const std::string& folder) {
    EXPECT_EQ(ListFolder(folder), std::vector<std::string>{kTargetName});
    EXPECT_EQ(ReadAll(PathIn(folder, kTargetName)), kOldBytes);
}
