// image_decoder on Windows: the same client as on Linux (picture/image_decoder.h) with Windows
// process calls. The picture is opened here (CreateFileW) and checked with GetFileType and
// GetFileInformationByHandle; each decode then starts a fresh vellumry-decode.exe that inherits
// that open file, with a restricted, low-integrity token (picture/decoder_token_win.h), inside a
// job object that caps its memory, lets it start no process and kills it if the program goes
// away. The result record comes back through a small shared file mapping, signalled by an event
// that each frame looks at without waiting; the pixels come back in a file mapping of the
// helper's, duplicated into this process and mapped read-only, so they cross without a copy. A
// helper that overruns the time limit, or whose decode is given up, is ended with
// TerminateProcess.
#include "picture/image_decoder.h"

#include <windows.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "picture/decode_wait.h"
#include "picture/decoder_token_win.h"
#include "picture/image_decoder_win_protocol.h"
#include "base/reason_text.h"

const char* ImageDecoderPath = nullptr;
int ImageDecoderTimeLimitMs = 20000;
long long ImageDecoderMemoryLimit = 3LL << 30;

// The helper's own code, stack and C runtime fit well inside this beside its decoding memory.
static const long long HelperOverhead = 256LL << 20;

static bool Fail(char* reason, size_t reasonSize, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(reason, reasonSize, format, args);
    va_end(args);
    return false;
}

static bool HelperBesideProgram(wchar_t* path, DWORD size) {
    DWORD length = GetModuleFileNameW(nullptr, path, size);
    if (length == 0 || length >= size) return false;
    wchar_t* slash = wcsrchr(path, L'\\');
    static const wchar_t name[] = L"vellumry-decode.exe";
    if (!slash || size_t(slash + 1 - path) + sizeof name / sizeof name[0] > size) return false;
    memcpy(slash + 1, name, sizeof name);
    return true;
}

// Text for the exit status of a helper that did not deliver.
static void DescribeExit(DWORD code, char* text, size_t size) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION: snprintf(text, size, "access violation"); break;
    case EXCEPTION_STACK_OVERFLOW: snprintf(text, size, "stack overflow"); break;
    case EXCEPTION_ILLEGAL_INSTRUCTION: snprintf(text, size, "illegal instruction"); break;
    case EXCEPTION_INT_DIVIDE_BY_ZERO: snprintf(text, size, "division by zero"); break;
    case 0xC0000409: snprintf(text, size, "stack buffer overrun"); break;
    case 0xC0000374: snprintf(text, size, "heap corruption"); break;
    default: snprintf(text, size, "exit status 0x%08lX", static_cast<unsigned long>(code)); break;
    }
}

struct PictureDecode {
    HANDLE Control, Ready, Taken, Job, Process;
    DecoderControl* Shared;
    ULONGLONG Deadline;  // GetTickCount64
    int LargestSide;
};

static void FreeDecode(PictureDecode* decode) {
    if (decode->Shared) UnmapViewOfFile(decode->Shared);
    HANDLE all[] = {decode->Process, decode->Job, decode->Taken, decode->Ready, decode->Control};
    for (HANDLE handle : all)
        if (handle) CloseHandle(handle);
    delete decode;
}

// ---- Helpers that were ended and are still to go (decode_wait.h) ----

bool HelperProcessGone(HelperProcess helper) {
    if (WaitForSingleObject(static_cast<HANDLE>(helper), 0) != WAIT_OBJECT_0) return false;
    CloseHandle(static_cast<HANDLE>(helper));
    return true;
}

void AwaitHelperProcess(HelperProcess helper, int waitMs) {
    WaitForSingleObject(static_cast<HANDLE>(helper), DWORD(waitMs > 0 ? waitMs : 0));
}

// Ends a helper; its process handle is kept until the process is gone. Never waits. What the
// helper might start stays in its job, which kills it when the program goes.
static void EndHelper(PictureDecode* decode) {
    TerminateProcess(decode->Process, 1);
    KeepEndedHelper(decode->Process);
    decode->Process = nullptr;
}

// ---- Opening the file ----

// Opens the picture once and checks what it is; the helper inherits this very handle, so what
// was checked is what is decoded. Folders open too (backup semantics), to be named as such.
static HANDLE OpenPictureFile(const char* path, char* reason, size_t reasonSize) {
    static wchar_t wide[32768];
    if (!MultiByteToWideChar(CP_UTF8, 0, path, -1, wide, 32768)) {
        Fail(reason, reasonSize, "the path is too long");
        return INVALID_HANDLE_VALUE;
    }
    HANDLE file = CreateFileW(wide, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: Fail(reason, reasonSize, "%s", strerror(ENOENT)); break;
        case ERROR_ACCESS_DENIED: Fail(reason, reasonSize, "%s", strerror(EACCES)); break;
        case ERROR_PIPE_BUSY: Fail(reason, reasonSize, "it is a named pipe, not a file"); break;
        default: Fail(reason, reasonSize, "could not open it (error %lu)", error); break;
        }
        return INVALID_HANDLE_VALUE;
    }
    const char* refusal = nullptr;
    BY_HANDLE_FILE_INFORMATION info;
    switch (GetFileType(file)) {
    case FILE_TYPE_DISK:
        if (!GetFileInformationByHandle(file, &info)) refusal = "could not read what it is";
        else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) refusal = "it is a folder, not a file";
        else if (info.nFileSizeHigh == 0 && info.nFileSizeLow == 0) refusal = "the file is empty";
        break;
    case FILE_TYPE_PIPE: refusal = "it is a named pipe, not a file"; break;
    case FILE_TYPE_CHAR: refusal = "it is a device, not a file"; break;
    default: refusal = "it is not a regular file"; break;
    }
    if (refusal) {
        Fail(reason, reasonSize, "%s", refusal);
        CloseHandle(file);
        return INVALID_HANDLE_VALUE;
    }
    return file;
}

// ---- The decode ----

static HANDLE CreateInheritableEvent() {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateEventW(&inherit, TRUE, FALSE, nullptr);
}

// The job: the helper's memory limit, no process but the helper itself, no error boxes, and
// death with the program (the job handle closes when this process ends, however it ends).
static HANDLE CreateHelperJob() {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (!job) return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    memset(&limits, 0, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_PROCESS_MEMORY | JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE |
                                              JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION |
                                              JOB_OBJECT_LIMIT_ACTIVE_PROCESS;
    limits.BasicLimitInformation.ActiveProcessLimit = 1;
    limits.ProcessMemoryLimit = SIZE_T(ImageDecoderMemoryLimit + HelperOverhead);
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    return job;
}

static unsigned long long HandleNumber(HANDLE handle) {
    return static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handle));
}

static bool StartHelper(const wchar_t* helper, HANDLE file, PictureDecode* decode, char* reason, size_t reasonSize) {
    static wchar_t commandLine[32768 + 160];
    _snwprintf(commandLine, sizeof commandLine / sizeof commandLine[0], L"\"%ls\" %lld %d %llu %llu %llu %llu", helper,
               ImageDecoderMemoryLimit, decode->LargestSide, HandleNumber(decode->Control), HandleNumber(decode->Ready),
               HandleNumber(decode->Taken), HandleNumber(file));
    commandLine[sizeof commandLine / sizeof commandLine[0] - 1] = 0;
    STARTUPINFOEXW startup;
    memset(&startup, 0, sizeof startup);
    startup.StartupInfo.cb = sizeof startup.StartupInfo;
    // Only these four handles reach the helper, whatever else of ours is inheritable.
    HANDLE inherited[4] = {decode->Control, decode->Ready, decode->Taken, file};
    alignas(8) unsigned char attributeSpace[256];
    SIZE_T attributeSize = sizeof attributeSpace;
    DWORD flags = CREATE_SUSPENDED | CREATE_NO_WINDOW;
    LPPROC_THREAD_ATTRIBUTE_LIST attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributeSpace);
    if (InitializeProcThreadAttributeList(attributes, 1, 0, &attributeSize)) {
        if (UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited, sizeof inherited,
                                      nullptr, nullptr)) {
            startup.lpAttributeList = attributes;
            startup.StartupInfo.cb = sizeof startup;
            flags |= EXTENDED_STARTUPINFO_PRESENT;
        }
    } else {
        attributes = nullptr;
    }
    PROCESS_INFORMATION process;
    memset(&process, 0, sizeof process);
    // Suspended until it is in the job, so it never runs outside the limits.
    BOOL started = FALSE;
    if (HANDLE token = DecoderToken()) {
        started = CreateProcessAsUserW(token, helper, commandLine, nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                                       &startup.StartupInfo, &process);
        if (!started) DropDecoderToken("CreateProcessAsUserW", GetLastError());
    }
    if (!started) {
        started = CreateProcessW(helper, commandLine, nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                                 &startup.StartupInfo, &process);
    }
    DWORD error = GetLastError();
    if (attributes) DeleteProcThreadAttributeList(attributes);
    if (!started) return Fail(reason, reasonSize, "could not start the decoder (error %lu)", error);
    decode->Process = process.hProcess;
    if (!AssignProcessToJobObject(decode->Job, process.hProcess)) {
        error = GetLastError();
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
        CloseHandle(process.hThread);
        return Fail(reason, reasonSize, "could not limit the decoder (error %lu)", error);
    }
    ResumeThread(process.hThread);
    CloseHandle(process.hThread);
    return true;
}

PictureDecode* StartPictureDecode(const char* path, int largestSide, char* reason, size_t reasonSize) {
    if (reasonSize > 0) reason[0] = 0;
    ReapEndedDecoders(0);
    static wchar_t helper[32768];
    if (ImageDecoderPath) {
        if (!MultiByteToWideChar(CP_UTF8, 0, ImageDecoderPath, -1, helper, 32768)) {
            Fail(reason, reasonSize, "could not find the decoder %s", ImageDecoderPath);
            return nullptr;
        }
    } else if (!HelperBesideProgram(helper, 32768)) {
        Fail(reason, reasonSize, "could not find the decoder beside the program");
        return nullptr;
    }
    size_t pathBytes = strlen(path) + 1;
    if (pathBytes > sizeof(DecoderControl::Path)) {
        Fail(reason, reasonSize, "the path is too long");
        return nullptr;
    }
    HANDLE file = OpenPictureFile(path, reason, reasonSize);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    SetHandleInformation(file, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);

    PictureDecode* decode = new PictureDecode;
    memset(decode, 0, sizeof *decode);
    decode->LargestSide = largestSide;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    decode->Control =
        CreateFileMappingW(INVALID_HANDLE_VALUE, &inherit, PAGE_READWRITE, 0, sizeof(DecoderControl), nullptr);
    decode->Ready = CreateInheritableEvent();
    decode->Taken = CreateInheritableEvent();
    decode->Job = CreateHelperJob();
    if (decode->Control)
        decode->Shared =
            static_cast<DecoderControl*>(MapViewOfFile(decode->Control, FILE_MAP_WRITE, 0, 0, sizeof(DecoderControl)));
    bool started = false;
    if (!decode->Shared || !decode->Ready || !decode->Taken || !decode->Job) {
        Fail(reason, reasonSize, "could not set up the decoder (error %lu)", GetLastError());
    } else {
        memcpy(decode->Shared->Path, path, pathBytes);
        started = StartHelper(helper, file, decode, reason, reasonSize);
    }
    CloseHandle(file);  // the helper has its own now
    if (!started) {
        FreeDecode(decode);
        return nullptr;
    }
    decode->Deadline = GetTickCount64() + ULONGLONG(ImageDecoderTimeLimitMs);
    return decode;
}

// Whether every page of a view is backed. A section made with SEC_RESERVE maps whole, but its
// pages that were never committed fault when read; committed pages of a section cannot be
// decommitted, so what is checked here stays true for the view's life.
static bool Committed(const void* view, size_t bytes) {
    const unsigned char* at = static_cast<const unsigned char*>(view);
    const unsigned char* end = at + bytes;
    while (at < end) {
        MEMORY_BASIC_INFORMATION region;
        if (VirtualQuery(at, &region, sizeof region) != sizeof region || region.State != MEM_COMMIT) return false;
        at = static_cast<const unsigned char*>(region.BaseAddress) + region.RegionSize;
    }
    return true;
}

// Judges the record of a helper that said it is ready; maps the pixels when all is well.
static bool TakeAnswer(PictureDecode* decode, DecodedPicture* picture, char* reason, size_t reasonSize) {
    DecoderResult result = decode->Shared->Result;  // a copy: the helper may still write
    if (result.Magic != DecoderResultMagic) return Fail(reason, reasonSize, "the decoder gave no answer");
    if (result.Ok != 1) {
        result.Reason[sizeof result.Reason - 1] = 0;
        CleanReasonText(result.Reason);
        return Fail(reason, reasonSize, "%s", result.Reason[0] ? result.Reason : "the decoder gave no reason");
    }
    // Trust nothing in the record that could make us read outside the pixels' mapping, or leave
    // work the size of the file's claim to this thread: the view is exactly the size the record
    // claims, mapping fails if the section is smaller, and the pixels must already fit.
    int64_t bytes = int64_t(result.Width) * result.Height * 4;
    const int largest = decode->LargestSide;
    bool sane = result.Width > 0 && result.Height > 0 && int64_t(result.Width) * result.Height <= MaxPicturePixels &&
                (largest <= 0 || (result.Width <= largest && result.Height <= largest)) &&
                result.SourceWidth >= result.Width && result.SourceHeight >= result.Height;
    HANDLE pixels = nullptr;
    if (sane) {
        HANDLE theirs = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(result.Offset));
        if (!DuplicateHandle(decode->Process, theirs, GetCurrentProcess(), &pixels, FILE_MAP_READ, FALSE, 0))
            pixels = nullptr;
    }
    SetEvent(decode->Taken);
    if (!pixels) return Fail(reason, reasonSize, "the decoder's answer was malformed");
    void* mapping = MapViewOfFile(pixels, FILE_MAP_READ, 0, 0, SIZE_T(bytes));
    CloseHandle(pixels);  // the view keeps the pixels alive on its own
    if (!mapping) return Fail(reason, reasonSize, "could not map the decoded picture (error %lu)", GetLastError());
    if (!Committed(mapping, size_t(bytes))) {
        UnmapViewOfFile(mapping);
        return Fail(reason, reasonSize, "the decoder's answer was malformed");
    }
    picture->Pixels = static_cast<const unsigned char*>(mapping);
    TakeAnswerFields(result, picture);
    picture->Mapping = mapping;
    picture->MappingSize = size_t(bytes);
    return true;
}

DecodeState PollPictureDecode(PictureDecode* decode, int waitMs, DecodedPicture* picture, char* reason,
                              size_t reasonSize) {
    memset(picture, 0, sizeof *picture);
    if (reasonSize > 0) reason[0] = 0;
    ReapEndedDecoders(0);
    ULONGLONG now = GetTickCount64();
    ULONGLONG left = decode->Deadline > now ? decode->Deadline - now : 0;
    DWORD wait = DWORD(waitMs <= 0 ? 0 : ULONGLONG(waitMs) < left ? ULONGLONG(waitMs) : left);
    // The record or the helper's end, whichever comes first.
    HANDLE waitFor[2] = {decode->Ready, decode->Process};
    DWORD woke = WaitForMultipleObjects(2, waitFor, FALSE, wait);
    bool ok = false;
    if (woke == WAIT_OBJECT_0) {
        ok = TakeAnswer(decode, picture, reason, reasonSize);
        // Its work is done (the pixels are ours now, or there are none): it need not linger.
        EndHelper(decode);
    } else if (woke == WAIT_OBJECT_0 + 1) {
        // Ended without a record: it crashed, or a limit stopped it.
        DWORD code = 0;
        GetExitCodeProcess(decode->Process, &code);
        char text[64];
        DescribeExit(code, text, sizeof text);
        if (code >= 0xC0000000) Fail(reason, reasonSize, "the decoder stopped (%s)", text);
        else Fail(reason, reasonSize, "the decoder failed (%s)", text);
    } else if (GetTickCount64() < decode->Deadline) {
        return DECODE_RUNNING;
    } else {
        EndHelper(decode);
        Fail(reason, reasonSize, "took too long (more than %g s)", ImageDecoderTimeLimitMs / 1000.0);
    }
    FreeDecode(decode);
    return ok ? DECODE_DONE : DECODE_FAILED;
}

void CancelPictureDecode(PictureDecode* decode) {
    if (!decode) return;
    EndHelper(decode);
    FreeDecode(decode);
}

// A view of a section cannot give back part of its pages: they go with the release.
// The Windows helper hands over its pixels whole, at the end.
void HandBackEarlyRows(PictureDecode*, int) {}

bool PeekDecodedRows(PictureDecode*, DecodedRows* rows) {
    memset(rows, 0, sizeof *rows);
    return false;
}

void ReleaseDecodedRows(DecodedPicture*, int) {}

void ReleaseDecodedPicture(DecodedPicture* picture) {
    if (picture->Mapping) UnmapViewOfFile(picture->Mapping);
    memset(picture, 0, sizeof *picture);
}
