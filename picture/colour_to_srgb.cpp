// colour_to_srgb: the decoded pixels brought to sRGB with Little CMS 2, perceptual intent
// (picture/photo_decoders.h). The source is the picture's ICC profile, else a profile made from
// its H.273 code points (HEIF's nclx: BT.709, BT.2020, Display P3 primaries), else sRGB itself,
// when nothing is converted. CMYK and grey samples become RGBA here too. A profile that Little CMS
// cannot use, or that does not fit the samples, is ignored and said so; the picture then shows
// as if it were sRGB, as it did before profiles were read.
#include <cstdlib>
#include <cstring>
#include <lcms2.h>

#include "picture/photo_decoders.h"

namespace {

// Larger profiles exist (printers' lookup tables), but not in photographs.
constexpr size_t LargestProfile = 16u << 20;

cmsHPROFILE Srgb;

// A profile made from code points; null where they say sRGB (or nothing) already.
cmsHPROFILE ProfileOfCodePoints(int primaries, int transfer, const char** problem) {
    cmsCIExyYTRIPLE colours;
    cmsCIExyY white = {0.3127, 0.3290, 1.0};  // D65
    switch (primaries) {
    case 9:  // BT.2020 and BT.2100
        colours = {{0.708, 0.292, 1.0}, {0.170, 0.797, 1.0}, {0.131, 0.046, 1.0}};
        break;
    case 12:  // SMPTE EG 432-1: Display P3
        colours = {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
        break;
    case 11:  // SMPTE RP 431-2: DCI-P3, its own white
        colours = {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
        white = {0.314, 0.351, 1.0};
        break;
    default:  // 1 (BT.709, sRGB's own), 2 (unspecified) and the rest taken as sRGB
        colours = {{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
        primaries = 1;
        break;
    }
    // The camera curves of BT.709 and BT.2020 are shown with sRGB's curve, as displays and
    // browsers show them; a linear picture is decoded linear. PQ and HLG are beyond 8-bit sRGB.
    cmsFloat64Number curve[5] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    if (transfer == 8) curve[0] = 1, curve[1] = 1, curve[2] = 0, curve[3] = 1, curve[4] = 0;
    if (transfer == 16 || transfer == 18) *problem = "its HDR colours (PQ or HLG) are shown as sRGB";
    if (primaries == 1 && transfer != 8) return nullptr;
    cmsToneCurve* tone = cmsBuildParametricToneCurve(nullptr, 4, curve);
    cmsToneCurve* tones[3] = {tone, tone, tone};
    cmsHPROFILE profile = tone ? cmsCreateRGBProfile(&white, &colours, tones) : nullptr;
    if (tone) cmsFreeToneCurve(tone);
    return profile;
}

cmsUInt32Number InputFormat(PhotoSamples samples) {
    switch (samples) {
    case PHOTO_SAMPLES_GREY: return TYPE_GRAY_8;
    case PHOTO_SAMPLES_CMYK: return TYPE_CMYK_8;
    case PHOTO_SAMPLES_INVERTED_CMYK: return TYPE_CMYK_8_REV;
    case PHOTO_SAMPLES_RGBA: break;
    }
    return TYPE_RGBA_8;
}

cmsColorSpaceSignature SpaceOf(PhotoSamples samples) {
    switch (samples) {
    case PHOTO_SAMPLES_GREY: return cmsSigGrayData;
    case PHOTO_SAMPLES_CMYK:
    case PHOTO_SAMPLES_INVERTED_CMYK: return cmsSigCmykData;
    case PHOTO_SAMPLES_RGBA: break;
    }
    return cmsSigRgbData;
}

// Without a profile: ink taken away from white, and grey spread to three channels already.
void CmykToRgb(unsigned char* pixels, size_t count, bool inverted) {
    for (size_t i = 0; i < count; ++i, pixels += 4) {
        unsigned c = pixels[0], m = pixels[1], y = pixels[2], k = pixels[3];
        if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
        pixels[0] = (unsigned char)((c * k + 127) / 255);
        pixels[1] = (unsigned char)((m * k + 127) / 255);
        pixels[2] = (unsigned char)((y * k + 127) / 255);
        pixels[3] = 255;
    }
}

// Grey and CMYK go through a row of their own samples; RGBA is converted where it lies.
void Transform(cmsHTRANSFORM transform, DecodedPhoto* photo) {
    const size_t width = size_t(photo->Width);
    unsigned char* grey = photo->Samples == PHOTO_SAMPLES_GREY ? static_cast<unsigned char*>(malloc(width)) : nullptr;
    for (int y = 0; y < photo->Height; ++y) {
        unsigned char* row = photo->Pixels + width * 4 * size_t(y);
        if (photo->Samples == PHOTO_SAMPLES_RGBA) {
            cmsDoTransform(transform, row, row, cmsUInt32Number(width));
        } else if (grey) {
            for (size_t x = 0; x < width; ++x) grey[x] = row[x * 4];
            cmsDoTransform(transform, grey, row, cmsUInt32Number(width));  // the alpha stays
        } else if (photo->Samples != PHOTO_SAMPLES_GREY) {                 // CMYK: four bytes in, four out
            cmsDoTransform(transform, row, row, cmsUInt32Number(width));
            for (size_t x = 0; x < width; ++x) row[x * 4 + 3] = 255;
        }
    }
    free(grey);
}

}  // namespace

void PrepareColourConversion() { Srgb = cmsCreate_sRGBProfile(); }

namespace {

// A profile of curves and a matrix (every camera RGB is one), applied to 16-bit samples by
// tables: Little CMS's own 16-bit path samples the conversion on a grid, which near black is
// off by up to 17 levels through ProPhoto, and its exact path takes seconds for a photo.
struct DeepRows {
    float Linear[3][65536];     // each channel's sample to linear light
    float Matrix[9];            // the source's linear RGB to sRGB's, through XYZ (D50)
    unsigned char Srgb[65536];  // linear light (in 1/65535ths) to sRGB's 8-bit value
};

bool ColourantMatrix(cmsHPROFILE profile, double matrix[9]) {
    const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
    for (int c = 0; c < 3; ++c) {
        const cmsCIEXYZ* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tags[c]));
        if (!xyz) return false;
        matrix[c] = xyz->X, matrix[3 + c] = xyz->Y, matrix[6 + c] = xyz->Z;
    }
    return true;
}

bool Invert(const double m[9], double out[9]) {
    const double det =
        m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) + m[2] * (m[3] * m[7] - m[4] * m[6]);
    if (det > -1e-12 && det < 1e-12) return false;
    out[0] = (m[4] * m[8] - m[5] * m[7]) / det, out[1] = (m[2] * m[7] - m[1] * m[8]) / det;
    out[2] = (m[1] * m[5] - m[2] * m[4]) / det, out[3] = (m[5] * m[6] - m[3] * m[8]) / det;
    out[4] = (m[0] * m[8] - m[2] * m[6]) / det, out[5] = (m[2] * m[3] - m[0] * m[5]) / det;
    out[6] = (m[3] * m[7] - m[4] * m[6]) / det, out[7] = (m[1] * m[6] - m[0] * m[7]) / det;
    out[8] = (m[0] * m[4] - m[1] * m[3]) / det;
    return true;
}

}  // namespace

void* StartDeepRows(const PhotoColour& colour, int channels) {
    if (!colour.Icc || colour.IccSize > LargestProfile || (channels != 3 && channels != 4) || !Srgb) return nullptr;
    cmsHPROFILE source = cmsOpenProfileFromMem(colour.Icc, cmsUInt32Number(colour.IccSize));
    if (!source) return nullptr;
    DeepRows* rows = nullptr;
    double from[9], to[9], inverse[9];
    const cmsTagSignature curves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
    const cmsToneCurve* srgbCurve = static_cast<const cmsToneCurve*>(cmsReadTag(Srgb, cmsSigRedTRCTag));
    if (cmsGetColorSpace(source) == cmsSigRgbData && cmsIsMatrixShaper(source) && srgbCurve &&
        ColourantMatrix(source, from) && ColourantMatrix(Srgb, to) && Invert(to, inverse))
        rows = static_cast<DeepRows*>(malloc(sizeof(DeepRows)));
    for (int c = 0; rows && c < 3; ++c) {
        const cmsToneCurve* curve = static_cast<const cmsToneCurve*>(cmsReadTag(source, curves[c]));
        if (!curve) {
            free(rows);
            rows = nullptr;
            break;
        }
        for (int v = 0; v < 65536; ++v) rows->Linear[c][v] = cmsEvalToneCurveFloat(curve, float(v / 65535.0));
    }
    cmsToneCurve* encode = rows ? cmsReverseToneCurve(srgbCurve) : nullptr;
    if (encode) {
        for (int i = 0; i < 9; ++i) {
            const int row = i / 3, column = i % 3;
            rows->Matrix[i] = float(inverse[row * 3] * from[column] + inverse[row * 3 + 1] * from[3 + column] +
                                    inverse[row * 3 + 2] * from[6 + column]);
        }
        for (int v = 0; v < 65536; ++v)
            rows->Srgb[v] = (unsigned char)(cmsEvalToneCurveFloat(encode, float(v / 65535.0)) * 255.0f + 0.5f);
        cmsFreeToneCurve(encode);
    } else {
        free(rows);
        rows = nullptr;
    }
    cmsCloseProfile(source);
    return rows;
}

void ConvertDeepRow(void* state, const uint16_t* row, unsigned char* out, int width, bool opaque) {
    const DeepRows& rows = *static_cast<const DeepRows*>(state);
    const int channels = opaque ? 3 : 4;
    const float* m = rows.Matrix;
    for (int x = 0; x < width; ++x, row += channels, out += 4) {
        const float r = rows.Linear[0][row[0]], g = rows.Linear[1][row[1]], b = rows.Linear[2][row[2]];
        const float values[3] = {m[0] * r + m[1] * g + m[2] * b, m[3] * r + m[4] * g + m[5] * b,
                                 m[6] * r + m[7] * g + m[8] * b};
        for (int c = 0; c < 3; ++c) {
            const float v = values[c] < 0 ? 0 : values[c] > 1 ? 1 : values[c];
            out[c] = rows.Srgb[int(v * 65535.0f + 0.5f)];
        }
        out[3] = opaque ? 255 : (unsigned char)((row[3] * 255u + 32767u) / 65535u);
    }
}

void EndDeepRows(void* rows) { free(rows); }

const char* ConvertToSrgb(DecodedPhoto* photo) {
    const char* note = nullptr;
    const PhotoColour& colour = photo->Colour;
    cmsHPROFILE source = nullptr;
    if (colour.Icc) {
        source = colour.IccSize <= LargestProfile ? cmsOpenProfileFromMem(colour.Icc, cmsUInt32Number(colour.IccSize))
                                                  : nullptr;
        if (!source) note = "The picture's colour profile could not be read; its colours are taken as sRGB";
        else if (cmsGetColorSpace(source) != SpaceOf(photo->Samples)) {
            note = "The picture's colour profile does not fit its colours; they are taken as sRGB";
            cmsCloseProfile(source);
            source = nullptr;
        }
    } else if (colour.Primaries || colour.Transfer) {
        source = ProfileOfCodePoints(colour.Primaries, colour.Transfer, &note);
    }
    cmsHTRANSFORM transform = nullptr;
    if (source && Srgb) {
        // Grey goes to three channels and leaves the alpha where it is; RGBA keeps its alpha.
        const cmsUInt32Number flags = photo->Samples == PHOTO_SAMPLES_RGBA ? cmsFLAGS_COPY_ALPHA : 0;
        transform =
            cmsCreateTransform(source, InputFormat(photo->Samples), Srgb, TYPE_RGBA_8, INTENT_PERCEPTUAL, flags);
        if (!transform) note = "The picture's colour profile could not be used; its colours are taken as sRGB";
    }
    if (transform) {
        Transform(transform, photo);
        cmsDeleteTransform(transform);
    } else if (photo->Samples == PHOTO_SAMPLES_CMYK || photo->Samples == PHOTO_SAMPLES_INVERTED_CMYK) {
        CmykToRgb(photo->Pixels, size_t(photo->Width) * size_t(photo->Height),
                  photo->Samples == PHOTO_SAMPLES_INVERTED_CMYK);
    }
    if (source) cmsCloseProfile(source);
    photo->Samples = PHOTO_SAMPLES_RGBA;
    return note;
}
