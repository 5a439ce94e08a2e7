// image_decoder on Windows: the same client as on Linux (picture/image_decoder.h) with Windows
// process calls. Each decode starts a fresh vellumry-decode.exe (CreateProcessW) inside a job
// object that caps its memory and kills it if the program goes away; the path goes over and
// the result record comes back through a small shared file mapping; the pixels come back in a
// file mapping of the helper's, duplicated into this process and mapped read-only, so they
// cross without a copy. A helper that overruns the time limit is ended with TerminateProcess.
#include "picture/image_decoder.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "picture/image_decoder_win_protocol.h"

const char* ImageDecoderPath = nullptr;
int ImageDecoderTimeLimitMs = 20000;
long long ImageDecoderMemoryLimit = 3LL << 30;

// The helper's own code, stack and C runtime fit well inside this beside its decoding memory.
static const long long HelperOverhead = 256LL << 20;
// How long a helper that has delivered may take to end before it is ended.
static const DWORD HelperExitWaitMs = 2000;

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

namespace {
// Every handle one decode opens, closed on every path.
struct DecodeHandles {
    HANDLE control = nullptr, ready = nullptr, taken = nullptr, job = nullptr;
    HANDLE process = nullptr, thread = nullptr;
    DecoderControl* shared = nullptr;
    ~DecodeHandles() {
        if (shared) UnmapViewOfFile(shared);
        HANDLE all[] = {thread, process, job, taken, ready, control};
        for (HANDLE handle : all)
            if (handle) CloseHandle(handle);
    }
};
}  // namespace

static HANDLE CreateInheritableEvent() {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateEventW(&inherit, TRUE, FALSE, nullptr);
}

// The job: the helper's memory limit, no error boxes, and death with the program (the job
// handle closes when this process ends, however it ends).
static HANDLE CreateHelperJob() {
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (!job) return nullptr;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    memset(&limits, 0, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_PROCESS_MEMORY | JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE |
                                              JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    limits.ProcessMemoryLimit = SIZE_T(ImageDecoderMemoryLimit + HelperOverhead);
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    return job;
}

static bool StartHelper(const wchar_t* helper, DecodeHandles* handles, char* reason, size_t reasonSize) {
    wchar_t commandLine[32768 + 128];
    _snwprintf(commandLine, sizeof commandLine / sizeof commandLine[0], L"\"%ls\" %lld %llu %llu %llu", helper,
               ImageDecoderMemoryLimit, static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handles->control)),
               static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handles->ready)),
               static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(handles->taken)));
    commandLine[sizeof commandLine / sizeof commandLine[0] - 1] = 0;
    STARTUPINFOEXW startup;
    memset(&startup, 0, sizeof startup);
    startup.StartupInfo.cb = sizeof startup.StartupInfo;
    // Only these three handles reach the helper, whatever else of ours is inheritable.
    HANDLE inherited[3] = {handles->control, handles->ready, handles->taken};
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
    BOOL started = CreateProcessW(helper, commandLine, nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                                  &startup.StartupInfo, &process);
    DWORD error = GetLastError();
    if (attributes) DeleteProcThreadAttributeList(attributes);
    if (!started) return Fail(reason, reasonSize, "could not start the decoder (error %lu)", error);
    handles->process = process.hProcess;
    handles->thread = process.hThread;
    if (!AssignProcessToJobObject(handles->job, process.hProcess)) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
        return Fail(reason, reasonSize, "could not limit the decoder (error %lu)", GetLastError());
    }
    ResumeThread(process.hThread);
    return true;
}

static void EndHelper(HANDLE process, DWORD waitMs) {
    if (WaitForSingleObject(process, waitMs) != WAIT_OBJECT_0) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, INFINITE);
    }
}

bool DecodePictureFile(const char* path, DecodedPicture* picture, char* reason, size_t reasonSize) {
    memset(picture, 0, sizeof *picture);
    if (reasonSize > 0) reason[0] = 0;

    wchar_t helper[32768];
    if (ImageDecoderPath) {
        if (!MultiByteToWideChar(CP_UTF8, 0, ImageDecoderPath, -1, helper, 32768))
            return Fail(reason, reasonSize, "could not find the decoder %s", ImageDecoderPath);
    } else if (!HelperBesideProgram(helper, 32768)) {
        return Fail(reason, reasonSize, "could not find the decoder beside the program");
    }
    size_t pathBytes = strlen(path) + 1;
    if (pathBytes > sizeof(DecoderControl::path)) return Fail(reason, reasonSize, "the path is too long");

    DecodeHandles handles;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    handles.control = CreateFileMappingW(INVALID_HANDLE_VALUE, &inherit, PAGE_READWRITE, 0, sizeof(DecoderControl), nullptr);
    handles.ready = CreateInheritableEvent();
    handles.taken = CreateInheritableEvent();
    handles.job = CreateHelperJob();
    if (handles.control)
        handles.shared = static_cast<DecoderControl*>(MapViewOfFile(handles.control, FILE_MAP_WRITE, 0, 0, sizeof(DecoderControl)));
    if (!handles.shared || !handles.ready || !handles.taken || !handles.job)
        return Fail(reason, reasonSize, "could not set up the decoder (error %lu)", GetLastError());
    memcpy(handles.shared->path, path, pathBytes);

    if (!StartHelper(helper, &handles, reason, reasonSize)) return false;

    // Wait for the record or the helper's end, whichever comes first, within the time limit.
    HANDLE waitFor[2] = {handles.ready, handles.process};
    DWORD woke = WaitForMultipleObjects(2, waitFor, FALSE, DWORD(ImageDecoderTimeLimitMs));
    if (woke == WAIT_TIMEOUT) {
        TerminateProcess(handles.process, 1);
        WaitForSingleObject(handles.process, INFINITE);
        return Fail(reason, reasonSize, "took too long (more than %g s)", ImageDecoderTimeLimitMs / 1000.0);
    }
    if (woke != WAIT_OBJECT_0) {
        // Ended without a record: it crashed, or a limit stopped it.
        EndHelper(handles.process, HelperExitWaitMs);
        DWORD code = 0;
        GetExitCodeProcess(handles.process, &code);
        char text[64];
        DescribeExit(code, text, sizeof text);
        if (code >= 0xC0000000) return Fail(reason, reasonSize, "the decoder stopped (%s)", text);
        return Fail(reason, reasonSize, "the decoder failed (%s)", text);
    }

    DecoderResult result = handles.shared->result;  // a copy: the helper may still write
    if (result.magic != DecoderResultMagic) {
        EndHelper(handles.process, 0);
        return Fail(reason, reasonSize, "the decoder gave no answer");
    }
    if (result.ok != 1) {
        EndHelper(handles.process, HelperExitWaitMs);
        result.reason[sizeof result.reason - 1] = 0;
        return Fail(reason, reasonSize, "%s", result.reason[0] ? result.reason : "the decoder gave no reason");
    }
    // Trust nothing in the record that could make us read outside the pixels' mapping: the
    // view is exactly the size the record claims, and mapping fails if the section is smaller.
    int64_t bytes = int64_t(result.width) * result.height * 4;
    bool sane = result.width > 0 && result.height > 0 && int64_t(result.width) * result.height <= MaxPicturePixels;
    HANDLE pixels = nullptr;
    if (sane) {
        HANDLE theirs = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(result.offset));
        if (!DuplicateHandle(handles.process, theirs, GetCurrentProcess(), &pixels, FILE_MAP_READ, FALSE, 0)) pixels = nullptr;
    }
    SetEvent(handles.taken);
    EndHelper(handles.process, HelperExitWaitMs);
    if (!pixels) return Fail(reason, reasonSize, "the decoder's answer was malformed");
    void* mapping = MapViewOfFile(pixels, FILE_MAP_READ, 0, 0, SIZE_T(bytes));
    CloseHandle(pixels);  // the view keeps the pixels alive on its own
    if (!mapping) return Fail(reason, reasonSize, "could not map the decoded picture (error %lu)", GetLastError());
    picture->pixels = static_cast<const unsigned char*>(mapping);
    picture->width = result.width;
    picture->height = result.height;
    picture->mapping = mapping;
    picture->mappingSize = size_t(bytes);
    return true;
}

void ReleaseDecodedPicture(DecodedPicture* picture) {
    if (picture->mapping) UnmapViewOfFile(picture->mapping);
    memset(picture, 0, sizeof *picture);
}
