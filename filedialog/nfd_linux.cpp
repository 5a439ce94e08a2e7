// nfd_linux: the four dialog operations on a Linux desktop. The portal's chooser comes first,
// then zenity or kdialog; each call blocks until the chooser closes.
#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <dbus/dbus.h>

#include "filedialog/nfd_common.h"
#include "filedialog/nfd_linux.h"

static const char NFDi_ModuleName[] = "nfd_linux";

void NFDi_RecordErrorf(const char* format, ...) {
    char text[NFD_TEXT_CAPACITY];
    va_list args;
    va_start(args, format);
    int written = vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (written < 0) {
        NFDi_RecordError("The file chooser failed.");
        return;
    }
    if ((size_t)written >= sizeof text) {
        // Cut: drop a character whose bytes did not all fit.
        size_t len = sizeof text - 1;
        size_t start = len;
        while (start > 0 && ((unsigned char)text[start - 1] & 0xC0) == 0x80) --start;
        if (start > 0 && ((unsigned char)text[start - 1] & 0xC0) == 0xC0) {
            unsigned char lead = (unsigned char)text[start - 1];
            size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
            if (len - (start - 1) < need) text[start - 1] = '\0';
        }
    }
    NFDi_RecordError(text);
}

const char* NFDi_DialogTitle(NFDi_Mode mode) {
    switch (mode) {
    case NFDi_OPEN_FILE: return "Open";
    case NFDi_OPEN_FILES: return "Open";
    case NFDi_SAVE_FILE: return "Save As";
    case NFDi_CHOOSE_FOLDER: return "Select Folder";
    }
    return "Open";
}

std::string NFDi_CaseInsensitiveGlob(const std::string& pattern) {
    std::string glob;
    for (char ch : pattern) {
        if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z')) {
            char lower = (char)(ch | 0x20), upper = (char)(ch & ~0x20);
            glob += '[';
            glob += lower;
            glob += upper;
            glob += ']';
        } else if (ch == '[') {
            glob += "[[]";
        } else {
            glob += ch;
        }
    }
    return glob;
}

// A pattern list cut at 255 bytes may end inside a character. D-Bus refuses (and libdbus
// aborts on) text that is not UTF-8, so the partial character goes.
static void DropPartialCharacter(std::string& text) {
    size_t start = text.size();
    while (start > 0 && ((unsigned char)text[start - 1] & 0xC0) == 0x80) --start;
    if (start == 0) return;
    unsigned char lead = (unsigned char)text[start - 1];
    if (lead < 0xC0) return;
    size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (text.size() - (start - 1) < need) text.resize(start - 1);
}

static int AddFileType(void* context, size_t, const char* patternList) {
    std::vector<NFDi_FileType>& fileTypes = *static_cast<std::vector<NFDi_FileType>*>(context);
    NFDi_FileType type;
    type.name = patternList;
    DropPartialCharacter(type.name);
    size_t start = 0;
    for (size_t i = 0; i <= type.name.size(); ++i) {
        if (i == type.name.size() || type.name[i] == ';') {
            // A cut pattern list may end in a bare ';'; it adds no pattern.
            if (i > start) type.globs.push_back(NFDi_CaseInsensitiveGlob(type.name.substr(start, i - start)));
            start = i + 1;
        }
    }
    fileTypes.push_back(type);
    return 1;
}

bool NFDi_BuildFileTypes(const char* filters, std::vector<NFDi_FileType>& fileTypes) {
    fileTypes.clear();
    if (!filters || filters[0] == '\0') return true;
    // Names and patterns travel as D-Bus strings and as arguments of a GTK program.
    if (!dbus_validate_utf8(filters, NULL)) {
        NFDi_RecordError("The filter list is not valid UTF-8.");
        return false;
    }
    NFDi_TranslateFilterList(filters, AddFileType, &fileTypes);
    NFDi_FileType all;
    all.name = NFDi_ALL_FILES_PATTERN;
    all.globs.push_back("*");  // "*.*" would hide names without a dot here
    fileTypes.push_back(all);
    return true;
}

static int HexValue(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

bool NFDi_FileUriToPath(const char* uri, std::string& path) {
    if (strncasecmp(uri, "file://", 7) != 0) return false;
    const char* host = uri + 7;
    const char* slash = strchr(host, '/');
    if (!slash) return false;
    std::string hostName(host, slash);
    if (!hostName.empty() && strcasecmp(hostName.c_str(), "localhost") != 0) {
        char own[256] = {0};
        if (gethostname(own, sizeof own - 1) != 0 || strcasecmp(hostName.c_str(), own) != 0) return false;
    }
    std::string decoded;
    for (const char* p = slash; *p; ++p) {
        if (*p == '?' || *p == '#') return false;
        if (*p != '%') {
            decoded += *p;
            continue;
        }
        int high = HexValue(p[1]);
        int low = high < 0 ? -1 : HexValue(p[2]);
        if (low < 0) return false;
        char byte = (char)(high * 16 + low);
        if (byte == '\0' || byte == '/') return false;
        decoded += byte;
        p += 2;
    }
    path = decoded;
    return true;
}

// Fills `folder` with the absolute form of an existing default folder. A missing path is
// ignored (the chooser opens where the desktop likes); other unusable paths fail.
static bool ResolveDefaultFolder(const char* defaultPath, NFDi_Mode mode, std::string& folder) {
    folder.clear();
    if (!defaultPath || defaultPath[0] == '\0') return true;
    char* real = realpath(defaultPath, NULL);
    if (!real) {
        if (errno == ENOENT || errno == ENOTDIR) return true;
        NFDi_RecordError(mode == NFDi_CHOOSE_FOLDER ? "SetDefaultPath failed." : "Error creating ShellItem");
        return false;
    }
    struct stat info;
    if (stat(real, &info) == 0 && S_ISDIR(info.st_mode)) folder = real;
    free(real);
    return true;
}

static NFDResult Choose(NFDi_Mode mode, const char* filters, const char* defaultPath, std::vector<std::string>& paths,
                        const char* defaultName = NULL) {
    NFDi_Request request;
    request.mode = mode;
    if (defaultName && defaultName[0] != '\0') {
        // It travels as a D-Bus string and as part of a helper's argument, and is a name alone.
        if (strchr(defaultName, '/') || !dbus_validate_utf8(defaultName, NULL) || strcmp(defaultName, ".") == 0 ||
            strcmp(defaultName, "..") == 0) {
            NFDi_RecordError("The suggested file name is not a plain file name.");
            return NFD_RESULT_ERROR;
        }
        request.name = defaultName;
    }
    if (!ResolveDefaultFolder(defaultPath, mode, request.folder)) return NFD_RESULT_ERROR;
    if (!NFDi_BuildFileTypes(filters, request.fileTypes)) return NFD_RESULT_ERROR;

    NFDi_Outcome outcome = NFDi_PortalChoose(request, paths);
    if (outcome == NFDi_UNAVAILABLE) outcome = NFDi_HelperChoose(request, paths);
    switch (outcome) {
    case NFDi_CANCELLED: return NFD_RESULT_CANCELLED;
    case NFDi_FAILED: return NFD_RESULT_ERROR;
    case NFDi_UNAVAILABLE:
        NFDi_RecordError("No file chooser is available: install xdg-desktop-portal or zenity.");
        return NFD_RESULT_ERROR;
    case NFDi_CHOSEN: break;
    }
    if (paths.empty()) {
        NFDi_RecordError("The file chooser returned no path.");
        return NFD_RESULT_ERROR;
    }
    for (const std::string& path : paths) {
        if (path.empty() || path.find('\0') != std::string::npos) {
            NFDi_RecordError("The file chooser returned an unusable path.");
            return NFD_RESULT_ERROR;
        }
    }
    return NFD_RESULT_OK;
}

// Hands one chosen path to the caller: new text, or null when it could not be allocated.
static NFDResult HandOut(NFDResult result, const std::vector<std::string>& paths, char** chosenPath) {
    if (result != NFD_RESULT_OK) return result;
    char* copy = static_cast<char*>(NFDi_Malloc(paths[0].size() + 1));
    *chosenPath = copy;
    if (!copy) return NFD_RESULT_ERROR;
    memcpy(copy, paths[0].c_str(), paths[0].size() + 1);
    return NFD_RESULT_OK;
}

NFDResult NFD_OpenFile(const char* filters, const char* defaultPath, char** chosenPath) {
    NFDi_ASSERT(chosenPath);
    std::vector<std::string> paths;
    return HandOut(Choose(NFDi_OPEN_FILE, filters, defaultPath, paths), paths, chosenPath);
}

NFDResult NFD_SaveFile(const char* filters, const char* defaultPath, char** chosenPath) {
    NFDi_ASSERT(chosenPath);
    std::vector<std::string> paths;
    return HandOut(Choose(NFDi_SAVE_FILE, filters, defaultPath, paths), paths, chosenPath);
}

NFDResult NFD_SaveFileAs(const char* filters, const char* defaultPath, const char* defaultName, char** chosenPath) {
    NFDi_ASSERT(chosenPath);
    std::vector<std::string> paths;
    return HandOut(Choose(NFDi_SAVE_FILE, filters, defaultPath, paths, defaultName), paths, chosenPath);
}

NFDResult NFD_ChooseFolder(const char* defaultPath, char** chosenPath) {
    NFDi_ASSERT(chosenPath);
    std::vector<std::string> paths;
    return HandOut(Choose(NFDi_CHOOSE_FOLDER, NULL, defaultPath, paths), paths, chosenPath);
}

NFDResult NFD_OpenFiles(const char* filters, const char* defaultPath, NFDPathSet* chosenPaths) {
    NFDi_ASSERT(chosenPaths);
    std::vector<std::string> paths;
    NFDResult result = Choose(NFDi_OPEN_FILES, filters, defaultPath, paths);
    if (result != NFD_RESULT_OK) return result;

    size_t bufSize = 0;
    for (const std::string& path : paths) bufSize += path.size() + 1;
    size_t* offsets = static_cast<size_t*>(NFDi_Malloc(paths.size() * sizeof(size_t)));
    if (!offsets) return NFD_RESULT_ERROR;
    char* buffer = static_cast<char*>(NFDi_Malloc(bufSize));
    if (!buffer) {
        NFDi_FreeMemory(offsets);
        return NFD_RESULT_ERROR;
    }
    size_t index = 0;
    for (size_t i = 0; i < paths.size(); ++i) {
        offsets[i] = index;
        memcpy(buffer + index, paths[i].c_str(), paths[i].size() + 1);
        index += paths[i].size() + 1;
    }
    chosenPaths->buffer = buffer;
    chosenPaths->offsets = offsets;
    chosenPaths->count = paths.size();
    return NFD_RESULT_OK;
}
