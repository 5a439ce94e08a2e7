// image_decoder_win_protocol: what the Windows program and its decoder helper agree on.
//
//   vellumry-decode.exe <memory limit> <largest side> <control> <result ready> <result taken> <picture>
//     control:      an inherited file-mapping handle holding a DecoderControl; the program
//                   writes the picture's UTF-8 path (for messages only), the helper writes the
//                   result record
//     result ready: an inherited event the helper sets once the record is written
//     result taken: an inherited event the program sets once it holds the pixels
//     picture:      an inherited handle to the picture file, opened by the program, which has
//                   checked that it is a regular, non-empty file; the helper decodes this file
//   (handles as decimal numbers). A picture wider or taller than <largest side> comes back
//   scaled down to fit (0: no limit). On success the record's `offset` is the value of the
//   helper's own handle to a file mapping of exactly width * height * 4 bytes holding the RGBA
//   pixels; the program duplicates that handle into itself and maps it read-only, then ends the
//   helper. The helper runs in a job object that limits its memory, allows it no child process
//   and kills it with the program, with a restricted, low-integrity token where one can be made.
//   The pixels' section must be committed whole (not SEC_RESERVE): the program checks each page.
//
// The program trusts nothing in the record: a helper that went wrong may write anything.
#pragma once
#include "picture/image_decoder_protocol.h"

struct DecoderControl {
    DecoderResult Result;
    char Path[3 * 32768];  // the longest Windows path (32767 UTF-16 units) in UTF-8, NUL-terminated
};
