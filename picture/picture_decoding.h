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
//   unsigned char* pixels = DecodeOpenPicture(file, memoryLimit, &result);
//
// Included once per helper, after stb_image's implementation, since it calls stb's static
// functions. The helper itself opens the file (refusing folders, devices and empty files in
// its platform's terms) and hands the pixels over; this part checks the header before anything
// is allocated, decodes, and words every failure so that a user can act on it.
#pragma once
#include <cstdio>
#include <cstring>

#include "picture/image_decoder_protocol.h"

static void SetReason(DecoderResult* result, const char* text) {
    snprintf(result->reason, sizeof result->reason, "%s", text);
}

// stb's failure texts are terse; the common ones get words a user can act on.
static void SetStbReason(DecoderResult* result, unsigned long long memoryLimit) {
    const char* text = stbi_failure_reason();
    if (!text) text = "the picture could not be decoded";
    if (AllocationRefused || strcmp(text, "outofmem") == 0) {
        snprintf(result->reason, sizeof result->reason, "not enough memory to decode it (limit %llu MiB)",
                 memoryLimit >> 20);
    } else if (strcmp(text, "unknown image type") == 0) {
        SetReason(result, "unknown image type (not PNG, JPEG, BMP, GIF, TGA, PSD, HDR, PIC or PNM)");
    } else {
        SetReason(result, text);
    }
}

static void SetTooLarge(DecoderResult* result, long long width, long long height) {
    snprintf(result->reason, sizeof result->reason, "the picture is too large (%lld x %lld pixels, at most %lld)",
             width, height, static_cast<long long>(MaxPicturePixels));
}

// The format a file's first bytes announce, or null. TGA has no signature.
static const char* PictureSignature(FILE* file) {
    static const struct {
        const char* name;
        unsigned char length;
        unsigned char bytes[4];
    } kinds[] = {
        {"TIFF", 4, {'I', 'I', 42, 0}}, {"TIFF", 4, {'M', 'M', 0, 42}}, {"PNG", 4, {0x89, 'P', 'N', 'G'}},
        {"JPEG", 3, {0xff, 0xd8, 0xff}}, {"GIF", 4, {'G', 'I', 'F', '8'}},   {"BMP", 2, {'B', 'M'}},
        {"PSD", 4, {'8', 'B', 'P', 'S'}},  {"HDR", 2, {'#', '?'}},            {"PIC", 4, {0x53, 0x80, 0xf6, 0x34}},
    };
    unsigned char magic[4] = {0, 0, 0, 0};
    size_t got = fread(magic, 1, 4, file);
    rewind(file);
    for (const auto& kind : kinds) {
        if (got >= kind.length && memcmp(magic, kind.bytes, kind.length) == 0) return kind.name;
    }
    return nullptr;
}

// Decodes an opened, non-empty regular file to RGBA. Answers the pixels (stb's allocation, with
// result->width and result->height set), or null with result->reason set.
static unsigned char* DecodeOpenPicture(FILE* file, unsigned long long memoryLimit, DecoderResult* result) {
    const char* kind = PictureSignature(file);
    int width = 0, height = 0, components = 0;
    if (kind && strcmp(kind, "TIFF") == 0) {
        SetReason(result, "TIFF pictures are not supported");
        return nullptr;
    }
    if (!stbi_info_from_file(file, &width, &height, &components)) {
        // stb tries every format in turn and reports the last one's complaint; a file that
        // announces its format deserves a reason about that format.
        if (kind) {
            snprintf(result->reason, sizeof result->reason, "damaged %s header, or a picture too large to decode",
                     kind);
        } else {
            SetStbReason(result, memoryLimit);
        }
        return nullptr;
    }
    if (static_cast<long long>(width) * height > MaxPicturePixels) {
        // The header alone can claim gigabytes; nothing is allocated for such a claim.
        SetTooLarge(result, width, height);
        return nullptr;
    }
    width = height = 0;
    unsigned char* pixels = stbi_load_from_file(file, &width, &height, nullptr, 4);
    if (!pixels) {
        SetStbReason(result, memoryLimit);
        return nullptr;
    }
    if (width <= 0 || height <= 0 || static_cast<long long>(width) * height > MaxPicturePixels) {
        // Some damaged PNM and HDR files decode "successfully" to nothing.
        if (width <= 0 || height <= 0)
            snprintf(result->reason, sizeof result->reason, "the picture has no pixels (%d x %d)", width, height);
        else
            SetTooLarge(result, width, height);
        stbi_image_free(pixels);
        return nullptr;
    }
    result->width = width;
    result->height = height;
    return pixels;
}
