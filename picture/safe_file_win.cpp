// safe_file (Windows): a named ".part" file beside the target, marked delete-on-close while it
// is written (so a killed program leaves nothing), flushed with FlushFileBuffers and moved into
// place with MoveFileExW. Paths are UTF-8 and go through the wide-character calls.
#include "picture/safe_file.h"

#include <windows.h>

#include <atomic>
#include <cstdio>

#include "picture/file_paths.h"
#include "picture/safe_file_parts.h"

bool SafeFileAvoidUnnamed = false;  // there are no unnamed files here

static HANDLE HandleOf(const SafeFile* file) {
    return file->Handle ? static_cast<HANDLE>(file->Handle) : INVALID_HANDLE_VALUE;
}

// The system's text for an error code, without its closing period and line break, as the
// POSIX texts read ("Access is denied").
static bool Fail(SafeFile* file, DWORD error) {
    wchar_t text[256];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                  sizeof text / sizeof text[0], nullptr);
    std::string message;
    if (length > 0) {
        message = WideToUtf8(std::wstring(text, length));
        while (!message.empty() &&
               (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' || message.back() == '.'))
            message.pop_back();
    }
    if (message.empty()) snprintf(file->Reason, sizeof file->Reason, "system error %lu", (unsigned long)error);
    else snprintf(file->Reason, sizeof file->Reason, "%s", message.c_str());
    return false;
}

static size_t LastSeparator(const std::wstring& path) { return path.find_last_of(L"\\/"); }

static std::wstring TemporaryName(const std::wstring& target) {
    static std::atomic<unsigned> counter(0);
    size_t separator = LastSeparator(target);
    std::wstring folder = separator == std::wstring::npos ? std::wstring() : target.substr(0, separator + 1);
    std::wstring name = separator == std::wstring::npos ? target : target.substr(separator + 1);
    wchar_t unique[64];
    swprintf(unique, sizeof unique / sizeof unique[0], L".%lu-%lx-%u.part", (unsigned long)GetCurrentProcessId(),
             (unsigned long)GetTickCount(), counter.fetch_add(1));
    return folder + L"." + name.substr(0, 160) + unique;
}

static void CloseHandleOf(SafeFile* file) {
    HANDLE handle = HandleOf(file);
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    file->Handle = nullptr;
}

// Marks the open file to be deleted when its handle closes, or clears that mark.
static bool SetDeleteOnClose(HANDLE handle, bool on) {
    FILE_DISPOSITION_INFO disposition;
    disposition.DeleteFile = on ? TRUE : FALSE;
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

bool SafeFileOpen(SafeFile* file, const char* path) {
    if (file->Open) SafeFileAbandon(file);
    file->Target = path ? path : "";
    file->Temporary.clear();
    file->Reason[0] = '\0';
    file->DeletePending = false;
    file->Replaces = false;
    std::wstring target;
    if (!Utf8ToWide(file->Target, &target)) return Fail(file, ERROR_NO_UNICODE_TRANSLATION);
    size_t separator = LastSeparator(target);
    if (target.empty() || separator + 1 == target.size()) return Fail(file, ERROR_INVALID_NAME);
    // A name that cannot be made would fail only at the end, after all the encoding.
    std::wstring name = separator == std::wstring::npos ? target : target.substr(separator + 1);
    if (name.size() > MAX_PATH - 5) return Fail(file, ERROR_FILENAME_EXCED_RANGE);
    if (name.find_first_of(L"<>:\"|?*") != std::wstring::npos) return Fail(file, ERROR_INVALID_NAME);
    DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return Fail(file, ERROR_ACCESS_DENIED);  // what replacing it would answer
    file->Replaces = attributes != INVALID_FILE_ATTRIBUTES;

    HANDLE handle = INVALID_HANDLE_VALUE;
    std::wstring temporary;
    for (int attempt = 0; handle == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
        temporary = TemporaryName(target);
        handle = CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
        if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS &&
            GetLastError() != ERROR_ALREADY_EXISTS)
            return Fail(file, GetLastError());
    }
    if (handle == INVALID_HANDLE_VALUE) return Fail(file, ERROR_FILE_EXISTS);
    file->Handle = handle;
    file->Temporary = WideToUtf8(temporary);
    // Until the commit the file goes when its handle closes, even by a killed process. A file
    // system that refuses the mark still gets the file removed by SafeFileAbandon.
    file->DeletePending = SetDeleteOnClose(handle, true);
    file->Open = true;
    SafeFileStartBuffer(file);
    return true;
}

bool SafeFileFailNotOpen(SafeFile* file) { return Fail(file, ERROR_INVALID_HANDLE); }

bool SafeFileWriteOut(SafeFile* file, const unsigned char* bytes, size_t size) {
    while (size > 0) {
        DWORD chunk = size > (1u << 30) ? (1u << 30) : (DWORD)size;
        DWORD written = 0;
        if (!WriteFile(HandleOf(file), bytes, chunk, &written, nullptr)) return Fail(file, GetLastError());
        if (written == 0) return Fail(file, ERROR_WRITE_FAULT);
        bytes += written;
        size -= written;
    }
    return true;
}

bool SafeFileCommit(SafeFile* file) {
    if (!file->Open) return Fail(file, ERROR_INVALID_HANDLE);
    bool ok = SafeFileFlushBuffer(file) && (FlushFileBuffers(HandleOf(file)) || Fail(file, GetLastError()));
    if (ok && file->DeletePending) {
        ok = SetDeleteOnClose(HandleOf(file), false) || Fail(file, GetLastError());
        if (ok) file->DeletePending = false;
    }
    if (!ok) {
        SafeFileAbandon(file);
        return false;
    }
    CloseHandleOf(file);
    file->Open = false;
    SafeFileDropBuffer(file);
    std::wstring temporary, target;
    Utf8ToWide(file->Temporary, &temporary);
    Utf8ToWide(file->Target, &target);
    // Without the replacing flag the move fails on a file that appeared since the open.
    DWORD flags = MOVEFILE_WRITE_THROUGH | (file->Replaces ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!MoveFileExW(temporary.c_str(), target.c_str(), flags)) {
        DWORD error = GetLastError();
        if (!file->Replaces && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS))
            snprintf(file->Reason, sizeof file->Reason, "%s", SafeFileAppearedReason);
        else Fail(file, error);
        DeleteFileW(temporary.c_str());
        file->Temporary.clear();
        return false;
    }
    file->Temporary.clear();
    return true;
}

void SafeFileAbandon(SafeFile* file) {
    bool pending = file->DeletePending;
    CloseHandleOf(file);
    file->Open = false;
    file->DeletePending = false;
    SafeFileDropBuffer(file);
    if (!file->Temporary.empty() && !pending) {
        std::wstring temporary;
        if (Utf8ToWide(file->Temporary, &temporary)) DeleteFileW(temporary.c_str());
    }
    file->Temporary.clear();
}
