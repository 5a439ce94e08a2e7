// png_jpeg_encoder: 8-bit pixels to an opaque RGB PNG (libpng) or JPEG (libjpeg-turbo) byte
// stream, handed to a sink piece by piece.
//
//   PixelRows rows = {pixels, width, height, 4};         // RGBA, rows top to bottom, no gap
//   ByteSink sink = {WriteSomewhere, &where};             // false from it stops the encoding
//   char reason[256];
//   if (!EncodePicture(PICTURE_PNG, rows, DefaultEncoderSettings(), sink,
//                      {ShowRows, &bar}, reason, sizeof reason))
//       report(reason);                                   // or the sink's own reason
//
// Input: 3 (RGB) or 4 (RGBA) bytes a pixel; a fourth byte is skipped, never blended: the
// window shows no alpha, so the file has none. Output: PNG, 8-bit RGB, non-interlaced, marked
// sRGB; JPEG, baseline JFIF, YCbCr. The progress callback gets the rows encoded so far,
// ending with the row count on success.
//
// Touches no GL, SDL or UI and keeps no state: any thread may encode, several at once. Not
// here: files (see safe_file.h), choosing the format from a name (export_name.h), threads.
#pragma once
#include <cstddef>

enum PictureFormat { PICTURE_PNG, PICTURE_JPEG };

struct PixelRows {
    const unsigned char* Pixels;  // width * height * channels bytes, top row first
    int Width, Height;
    int Channels;  // 3 or 4
};

// Receives the encoded bytes in order. Returning false stops the encoding; EncodePicture then
// returns false with the reason "the output could not be written", and the sink keeps the
// real one.
struct ByteSink {
    bool (*Write)(void* context, const unsigned char* bytes, size_t size);
    void* Context;
};

// Called with the rows done so far (0 < rowsDone <= rowCount), from the encoding thread.
struct EncodeProgress {
    void (*Report)(void* context, int rowsDone, int rowCount);  // may be null
    void* Context;
};

struct EncoderSettings {
    int PngZlibLevel;     // 0..9
    int PngFilters;       // PNG_FILTER_* bits as png.h defines them; 0 means libpng's choice
    int JpegQuality;      // 1..100
    bool JpegFullChroma;  // 4:4:4 when true, else 4:2:0
};

// What the program writes. PNG: zlib level 1 with the SUB filter; JPEG: quality 92 at 4:4:4.
// Why: see the note at DefaultEncoderSettings in png_jpeg_encoder.cpp.
EncoderSettings DefaultEncoderSettings();

// The largest side each format can hold (JPEG: 65500; PNG: libpng's limit of a million).
int MaxPictureSide(PictureFormat format);

// False with a reason for a picture the format cannot hold (a side of 0 or above
// MaxPictureSide, channels not 3 or 4), when the library fails, or when the sink stops.
bool EncodePicture(PictureFormat format, const PixelRows& rows, const EncoderSettings& settings, ByteSink sink,
                   EncodeProgress progress, char* reason, size_t reasonSize);
