// decode_tiff: TIFF through libtiff (picture/photo_decoders.h), the first page only: 8- and
// 16-bit RGB, grey, CMYK and palette, in strips, uncompressed or LZW, Deflate, JPEG or PackBits,
// read row by row with 16-bit samples reduced with rounding; every other layout libtiff knows
// (tiles, separate planes, fewer bits, YCbCr) through its own RGBA reader, at 8 bits. The ICC
// profile and the Orientation tag come along. libtiff reads the file from memory through the
// procedures below; no file is opened by name.
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <tiffio.h>

#include "picture/photo_decoders.h"

namespace {

struct TiffInput {
    const unsigned char* Bytes;
    size_t Size, At;
    bool Failed;
    bool OutOfMemory;
};

tmsize_t Read(thandle_t handle, void* into, tmsize_t count) {
    TiffInput* input = static_cast<TiffInput*>(handle);
    size_t left = input->Size - input->At;
    size_t taken = count < 0 ? 0 : size_t(count) < left ? size_t(count) : left;
    memcpy(into, input->Bytes + input->At, taken);
    input->At += taken;
    return tmsize_t(taken);
}

tmsize_t Write(thandle_t, void*, tmsize_t) { return 0; }

toff_t Seek(thandle_t handle, toff_t offset, int whence) {
    TiffInput* input = static_cast<TiffInput*>(handle);
    toff_t base = whence == SEEK_CUR ? input->At : whence == SEEK_END ? input->Size : 0;
    if (offset > toff_t(input->Size) || base + offset > input->Size) return toff_t(-1);
    input->At = size_t(base + offset);
    return input->At;
}

int Close(thandle_t) { return 0; }

toff_t Size(thandle_t handle) { return static_cast<TiffInput*>(handle)->Size; }

int Map(thandle_t handle, void** base, toff_t* size) {
    TiffInput* input = static_cast<TiffInput*>(handle);
    *base = const_cast<unsigned char*>(input->Bytes);
    *size = input->Size;
    return 1;
}

void Unmap(thandle_t, void*, toff_t) {}

// libtiff's words hold the file's own names and values; only the fact of a failure is kept.
int Error(TIFF*, void* user, const char*, const char* format, va_list) {
    TiffInput* input = static_cast<TiffInput*>(user);
    input->Failed = true;
    if (strstr(format, "memory") || strstr(format, "Memory")) input->OutOfMemory = true;
    return 1;
}

int Warning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

inline unsigned char Round16(unsigned value) { return (unsigned char)((value * 255 + 32767) / 65535); }

// One row of samples to RGBA, or to CMYK in four bytes.
void ConvertRow(const unsigned char* row, unsigned char* out, uint32_t width, int depth, int channels, int colours,
                bool whiteIsZero, const uint16_t* const* palette) {
    const uint16_t* wide = reinterpret_cast<const uint16_t*>(row);
    for (uint32_t x = 0; x < width; ++x, out += 4) {
        unsigned char s[5];
        const int taken = channels < 5 ? channels : 5;
        for (int c = 0; c < taken; ++c) {
            const size_t at = size_t(x) * channels + c;
            s[c] = depth == 16 ? Round16(wide[at]) : row[at];
        }
        if (palette) {
            const unsigned index = depth == 16 ? wide[size_t(x) * channels] : row[size_t(x) * channels];
            for (int c = 0; c < 3; ++c) out[c] = Round16(palette[c][index & (depth == 16 ? 0xffff : 0xff)]);
            out[3] = 255;
        } else if (colours == 1) {
            const unsigned char v = whiteIsZero ? 255 - s[0] : s[0];
            out[0] = out[1] = out[2] = v;
            out[3] = channels > 1 ? s[1] : 255;
        } else if (colours == 3) {
            out[0] = s[0], out[1] = s[1], out[2] = s[2];
            out[3] = channels > 3 ? s[3] : 255;
        } else {
            out[0] = s[0], out[1] = s[1], out[2] = s[2], out[3] = s[3];
        }
    }
}

// `deep`: 16-bit RGB rows go straight to sRGB through it (StartDeepRows).
bool ReadRows(TIFF* tiff, unsigned char* pixels, uint32_t width, uint32_t height, int depth, int channels, int colours,
              bool whiteIsZero, const uint16_t* const* palette, void* deep) {
    unsigned char* row = static_cast<unsigned char*>(_TIFFmalloc(TIFFScanlineSize(tiff)));
    if (!row) return false;
    bool ok = true;
    for (uint32_t y = 0; ok && y < height; ++y) {
        ok = TIFFReadScanline(tiff, row, y, 0) == 1;
        unsigned char* out = pixels + size_t(width) * 4 * y;
        if (ok && deep) ConvertDeepRow(deep, reinterpret_cast<const uint16_t*>(row), out, int(width), channels == 3);
        else if (ok) ConvertRow(row, out, width, depth, channels, colours, whiteIsZero, palette);
    }
    _TIFFfree(row);
    return ok;
}

}  // namespace

bool DecodeTiff(const unsigned char* bytes, size_t size, DecodedPhoto* photo, char* reason, size_t reasonSize) {
    TiffInput input = {bytes, size, 0, false, false};
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) {
        SetPhotoMemoryReason(reason, reasonSize);
        return false;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options, Error, &input);
    TIFFOpenOptionsSetWarningHandlerExtR(options, Warning, &input);
    // No single allocation of libtiff's may be larger than the whole limit allows.
    TIFFOpenOptionsSetMaxSingleMemAlloc(options,
                                        tmsize_t(PhotoMemoryLimit > 0x7fffffff ? 0x7fffffff : PhotoMemoryLimit));
    TIFF* tiff = TIFFClientOpenExt("picture", "r", &input, Read, Write, Seek, Close, Size, Map, Unmap, options);
    TIFFOpenOptionsFree(options);
    if (!tiff) {
        if (input.OutOfMemory) SetPhotoMemoryReason(reason, reasonSize);
        else SetPhotoReason(reason, reasonSize, "the file is damaged or cut short (TIFF)");
        return false;
    }
    uint32_t width = 0, height = 0;
    uint16_t depth = 8, channels = 1, photometric = PHOTOMETRIC_MINISBLACK, planar = PLANARCONFIG_CONTIG;
    uint16_t compression = COMPRESSION_NONE, orientation = ORIENTATION_TOPLEFT, inks = INKSET_CMYK;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &depth);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &channels);
    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &orientation);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_INKSET, &inks);
    if (width == 0 || height == 0) {
        TIFFClose(tiff);
        SetPhotoReason(reason, reasonSize, "the file is damaged or cut short (TIFF: no size in its header)");
        return false;
    }
    if (PhotoTooLarge(width, height, reason, reasonSize)) {
        TIFFClose(tiff);
        return false;
    }
    if (!TIFFIsCODECConfigured(compression)) {
        TIFFClose(tiff);
        SetPhotoReason(reason, reasonSize, "this TIFF variant is not supported (its compression)");
        return false;
    }
    uint32_t iccSize = 0;
    void* icc = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &iccSize, &icc) && icc && iccSize > 0) {
        photo->OwnedIcc = static_cast<unsigned char*>(malloc(iccSize));
        if (photo->OwnedIcc) memcpy(photo->OwnedIcc, icc, iccSize);
        photo->Colour.Icc = photo->OwnedIcc;
        photo->Colour.IccSize = iccSize;
    }
    photo->Orientation = orientation >= 1 && orientation <= 8 ? orientation : 1;

    unsigned char* pixels = PhotoPixels(size_t(width) * height * 4);
    if (!pixels) {
        TIFFClose(tiff);
        SetPhotoMemoryReason(reason, reasonSize);
        return false;
    }
    // JPEG in TIFF is YCbCr inside: libtiff's codec hands it over as RGB.
    if (compression == COMPRESSION_JPEG && photometric == PHOTOMETRIC_YCBCR) {
        TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        photometric = PHOTOMETRIC_RGB;
    }
    uint16_t* palette[3] = {nullptr, nullptr, nullptr};
    const bool paletted = photometric == PHOTOMETRIC_PALETTE &&
                          TIFFGetField(tiff, TIFFTAG_COLORMAP, &palette[0], &palette[1], &palette[2]) == 1;
    int colours = 0;
    if (photometric == PHOTOMETRIC_RGB && channels >= 3) colours = 3;
    else if ((photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE) && channels >= 1)
        colours = 1;
    else if (photometric == PHOTOMETRIC_SEPARATED && inks == INKSET_CMYK && channels >= 4) colours = 4;
    else if (paletted && channels == 1 && depth == 8) colours = 3;
    const bool rowByRow = colours && !TIFFIsTiled(tiff) && planar == PLANARCONFIG_CONTIG && (depth == 8 || depth == 16);
    bool ok;
    if (rowByRow) {
        photo->Samples = colours == 4 ? PHOTO_SAMPLES_CMYK : colours == 1 ? PHOTO_SAMPLES_GREY : PHOTO_SAMPLES_RGBA;
        void* deep = depth == 16 && colours == 3 && !paletted ? StartDeepRows(photo->Colour, channels) : nullptr;
        ok = ReadRows(tiff, pixels, width, height, depth, channels, colours, photometric == PHOTOMETRIC_MINISWHITE,
                      paletted ? palette : nullptr, deep);
        if (deep) {
            EndDeepRows(deep);
            photo->Colour.Icc = nullptr;  // converted already
        }
    } else {
        // libtiff's own reader, asked for the rows as stored (the orientation is turned after).
        char why[1024];
        TIFFRGBAImage image;
        ok = TIFFRGBAImageOK(tiff, why) && TIFFRGBAImageBegin(&image, tiff, 0, why);
        if (!ok && !input.Failed) {
            PhotoPixelsFree(pixels);
            TIFFClose(tiff);
            free(photo->OwnedIcc);
            photo->OwnedIcc = nullptr;
            SetPhotoReason(reason, reasonSize, "this TIFF variant is not supported");
            return false;
        }
        if (ok) {
            image.req_orientation = photo->Orientation;
            // Its CMYK is already RGB, without a profile; the CMYK profile no longer fits.
            if (photometric == PHOTOMETRIC_SEPARATED) photo->Colour.Icc = nullptr;
            ok = TIFFRGBAImageGet(&image, reinterpret_cast<uint32_t*>(pixels), width, height) == 1;
            TIFFRGBAImageEnd(&image);
            // Packed as A B G R from the top byte down: R G B A in memory on little-endian
            // machines, turned around on the others.
            const uint32_t probe = 1;
            if (ok && *reinterpret_cast<const unsigned char*>(&probe) == 0)
                TIFFSwabArrayOfLong(reinterpret_cast<uint32_t*>(pixels), tmsize_t(width) * height);
        }
        photo->Samples = PHOTO_SAMPLES_RGBA;
    }
    TIFFClose(tiff);
    if (!ok) {
        PhotoPixelsFree(pixels);
        free(photo->OwnedIcc);
        photo->OwnedIcc = nullptr;
        photo->Colour.Icc = nullptr;
        if (input.OutOfMemory) SetPhotoMemoryReason(reason, reasonSize);
        else SetPhotoReason(reason, reasonSize, "the file is damaged or cut short (TIFF)");
        return false;
    }
    photo->Pixels = pixels;
    photo->Width = photo->SourceWidth = int(width);
    photo->Height = photo->SourceHeight = int(height);
    return true;
}
