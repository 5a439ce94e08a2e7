// image_decoder: decodes a picture file to 8-bit RGBA in a fresh helper process.
//
//   DecodedPicture picture;
//   char reason[256];
//   if (DecodePictureFile(path, &picture, reason, sizeof reason)) {
//       use(picture.pixels, picture.width, picture.height);   // rows top to bottom, no gap
//       ReleaseDecodedPicture(&picture);
//   } else {
//       report(reason);                                        // e.g. "took too long (more than 20 s)"
//   }
//
// Each call starts `vellumry-decode` (by default the running program's own), waits for
// it with a time limit and gives it a memory limit. The pixels come back in shared memory,
// mapped read-only here. A helper that crashes, overruns a limit or answers nonsense is killed,
// reaped and reported as a failure; the caller's process is never at risk. Synchronous, main
// thread only; no thread, no signal handler. Pictures above MaxPicturePixels are refused from
// their header alone. image_decoder.cpp does this with memfd_create and posix_spawn;
// image_decoder_win.cpp with Windows process calls.
#pragma once
#include <cstddef>

struct DecodedPicture {
    const unsigned char* pixels;  // width * height * 4 bytes
    int width, height;            // both positive
    void* mapping;                // what ReleaseDecodedPicture unmaps
    size_t mappingSize;
};

bool DecodePictureFile(const char* path, DecodedPicture* picture, char* reason, size_t reasonSize);
void ReleaseDecodedPicture(DecodedPicture* picture);

// The helper to run; null means the program's own "vellumry-decode", beside it or where it is
// installed (picture/helper_location.h). Tests point this at a helper that misbehaves on purpose.
extern const char* ImageDecoderPath;
// Wall-clock limit for one decode. A 50-megapixel progressive JPEG needs about two seconds on a
// two-core machine; a hostile file that makes stb_image spin is cut off here.
extern int ImageDecoderTimeLimitMs;
// Memory the helper may use for decoding (its arena; its address space gets 256 MiB more).
extern long long ImageDecoderMemoryLimit;
