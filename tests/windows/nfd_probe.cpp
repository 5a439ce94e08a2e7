// nfd_probe: calls one dialog operation and prints what came back, for dialog_test.py, which
// answers the real shell dialog with xdotool.
//   nfd_probe open|files|save|folder [FILTERS|-] [DEFAULT PATH]
//   nfd_probe saveas FILTERS|- DEFAULT PATH|- NAME
// Output (UTF-8 lines): "result=N", then "path=..." for each path, "untouched=1" when the
// output pointer kept its preset null, and "error=..." with the last-error text. The error
// text is preset to "earlier message", to show what a call leaves in place.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <windows.h>
#include <shellapi.h>

#include "filedialog/nfd.h"
#include "filedialog/nfd_common.h"

// mingw's main gets its arguments in the ANSI code page; the interface takes UTF-8.
static std::vector<std::string> Utf8Arguments() {
    std::vector<std::string> args;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 0; i < count; ++i) {
        int bytes = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string text(static_cast<size_t>(bytes), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, &text[0], bytes, nullptr, nullptr);
        text.resize(static_cast<size_t>(bytes) - 1);
        args.push_back(text);
    }
    LocalFree(wide);
    return args;
}

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<std::string> utf8 = Utf8Arguments();
    std::vector<char*> pointers;
    for (std::string& arg : utf8) pointers.push_back(&arg[0]);
    argc = static_cast<int>(pointers.size());
    argv = pointers.data();
    if (argc < 2) {
        fprintf(stderr, "usage: nfd_probe open|files|save|folder [FILTERS|-] [DEFAULT PATH]\n");
        return 2;
    }
    const char* op = argv[1];
    const char* filters = argc > 2 && strcmp(argv[2], "-") != 0 ? argv[2] : nullptr;
    const char* defaultPath = argc > 3 && strcmp(argv[3], "-") != 0 ? argv[3] : nullptr;
    NFDi_RecordError("earlier message");

    char* chosen = nullptr;
    NFDPathSet set;
    NFDResult result;
    if (strcmp(op, "open") == 0) {
        result = NFD_OpenFile(filters, defaultPath, &chosen);
    } else if (strcmp(op, "save") == 0) {
        result = NFD_SaveFile(filters, defaultPath, &chosen);
    } else if (strcmp(op, "saveas") == 0) {
        result = NFD_SaveFileAs(filters, defaultPath, argc > 4 ? argv[4] : nullptr, &chosen);
    } else if (strcmp(op, "folder") == 0) {
        result = NFD_ChooseFolder(defaultPath, &chosen);
    } else if (strcmp(op, "files") == 0) {
        result = NFD_OpenFiles(filters, defaultPath, &set);
    } else {
        return 2;
    }
    printf("result=%d\n", static_cast<int>(result));
    if (strcmp(op, "files") == 0) {
        if (result == NFD_RESULT_OK) {
            printf("first_offset=%zu\n", set.offsets[0]);
            for (size_t i = 0; i < NFD_PathSetCount(&set); ++i) printf("path=%s\n", NFD_PathSetPath(&set, i));
            NFD_PathSetRelease(&set);
        }
    } else if (chosen) {
        printf("path=%s\n", chosen);
        free(chosen);
    } else {
        printf("untouched=1\n");
    }
    printf("error=%s\n", NFD_LastError());
    fflush(stdout);
    return 0;
}
