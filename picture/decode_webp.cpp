// decode_webp: WebP through libwebp (picture/photo_decoders.h): lossy, lossless, with alpha, and
// an animation's first frame, placed on its canvas as the animation would show it first. The
// container's ICCP profile and EXIF orientation come along.
#include <cstring>
#include <webp/decode.h>
#include <webp/demux.h>

#include "picture/photo_decoders.h"

namespace {

void SetWebpReason(VP8StatusCode status, char* reason, size_t reasonSize) {
    switch (status) {
    case VP8_STATUS_OUT_OF_MEMORY: SetPhotoMemoryReason(reason, reasonSize); return;
    case VP8_STATUS_UNSUPPORTED_FEATURE:
        SetPhotoReason(reason, reasonSize, "this WebP variant is not supported");
        return;
    case VP8_STATUS_NOT_ENOUGH_DATA:
        SetPhotoReason(reason, reasonSize, "the file is damaged or cut short (WebP: it ends early)");
        return;
    default: SetPhotoReason(reason, reasonSize, "the file is damaged or cut short (WebP)"); return;
    }
}

}  // namespace

bool DecodeWebp(const unsigned char* bytes, size_t size, DecodedPhoto* photo, char* reason, size_t reasonSize) {
    // An extended file's canvas, judged from its header before libwebp looks at it.
    if (size >= 30 && memcmp(bytes + 12, "VP8X", 4) == 0) {
        const long long width = 1 + (bytes[24] | bytes[25] << 8 | bytes[26] << 16);
        const long long height = 1 + (bytes[27] | bytes[28] << 8 | bytes[29] << 16);
        if (PhotoTooLarge(width, height, reason, reasonSize)) return false;
    }
    WebPData data = {bytes, size};
    WebPDemuxState state = WEBP_DEMUX_PARSING_HEADER;
    WebPDemuxer* demux = WebPDemuxPartial(&data, &state);
    // The canvas's size is known from the header on, and judged before anything else.
    if (demux && PhotoTooLarge(WebPDemuxGetI(demux, WEBP_FF_CANVAS_WIDTH), WebPDemuxGetI(demux, WEBP_FF_CANVAS_HEIGHT),
                               reason, reasonSize)) {
        WebPDemuxDelete(demux);
        return false;
    }
    if (!demux || state != WEBP_DEMUX_DONE) {
        if (demux) WebPDemuxDelete(demux);
        SetWebpReason(state == WEBP_DEMUX_PARSED_HEADER || state == WEBP_DEMUX_PARSING_HEADER
                          ? VP8_STATUS_NOT_ENOUGH_DATA
                          : VP8_STATUS_BITSTREAM_ERROR,
                      reason, reasonSize);
        return false;
    }
    const uint32_t width = WebPDemuxGetI(demux, WEBP_FF_CANVAS_WIDTH);
    const uint32_t height = WebPDemuxGetI(demux, WEBP_FF_CANVAS_HEIGHT);
    WebPIterator frame;
    if (width == 0 || height == 0 || !WebPDemuxGetFrame(demux, 1, &frame)) {
        WebPDemuxDelete(demux);
        SetWebpReason(VP8_STATUS_BITSTREAM_ERROR, reason, reasonSize);
        return false;
    }
    WebPChunkIterator chunk;
    if (WebPDemuxGetChunk(demux, "ICCP", 1, &chunk)) {
        photo->Colour.Icc = chunk.chunk.bytes;  // within the file, which outlives the decode
        photo->Colour.IccSize = chunk.chunk.size;
        WebPDemuxReleaseChunkIterator(&chunk);
    }
    if (WebPDemuxGetChunk(demux, "EXIF", 1, &chunk)) {
        photo->Orientation = ExifOrientation(chunk.chunk.bytes, chunk.chunk.size);
        WebPDemuxReleaseChunkIterator(&chunk);
    }

    const size_t stride = size_t(width) * 4;
    unsigned char* pixels = PhotoPixels(stride * height);
    WebPDecoderConfig config;
    VP8StatusCode status = VP8_STATUS_OUT_OF_MEMORY;
    const bool inside = frame.x_offset >= 0 && frame.y_offset >= 0 && frame.width > 0 && frame.height > 0 &&
                        uint32_t(frame.x_offset + frame.width) <= width &&
                        uint32_t(frame.y_offset + frame.height) <= height;
    if (!inside) status = VP8_STATUS_BITSTREAM_ERROR;
    else if (pixels && WebPInitDecoderConfig(&config)) {
        // The frame is decoded straight into its place on the canvas; the rest stays clear.
        memset(pixels, 0, stride * height);
        unsigned char* at = pixels + stride * size_t(frame.y_offset) + size_t(frame.x_offset) * 4;
        config.output.colorspace = MODE_RGBA;
        config.output.is_external_memory = 1;
        config.output.u.RGBA.rgba = at;
        config.output.u.RGBA.stride = int(stride);
        config.output.u.RGBA.size = stride * size_t(frame.height - 1) + size_t(frame.width) * 4;
        status = WebPDecode(frame.fragment.bytes, frame.fragment.size, &config);
        WebPFreeDecBuffer(&config.output);
    }
    WebPDemuxReleaseIterator(&frame);
    WebPDemuxDelete(demux);
    if (status != VP8_STATUS_OK) {
        PhotoPixelsFree(pixels);
        photo->Colour.Icc = nullptr;
        SetWebpReason(status, reason, reasonSize);
        return false;
    }
    photo->Samples = PHOTO_SAMPLES_RGBA;
    photo->Pixels = pixels;
    photo->Width = photo->SourceWidth = int(width);
    photo->Height = photo->SourceHeight = int(height);
    return true;
}
