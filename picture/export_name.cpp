// export_name: the naming rules of an export.
#include "picture/export_name.h"

#include <cstring>

const char* const ExportFilterList = "png;jpg,jpeg";

static bool IsSeparator(char ch) {
#ifdef _WIN32
    return ch == '/' || ch == '\\';
#else
    return ch == '/';
#endif
}

// Where the last component starts.
static size_t NameStart(const std::string& path) {
    for (size_t i = path.size(); i > 0; --i) {
        if (IsSeparator(path[i - 1])) return i;
    }
#ifdef _WIN32
    // "C:name" is "name" on drive C.
    if (path.size() >= 2 && path[1] == ':') return 2;
#endif
    return 0;
}

// The position of the extension's dot in the last component, or npos when it has none.
static size_t ExtensionDot(const std::string& path) {
    size_t start = NameStart(path);
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= start) return std::string::npos;
    return dot;
}

static std::string Lower(std::string text) {
    for (char& ch : text) {
        if (ch >= 'A' && ch <= 'Z') ch = (char)(ch - 'A' + 'a');
    }
    return text;
}

// The format of a path by its extension; false for any other extension or none.
static bool PictureFormatOfPath(const char* path, PictureFormat* format) {
    std::string text = path ? path : "";
    size_t dot = ExtensionDot(text);
    if (dot == std::string::npos) return false;
    std::string extension = Lower(text.substr(dot + 1));
    if (extension == "png") *format = PICTURE_PNG;
    else if (extension == "jpg" || extension == "jpeg") *format = PICTURE_JPEG;
    else return false;
    return true;
}

bool ResolveExportName(const char* chosenPath, ExportName* name, std::string* reason) {
    std::string path = chosenPath ? chosenPath : "";
    if (path.empty() || NameStart(path) == path.size()) {
        *reason = "No file name was given.";
        return false;
    }
    name->path = path;
    name->extensionAdded = false;
    size_t dot = ExtensionDot(path);
    if (dot == std::string::npos || dot + 1 == path.size()) {
        // No extension (or a bare closing dot): PNG, the format that loses nothing.
        name->path = dot == std::string::npos ? path + ".png" : path + "png";
        name->format = PICTURE_PNG;
        name->extensionAdded = true;
        return true;
    }
    if (PictureFormatOfPath(path.c_str(), &name->format)) return true;
    *reason = "\"." + path.substr(dot + 1) + "\" is not a format the picture can be exported in: "
              "choose PNG (.png) or JPEG (.jpg, .jpeg).";
    return false;
}

std::string SuggestedExportName(const char* picturePath) {
    std::string path = picturePath ? picturePath : "";
    size_t start = NameStart(path);
    size_t dot = ExtensionDot(path);
    std::string stem = path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    if (stem.empty()) stem = "picture";
    return stem + "-painted.png";
}

std::string PictureFolder(const char* picturePath) {
    std::string path = picturePath ? picturePath : "";
    size_t start = NameStart(path);
    if (start == 0) return std::string();
    size_t end = start;
    // Drop the separators between the folder and the name, but keep a root ("/", "C:\").
    while (end > 0 && IsSeparator(path[end - 1])) --end;
#ifdef _WIN32
    if (end == 2 && path[1] == ':') return path.substr(0, start == 2 ? 2 : 3);
#endif
    if (end == 0) return path.substr(0, 1);
    return path.substr(0, end);
}

std::string FileNameOfPath(const char* path) {
    std::string text = path ? path : "";
    return text.substr(NameStart(text));
}
