// photo_decoders: the formats of phones, cameras and the web, decoded inside the decoder helper
// by each field's own library, and made upright and sRGB.
//
//   PrepareDecoders();                       // once, at start-up, before any input is read
//   PhotoKind kind = PhotoKindOf(bytes, size);
//   if (kind != PHOTO_KIND_NONE) {
//       DecodedPhoto photo;
//       char reason[240];
//       if (DecodePhoto(kind, bytes, size, largestSide, &photo, reason, sizeof reason))
//           use(photo.Pixels, photo.Width, photo.Height);   // RGBA, upright, sRGB, within largestSide
//   }
//
// A file is known by its first bytes, never by its name: JPEG (libjpeg-turbo), PNG (libpng),
// TIFF (libtiff, the first page), WebP (libwebp, an animation's first frame) and HEIF/HEIC/AVIF
// (libheif, the primary image); anything else is stb_image's, as before. Each decoder checks the
// size its header claims before anything large is allocated, and decodes into a buffer from
// PhotoPixels, which the helper provides (its shared memory on Linux), so the pixels are already
// where the program takes them. Then, in decode_photo.cpp: a picture larger than largestSide is
// scaled down, an embedded colour profile converted to sRGB (colour_to_srgb.cpp), and an EXIF
// orientation applied (exif_orientation.cpp). Reasons are plain words of our own for each class
// of the library's errors: never the library's text, never bytes of the file.
//
// Platform-neutral: the files read memory they are handed and open nothing. A large JPEG is read
// by two threads, each its own part of the rows; the decoders keep no state between pictures (a
// helper decodes one picture and ends).
#pragma once
#include <cstddef>
#include <cstdint>

enum PhotoKind { PHOTO_KIND_NONE, PHOTO_KIND_JPEG, PHOTO_KIND_PNG, PHOTO_KIND_TIFF, PHOTO_KIND_WEBP, PHOTO_KIND_HEIF };

// What the four bytes of a pixel hold as a decoder hands them on.
enum PhotoSamples {
    PHOTO_SAMPLES_RGBA,
    PHOTO_SAMPLES_GREY,           // R = G = B, with alpha
    PHOTO_SAMPLES_CMYK,           // 0 is no ink; no alpha
    PHOTO_SAMPLES_INVERTED_CMYK,  // 255 is no ink (Adobe's JPEGs); no alpha
};

// How the colours of a decoded picture are described: an ICC profile, code points (HEIF's nclx,
// ITU-T H.273), or nothing (sRGB).
struct PhotoColour {
    const unsigned char* Icc;  // the profile's bytes, or null
    size_t IccSize;
    int Primaries, Transfer;  // H.273 code points; 0 when there are none
};

// What a format's decoder hands to the steps that follow.
struct DecodedPhoto {
    unsigned char* Pixels;  // Width x Height x 4 bytes from PhotoPixels, rows top to bottom
    int Width, Height;
    int SourceWidth, SourceHeight;  // the picture's own size as stored (before any scaling)
    int Orientation;                // EXIF 1..8 still to apply; 1: upright as stored
    PhotoSamples Samples;
    PhotoColour Colour;
    unsigned char* OwnedIcc;  // a profile the decoder copied out (free()d by DecodePhoto)
    const char* Note;         // a remark for the log (a profile set aside), or null
};

// ---- Provided by the helper ----
// Memory for pixels: null when the memory limit refuses it. PhotoPixelsShrink keeps the first
// `size` bytes where they are and gives the rest back.
unsigned char* PhotoPixels(size_t size);
void PhotoPixelsFree(unsigned char* pixels);
void PhotoPixelsShrink(unsigned char* pixels, size_t size);
// Rows handed over while the rest is decoded, by a decoder whose pixels are final as it writes
// them (PhotoFinalAsDecoded): where they are, once, then how many rows from the top are done.
// Where the helper cannot hand rows over early, these do nothing.
void PhotoRowsBegin(const unsigned char* pixels, int width, int height);
void PhotoRowsDone(int rows);
// The helper's memory limit, for the reason when it is reached.
extern unsigned long long PhotoMemoryLimit;

// ---- decode_photo.cpp ----
void PrepareDecoders();
// How many threads a decoder may use at once: the machine's cores, as PrepareDecoders found them
// (a confined helper cannot ask).
extern int PhotoDecoderThreads;
PhotoKind PhotoKindOf(const unsigned char* bytes, size_t size);
// The whole decode: false with the reason set. On success `photo` holds the upright sRGB pixels
// (Samples RGBA, Orientation 1) and the upright sizes.
bool DecodePhoto(PhotoKind kind, const unsigned char* bytes, size_t size, int largestSide, DecodedPhoto* photo,
                 char* reason, size_t reasonSize);
// Whether pixels decoded with these properties need no step after their decoder: RGBA, upright,
// without a colour description, within the largest side.
bool PhotoFinalAsDecoded(const DecodedPhoto& photo, int width, int height, int largestSide);
// The shared words of the decoders' reasons.
void SetPhotoReason(char* reason, size_t reasonSize, const char* format, ...);
bool PhotoTooLarge(long long width, long long height, char* reason, size_t reasonSize);
void SetPhotoMemoryReason(char* reason, size_t reasonSize);

// ---- One decoder per format: the stored pixels, before scaling, colour and orientation ----
// largestSide lets a decoder that can decode smaller (JPEG) do so, never below the size that
// fits. Each answers false with the reason set, its own allocations freed.
bool DecodeJpeg(const unsigned char* bytes, size_t size, int largestSide, DecodedPhoto* photo, char* reason,
                size_t reasonSize);
bool DecodePng(const unsigned char* bytes, size_t size, DecodedPhoto* photo, char* reason, size_t reasonSize);
bool DecodeTiff(const unsigned char* bytes, size_t size, DecodedPhoto* photo, char* reason, size_t reasonSize);
bool DecodeWebp(const unsigned char* bytes, size_t size, DecodedPhoto* photo, char* reason, size_t reasonSize);
bool DecodeHeif(const unsigned char* bytes, size_t size, DecodedPhoto* photo, char* reason, size_t reasonSize);

// ---- exif_orientation.cpp ----
// The Orientation (1..8) of an EXIF block: the TIFF structure, with or without the "Exif\0\0"
// that JPEG's APP1 puts before it. 1 when there is none, or when the block is damaged or points
// outside itself.
int ExifOrientation(const unsigned char* exif, size_t size);
// Turns the picture upright: 2..4 where it lies, 5..8 into a new buffer (PhotoPixels; the old
// one is freed), with the sides swapped. False when no memory was to be had for that.
bool TurnUpright(DecodedPhoto* photo);

// ---- colour_to_srgb.cpp ----
// Converts the pixels to sRGB RGBA from what their samples and colour description say (CMYK and
// grey become RGBA even without a profile). A profile that cannot be used is ignored: the
// picture is taken as sRGB, and the answer is a line for the log; otherwise null.
void PrepareColourConversion();
const char* ConvertToSrgb(DecodedPhoto* photo);
// For 16-bit RGB (3 or 4 samples a pixel) with a profile: each row straight to 8-bit sRGB RGBA,
// so that a wide gamut loses no precision on the way. Null when the profile cannot be used
// that way (ConvertToSrgb then says why, after the samples were reduced).
void* StartDeepRows(const PhotoColour& colour, int channels);
void ConvertDeepRow(void* rows, const uint16_t* row, unsigned char* out, int width, bool opaque);
void EndDeepRows(void* rows);
