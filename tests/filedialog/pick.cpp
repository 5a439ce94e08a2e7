// filedialog_pick MODE [DEFAULT [NAME]]: asks the desktop's chooser once (MODE: open, save,
// saveas with a suggested NAME, folder) and prints "result N", then "path P" when something
// was chosen, else "error E".
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "filedialog/nfd.h"

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const char* defaultPath = argc > 2 ? argv[2] : NULL;
    char* path = NULL;
    NFDResult result;
    if (strcmp(argv[1], "save") == 0) result = NFD_SaveFile("png,jpg", defaultPath, &path);
    else if (strcmp(argv[1], "saveas") == 0)
        result = NFD_SaveFileAs("png;jpg,jpeg", defaultPath, argc > 3 ? argv[3] : NULL, &path);
    else if (strcmp(argv[1], "folder") == 0) result = NFD_ChooseFolder(defaultPath, &path);
    else result = NFD_OpenFile("png,jpg", defaultPath, &path);
    printf("result %d\n", (int)result);
    if (result == NFD_RESULT_OK) printf("path %s\n", path);
    if (result == NFD_RESULT_ERROR) printf("error %s\n", NFD_LastError());
    free(path);
    return 0;
}
