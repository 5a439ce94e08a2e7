// nfd_probe: calls one dialog operation and prints what came back, for dialog_test.py, which
// answers the real shell dialog with xdotool.
//   nfd_probe open|files|save|folder [FILTERS|-] [DEFAULT PATH]
// Output (UTF-8 lines): "result=N", then "path=..." for each path, "untouched=1" when the
// output pointer kept its preset null, and "error=..." with the last-error text. The error
// text is preset to "earlier message", to show what a call leaves in place.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "filedialog/nfd.h"
#include "filedialog/nfd_common.h"

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc < 2) {
        fprintf(stderr, "usage: nfd_probe open|files|save|folder [FILTERS|-] [DEFAULT PATH]\n");
        return 2;
    }
    const char* op = argv[1];
    const char* filters = argc > 2 && strcmp(argv[2], "-") != 0 ? argv[2] : nullptr;
    const char* defaultPath = argc > 3 ? argv[3] : nullptr;
    NFDi_RecordError("earlier message");

    char* chosen = nullptr;
    NFDPathSet set;
    NFDResult result;
    if (strcmp(op, "open") == 0) {
        result = NFD_OpenFile(filters, defaultPath, &chosen);
    } else if (strcmp(op, "save") == 0) {
        result = NFD_SaveFile(filters, defaultPath, &chosen);
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
