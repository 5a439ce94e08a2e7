// config_folder: getenv, mkdir, stat and opendir on Linux; their wide-character counterparts on
// Windows.
#include "settings/config_folder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/file_name.h"
#include "picture/safe_file.h"

#ifdef _WIN32
#include <windows.h>

#include "picture/file_paths.h"
#else
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
constexpr char Separator = '\\';

std::string SystemReason(DWORD code) {
    wchar_t* text = nullptr;
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, (wchar_t*)&text, 0, nullptr);
    std::string reason = length ? WideToUtf8(std::wstring(text, length)) : "Error " + std::to_string(code);
    if (text) LocalFree(text);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.')) {
        reason.pop_back();
    }
    return reason;
}
#else
constexpr char Separator = '/';
#endif

bool EndsWithIgnoringCase(const std::string& text, const char* suffix) {
    size_t length = strlen(suffix);
    if (text.size() < length) return false;
    for (size_t i = 0; i < length; ++i) {
        char a = text[text.size() - length + i], b = suffix[i];
        if (a >= 'A' && a <= 'Z') a = char(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z') b = char(b - 'A' + 'a');
        if (a != b) return false;
    }
    return true;
}

std::string TooLargeReason(size_t limit) {
    return "The file is too large (more than " + std::to_string(limit / 1024) + " KiB)";
}

}  // namespace

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (IsPathSeparator(folder.back())) return folder + name;
    return folder + Separator + name;
}

std::string FolderOfPath(const std::string& path) {
    size_t start = FileNameStart(path);
    if (start == 0) return std::string();
    size_t end = start;
    // "/" stays "/" rather than becoming "".
    while (end > 1 && IsPathSeparator(path[end - 1])) --end;
    return path.substr(0, end);
}

#ifdef _WIN32

std::string ConfigFolder() {
    const wchar_t* appData = _wgetenv(L"APPDATA");
    if (!appData || !*appData) return std::string();
    return JoinPath(WideToUtf8(appData), "Vellumry");
}

bool MakeFolders(const std::string& path, std::string* reason) {
    std::wstring wide;
    if (!Utf8ToWide(path, &wide) || wide.empty()) {
        *reason = "The folder's name is not valid";
        return false;
    }
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) return true;
        *reason = "A file stands where the folder should be";
        return false;
    }
    std::string parent = FolderOfPath(path);
    // A drive's root ("C:\") or a share exists or does not; it is never made here.
    if (!parent.empty() && parent != path && !(parent.size() <= 3 && parent.find(':') != std::string::npos)) {
        if (!MakeFolders(parent, reason)) return false;
    }
    if (!CreateDirectoryW(wide.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        *reason = SystemReason(GetLastError());
        return false;
    }
    return true;
}

bool ReadSmallFile(const std::string& path, size_t limit, std::string* bytes, std::string* reason) {
    bytes->clear();
    std::wstring wide;
    if (!Utf8ToWide(path, &wide) || wide.empty()) {
        *reason = "The file's name is not valid";
        return false;
    }
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *reason = SystemReason(GetLastError());
        return false;
    }
    LARGE_INTEGER size;
    bool ok = GetFileSizeEx(file, &size) != 0;
    if (!ok) {
        *reason = SystemReason(GetLastError());
    } else if ((unsigned long long)size.QuadPart > limit) {
        *reason = TooLargeReason(limit);
        ok = false;
    } else {
        bytes->resize((size_t)size.QuadPart);
        DWORD got = 0;
        if (!bytes->empty() &&
            (!ReadFile(file, &(*bytes)[0], (DWORD)bytes->size(), &got, nullptr) || got != bytes->size())) {
            *reason = "The file could not be read whole";
            bytes->clear();
            ok = false;
        }
    }
    CloseHandle(file);
    return ok;
}

bool RemoveFile(const std::string& path, std::string* reason) {
    std::wstring wide;
    if (!Utf8ToWide(path, &wide) || wide.empty() || !DeleteFileW(wide.c_str())) {
        *reason = wide.empty() ? std::string("The file's name is not valid") : SystemReason(GetLastError());
        return false;
    }
    return true;
}

std::vector<std::string> FilesInFolder(const std::string& folder, const char* suffix) {
    std::vector<std::string> names;
    std::wstring pattern;
    if (!Utf8ToWide(JoinPath(folder, "*"), &pattern)) return names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        std::string name = WideToUtf8(found.cFileName);
        if (name.empty() || name[0] == '.' || !EndsWithIgnoringCase(name, suffix)) continue;
        names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

#else

std::string ConfigFolder() {
    const char* configHome = getenv("XDG_CONFIG_HOME");
    if (configHome && configHome[0] == '/') return JoinPath(configHome, "vellumry");
    const char* home = getenv("HOME");
    if (!home || home[0] != '/') {
        struct passwd* user = getpwuid(getuid());
        home = user ? user->pw_dir : nullptr;
    }
    if (!home || home[0] != '/') return std::string();
    return JoinPath(JoinPath(home, ".config"), "vellumry");
}

bool MakeFolders(const std::string& path, std::string* reason) {
    if (path.empty()) {
        *reason = "No folder was named";
        return false;
    }
    struct stat status;
    if (stat(path.c_str(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) return true;
        *reason = "A file stands where the folder should be";
        return false;
    }
    std::string parent = FolderOfPath(path);
    if (!parent.empty() && parent != path && !MakeFolders(parent, reason)) return false;
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        *reason = strerror(errno);
        return false;
    }
    return true;
}

bool ReadSmallFile(const std::string& path, size_t limit, std::string* bytes, std::string* reason) {
    bytes->clear();
    // O_NONBLOCK: a named pipe in the folder must not hold the program at its start.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        *reason = strerror(errno);
        return false;
    }
    struct stat status;
    bool ok = fstat(fd, &status) == 0;
    if (!ok) {
        *reason = strerror(errno);
    } else if (!S_ISREG(status.st_mode)) {
        *reason = "Not a regular file";
        ok = false;
    } else if ((unsigned long long)status.st_size > limit) {
        *reason = TooLargeReason(limit);
        ok = false;
    }
    // Read to the end, not to the size stat gave: a file may change while it is read.
    char chunk[16384];
    while (ok) {
        ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            *reason = strerror(errno);
            ok = false;
        } else if (got == 0) {
            break;
        } else if (bytes->size() + (size_t)got > limit) {
            *reason = TooLargeReason(limit);
            ok = false;
        } else {
            bytes->append(chunk, (size_t)got);
        }
    }
    close(fd);
    if (!ok) bytes->clear();
    return ok;
}

bool RemoveFile(const std::string& path, std::string* reason) {
    if (unlink(path.c_str()) != 0) {
        *reason = strerror(errno);
        return false;
    }
    return true;
}

std::vector<std::string> FilesInFolder(const std::string& folder, const char* suffix) {
    std::vector<std::string> names;
    DIR* listing = opendir(folder.c_str());
    if (!listing) return names;
    while (struct dirent* entry = readdir(listing)) {
        std::string name = entry->d_name;
        if (name.empty() || name[0] == '.' || !EndsWithIgnoringCase(name, suffix)) continue;
        struct stat status;
        if (stat(JoinPath(folder, name).c_str(), &status) != 0 || !S_ISREG(status.st_mode)) continue;
        names.push_back(name);
    }
    closedir(listing);
    std::sort(names.begin(), names.end());
    return names;
}

#endif

bool WriteFileSafely(const std::string& path, const std::string& bytes, std::string* reason) {
    std::string folder = FolderOfPath(path);
    if (!folder.empty() && !MakeFolders(folder, reason)) return false;
    SafeFile file;
    if (!SafeFileOpen(&file, path.c_str())) {
        *reason = file.reason;
        return false;
    }
    if (!SafeFileWrite(&file, bytes.data(), bytes.size())) {
        *reason = file.reason;
        SafeFileAbandon(&file);
        return false;
    }
    if (!SafeFileCommit(&file)) {
        *reason = file.reason;
        return false;
    }
    return true;
}
