// png_jpeg_encoder: libpng and libjpeg-turbo behind one call. Both libraries report errors by
// longjmp, so each format has an outer function that owns the memory and an inner one that
// holds the setjmp and nothing with a destructor.
#include "picture/png_jpeg_encoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
#include <png.h>

// The settings, measured on a painted 24-megapixel picture (tools/bench.sh prints the figures):
// - PNG: zlib level 1 with the SUB filter alone. A painting made from a photograph keeps the
//   photograph's fine noise, which no zlib level squeezes much: levels 2 and 3 and the filter
//   search of SUB+UP make it a percent or so smaller and up to half again as slow, and libpng's
//   default (level 6, all five filters) about a seventh smaller but nine times as slow. With
//   one filter libpng also skips its per-row trial of filters.
// - JPEG: quality 92 with full-resolution colour (4:4:4). Painted strokes have crisp coloured
//   edges, which 4:2:0 smears into fringes at half resolution; at 92 the paper's grain
//   survives, and the file is still a tenth of the PNG's size and a fraction of its time.
EncoderSettings DefaultEncoderSettings() {
    EncoderSettings settings;
    settings.PngZlibLevel = 1;
    settings.PngFilters = PNG_FILTER_SUB;
    settings.JpegQuality = 92;
    settings.JpegFullChroma = true;
    return settings;
}

int MaxPictureSide(PictureFormat format) {
    // libjpeg's JPEG_MAX_DIMENSION; libpng's default user limit on either side.
    return format == PICTURE_JPEG ? 65500 : 1000000;
}

static void SetReason(char* reason, size_t reasonSize, const char* text) {
    if (reason && reasonSize > 0) snprintf(reason, reasonSize, "%s", text);
}

static const char kSinkStopped[] = "the output could not be written";

// How many rows go between two progress reports: often enough for a smooth bar, rarely
// enough to cost nothing.
static const int kRowsPerReport = 16;

static void Report(const EncodeProgress& progress, int rowsDone, int rowCount) {
    if (progress.Report) progress.Report(progress.Context, rowsDone, rowCount);
}

// ---- PNG ----

namespace {
struct PngContext {
    ByteSink Sink;
    bool SinkStopped;
    char Message[200];
};
}  // namespace

static void PngFail(png_structp png, png_const_charp message) {
    PngContext* context = static_cast<PngContext*>(png_get_error_ptr(png));
    snprintf(context->Message, sizeof context->Message, "%s", message ? message : "libpng failed");
    png_longjmp(png, 1);
}

static void PngWarn(png_structp, png_const_charp) {}

static void PngWrite(png_structp png, png_bytep data, size_t size) {
    PngContext* context = static_cast<PngContext*>(png_get_io_ptr(png));
    if (!context->Sink.Write(context->Sink.Context, data, size)) {
        context->SinkStopped = true;
        png_error(png, kSinkStopped);
    }
}

static void PngFlush(png_structp) {}

// Everything between png_create_write_struct and its destruction; the caller destroys.
static bool EncodePngRows(png_structp png, png_infop info, PngContext* context, const PixelRows& rows,
                          const EncoderSettings& settings, const EncodeProgress& progress) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, context, PngWrite, PngFlush);
    // Larger IDAT chunks: fewer, bigger writes to the sink.
    png_set_compression_buffer_size(png, 1 << 17);
    png_set_compression_level(png, settings.PngZlibLevel);
    if (settings.PngFilters != 0) png_set_filter(png, PNG_FILTER_TYPE_BASE, settings.PngFilters);
    png_set_IHDR(png, info, (png_uint_32)rows.Width, (png_uint_32)rows.Height, 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    // The pixels are what the window showed, which is taken as sRGB.
    png_set_sRGB_gAMA_and_cHRM(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    png_write_info(png, info);
    if (rows.Channels == 4) png_set_filler(png, 0, PNG_FILLER_AFTER);  // skip the fourth byte
    size_t stride = (size_t)rows.Width * (size_t)rows.Channels;
    for (int y = 0; y < rows.Height; ++y) {
        png_write_row(png, const_cast<png_bytep>(rows.Pixels + stride * (size_t)y));
        if ((y + 1) % kRowsPerReport == 0 || y + 1 == rows.Height) Report(progress, y + 1, rows.Height);
    }
    png_write_end(png, info);
    return true;
}

static bool EncodePng(const PixelRows& rows, const EncoderSettings& settings, ByteSink sink, EncodeProgress progress,
                      char* reason, size_t reasonSize) {
    PngContext context;
    context.Sink = sink;
    context.SinkStopped = false;
    context.Message[0] = '\0';
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &context, PngFail, PngWarn);
    if (!png) {
        SetReason(reason, reasonSize, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    bool ok = info && EncodePngRows(png, info, &context, rows, settings, progress);
    png_destroy_write_struct(&png, info ? &info : NULL);
    if (!ok)
        SetReason(reason, reasonSize, context.SinkStopped ? kSinkStopped : !info ? "out of memory" : context.Message);
    return ok;
}

// ---- JPEG ----

namespace {
struct JpegContext {
    jpeg_compress_struct Cinfo;
    jpeg_error_mgr Errors;
    jpeg_destination_mgr Destination;
    jmp_buf Jump;
    ByteSink Sink;
    bool SinkStopped;
    char Message[JMSG_LENGTH_MAX];
    JOCTET Buffer[1 << 17];
};
}  // namespace

static JpegContext* ContextOf(j_common_ptr cinfo) {
    // cinfo is the first member of the context.
    return reinterpret_cast<JpegContext*>(cinfo);
}

static void JpegFail(j_common_ptr cinfo) {
    JpegContext* context = ContextOf(cinfo);
    cinfo->err->format_message(cinfo, context->Message);
    longjmp(context->Jump, 1);
}

static void JpegQuiet(j_common_ptr) {}

static void JpegStartOutput(j_compress_ptr cinfo) {
    JpegContext* context = ContextOf(reinterpret_cast<j_common_ptr>(cinfo));
    context->Destination.next_output_byte = context->Buffer;
    context->Destination.free_in_buffer = sizeof context->Buffer;
}

static void JpegHandOut(JpegContext* context, size_t size) {
    if (size > 0 && !context->Sink.Write(context->Sink.Context, context->Buffer, size)) {
        context->SinkStopped = true;
        longjmp(context->Jump, 1);
    }
}

static boolean JpegBufferFull(j_compress_ptr cinfo) {
    JpegContext* context = ContextOf(reinterpret_cast<j_common_ptr>(cinfo));
    // libjpeg asks only when the whole buffer is full, whatever free_in_buffer says.
    JpegHandOut(context, sizeof context->Buffer);
    JpegStartOutput(cinfo);
    return TRUE;
}

static void JpegEndOutput(j_compress_ptr cinfo) {
    JpegContext* context = ContextOf(reinterpret_cast<j_common_ptr>(cinfo));
    JpegHandOut(context, sizeof context->Buffer - context->Destination.free_in_buffer);
}

static bool EncodeJpegRows(JpegContext* context, const PixelRows& rows, const EncoderSettings& settings,
                           const EncodeProgress& progress) {
    jpeg_compress_struct* cinfo = &context->Cinfo;
    if (setjmp(context->Jump)) return false;
    cinfo->dest = &context->Destination;
    cinfo->image_width = (JDIMENSION)rows.Width;
    cinfo->image_height = (JDIMENSION)rows.Height;
    cinfo->input_components = rows.Channels;
    // libjpeg-turbo reads RGB and RGBX directly; the X byte is skipped.
    cinfo->in_color_space = rows.Channels == 4 ? JCS_EXT_RGBX : JCS_EXT_RGB;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, settings.JpegQuality, TRUE);
    int factor = settings.JpegFullChroma ? 1 : 2;
    cinfo->comp_info[0].h_samp_factor = factor;
    cinfo->comp_info[0].v_samp_factor = factor;
    for (int c = 1; c < 3; ++c) {
        cinfo->comp_info[c].h_samp_factor = 1;
        cinfo->comp_info[c].v_samp_factor = 1;
    }
    jpeg_start_compress(cinfo, TRUE);
    size_t stride = (size_t)rows.Width * (size_t)rows.Channels;
    JSAMPROW batch[kRowsPerReport];
    while (cinfo->next_scanline < cinfo->image_height) {
        int first = (int)cinfo->next_scanline;
        int count = rows.Height - first < kRowsPerReport ? rows.Height - first : kRowsPerReport;
        for (int i = 0; i < count; ++i) batch[i] = const_cast<JSAMPROW>(rows.Pixels + stride * (size_t)(first + i));
        jpeg_write_scanlines(cinfo, batch, (JDIMENSION)count);
        Report(progress, (int)cinfo->next_scanline, rows.Height);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

static bool EncodeJpeg(const PixelRows& rows, const EncoderSettings& settings, ByteSink sink, EncodeProgress progress,
                       char* reason, size_t reasonSize) {
    JpegContext* context = static_cast<JpegContext*>(calloc(1, sizeof(JpegContext)));
    if (!context) {
        SetReason(reason, reasonSize, "out of memory");
        return false;
    }
    context->Sink = sink;
    context->Cinfo.err = jpeg_std_error(&context->Errors);
    context->Errors.error_exit = JpegFail;
    context->Errors.output_message = JpegQuiet;
    context->Destination.init_destination = JpegStartOutput;
    context->Destination.empty_output_buffer = JpegBufferFull;
    context->Destination.term_destination = JpegEndOutput;
    volatile bool ok = false;
    // jpeg_create_compress itself reports a failure (memory) through error_exit.
    if (!setjmp(context->Jump)) {
        jpeg_create_compress(&context->Cinfo);
        ok = EncodeJpegRows(context, rows, settings, progress);
    }
    jpeg_destroy_compress(&context->Cinfo);
    if (!ok) SetReason(reason, reasonSize, context->SinkStopped ? kSinkStopped : context->Message);
    free(context);
    return ok;
}

bool EncodePicture(PictureFormat format, const PixelRows& rows, const EncoderSettings& settings, ByteSink sink,
                   EncodeProgress progress, char* reason, size_t reasonSize) {
    if (!rows.Pixels || !sink.Write || (rows.Channels != 3 && rows.Channels != 4)) {
        SetReason(reason, reasonSize, "no pixels to encode");
        return false;
    }
    int maxSide = MaxPictureSide(format);
    if (rows.Width < 1 || rows.Height < 1 || rows.Width > maxSide || rows.Height > maxSide) {
        char text[128];
        snprintf(text, sizeof text, "%s cannot hold a picture of %d x %d (at most %d on a side)",
                 format == PICTURE_PNG ? "PNG" : "JPEG", rows.Width, rows.Height, maxSide);
        SetReason(reason, reasonSize, text);
        return false;
    }
    if (format == PICTURE_PNG) return EncodePng(rows, settings, sink, progress, reason, reasonSize);
    return EncodeJpeg(rows, settings, sink, progress, reason, reasonSize);
}
