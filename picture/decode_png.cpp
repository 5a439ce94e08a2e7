// decode_png: PNG through libpng (picture/photo_decoders.h): palette, grey, 16-bit (reduced to 8
// with rounding), alpha, interlaced. The iCCP profile and the eXIf orientation come along; gAMA
// and cHRM are left alone, as browsers leave them when there is no profile. A file must end
// with its last chunk, as it always did here.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <png.h>

#include "picture/photo_decoders.h"

namespace {

struct PngInput {
    const unsigned char* Bytes;
    size_t Size, At;
    bool Ended;        // the file ended before libpng had all it needed
    bool OutOfMemory;  // an allocation was refused
    char Error[80];    // libpng's words, only to tell the class of failure
    jmp_buf Escape;
};

void Read(png_structp png, png_bytep into, size_t count) {
    PngInput* input = static_cast<PngInput*>(png_get_io_ptr(png));
    if (input->Size - input->At < count) {
        input->Ended = true;
        png_error(png, "cut short");
    }
    memcpy(into, input->Bytes + input->At, count);
    input->At += count;
}

void Fail(png_structp png, png_const_charp message) {
    PngInput* input = static_cast<PngInput*>(png_get_error_ptr(png));
    // The words may live on the stack that the jump leaves.
    snprintf(input->Error, sizeof input->Error, "%s", message ? message : "");
    longjmp(input->Escape, 1);
}

void Warn(png_structp, png_const_charp) {}

png_voidp Allocate(png_structp png, png_alloc_size_t size) {
    void* memory = malloc(size);
    if (!memory) static_cast<PngInput*>(png_get_mem_ptr(png))->OutOfMemory = true;
    return memory;
}

void Release(png_structp, png_voidp memory) { free(memory); }

bool Has(const char* text, const char* part) { return strstr(text, part) != nullptr; }

// libpng's messages name chunks with the file's own bytes; only their class is kept here.
void SetPngReason(const PngInput& input, char* reason, size_t reasonSize) {
    const char* detail = nullptr;
    if (input.OutOfMemory || Has(input.Error, "memory")) return SetPhotoMemoryReason(reason, reasonSize);
    if (input.Ended) detail = "it ends before its last chunk";
    else if (Has(input.Error, "CRC")) detail = "a chunk's checksum is wrong";
    else if (Has(input.Error, "chunk type") || Has(input.Error, "chunk name")) detail = "unknown chunk";
    else if (Has(input.Error, "IHDR") || Has(input.Error, "Image width") || Has(input.Error, "Image height") ||
             Has(input.Error, "color type") || Has(input.Error, "bit depth"))
        detail = "bad header";
    else if (Has(input.Error, "Not enough image data") || Has(input.Error, "Too much image data") ||
             Has(input.Error, "stream") || Has(input.Error, "distance") || Has(input.Error, "code") ||
             Has(input.Error, "block") || Has(input.Error, "filter") || Has(input.Error, "header check"))
        detail = "its picture data is damaged";
    if (detail) SetPhotoReason(reason, reasonSize, "the file is damaged or cut short (PNG: %s)", detail);
    else SetPhotoReason(reason, reasonSize, "the file is damaged or cut short (PNG)");
}

}  // namespace

bool DecodePng(const unsigned char* bytes, size_t size, DecodedPhoto* photo, char* reason, size_t reasonSize) {
    // The size the header claims, refused before libpng reads on (a file may be its header alone).
    if (size >= 24 && memcmp(bytes + 12, "IHDR", 4) == 0) {
        const long long width = (long long)bytes[16] << 24 | bytes[17] << 16 | bytes[18] << 8 | bytes[19];
        const long long height = (long long)bytes[20] << 24 | bytes[21] << 16 | bytes[22] << 8 | bytes[23];
        if (PhotoTooLarge(width, height, reason, reasonSize)) return false;
    }
    PngInput input;
    memset(&input, 0, sizeof input);
    input.Bytes = bytes;
    input.Size = size;
    png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &input, Fail, Warn, &input, Allocate, Release);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        SetPhotoMemoryReason(reason, reasonSize);
        return false;
    }
    png_bytep* rows = nullptr;
    unsigned char* volatile decoded = nullptr;
    if (setjmp(input.Escape)) {
        free(rows);
        PhotoPixelsFree(decoded);
        photo->Colour.Icc = nullptr;
        png_destroy_read_struct(&png, &info, nullptr);
        SetPngReason(input, reason, reasonSize);
        return false;
    }
    png_set_read_fn(png, &input, Read);
    // The pixel limit below is the real one; libpng's own default (a million a side) stays out
    // of its way, and its cap on a chunk's memory (8 MB) keeps a huge profile out.
    png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
    png_set_crc_action(png, PNG_CRC_DEFAULT, PNG_CRC_DEFAULT);
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, type = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &type, &interlace, nullptr, nullptr);
    if (PhotoTooLarge(width, height, reason, reasonSize)) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }

    png_charp name = nullptr;
    png_bytep profile = nullptr;
    png_uint_32 profileSize = 0;
    int compression = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &profileSize) && profile) {
        photo->Colour.Icc = profile;  // libpng's, alive until the end below
        photo->Colour.IccSize = profileSize;
    }
    png_bytep exif = nullptr;
    png_uint_32 exifSize = 0;
    if (png_get_eXIf_1(png, info, &exifSize, &exif) && exif) photo->Orientation = ExifOrientation(exif, exifSize);

    const bool grey = !(type & PNG_COLOR_MASK_COLOR);
    photo->Samples = grey ? PHOTO_SAMPLES_GREY : PHOTO_SAMPLES_RGBA;
    png_set_expand(png);  // palette to RGB, small grey to 8 bits, tRNS to alpha
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xff, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    const size_t stride = size_t(width) * 4;
    decoded = PhotoPixels(stride * height);
    rows = static_cast<png_bytep*>(malloc(sizeof(png_bytep) * height));
    if (!decoded || !rows) {
        input.OutOfMemory = true;
        png_error(png, "memory");
    }
    for (png_uint_32 y = 0; y < height; ++y) rows[y] = decoded + stride * y;
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    free(rows);
    rows = nullptr;

    // The profile is copied out before libpng's memory goes.
    if (photo->Colour.Icc) {
        photo->OwnedIcc = static_cast<unsigned char*>(malloc(photo->Colour.IccSize));
        if (photo->OwnedIcc) memcpy(photo->OwnedIcc, photo->Colour.Icc, photo->Colour.IccSize);
        photo->Colour.Icc = photo->OwnedIcc;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    photo->Pixels = decoded;
    photo->Width = photo->SourceWidth = int(width);
    photo->Height = photo->SourceHeight = int(height);
    return true;
}
