// export_name: the naming rules of an export.
#include "picture/export_name.h"

#include <cstring>

#include "base/file_name.h"
#include "base/reason_text.h"

const char* const ExportFilterList = "png;jpg,jpeg";

// The position of the extension's dot in the last component, or npos when it has none.
static size_t ExtensionDot(const std::string& path) {
    size_t start = FileNameStart(path);
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
    if (path.empty() || FileNameStart(path) == path.size()) {
        *reason = "No file name was given.";
        return false;
    }
    name->Path = path;
    name->ExtensionAdded = false;
    size_t dot = ExtensionDot(path);
    if (dot == std::string::npos || dot + 1 == path.size()) {
        // No extension (or a bare closing dot): PNG, the format that loses nothing.
        name->Path = dot == std::string::npos ? path + ".png" : path + "png";
        name->Format = PICTURE_PNG;
        name->ExtensionAdded = true;
        return true;
    }
    if (PictureFormatOfPath(path.c_str(), &name->Format)) return true;
    *reason = "\"." + path.substr(dot + 1) +
              "\" is not a format the picture can be exported in: "
              "choose PNG (.png) or JPEG (.jpg, .jpeg).";
    return false;
}

std::string SuggestedExportName(const char* picturePath) {
    std::string path = picturePath ? picturePath : "";
    size_t start = FileNameStart(path);
    size_t dot = ExtensionDot(path);
    std::string stem = path.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    if (stem.empty()) stem = "picture";
    // The chooser refuses a name that is not well-formed UTF-8 (a Latin-1 name from an old
    // disk); '_' stands in for each stray byte, being valid in a name everywhere.
    ReplaceUnfitBytes(&stem[0], '_');
    return stem + "-painted.png";
}

std::string PictureFolder(const char* picturePath) {
    std::string path = picturePath ? picturePath : "";
    size_t start = FileNameStart(path);
    if (start == 0) return std::string();
    size_t end = start;
    // Drop the separators between the folder and the name, but keep a root ("/", "C:\").
    while (end > 0 && IsPathSeparator(path[end - 1])) --end;
#ifdef _WIN32
    if (end == 2 && path[1] == ':') return path.substr(0, start == 2 ? 2 : 3);
#endif
    if (end == 0) return path.substr(0, 1);
    return path.substr(0, end);
}
