// file_paths: lstat and the working folder on Linux; GetFileAttributesW and GetFullPathNameW
// on Windows.
#include "picture/file_paths.h"

#ifdef _WIN32
#include <windows.h>

static std::wstring Wide(const char* text) {
    int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (units <= 1) return std::wstring();
    std::wstring wide((size_t)units, L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, &wide[0], units);
    wide.resize((size_t)units - 1);
    return wide;
}

static std::string Utf8(const wchar_t* wide) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) return std::string();
    std::string text((size_t)bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, &text[0], bytes, nullptr, nullptr);
    text.resize((size_t)bytes - 1);
    return text;
}

bool PathExists(const char* path) {
    std::wstring wide = Wide(path ? path : "");
    return !wide.empty() && GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string AbsolutePath(const char* path) {
    std::string given = path ? path : "";
    std::wstring wide = Wide(given.c_str());
    if (wide.empty()) return given;
    DWORD units = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (units == 0) return given;
    std::wstring full((size_t)units, L'\0');
    units = GetFullPathNameW(wide.c_str(), units, &full[0], nullptr);
    if (units == 0 || units >= full.size()) return given;
    full.resize(units);
    std::string text = Utf8(full.c_str());
    return text.empty() ? given : text;
}

#else
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

bool PathExists(const char* path) {
    struct stat status;
    return path && *path && lstat(path, &status) == 0;
}

std::string AbsolutePath(const char* path) {
    std::string given = path ? path : "";
    if (given.empty() || given[0] == '/') return given;
    char* folder = getcwd(nullptr, 0);
    if (!folder) return given;
    std::string absolute = folder;
    free(folder);
    if (absolute.empty() || absolute.back() != '/') absolute += '/';
    // "./coffee.jpg" reads better without its "./".
    size_t start = 0;
    while (given.compare(start, 2, "./") == 0) {
        start += 2;
        while (start < given.size() && given[start] == '/') ++start;
    }
    return absolute + given.substr(start);
}
#endif
