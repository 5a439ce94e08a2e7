// vellumry-decode: decodes one picture file in a process of its own, so that a file which
// crashes a decoder, makes it spin or asks for huge amounts of memory takes down only this
// helper. The photo formats go to their own libraries (picture/photo_decoders.h), known by the
// file's first bytes; the rest to stb_image. The program starts a fresh one per file (picture/image_decoder.cpp) and
// hands it the file already open; the protocol is in picture/image_decoder_protocol.h. A
// picture larger than the program's largest texture is scaled down here too, in place in the
// arena, so that its cost falls under the same limits.
//
// Every allocation stb_image makes, and the pixels of every other decoder, come from an arena
// inside the shared-memory file on fd 3, so the decoded pixels are already where the program
// maps them: no copy crosses the processes. The arena is also the memory limit: stb gets
// "outofmem" when it is full, and the address space limit set before any input is read stops
// anything else from growing past it. The photo libraries allocate their own working memory;
// their first pixel buffer shrinks the arena to what the pixels need (twice, for a turn) and
// hands the rest of the address space to them, so the limit holds for the whole helper.
//
// Before it reads a byte of the picture the helper shuts itself in
// (picture/decoder_confinement_linux.h): from then on it can open nothing, connect nowhere,
// start no process and write no file, so a file that takes over its code gains nothing.
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include "picture/decoder_confinement_linux.h"
#include "picture/image_decoder_protocol.h"
#include "picture/photo_decoders.h"

// ---- Arena: page-aligned blocks bumped upwards in the shared file; freed pages go back ----

static unsigned char* ArenaBase;
static size_t ArenaSize;
static size_t ArenaTop;                   // first unused byte
static size_t ArenaLastBlock = SIZE_MAX;  // start of the topmost block, which can grow in place
static size_t PageSize = 4096;
static const size_t BlockHeader = 64;  // the block's size lives here; keeps data 64-aligned

static size_t PagesFor(size_t bytes) { return (bytes + PageSize - 1) / PageSize * PageSize; }

static size_t BlockOf(void* data) { return size_t(static_cast<unsigned char*>(data) - ArenaBase) - BlockHeader; }

static size_t& SizeOf(size_t block) { return *reinterpret_cast<size_t*>(ArenaBase + block); }

// Hands freed pages back to the system; the shared file keeps its size, the hole reads as zero.
static void ReleasePages(size_t from, size_t to) {
    if (to > from) madvise(ArenaBase + from, to - from, MADV_REMOVE);
}

static bool AllocationRefused;  // see picture/picture_decoding.h

static void* ArenaMalloc(size_t size) {
    if (size > ArenaSize - BlockHeader || PagesFor(BlockHeader + size) > ArenaSize - ArenaTop) {
        AllocationRefused = true;
        return nullptr;
    }
    size_t need = PagesFor(BlockHeader + size);
    size_t block = ArenaTop;
    ArenaTop += need;
    ArenaLastBlock = block;
    SizeOf(block) = size;
    return ArenaBase + block + BlockHeader;
}

static void ArenaFree(void* data) {
    if (!data) return;
    size_t block = BlockOf(data);
    size_t end = block + PagesFor(BlockHeader + SizeOf(block));
    ReleasePages(block, end);
    if (block == ArenaLastBlock) {
        ArenaTop = block;
        ArenaLastBlock = SIZE_MAX;
    }
}

static void* ArenaRealloc(void* data, size_t size) {
    if (!data) return ArenaMalloc(size);
    size_t block = BlockOf(data);
    size_t old = SizeOf(block);
    if (size <= old && block != ArenaLastBlock) {
        // Shrinks where it is (a picture scaled down in place): the freed tail goes back.
        ReleasePages(block + PagesFor(BlockHeader + size), block + PagesFor(BlockHeader + old));
        SizeOf(block) = size;
        return data;
    }
    if (block == ArenaLastBlock && size <= ArenaSize - block - BlockHeader) {
        // The topmost block (zlib's growing output, typically) grows or shrinks where it is.
        size_t end = block + PagesFor(BlockHeader + size);
        ReleasePages(end, ArenaTop);
        ArenaTop = end;
        SizeOf(block) = size;
        return data;
    }
    void* moved = ArenaMalloc(size);
    if (!moved) return nullptr;
    memcpy(moved, data, old < size ? old : size);
    ArenaFree(data);
    return moved;
}

// ---- The photo decoders' pixels (picture/photo_decoders.h) ----

unsigned long long PhotoMemoryLimit;
static bool ArenaShrunk;

unsigned char* PhotoPixels(size_t size) {
    if (!ArenaShrunk && ArenaTop == 0 && size < ArenaSize / 2) {
        // The pixels and one turned copy of them; the rest of the address space goes to the
        // library that decodes them.
        size_t keep = 2 * PagesFor(BlockHeader + size);
        if (keep < ArenaSize && munmap(ArenaBase + keep, ArenaSize - keep) == 0) ArenaSize = keep;
    }
    ArenaShrunk = true;
    return static_cast<unsigned char*>(ArenaMalloc(size));
}

void PhotoPixelsFree(unsigned char* pixels) { ArenaFree(pixels); }

void PhotoPixelsShrink(unsigned char* pixels, size_t size) { ArenaRealloc(pixels, size); }

// ---- Rows handed over early (picture/image_decoder_protocol.h: DecoderProgress) ----

static bool WriteAll(int fd, const void* data, size_t size);
static DecoderProgress Progress;

void PhotoRowsBegin(const unsigned char* pixels, int width, int height) {
    memset(&Progress, 0, sizeof Progress);
    Progress.Magic = DecoderProgressMagic;
    Progress.Width = width;
    Progress.Height = height;
    Progress.Offset = pixels - ArenaBase;
}

// A record for every sixteenth of the picture or so: enough for the program to follow, few
// enough to cost nothing.
void PhotoRowsDone(int rows) {
    if (Progress.Magic != DecoderProgressMagic) return;
    const int step = Progress.Height / 16 > 16 ? Progress.Height / 16 : 16;
    if (rows < Progress.Height && rows - Progress.RowsDone < step) return;
    Progress.RowsDone = rows;
    WriteAll(DecoderResultFd, &Progress, sizeof Progress);
}

#define STBI_MALLOC(size) ArenaMalloc(size)
#define STBI_REALLOC(data, size) ArenaRealloc(data, size)
#define STBI_FREE(data) ArenaFree(data)
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

#define DECODER_FORMATS "PNG, JPEG, TIFF, WebP, HEIC, AVIF, BMP, GIF, TGA, PSD, HDR, PIC, PNM"
#include "picture/picture_decoding.h"

// ---- Decoding ----

static DecoderResult Result;

// A library written in C++ may meet the memory limit as an exception: the answer is the same
// as for any other decoder that met it.
static void OutOfMemory() {
    SetReason(&Result, "not enough memory to decode it (limit %llu MiB)", PhotoMemoryLimit >> 20);
    Result.Ok = 0;
    _exit(WriteAll(DecoderResultFd, &Result, sizeof Result) ? 0 : 3);
}

// The photo formats read the file from memory: it is mapped, not copied.
static bool DecodeWithLibraries(int largestSide, DecoderResult* result) {
    unsigned char head[16];
    ssize_t got = pread(DecoderPictureFd, head, sizeof head, 0);
    PhotoKind kind = got > 0 ? PhotoKindOf(head, size_t(got)) : PHOTO_KIND_NONE;
    if (kind == PHOTO_KIND_NONE) return false;
    struct stat info;
    void* file = MAP_FAILED;
    if (fstat(DecoderPictureFd, &info) == 0 && info.st_size > 0)
        file = mmap(nullptr, size_t(info.st_size), PROT_READ, MAP_PRIVATE, DecoderPictureFd, 0);
    if (file == MAP_FAILED) {
        SetReason(result, "the decoder could not read the file (%s)", strerror(errno));
        return true;
    }
    DecodedPhoto photo;
    if (DecodePhoto(kind, static_cast<unsigned char*>(file), size_t(info.st_size), largestSide, &photo, result->Reason,
                    sizeof result->Reason)) {
        result->Ok = 1;
        result->Offset = photo.Pixels - ArenaBase;
        result->Width = photo.Width;
        result->Height = photo.Height;
        result->SourceWidth = photo.SourceWidth;
        result->SourceHeight = photo.SourceHeight;
        if (photo.Note) snprintf(result->Note, sizeof result->Note, "%s", photo.Note);
    }
    munmap(file, size_t(info.st_size));
    return true;
}

static void Decode(int largestSide, DecoderResult* result) {
    if (DecodeWithLibraries(largestSide, result)) return;
    FILE* file = fdopen(DecoderPictureFd, "rb");
    if (!file) {
        SetReason(result, "the decoder could not read the file (%s)", strerror(errno));
        return;
    }
    if (unsigned char* pixels = DecodeOpenPicture(file, ArenaSize, largestSide, result)) {
        // The pixels stay in the arena, where the program maps them.
        result->Ok = 1;
        result->Offset = pixels - ArenaBase;
    }
}

static bool WriteAll(int fd, const void* data, size_t size) {
    const char* at = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t wrote = write(fd, at, size);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        at += wrote;
        size -= size_t(wrote);
    }
    return true;
}

int main(int argc, char** argv) {
    // Die with the program; never leave a core file behind.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    struct rlimit none = {0, 0};
    setrlimit(RLIMIT_CORE, &none);
    if (argc != 3) {
        fprintf(stderr, "usage: vellumry-decode <memory limit in bytes> <largest side>  (the picture on fd 5)\n");
        return 2;
    }

    DecoderResult& result = Result;
    memset(&result, 0, sizeof result);
    result.Magic = DecoderResultMagic;

    char* end = nullptr;
    char* sideEnd = nullptr;
    unsigned long long limit = strtoull(argv[1], &end, 10);
    long largestSide = strtol(argv[2], &sideEnd, 10);
    long page = sysconf(_SC_PAGESIZE);
    if (page > 0) PageSize = size_t(page);
    ArenaSize = PagesFor(size_t(limit));
    PhotoMemoryLimit = ArenaSize;
    void* arena = MAP_FAILED;
    bool arguments = *end == 0 && *sideEnd == 0 && largestSide >= 0 && largestSide <= INT_MAX;
    if (arguments && ArenaSize > 0 && ftruncate(DecoderPixelFd, off_t(ArenaSize)) == 0) {
        arena = mmap(nullptr, ArenaSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_NORESERVE, DecoderPixelFd, 0);
    }
    if (arena == MAP_FAILED) {
        SetReason(&result, "the decoder could not set up its memory");
    } else {
        ArenaBase = static_cast<unsigned char*>(arena);
        // Everything outside the arena (code, stack, stdio) fits well inside this.
        struct rlimit address_space = {ArenaSize + (rlim_t(256) << 20), ArenaSize + (rlim_t(256) << 20)};
        setrlimit(RLIMIT_AS, &address_space);
        std::set_new_handler(OutOfMemory);
        // Every thread allocates from the one arena: a thread's own arena, when it shrinks, has
        // the C library open /proc/sys/vm/overcommit_memory, which the filter would punish.
        mallopt(M_ARENA_MAX, 1);
        PrepareDecoders();

        // ---- Confinement: what decoding needs is open and mapped above this line; below it
        // the helper can decode, answer and exit, nothing else ----
        char refusal[160];
        if (!ConfineDecoder(refusal, sizeof refusal)) SetReason(&result, "%s", refusal);
        else Decode(int(largestSide), &result);
    }
    return WriteAll(DecoderResultFd, &result, sizeof result) ? 0 : 3;
}
