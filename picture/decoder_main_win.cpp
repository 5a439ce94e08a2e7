// vellumry-decode.exe: decodes one picture file in a process of its own, so that a file which
// crashes a decoder, makes it spin or asks for huge amounts of memory takes down only this
// helper. The photo formats go to their own libraries (picture/photo_decoders.h), known by the
// file's first bytes, as on Linux; the rest to stb_image. The program starts a fresh one per
// file (picture/image_decoder_win.cpp) and hands it the file already open; the protocol is in
// picture/image_decoder_win_protocol.h. A picture larger than the program's largest texture is
// scaled down here too. The memory limit is the job object's; stb_image's allocations and the
// photo decoders' pixels are counted against it here too, and the photo libraries' C++ parts
// meet it as the same failure, so a refused allocation is "not enough memory" either way. The
// program confines it from outside: a restricted, low-integrity token and a job that allows no
// second process (picture/decoder_token_win.h).
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <new>

#include "picture/image_decoder_win_protocol.h"
#include "picture/photo_decoders.h"

// ---- Counted allocations: the memory limit also where the job's limit is not enforced (Wine) ----

static size_t MemoryLimit;
static size_t MemoryUsed;
static bool AllocationRefused;         // see picture/picture_decoding.h
static const size_t CountHeader = 16;  // the block's size, keeping the data 16-aligned

static void* CountedMalloc(size_t size) {
    unsigned char* block =
        size <= MemoryLimit - MemoryUsed ? static_cast<unsigned char*>(malloc(CountHeader + size)) : nullptr;
    if (!block) {
        AllocationRefused = true;
        return nullptr;
    }
    memcpy(block, &size, sizeof size);
    MemoryUsed += size;
    return block + CountHeader;
}

static size_t CountedSize(void* data) {
    size_t size;
    memcpy(&size, static_cast<unsigned char*>(data) - CountHeader, sizeof size);
    return size;
}

static void CountedFree(void* data) {
    if (!data) return;
    MemoryUsed -= CountedSize(data);
    free(static_cast<unsigned char*>(data) - CountHeader);
}

static void* CountedRealloc(void* data, size_t size) {
    if (!data) return CountedMalloc(size);
    size_t old = CountedSize(data);
    unsigned char* block = nullptr;
    if (size <= old || size - old <= MemoryLimit - MemoryUsed)
        block =
            static_cast<unsigned char*>(realloc(static_cast<unsigned char*>(data) - CountHeader, CountHeader + size));
    if (!block) {
        AllocationRefused = true;
        return nullptr;
    }
    memcpy(block, &size, sizeof size);
    MemoryUsed = MemoryUsed - old + size;
    return block + CountHeader;
}

// ---- The photo decoders' pixels (picture/photo_decoders.h), counted as stb's are ----

unsigned long long PhotoMemoryLimit;

unsigned char* PhotoPixels(size_t size) { return static_cast<unsigned char*>(CountedMalloc(size)); }

void PhotoPixelsFree(unsigned char* pixels) { CountedFree(pixels); }

// The Windows protocol hands the pixels over whole, at the end.
void PhotoRowsBegin(const unsigned char*, int, int) {}
void PhotoRowsDone(int) {}

// The pixels stay where they are: only a block that shrank in place gives its tail back.
void PhotoPixelsShrink(unsigned char* pixels, size_t size) {
    size_t old = CountedSize(pixels);
    if (size >= old || !_expand(pixels - CountHeader, CountHeader + size)) return;
    memcpy(pixels - CountHeader, &size, sizeof size);
    MemoryUsed -= old - size;
}

#define STBI_MALLOC(size) CountedMalloc(size)
#define STBI_REALLOC(data, size) CountedRealloc(data, size)
#define STBI_FREE(data) CountedFree(data)
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

#define DECODER_FORMATS "PNG, JPEG, TIFF, WebP, HEIC, AVIF, BMP, GIF, TGA, PSD, HDR, PIC, PNM"
#include "picture/picture_decoding.h"

// ---- Decoding ----

static DecoderControl* Shared;
static HANDLE ResultReady;

// A library written in C++ may meet the memory limit as an exception: the answer is the same
// as for any other decoder that met it.
static void OutOfMemory() {
    DecoderResult result;
    memset(&result, 0, sizeof result);
    result.Magic = DecoderResultMagic;
    SetReason(&result, "not enough memory to decode it (limit %llu MiB)", PhotoMemoryLimit >> 20);
    Shared->Result = result;
    SetEvent(ResultReady);
    ExitProcess(0);
}

// Hands the decoded pixels over in a new file mapping, whose handle goes into the record; the
// pixels are freed either way.
static void HandOver(unsigned char* pixels, DecoderResult* result) {
    unsigned long long bytes = static_cast<unsigned long long>(result->Width) * result->Height * 4;
    HANDLE mapping =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, DWORD(bytes >> 32), DWORD(bytes), nullptr);
    void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, bytes) : nullptr;
    if (!view) {
        if (mapping) CloseHandle(mapping);
        SetReason(result, "not enough memory to hand the picture over (%llu MiB)", bytes >> 20);
    } else {
        memcpy(view, pixels, bytes);
        UnmapViewOfFile(view);
        result->Ok = 1;
        result->Offset = static_cast<int64_t>(reinterpret_cast<uintptr_t>(mapping));
    }
}

// The photo formats read the file from memory: it is mapped, not copied. False when the file is
// none of theirs (or cannot be mapped: stb_image then says what it makes of it).
static bool DecodeWithLibraries(HANDLE picture, int largestSide, DecoderResult* result) {
    LARGE_INTEGER size;
    if (!picture || !GetFileSizeEx(picture, &size) || size.QuadPart <= 0 ||
        static_cast<unsigned long long>(size.QuadPart) > SIZE_MAX)
        return false;
    HANDLE mapping = CreateFileMappingW(picture, nullptr, PAGE_READONLY, 0, 0, nullptr);
    const unsigned char* file =
        mapping ? static_cast<const unsigned char*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)) : nullptr;
    PhotoKind kind = file ? PhotoKindOf(file, size_t(size.QuadPart)) : PHOTO_KIND_NONE;
    if (kind != PHOTO_KIND_NONE) {
        DecodedPhoto photo;
        if (DecodePhoto(kind, file, size_t(size.QuadPart), largestSide, &photo, result->Reason,
                        sizeof result->Reason)) {
            result->Width = photo.Width;
            result->Height = photo.Height;
            result->SourceWidth = photo.SourceWidth;
            result->SourceHeight = photo.SourceHeight;
            if (photo.Note) snprintf(result->Note, sizeof result->Note, "%s", photo.Note);
            HandOver(photo.Pixels, result);
            PhotoPixelsFree(photo.Pixels);
        }
    }
    if (file) UnmapViewOfFile(file);
    if (mapping) CloseHandle(mapping);
    return kind != PHOTO_KIND_NONE;
}

// Decodes the inherited picture file into a new file mapping; its handle goes into the record.
static void Decode(HANDLE picture, unsigned long long memoryLimit, int largestSide, DecoderResult* result) {
    if (DecodeWithLibraries(picture, largestSide, result)) return;
    int descriptor = picture ? _open_osfhandle(reinterpret_cast<intptr_t>(picture), _O_RDONLY | _O_BINARY) : -1;
    FILE* file = descriptor >= 0 ? _fdopen(descriptor, "rb") : nullptr;
    if (!file) {
        SetReason(result, "the decoder could not read the file");
        return;
    }
    if (unsigned char* pixels = DecodeOpenPicture(file, memoryLimit, largestSide, result)) {
        HandOver(pixels, result);
        stbi_image_free(pixels);
    }
    fclose(file);
}

static HANDLE HandleArgument(const char* text) {
    char* end = nullptr;
    unsigned long long value = strtoull(text, &end, 10);
    return *end == 0 ? reinterpret_cast<HANDLE>(static_cast<uintptr_t>(value)) : nullptr;
}

// A crash ends the process with the exception's code at once: no debugger, no error box.
static LONG WINAPI EndOnCrash(EXCEPTION_POINTERS* info) {
    TerminateProcess(GetCurrentProcess(), info->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

int main(int argc, char** argv) {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(EndOnCrash);
    if (argc != 7) {
        fprintf(stderr,
                "usage: vellumry-decode <memory limit> <largest side> <control> <result ready> <result taken> "
                "<picture>\n");
        return 2;
    }
    unsigned long long memoryLimit = strtoull(argv[1], nullptr, 10);
    MemoryLimit = memoryLimit > SIZE_MAX ? SIZE_MAX : size_t(memoryLimit);
    PhotoMemoryLimit = memoryLimit;
    long largestSide = strtol(argv[2], nullptr, 10);
    HANDLE control = HandleArgument(argv[3]);
    HANDLE ready = HandleArgument(argv[4]);
    HANDLE taken = HandleArgument(argv[5]);
    HANDLE picture = HandleArgument(argv[6]);
    DecoderControl* shared =
        control ? static_cast<DecoderControl*>(MapViewOfFile(control, FILE_MAP_WRITE, 0, 0, sizeof(DecoderControl)))
                : nullptr;
    if (!shared || !ready || !taken || largestSide < 0 || largestSide > 1 << 30) return 3;
    Shared = shared;
    ResultReady = ready;
    std::set_new_handler(OutOfMemory);
    PrepareDecoders();

    DecoderResult result;
    memset(&result, 0, sizeof result);
    result.Magic = DecoderResultMagic;
    shared->Path[sizeof shared->Path - 1] = 0;
    Decode(picture, memoryLimit, int(largestSide), &result);
    shared->Result = result;
    if (!SetEvent(ready)) return 3;
    // The pixels' mapping must live until the program holds its own handle to it.
    if (result.Ok) WaitForSingleObject(taken, 60000);
    return 0;
}
