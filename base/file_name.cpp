#include "base/file_name.h"

#include "base/reason_text.h"

bool IsPathSeparator(char ch) {
#ifdef _WIN32
    return ch == '/' || ch == '\\';
#else
    return ch == '/';
#endif
}

size_t FileNameStart(const std::string& path) {
    for (size_t i = path.size(); i > 0; --i) {
        if (IsPathSeparator(path[i - 1])) return i;
    }
#ifdef _WIN32
    if (path.size() >= 2 && path[1] == ':') return 2;
#endif
    return 0;
}

std::string FileNameOfPath(const char* path) {
    const std::string text = path ? path : "";
    return text.substr(FileNameStart(text));
}

std::string DisplayFileName(const char* path) {
    std::string shown = FileNameOfPath(path);
    if (shown.empty() && path) shown = path;
    CleanReasonText(&shown[0]);
    return shown;
}
