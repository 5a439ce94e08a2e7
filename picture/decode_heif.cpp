// decode_heif: HEIF (HEIC from phones) and AVIF through libheif with Debian's HEVC and AV1
// decoders (picture/photo_decoders.h): the primary image, cropped, turned and mirrored by libheif
// as the file says, so it arrives upright. Deeper samples come at 8 bits. Its colour is an ICC
// profile (colr prof) or code points (colr nclx); libheif reads the file from memory.
#include <cstdlib>
#include <cstring>
#include <libheif/heif.h>

#include "picture/photo_decoders.h"

namespace {

void SetHeifReason(const heif_error& error, char* reason, size_t reasonSize) {
    if (error.subcode == heif_suberror_Security_limit_exceeded) {
        SetPhotoReason(reason, reasonSize, "the picture is too large to decode (HEIF)");
        return;
    }
    switch (error.code) {
    case heif_error_Memory_allocation_error: SetPhotoMemoryReason(reason, reasonSize); return;
    case heif_error_Unsupported_filetype:
    case heif_error_Unsupported_feature:
        SetPhotoReason(reason, reasonSize, "this HEIF variant is not supported");
        return;
    case heif_error_Decoder_plugin_error:
        SetPhotoReason(reason, reasonSize, "the file is damaged or cut short (HEIF: its picture data)");
        return;
    default:
        if (error.subcode == heif_suberror_End_of_data)
            SetPhotoReason(reason, reasonSize, "the file is damaged or cut short (HEIF: it ends early)");
        else SetPhotoReason(reason, reasonSize, "the file is damaged or cut short (HEIF)");
        return;
    }
}

}  // namespace

bool DecodeHeif(const unsigned char* bytes, size_t size, DecodedPhoto* photo, char* reason, size_t reasonSize) {
    heif_context* context = heif_context_alloc();
    if (!context) {
        SetPhotoMemoryReason(reason, reasonSize);
        return false;
    }
    // Sides up to this; the pixel limit below is the one that counts.
    heif_context_set_maximum_image_size_limit(context, 1 << 17);
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    heif_decoding_options* options = nullptr;
    unsigned char* pixels = nullptr;
    bool ok = false;
    heif_error error = heif_context_read_from_memory_without_copy(context, bytes, size, nullptr);
    if (error.code == heif_error_Ok) error = heif_context_get_primary_image_handle(context, &handle);
    if (error.code != heif_error_Ok) {
        SetHeifReason(error, reason, reasonSize);
    } else if (!PhotoTooLarge(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle), reason,
                              reasonSize)) {
        // The pixels' memory is taken first: what libheif and its decoders take comes after.
        const size_t area = size_t(heif_image_handle_get_width(handle)) * size_t(heif_image_handle_get_height(handle));
        pixels = area > 0 ? PhotoPixels(area * 4) : nullptr;
        options = heif_decoding_options_alloc();
        if (area == 0) {
            SetPhotoReason(reason, reasonSize, "the file is damaged or cut short (HEIF: no size in its header)");
        } else if (!pixels || !options) {
            SetPhotoMemoryReason(reason, reasonSize);
        } else {
            options->convert_hdr_to_8bit = 1;
            error = heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, options);
            if (error.code != heif_error_Ok) SetHeifReason(error, reason, reasonSize);
            else ok = true;
        }
    }
    int width = 0, height = 0, stride = 0;
    const uint8_t* plane = nullptr;
    if (ok) {
        width = heif_image_get_width(image, heif_channel_interleaved);
        height = heif_image_get_height(image, heif_channel_interleaved);
        plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
        // Turned or cropped, the picture is never larger than its memory, taken for the size its
        // header gave; anything else would be a broken file.
        const size_t claimed =
            size_t(heif_image_handle_get_width(handle)) * size_t(heif_image_handle_get_height(handle));
        ok = plane && width > 0 && height > 0 && size_t(width) * size_t(height) <= claimed && stride >= width * 4;
        if (!ok) SetPhotoReason(reason, reasonSize, "the file is damaged or cut short (HEIF)");
    }
    if (ok) {
        for (int y = 0; y < height; ++y)
            memcpy(pixels + size_t(width) * 4 * size_t(y), plane + size_t(stride) * size_t(y), size_t(width) * 4);
        // The colour: an ICC profile, else code points (the box, else the coded stream's).
        const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
        const size_t iccSize = heif_image_handle_get_raw_color_profile_size(handle);
        heif_color_profile_nclx* nclx = nullptr;
        if ((type == heif_color_profile_type_prof || type == heif_color_profile_type_rICC) && iccSize > 0) {
            photo->OwnedIcc = static_cast<unsigned char*>(malloc(iccSize));
            if (photo->OwnedIcc &&
                heif_image_handle_get_raw_color_profile(handle, photo->OwnedIcc).code == heif_error_Ok) {
                photo->Colour.Icc = photo->OwnedIcc;
                photo->Colour.IccSize = iccSize;
            }
        } else if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code == heif_error_Ok ||
                   heif_image_get_nclx_color_profile(image, &nclx).code == heif_error_Ok) {
            photo->Colour.Primaries = nclx->color_primaries;
            photo->Colour.Transfer = nclx->transfer_characteristics;
        }
        if (nclx) heif_nclx_color_profile_free(nclx);
        photo->Samples = PHOTO_SAMPLES_RGBA;
        photo->Pixels = pixels;
        photo->Width = photo->SourceWidth = width;
        photo->Height = photo->SourceHeight = height;
    } else {
        PhotoPixelsFree(pixels);
    }
    if (image) heif_image_release(image);
    if (options) heif_decoding_options_free(options);
    if (handle) heif_image_handle_release(handle);
    heif_context_free(context);
    return ok;
}
