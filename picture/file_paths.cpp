// file_paths: lstat and the working folder on Linux; GetFileAttributesW and GetFullPathNameW
// on Windows, and the UTF-8 <-> UTF-16 conversions of the wide-character calls.
#include "picture/file_paths.h"

#ifdef _WIN32
#include <windows.h>

bool Utf8ToWide(const std::string& text, std::wstring* wide) {
    wide->clear();
    if (text.empty()) return true;
    int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), (int)text.size(), nullptr, 0);
    if (units <= 0) return false;
    wide->resize((size_t)units);
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), (int)text.size(), &(*wide)[0], units);
    return true;
}

std::string WideToUtf8(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), nullptr, 0, nullptr, nullptr);
    std::string text((size_t)(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), (int)wide.size(), &text[0], bytes, nullptr, nullptr);
    return text;
}

bool PathExists(const char* path) {
    std::wstring wide;
    return Utf8ToWide(path ? path : "", &wide) && !wide.empty() &&
           GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string AbsolutePath(const char* path) {
    std::string given = path ? path : "";
    std::wstring wide;
    if (!Utf8ToWide(given, &wide) || wide.empty()) return given;
    DWORD units = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (units == 0) return given;
    std::wstring full((size_t)units, L'\0');
    units = GetFullPathNameW(wide.c_str(), units, &full[0], nullptr);
    if (units == 0 || units >= full.size()) return given;
    full.resize(units);
    std::string text = WideToUtf8(full);
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
