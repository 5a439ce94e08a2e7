// image_decoder_protocol: what the program and its decoder helper `vellumry-decode` agree on.
//
//   vellumry-decode <memory limit in bytes> <largest side>
//     fd 3: an empty shared-memory file; the helper grows it, decodes into it and leaves the
//           RGBA pixels there (rows top to bottom, no gap) at DecoderResult::offset. Once the
//           helper has ended, the program seals its size (F_SEAL_SHRINK | F_SEAL_GROW); the
//           helper adds no seals of its own
//     fd 4: the result pipe; the helper writes one DecoderResult, nothing more, and exits with
//           status 0. Before it, a helper whose pixels are final as they are decoded may write
//           DecoderProgress records, each the size of the result: where the pixels are and how
//           many rows from the top are done, so that the program can use them meanwhile. From
//           the first, the program seals the memory's size; the rows said to be done never change
//     fd 5: the picture file, opened by the program, which has checked that it is a regular,
//           non-empty file; the helper decodes exactly this open file
//
// A picture wider or taller than <largest side> comes back scaled down to fit (aspect kept), so
// the program's own thread never does work whose amount a file decides; 0 means no limit.
// The helper confines itself before it reads the picture (picture/decoder_confinement_linux.h).
// Anything else (a signal, another exit status, a short, long or malformed record) means the
// helper failed. The program checks every field of the record: a helper that went wrong may write
// anything.
#pragma once
#include <cstdint>

enum { DecoderPixelFd = 3, DecoderResultFd = 4, DecoderPictureFd = 5 };

// Pictures above this many pixels are refused from their header, before anything is decoded.
// Just under what stb_image can hold in one RGBA buffer (2^31 bytes); the memory limit may stop
// a format that needs more on the way.
constexpr int64_t MaxPicturePixels = 500000000;

constexpr uint32_t DecoderResultMagic = 0x32444c56;  // "VLD2"

constexpr uint32_t DecoderProgressMagic = 0x50444c56;  // "VLDP"

// The pixels of the answer to come, and their first RowsDone rows, which are final. Each record
// says the same place and size as the first and no fewer rows than the one before.
struct DecoderProgress {
    uint32_t Magic;
    int32_t Width, Height;
    int32_t RowsDone;
    int64_t Offset;
    char Unused[376];
};

struct DecoderResult {
    uint32_t Magic;
    int32_t Ok;                         // 1: the pixels are in the shared memory; 0: failed, see reason
    int32_t Width, Height;              // the pixels' size, both positive and within the largest side when ok
    int32_t SourceWidth, SourceHeight;  // the picture's own size, before any scaling
    int64_t Offset;                     // byte offset of the first pixel in the shared-memory file
    char Reason[240];                   // NUL-terminated failure text when not ok
    char Note[128];                     // NUL-terminated remark on a picture that loaded (a colour
                                        // profile set aside), or empty
};

static_assert(sizeof(DecoderProgress) == sizeof(DecoderResult), "one record size on the pipe");
