// image_decoder_protocol: what the program and its decoder helper `vellumry-decode` agree on.
//
//   vellumry-decode <memory limit in bytes> <picture file>
//     fd 3: an empty shared-memory file; the helper grows it, decodes into it and leaves the
//           RGBA pixels there (rows top to bottom, no gap) at DecoderResult::offset
//     fd 4: the result pipe; the helper writes one DecoderResult and exits with status 0
//
// Anything else (a signal, another exit status, a short or malformed record) means the helper
// failed. The program checks every field of the record: a helper that went wrong may write
// anything.
#pragma once
#include <cstdint>

enum { DecoderPixelFd = 3, DecoderResultFd = 4 };

// Decoded RGBA above this many pixels (1 GiB) is refused before decoding.
constexpr int64_t MaxPicturePixels = int64_t(1) << 28;

constexpr uint32_t DecoderResultMagic = 0x31444c56;  // "VLD1"

struct DecoderResult {
    uint32_t magic;
    int32_t ok;             // 1: the pixels are in the shared memory; 0: failed, see reason
    int32_t width, height;  // the decoded size, both positive when ok
    int64_t offset;         // byte offset of the first pixel in the shared-memory file
    char reason[240];       // NUL-terminated failure text when not ok
};
