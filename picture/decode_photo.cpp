// decode_photo: which of the photo decoders a file is for, and the steps every decoded photo
// takes after its decoder: scaled down to the largest side, converted to sRGB, turned upright
// (picture/photo_decoders.h). Knows no format's details and no platform.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <libheif/heif.h>
#include <thread>

#include "picture/image_decoder_protocol.h"
#include "picture/photo_decoders.h"
#include "picture/picture_scaling.h"

void SetPhotoReason(char* reason, size_t reasonSize, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(reason, reasonSize, format, args);
    va_end(args);
}

bool PhotoTooLarge(long long width, long long height, char* reason, size_t reasonSize) {
    if (width * height <= MaxPicturePixels) return false;
    SetPhotoReason(reason, reasonSize, "the picture is too large: %lld x %lld pixels, at most %lld million", width,
                   height, static_cast<long long>(MaxPicturePixels / 1000000));
    return true;
}

void SetPhotoMemoryReason(char* reason, size_t reasonSize) {
    SetPhotoReason(reason, reasonSize, "not enough memory to decode it (limit %llu MiB)", PhotoMemoryLimit >> 20);
}

// Everything that reads files or sets up tables for the libraries, done before the first byte
// of input: the helper may be confined afterwards.
int PhotoDecoderThreads = 1;

void PrepareDecoders() {
    PhotoDecoderThreads = int(std::thread::hardware_concurrency());
    heif_init(nullptr);
    PrepareColourConversion();
}

bool PhotoFinalAsDecoded(const DecodedPhoto& photo, int width, int height, int largestSide) {
    int fitWidth = 0, fitHeight = 0;
    return photo.Samples == PHOTO_SAMPLES_RGBA && photo.Orientation == 1 && !photo.Colour.Icc &&
           !photo.Colour.Primaries && !photo.Colour.Transfer &&
           !FitInside(width, height, largestSide, &fitWidth, &fitHeight);
}

PhotoKind PhotoKindOf(const unsigned char* bytes, size_t size) {
    if (size >= 3 && bytes[0] == 0xff && bytes[1] == 0xd8 && bytes[2] == 0xff) return PHOTO_KIND_JPEG;
    if (size >= 8 && memcmp(bytes, "\x89PNG\r\n\x1a\n", 8) == 0) return PHOTO_KIND_PNG;
    // Classic and big TIFF, in either byte order.
    if (size >= 4 && ((memcmp(bytes, "II", 2) == 0 && (bytes[2] == 42 || bytes[2] == 43) && bytes[3] == 0) ||
                      (memcmp(bytes, "MM", 2) == 0 && bytes[2] == 0 && (bytes[3] == 42 || bytes[3] == 43))))
        return PHOTO_KIND_TIFF;
    if (size >= 12 && memcmp(bytes, "RIFF", 4) == 0 && memcmp(bytes + 8, "WEBP", 4) == 0) return PHOTO_KIND_WEBP;
    if (size >= 12 && memcmp(bytes + 4, "ftyp", 4) == 0) {
        // The brand says which kind of ISO media file: still pictures and their sequences.
        static const char brands[][5] = {"heic", "heix", "heim", "heis", "hevc", "hevx",
                                         "mif1", "msf1", "avif", "avis", "mif2"};
        for (const char* brand : brands)
            if (memcmp(bytes + 8, brand, 4) == 0) return PHOTO_KIND_HEIF;
    }
    return PHOTO_KIND_NONE;
}

static bool DecodeStored(PhotoKind kind, const unsigned char* bytes, size_t size, int largestSide, DecodedPhoto* photo,
                         char* reason, size_t reasonSize) {
    switch (kind) {
    case PHOTO_KIND_JPEG: return DecodeJpeg(bytes, size, largestSide, photo, reason, reasonSize);
    case PHOTO_KIND_PNG: return DecodePng(bytes, size, photo, reason, reasonSize);
    case PHOTO_KIND_TIFF: return DecodeTiff(bytes, size, photo, reason, reasonSize);
    case PHOTO_KIND_WEBP: return DecodeWebp(bytes, size, photo, reason, reasonSize);
    case PHOTO_KIND_HEIF: return DecodeHeif(bytes, size, photo, reason, reasonSize);
    case PHOTO_KIND_NONE: break;
    }
    SetPhotoReason(reason, reasonSize, "not a picture format this program reads");
    return false;
}

// Scaled down into a second buffer on the decoder's threads when the picture is large and needs
// no turn after it (the turn takes that room), else where it lies.
static bool Shrink(DecodedPhoto* photo, int width, int height) {
    const size_t bytes = size_t(width) * size_t(height) * 4;
    if (PhotoDecoderThreads > 1 && photo->Orientation == 1 && uint64_t(photo->Width) * photo->Height >= 4000000) {
        if (unsigned char* into = PhotoPixels(bytes)) {
            if (ShrinkPictureInto(photo->Pixels, photo->Width, photo->Height, into, width, height,
                                  PhotoDecoderThreads)) {
                PhotoPixelsFree(photo->Pixels);
                photo->Pixels = into;
                return true;
            }
            PhotoPixelsFree(into);
        }
    }
    if (!ShrinkPicture(photo->Pixels, photo->Width, photo->Height, width, height)) return false;
    PhotoPixelsShrink(photo->Pixels, bytes);
    return true;
}

bool DecodePhoto(PhotoKind kind, const unsigned char* bytes, size_t size, int largestSide, DecodedPhoto* photo,
                 char* reason, size_t reasonSize) {
    memset(photo, 0, sizeof *photo);
    photo->Orientation = 1;
    if (!DecodeStored(kind, bytes, size, largestSide, photo, reason, reasonSize)) {
        free(photo->OwnedIcc);
        return false;
    }
    bool ok = true;
    // Scaled first, so that the colour and the turn cost the smaller picture. The largest side is
    // the same both ways, so the turn cannot make the picture outgrow it.
    int width = photo->Width, height = photo->Height;
    if (FitInside(photo->Width, photo->Height, largestSide, &width, &height)) {
        if (Shrink(photo, width, height)) {
            photo->Width = width;
            photo->Height = height;
        } else {
            SetPhotoReason(reason, reasonSize, "not enough memory to scale the %d x %d picture down",
                           photo->SourceWidth, photo->SourceHeight);
            ok = false;
        }
    }
    if (ok) {
        photo->Note = ConvertToSrgb(photo);
        if (photo->Orientation >= 5) {
            const int sourceWidth = photo->SourceWidth;
            photo->SourceWidth = photo->SourceHeight;
            photo->SourceHeight = sourceWidth;
        }
        if (!TurnUpright(photo)) {
            SetPhotoReason(reason, reasonSize, "not enough memory to turn the %d x %d picture upright",
                           photo->SourceWidth, photo->SourceHeight);
            ok = false;
        }
    }
    free(photo->OwnedIcc);
    photo->OwnedIcc = nullptr;
    photo->Colour.Icc = nullptr;
    if (!ok) {
        PhotoPixelsFree(photo->Pixels);
        photo->Pixels = nullptr;
    }
    return ok;
}
