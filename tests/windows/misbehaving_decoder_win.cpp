// misbehaving_decoder_win: stands in for vellumry-decode.exe in tests and goes wrong in the way
// the picture file (the inherited handle the program opened) says in its first word. It writes
// its process id to "<picture>.pid" first (the picture's path comes in the control block), so a
// test can check that nothing of it is left running.
//   crash     access violation            hang      never answers
//   silent    exits 0 without an answer   exit3     exits 3 without an answer
//   garbage   answers with a bad magic    bogus     claims success with a handle it does not have
//   small     hands over fewer pixels than it claims
//   oversized claims more pixels than any picture may have
//   linger    answers properly, then never exits
//   reserved  hands over a section whose pages were reserved, never committed (SEC_RESERVE)
//   partly    the same with only its first page committed
// and as a helper that a crafted file has taken over, which answers properly only if it got
// that far (the program must then report a failed decode):
//   spawn     starts a shell that creates "<picture>.made"
//   write     creates "<picture>.made" itself
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "picture/image_decoder_win_protocol.h"

static HANDLE Handle(const char* text) {
    return reinterpret_cast<HANDLE>(static_cast<uintptr_t>(strtoull(text, nullptr, 10)));
}

static LONG WINAPI EndOnCrash(EXCEPTION_POINTERS* info) {
    TerminateProcess(GetCurrentProcess(), info->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

int main(int argc, char** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(EndOnCrash);
    if (argc != 7) return 9;
    DecoderControl* control =
        static_cast<DecoderControl*>(MapViewOfFile(Handle(argv[3]), FILE_MAP_WRITE, 0, 0, sizeof(DecoderControl)));
    HANDLE ready = Handle(argv[4]);
    if (!control) return 9;

    static wchar_t path[32768], pidPath[32768 + 8];
    if (!MultiByteToWideChar(CP_UTF8, 0, control->Path, -1, path, 32768)) return 9;
    swprintf(pidPath, 32768 + 8, L"%ls.pid", path);
    if (FILE* pid = _wfopen(pidPath, L"w")) {
        fprintf(pid, "%lu\n", GetCurrentProcessId());
        fclose(pid);
    }
    char word[32] = "";
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(Handle(argv[6])), _O_RDONLY | _O_BINARY);
    FILE* file = descriptor >= 0 ? _fdopen(descriptor, "rb") : nullptr;
    if (!file || fscanf(file, "%31s", word) != 1) return 9;
    fclose(file);

    DecoderResult result;
    memset(&result, 0, sizeof result);
    result.Magic = DecoderResultMagic;
    result.Ok = 1;
    result.Width = result.Height = result.SourceWidth = result.SourceHeight = 16;
    const bool reserved = strcmp(word, "reserved") == 0 || strcmp(word, "partly") == 0;
    HANDLE pixels = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE | (reserved ? SEC_RESERVE : 0), 0,
                                       16 * 16 * 4, nullptr);
    result.Offset = static_cast<int64_t>(reinterpret_cast<uintptr_t>(pixels));
    if (strcmp(word, "partly") == 0) {
        void* view = MapViewOfFile(pixels, FILE_MAP_WRITE, 0, 0, 16 * 16 * 4);
        if (!view || !VirtualAlloc(view, 1, MEM_COMMIT, PAGE_READWRITE)) return 9;
    }

    static wchar_t made[32768 + 8];
    swprintf(made, 32768 + 8, L"%ls.made", path);
    if (strcmp(word, "write") == 0) {
        HANDLE file = CreateFileW(made, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 8;
        CloseHandle(file);
    }
    if (strcmp(word, "spawn") == 0) {
        static wchar_t command[32768 + 64];
        swprintf(command, 32768 + 64, L"cmd.exe /c type nul > \"%ls\"", made);
        STARTUPINFOW startup;
        memset(&startup, 0, sizeof startup);
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process;
        if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                            &process))
            return 8;
        WaitForSingleObject(process.hProcess, 30000);
    }

    if (strcmp(word, "crash") == 0) *static_cast<volatile int*>(nullptr) = 1;
    if (strcmp(word, "hang") == 0) Sleep(INFINITE);
    if (strcmp(word, "silent") == 0) return 0;
    if (strcmp(word, "exit3") == 0) return 3;
    if (strcmp(word, "garbage") == 0) result.Magic = 0x12345678;
    if (strcmp(word, "bogus") == 0) result.Offset = 0x7ff0;
    if (strcmp(word, "small") == 0) result.Width = result.Height = result.SourceWidth = result.SourceHeight = 64;
    if (strcmp(word, "oversized") == 0) result.Width = result.Height = 1 << 15;
    control->Result = result;
    SetEvent(ready);
    if (strcmp(word, "linger") == 0) Sleep(INFINITE);
    Sleep(5000);  // holds the pixels until the program has them (the program ends it sooner)
    return 0;
}
