// nfd_common: the error buffer, allocation, text helpers, path-set access and the
// translation of filter lists into file-type pattern lists.
#include "filedialog/nfd_common.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string.h>

static const char NFDi_ModuleName[] = "nfd_common";

char NFDi_ErrorBuffer[NFD_TEXT_CAPACITY];

void NFDi_AssertFailed(const char* condition, const char* module) {
    std::fprintf(stderr, "%s: assertion failed: %s\n", module, condition);
    std::fflush(stderr);
    std::abort();
}

void* NFDi_Malloc(size_t bytes) {
    void* ptr = std::malloc(bytes);
    if (!ptr) NFDi_RecordError("NFDi_Malloc failed.");
    return ptr;
}

void NFDi_FreeMemory(void* ptr) {
    NFDi_ASSERT(ptr);
    std::free(ptr);
}

void NFDi_RecordError(const char* message) {
    int bTruncate = NFDi_CopyBounded(NFDi_ErrorBuffer, message, NFD_TEXT_CAPACITY);
    NFDi_ASSERT(!bTruncate);
}

int NFDi_CopyBounded(char* dst, const char* src, size_t maxCopy) {
    NFDi_ASSERT(src);
    NFDi_ASSERT(dst);
    size_t n = 0;
    while (n < maxCopy && src[n] != '\0') {
        dst[n] = src[n];
        ++n;
    }
    if (n < maxCopy) {
        dst[n] = '\0';
        return 0;
    }
    dst[maxCopy - 1] = '\0';
    return 1;
}

int NFDi_IsFilterBreak(char ch) { return ch == '\0' || ch == ',' || ch == ';'; }

size_t NFDi_CountUtf8Chars(const char* text) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    if (std::strlen(text) > 2) {
        char maybe_bom[4] = {text[0], text[1], text[2], '\0'};
        if (std::strcmp(maybe_bom, "\xEF\xBB\xBF") == 0) p += 3;
    }
    size_t count = 0;
    for (; *p; ++p) {
        if (*p < 0x80 || (*p & 0xC0) == 0xC0) ++count;
    }
    return count;
}

// Appends as much of `text` as fits, keeping specBuf at most specBufLen - 1 bytes long.
static void AppendCut(char* specBuf, size_t specBufLen, const char* text) {
    size_t used = std::strlen(specBuf);
    NFDi_CopyBounded(specBuf + used, text, specBufLen - used);
}

void NFDi_AppendWildcard(const char* ext, char* specBuf, size_t specBufLen) {
    // The assertions' messages are their text as written.
    // clang-format off
    NFDi_ASSERT(specBufLen > strlen(ext)+3);
    // clang-format on
    static const char SEP[] = ";";
    if (specBuf[0] != '\0') AppendCut(specBuf, specBufLen, SEP);

    char extWildcard[NFD_TEXT_CAPACITY];
    size_t bytesWritten = (size_t)std::snprintf(extWildcard, sizeof extWildcard, "*.%s", ext);
    // clang-format off
    NFDi_ASSERT(bytesWritten == strlen(ext)+2);
    // clang-format on
    AppendCut(specBuf, specBufLen, extWildcard);
}

size_t NFDi_CountFilters(const char* filters) {
    if (!filters || filters[0] == '\0') return 0;
    size_t count = 1;
    for (const char* p = filters; *p; ++p) {
        if (*p == ';') ++count;
    }
    return count;
}

int NFDi_TranslateFilterList(const char* filters, NFDi_FileTypeFn onFileType, void* context) {
    size_t filterCount = NFDi_CountFilters(filters);
    if (filterCount == 0) return 1;

    char typebuf[NFD_TEXT_CAPACITY] = {0};
    char specbuf[NFD_TEXT_CAPACITY] = {0};
    size_t typeLen = 0;
    size_t entries = 0;
    for (const char* p = filters;; ++p) {
        if (NFDi_IsFilterBreak(*p)) {
            NFDi_AppendWildcard(typebuf, specbuf, NFD_TEXT_CAPACITY);
            typebuf[0] = '\0';
            typeLen = 0;
            if (*p == ';' || *p == '\0') {
                if (!onFileType(context, entries, specbuf)) return 0;
                ++entries;
                specbuf[0] = '\0';
                if (entries == filterCount) return 1;
            }
        } else if (typeLen < NFD_TEXT_CAPACITY - 1) {
            // An extension longer than the buffer stops growing at 255 bytes; that is still
            // over the 252-byte limit, so NFDi_AppendWildcard's check catches it.
            typebuf[typeLen++] = *p;
            typebuf[typeLen] = '\0';
        }
    }
}

const char* NFD_LastError(void) { return NFDi_ErrorBuffer; }

size_t NFD_PathSetCount(const NFDPathSet* pathset) {
    NFDi_ASSERT(pathset);
    return pathset->count;
}

char* NFD_PathSetPath(const NFDPathSet* pathset, size_t num) {
    NFDi_ASSERT(pathset);
    NFDi_ASSERT(num < pathset->count);
    return pathset->buffer + pathset->offsets[num];
}

void NFD_PathSetRelease(NFDPathSet* pathset) {
    NFDi_ASSERT(pathset);
    NFDi_FreeMemory(pathset->offsets);
    NFDi_FreeMemory(pathset->buffer);
}
