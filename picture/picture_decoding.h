// picture_decoding: the decoding steps that the decoder helper shares on every platform.
//
//   static bool AllocationRefused;   // set by the helper's allocator whenever it refuses: stb
//                                    // does not always say "outofmem" then (its zlib returns
//                                    // quietly), so the refusal itself is remembered
//   #define STBI_MALLOC ... (the helper's own allocator)
//   #define STB_IMAGE_STATIC
//   #define STB_IMAGE_IMPLEMENTATION
//   #include <stb_image.h>
//   #include "picture/picture_decoding.h"
//   unsigned char* pixels = DecodeOpenPicture(file, memoryLimit, largestSide, &result);
//
// Included once per helper, after stb_image's implementation, since it calls stb's static
// functions. The program has opened the file and checked that it is a regular, non-empty file;
// this part checks the header before anything is allocated, decodes, scales a picture larger
// than the largest side down to fit (picture/picture_scaling.h), and words every failure so
// that a person can act on it: the kind of problem in plain words, with stb_image's own code in
// parentheses for a bug report. A reason never holds bytes of the file, is never empty and
// never shows a negative size.
#pragma once
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "picture/image_decoder_protocol.h"
#include "picture/picture_scaling.h"

// The formats a helper names when a file is none of them.
#ifndef DECODER_FORMATS
#define DECODER_FORMATS "PNG, JPEG, BMP, GIF, TGA, PSD, HDR, PIC, PNM"
#endif

static void SetReason(DecoderResult* result, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(result->Reason, sizeof result->Reason, format, args);
    va_end(args);
}

// The format a file's first bytes announce, or null. TGA has no signature.
static const char* PictureSignature(FILE* file) {
    static const struct {
        const char* Name;
        unsigned char Length;
        unsigned char Bytes[4];
    } kinds[] = {
        {"TIFF", 4, {'I', 'I', 42, 0}},   {"TIFF", 4, {'M', 'M', 0, 42}},   {"PNG", 4, {0x89, 'P', 'N', 'G'}},
        {"JPEG", 3, {0xff, 0xd8, 0xff}},  {"GIF", 4, {'G', 'I', 'F', '8'}}, {"BMP", 2, {'B', 'M'}},
        {"PSD", 4, {'8', 'B', 'P', 'S'}}, {"HDR", 2, {'#', '?'}},           {"PIC", 4, {0x53, 0x80, 0xf6, 0x34}},
        {"PNM", 2, {'P', '5'}},           {"PNM", 2, {'P', '6'}},
    };
    unsigned char magic[4] = {0, 0, 0, 0};
    size_t got = fread(magic, 1, 4, file);
    rewind(file);
    for (const auto& kind : kinds) {
        if (got >= kind.Length && memcmp(magic, kind.Bytes, kind.Length) == 0) return kind.Name;
    }
    return nullptr;
}

// stb tries every format in turn and keeps the last one's complaint; a file that announces its
// format gets the complaint of that format's own reader. Answers stb's code, or null.
static const char* ComplaintOf(FILE* file, const char* kind) {
    int width = 0, height = 0, components = 0;
    stbi__context context;
    stbi__start_file(&context, file);
    stbi__g_failure_reason = nullptr;
    if (strcmp(kind, "JPEG") == 0) stbi__jpeg_info(&context, &width, &height, &components);
    else if (strcmp(kind, "PNG") == 0) stbi__png_info(&context, &width, &height, &components);
    else if (strcmp(kind, "GIF") == 0) stbi__gif_info(&context, &width, &height, &components);
    else if (strcmp(kind, "BMP") == 0) stbi__bmp_info(&context, &width, &height, &components);
    else if (strcmp(kind, "PIC") == 0) stbi__pic_info(&context, &width, &height, &components);
    else if (strcmp(kind, "PNM") == 0) stbi__pnm_info(&context, &width, &height, &components);
    else if (strcmp(kind, "PSD") == 0 || strcmp(kind, "HDR") == 0) {
        // Their header readers fail without a word; their loaders say why, at the header, so
        // before any allocation (the header is what just failed).
        stbi__result_info info;
        memset(&info, 0, sizeof info);
        void* pixels = strcmp(kind, "PSD") == 0
                           ? stbi__psd_load(&context, &width, &height, &components, 4, &info, 8)
                           : static_cast<void*>(stbi__hdr_load(&context, &width, &height, &components, 4, &info));
        if (pixels) {
            stbi_image_free(pixels);
            stbi__g_failure_reason = nullptr;
        }
    }
    rewind(file);
    return stbi__g_failure_reason;
}

// stb's codes for variants of a format that are valid but that it does not read.
static bool UnsupportedVariant(const char* kind, const char* code) {
    static const char* const variants[][2] = {
        {"JPEG", "only 8-bit"},         {"JPEG", "no header height"},     {"BMP", "BMP RLE"},
        {"BMP", "BMP JPEG/PNG"},        {"BMP", "unknown BMP"},           {"PSD", "wrong version"},
        {"PSD", "wrong channel count"}, {"PSD", "unsupported bit depth"}, {"PSD", "wrong color format"},
        {"PSD", "bad compression"},     {"HDR", "unsupported format"},    {"HDR", "unsupported data layout"},
        {"PNM", "max value > 65535"},
    };
    for (const auto& variant : variants) {
        if (strcmp(kind, variant[0]) == 0 && strcmp(code, variant[1]) == 0) return true;
    }
    return false;
}

static void SetDamaged(DecoderResult* result, const char* kind, const char* detail) {
    if (kind && detail) SetReason(result, "the file is damaged or cut short (%s: %s)", kind, detail);
    else if (kind || detail) SetReason(result, "the file is damaged or cut short (%s)", kind ? kind : detail);
    else SetReason(result, "the file is damaged or cut short");
}

// Words stb's failure code. `kind` is the announced format or null.
static void SetStbReason(DecoderResult* result, const char* kind, const char* code, unsigned long long memoryLimit) {
    if (AllocationRefused || (code && strcmp(code, "outofmem") == 0)) {
        SetReason(result, "not enough memory to decode it (limit %llu MiB)", memoryLimit >> 20);
    } else if (!kind && code && strcmp(code, "unknown image type") == 0) {
        SetReason(result, "not a picture format this program reads (" DECODER_FORMATS ")");
    } else if (code && strcmp(code, "too large") == 0) {
        SetReason(result, "the picture is too large to decode (%s%stoo large)", kind ? kind : "", kind ? ": " : "");
    } else if (kind && strcmp(kind, "PNG") == 0 && code && (code[0] == 0 || strlen(code) >= 4) &&
               memcmp(code + 4, " PNG chunk not known", 20) == 0) {
        // The one code that holds bytes of the file: the unknown chunk's four-byte type (an empty
        // string when its first byte is 0, which only this code can be). A file that ends
        // before its last chunk reads as a chunk of type 0.
        bool letters = true, zero = true;
        for (int i = 0; i < 4; ++i) {
            const unsigned char c = static_cast<unsigned char>(code[i]);
            letters = letters && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
            zero = zero && c == 0;
        }
        if (zero) SetDamaged(result, kind, "it ends before its last chunk");
        else if (letters) SetReason(result, "the file is damaged or cut short (PNG: unknown chunk \"%.4s\")", code);
        else SetDamaged(result, kind, "unknown chunk");
    } else if (kind && code && UnsupportedVariant(kind, code)) {
        SetReason(result, "this %s variant is not supported (%s)", kind, code);
    } else {
        SetDamaged(result, kind, code && *code ? code : nullptr);
    }
}

static void SetTooLarge(DecoderResult* result, long long width, long long height) {
    SetReason(result, "the picture is too large: %lld x %lld pixels, at most %lld million", width, height,
              static_cast<long long>(MaxPicturePixels / 1000000));
}

// Decodes an opened, non-empty regular file to RGBA no larger than largestSide a side (0: no
// limit). Answers the pixels (stb's allocation, with the result's sizes set), or null with the
// result's reason set.
static unsigned char* DecodeOpenPicture(FILE* file, unsigned long long memoryLimit, int largestSide,
                                        DecoderResult* result) {
    const char* kind = PictureSignature(file);
    int width = 0, height = 0, components = 0;
    if (kind && strcmp(kind, "TIFF") == 0) {
        SetReason(result, "TIFF pictures are not supported");
        return nullptr;
    }
    if (!stbi_info_from_file(file, &width, &height, &components)) {
        SetStbReason(result, kind, kind ? ComplaintOf(file, kind) : stbi_failure_reason(), memoryLimit);
        return nullptr;
    }
    // A BMP stored top row first says so with a negative height, which stb's header query
    // passes on while its decoder reads the rows the right way up.
    if (kind && strcmp(kind, "BMP") == 0 && height < 0 && height > -(1 << 30)) height = -height;
    if (width <= 0 || height <= 0) {
        SetDamaged(result, kind, "no size in its header");
        return nullptr;
    }
    if (static_cast<long long>(width) * height > MaxPicturePixels) {
        // The header alone can claim gigabytes; nothing is allocated for such a claim.
        SetTooLarge(result, width, height);
        return nullptr;
    }
    width = height = 0;
    stbi__g_failure_reason = nullptr;
    unsigned char* pixels = stbi_load_from_file(file, &width, &height, nullptr, 4);
    if (!pixels) {
        SetStbReason(result, kind, stbi_failure_reason(), memoryLimit);
        return nullptr;
    }
    if (width <= 0 || height <= 0 || static_cast<long long>(width) * height > MaxPicturePixels) {
        // Some damaged PNM and HDR files decode "successfully" to nothing.
        if (width <= 0 || height <= 0) SetDamaged(result, kind, "no pixels");
        else SetTooLarge(result, width, height);
        stbi_image_free(pixels);
        return nullptr;
    }
    result->SourceWidth = width;
    result->SourceHeight = height;
    int fitWidth = width, fitHeight = height;
    if (FitInside(width, height, largestSide, &fitWidth, &fitHeight)) {
        if (!ShrinkPicture(pixels, width, height, fitWidth, fitHeight)) {
            SetReason(result, "not enough memory to scale the %d x %d picture down", width, height);
            stbi_image_free(pixels);
            return nullptr;
        }
        // The tail the smaller picture no longer needs goes back at once.
        if (void* smaller = STBI_REALLOC(pixels, size_t(fitWidth) * size_t(fitHeight) * 4))
            pixels = static_cast<unsigned char*>(smaller);
    }
    result->Width = fitWidth;
    result->Height = fitHeight;
    return pixels;
}
