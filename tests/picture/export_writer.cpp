// export_writer: exports a test picture through the real export job, for the tests that need
// a separate process (another user, a file-size limit, a kill in the middle).
//   export_writer [--named] [--jpeg] [--slow] PATH WIDTH HEIGHT
// --named: a named temporary file even where unnamed ones work; --slow: the slowest PNG
// setting, so a test has time to act while it encodes.
// Prints "half" once half the rows are encoded, then "done" or "failed: REASON"; exit status
// 0 when the file is in place, 1 when the export failed, 2 for bad arguments.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <png.h>

#include "picture/export_job.h"
#include "picture/safe_file.h"
#include "tests/picture/test_pictures.h"

#ifdef _WIN32
#include <windows.h>
// mingw's main gets its arguments in the ANSI code page; paths here are UTF-8.
static std::vector<std::string> Utf8Arguments() {
    std::vector<std::string> args;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 0; i < count; ++i) {
        int bytes = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string text((size_t)bytes, '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, &text[0], bytes, nullptr, nullptr);
        text.resize((size_t)bytes - 1);
        args.push_back(text);
    }
    LocalFree(wide);
    return args;
}
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
    static std::vector<std::string> utf8 = Utf8Arguments();
    static std::vector<char*> pointers;
    for (std::string& arg : utf8) pointers.push_back(&arg[0]);
    argc = (int)pointers.size();
    argv = pointers.data();
#endif
    PictureFormat format = PICTURE_PNG;
    int arg = 1;
    for (; arg < argc && strncmp(argv[arg], "--", 2) == 0; ++arg) {
        if (strcmp(argv[arg], "--named") == 0) {
            SafeFileAvoidUnnamed = true;
        } else if (strcmp(argv[arg], "--jpeg") == 0) {
            format = PICTURE_JPEG;
        } else if (strcmp(argv[arg], "--slow") == 0) {
            PictureExportSettings.PngZlibLevel = 9;
            PictureExportSettings.PngFilters = PNG_ALL_FILTERS;
        } else {
            return 2;
        }
    }
    if (argc - arg != 3) return 2;
    int width = atoi(argv[arg + 1]), height = atoi(argv[arg + 2]);
    std::string reason;
    if (!StartPictureExport(argv[arg], format, MakeTestPicture(width, height, 4, 5), width, height, 4, &reason)) {
        printf("failed: %s\n", reason.c_str());
        return 1;
    }
    bool half = false;
    for (;;) {
        ExportStatus status = PollPictureExport();
        if (status.State == EXPORT_RUNNING) {
            if (!half && status.Progress >= 0.5f) {
                half = true;
                printf("half\n");
                fflush(stdout);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        if (status.State == EXPORT_SUCCEEDED) {
            printf("done\n");
            return 0;
        }
        printf("failed: %s\n", status.Reason.c_str());
        return 1;
    }
}
