// decode_jpeg: JPEG through libjpeg-turbo (picture/photo_decoders.h): baseline, progressive and
// arithmetic-coded; colour, grey, CMYK and YCCK (Adobe's, stored inverted). The EXIF orientation
// (APP1) and the ICC profile (APP2, in as many chunks as it takes) come along. A picture larger
// than the largest side is decoded at 1/2, 1/4 or 1/8 of its size, the smallest that still
// covers the size it must fit, so the area scaling after it reads far fewer pixels.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>
// jpeglib.h needs size_t and FILE first.
#include <jerror.h>
#include <jpeglib.h>

#include "picture/photo_decoders.h"
#include "picture/picture_scaling.h"

namespace {

struct JpegFailure {
    jpeg_error_mgr Manager;  // first: libjpeg hands back a pointer to it
    jmp_buf Escape;
    bool CutShort;  // the data ended before the picture did
    bool BadCode;   // the picture data holds a code its tables do not
};

void Fail(j_common_ptr common) { longjmp(reinterpret_cast<JpegFailure*>(common->err)->Escape, 1); }

// Warnings are not fatal (cameras write a few stray bytes often enough), but data that stops
// before the picture does is, and so is a code no table has: libjpeg would fill the rest with
// grey, or with noise.
void Warn(j_common_ptr common, int level) {
    JpegFailure* failure = reinterpret_cast<JpegFailure*>(common->err);
    if (level >= 0) return;
    if (common->err->msg_code == JWRN_JPEG_EOF) failure->CutShort = true;
    if (common->err->msg_code == JWRN_HUFF_BAD_CODE) failure->BadCode = true;
}

void SetJpegReason(const JpegFailure& failure, char* reason, size_t reasonSize) {
    if (failure.BadCode) {
        SetPhotoReason(reason, reasonSize, "the file is damaged or cut short (JPEG: its picture data is damaged)");
        return;
    }
    switch (failure.CutShort ? int(JERR_INPUT_EOF) : failure.Manager.msg_code) {
    case JERR_OUT_OF_MEMORY: SetPhotoMemoryReason(reason, reasonSize); return;
    case JERR_BAD_PRECISION:
        SetPhotoReason(reason, reasonSize, "this JPEG variant is not supported (only 8-bit)");
        return;
    case JERR_IMAGE_TOO_BIG:
    case JERR_WIDTH_OVERFLOW: SetPhotoReason(reason, reasonSize, "the picture is too large to decode (JPEG)"); return;
    case JERR_NO_IMAGE:
    case JERR_INPUT_EOF:
    case JERR_INPUT_EMPTY:
        SetPhotoReason(reason, reasonSize, "the file is damaged or cut short (JPEG: it ends early)");
        return;
    default: SetPhotoReason(reason, reasonSize, "the file is damaged or cut short (JPEG)"); return;
    }
}

// The frame's size from its header (SOFn), which may come before data the file does not have:
// a claim is refused before libjpeg reads further. False when there is no frame header.
bool FrameSize(const unsigned char* bytes, size_t size, long long* width, long long* height) {
    size_t at = 2;
    while (at + 4 <= size) {
        if (bytes[at] != 0xff) return false;
        const unsigned char marker = bytes[at + 1];
        if (marker == 0xff) {  // fill byte
            ++at;
            continue;
        }
        const size_t length = size_t(bytes[at + 2]) << 8 | bytes[at + 3];
        const bool frame = marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
        if (frame) {
            if (at + 9 > size) return false;
            *height = (long long)(bytes[at + 5]) << 8 | bytes[at + 6];
            *width = (long long)(bytes[at + 7]) << 8 | bytes[at + 8];
            return true;
        }
        if (marker == 0xda || length < 2) return false;
        at += 2 + length;
    }
    return false;
}

// One decompressor's share of the picture: output rows [First, Last) into their place in the
// pixels. The part that reads to the last row also reads to the end marker.
struct JpegPart {
    const unsigned char* Bytes;
    size_t Size;
    unsigned ScaleEighths;  // 8: full size
    bool Cmyk;
    unsigned char* Pixels;
    size_t Stride;
    JDIMENSION Width, Height;  // the output's size, as the header's reading found it
    JDIMENSION First, Last;
    bool HandsOver;  // says each band of its rows is done (PhotoRowsDone)
    JpegFailure Failure;
    bool Ok;
};

// The failure's record is cleared before its setjmp, which this leaves alone.
void Begin(jpeg_decompress_struct* info, JpegFailure* failure, const unsigned char* bytes, size_t size) {
    info->err = jpeg_std_error(&failure->Manager);
    failure->Manager.error_exit = Fail;
    failure->Manager.emit_message = Warn;
    jpeg_create_decompress(info);
    jpeg_mem_src(info, bytes, static_cast<unsigned long>(size));
}

void ReadRows(JpegPart* part) {
    jpeg_decompress_struct info;
    part->Ok = false;
    memset(&part->Failure, 0, sizeof part->Failure);
    if (setjmp(part->Failure.Escape)) {
        jpeg_destroy_decompress(&info);
        return;
    }
    Begin(&info, &part->Failure, part->Bytes, part->Size);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = part->Cmyk ? JCS_CMYK : JCS_EXT_RGBA;
    info.scale_num = part->ScaleEighths;
    info.scale_denom = 8;
    jpeg_start_decompress(&info);
    if (info.output_width != part->Width || info.output_height != part->Height) ERREXIT(&info, JERR_EMPTY_IMAGE);
    // Skipping decodes the data (a file read from the middle is still read from its start) but
    // leaves out the transform and the colours: about half the work of the rows skipped.
    while (info.output_scanline < part->First) {
        if (jpeg_skip_scanlines(&info, part->First - info.output_scanline) == 0 || part->Failure.CutShort ||
            part->Failure.BadCode)
            ERREXIT(&info, JERR_INPUT_EOF);
    }
    JSAMPROW rows[16];
    while (info.output_scanline < part->Last) {
        int count = 0;
        for (; count < 16 && info.output_scanline + unsigned(count) < part->Last; ++count)
            rows[count] = part->Pixels + part->Stride * (info.output_scanline + unsigned(count));
        if (jpeg_read_scanlines(&info, rows, JDIMENSION(count)) == 0 || part->Failure.CutShort || part->Failure.BadCode)
            ERREXIT(&info, JERR_INPUT_EOF);
        if (part->HandsOver) PhotoRowsDone(int(info.output_scanline));
    }
    if (part->Last == part->Height) {
        // Data that runs out before the end marker was read wrongly somewhere (damaged codes
        // that libjpeg cannot tell from good ones use it up); as with PNG, a file must reach its
        // end.
        jpeg_finish_decompress(&info);
        if (part->Failure.CutShort) ERREXIT(&info, JERR_INPUT_EOF);
    }
    jpeg_destroy_decompress(&info);
    part->Ok = true;
}

// Where a second decompressor takes over, on a boundary of the picture's rows of blocks: the
// first reads its rows whole, the second skips to them first (decoding the data, at about half
// the cost of a row), so the second starts lower down. 0: one part (a progressive picture keeps
// all of its data before the first row, so a second part would only repeat it; a small picture
// is not worth a thread).
JDIMENSION SecondPartStart(const jpeg_decompress_struct& info) {
    if (PhotoDecoderThreads < 2 || info.progressive_mode || uint64_t(info.output_width) * info.output_height < 2000000)
        return 0;
    const JDIMENSION band = JDIMENSION(info.max_v_samp_factor) * JDIMENSION(info.min_DCT_scaled_size);
    const JDIMENSION start = JDIMENSION(uint64_t(info.output_height) * 64 / 100) / band * band;
    return start > 0 && start < info.output_height ? start : 0;
}

}  // namespace

bool DecodeJpeg(const unsigned char* bytes, size_t size, int largestSide, DecodedPhoto* photo, char* reason,
                size_t reasonSize) {
    long long claimedWidth = 0, claimedHeight = 0;
    if (FrameSize(bytes, size, &claimedWidth, &claimedHeight) &&
        PhotoTooLarge(claimedWidth, claimedHeight, reason, reasonSize))
        return false;

    // The header, the markers and the plan; the rows are read by the parts below.
    jpeg_decompress_struct info;
    JpegFailure failure;
    memset(&failure, 0, sizeof failure);
    if (setjmp(failure.Escape)) {
        SetJpegReason(failure, reason, reasonSize);
        jpeg_destroy_decompress(&info);
        return false;
    }
    Begin(&info, &failure, bytes, size);
    jpeg_save_markers(&info, JPEG_APP0 + 1, 0xffff);
    jpeg_save_markers(&info, JPEG_APP0 + 2, 0xffff);
    jpeg_read_header(&info, TRUE);
    if (failure.CutShort) ERREXIT(&info, JERR_INPUT_EOF);
    if (info.image_width == 0 || info.image_height == 0) ERREXIT(&info, JERR_EMPTY_IMAGE);
    if (PhotoTooLarge(info.image_width, info.image_height, reason, reasonSize)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    photo->SourceWidth = int(info.image_width);
    photo->SourceHeight = int(info.image_height);

    for (jpeg_saved_marker_ptr marker = info.marker_list; marker; marker = marker->next) {
        if (marker->marker == JPEG_APP0 + 1 && marker->data_length >= 6 && memcmp(marker->data, "Exif\0\0", 6) == 0) {
            photo->Orientation = ExifOrientation(marker->data, marker->data_length);
            break;
        }
    }
    JOCTET* icc = nullptr;
    unsigned int iccSize = 0;
    if (jpeg_read_icc_profile(&info, &icc, &iccSize) && icc) {
        photo->OwnedIcc = icc;
        photo->Colour.Icc = icc;
        photo->Colour.IccSize = iccSize;
    }

    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    photo->Samples = cmyk ? (info.saw_Adobe_marker ? PHOTO_SAMPLES_INVERTED_CMYK : PHOTO_SAMPLES_CMYK)
                     : info.jpeg_color_space == JCS_GRAYSCALE ? PHOTO_SAMPLES_GREY
                                                              : PHOTO_SAMPLES_RGBA;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
    // The largest reduction whose result still covers the size the picture must fit in, among
    // those libjpeg-turbo's vector code does (1/8 takes about a tenth of the time): the other
    // eighths transform in plain C, and 7/8 of a 20000 x 15000 picture took half as long again
    // as the whole of it.
    unsigned scaleEighths = 8;
    int fitWidth = 0, fitHeight = 0;
    if (FitInside(int(info.image_width), int(info.image_height), largestSide, &fitWidth, &fitHeight)) {
        for (unsigned eighths : {1u, 2u, 4u}) {
            if ((uint64_t(info.image_width) * eighths + 7) / 8 >= unsigned(fitWidth) &&
                (uint64_t(info.image_height) * eighths + 7) / 8 >= unsigned(fitHeight)) {
                scaleEighths = eighths;
                break;
            }
        }
    }
    info.scale_num = scaleEighths;
    info.scale_denom = 8;
    jpeg_calc_output_dimensions(&info);
    const JDIMENSION width = info.output_width, height = info.output_height;
    const JDIMENSION secondStart = SecondPartStart(info);
    jpeg_destroy_decompress(&info);

    const size_t stride = size_t(width) * 4;
    // The pixels' memory is taken before libjpeg's own (a progressive picture's coefficients).
    unsigned char* pixels = PhotoPixels(stride * height);
    if (!pixels) {
        SetPhotoMemoryReason(reason, reasonSize);
        return false;
    }
    JpegPart parts[2];
    for (JpegPart& part : parts) {
        part.Bytes = bytes;
        part.Size = size;
        part.ScaleEighths = scaleEighths;
        part.Cmyk = cmyk;
        part.Pixels = pixels;
        part.Stride = stride;
        part.Width = width;
        part.Height = height;
        part.HandsOver = false;
        part.Ok = false;
    }
    parts[0].First = 0;
    parts[0].Last = secondStart > 0 ? secondStart : height;
    // The rows from the top can be used while the rest is decoded, when nothing follows them.
    parts[0].HandsOver = PhotoFinalAsDecoded(*photo, int(width), int(height), largestSide);
    if (parts[0].HandsOver) PhotoRowsBegin(pixels, int(width), int(height));
    parts[1].First = secondStart;
    parts[1].Last = height;
    // The second part on a thread of its own; where no thread starts, this one reads it too.
    const bool split = secondStart > 0;
    bool threaded = false;
    std::thread second;
    if (split) {
        try {
            second = std::thread(ReadRows, &parts[1]);
            threaded = true;
        } catch (const std::system_error&) {}
    }
    ReadRows(&parts[0]);
    if (threaded) second.join();
    else if (split && parts[0].Ok) ReadRows(&parts[1]);
    for (int i = 0; i < (split ? 2 : 1); ++i) {
        if (!parts[i].Ok) {
            SetJpegReason(parts[i].Failure, reason, reasonSize);
            PhotoPixelsFree(pixels);
            return false;
        }
    }
    photo->Pixels = pixels;
    photo->Width = int(width);
    photo->Height = int(height);
    return true;
}
