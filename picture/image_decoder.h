// image_decoder: decodes a picture file to 8-bit RGBA in a fresh helper process, without holding
// up the caller while it works.
//
//   char reason[256];
//   PictureDecode* decode = StartPictureDecode(path, largestSide, reason, sizeof reason);
//   if (!decode) report(reason);                   // "it is a named pipe, not a file", ...
//   // then once a frame, until it is over:
//   DecodedPicture picture;
//   switch (PollPictureDecode(decode, 0, &picture, reason, sizeof reason)) {
//   case DECODE_RUNNING: DecodedRows rows;         // look again next frame; meanwhile rows
//                        if (PeekDecodedRows(decode, &rows)) use(rows.Pixels, rows.Rows);  // may be done
//                        break;
//   case DECODE_DONE: use(picture.pixels, picture.width, picture.height);   // rows top to bottom
//                     ReleaseDecodedPicture(&picture); break;
//                     // or over several frames, handing back each band of rows once used:
//                     // use(rows 0..n); ReleaseDecodedRows(&picture, n); ...
//   case DECODE_FAILED: report(reason); break;     // "the file is damaged or cut short (...)"
//   }
//   CancelPictureDecode(decode);                   // or give up on it while it runs
//
//   DecodePictureFile(path, largestSide, &picture, reason, sizeof reason);   // start and wait
//   DecodePictureFile(..., UseRows, &context);     // the same, shown the rows handed over early
//
// The file is opened here once, without blocking, and checked: anything but a non-empty regular
// file (a folder, a named pipe, a socket, a device) is refused at once, before any helper starts,
// and the helper decodes that same open file. Each decode starts `vellumry-decode` (by default
// the program's own, beside it or where it is installed) with a time limit and a memory limit,
// and tells it the largest side the pixels may have: a larger picture comes back scaled down to
// fit, keeping its aspect, with its own size beside. The pixels come back in shared memory,
// mapped read-only here and paged in as they are read, so that taking the answer costs little
// whatever the size; a picture used a band of rows at a time can hand each band's memory back
// as it goes (freeing a gigabyte of shared memory at once holds the thread for a second). A
// helper that crashes, overruns a limit or answers nonsense is killed, reaped and
// reported as a failure; the caller's process is never at risk. Ending a helper ends whatever
// it started too (its process group on Linux, its job on Windows). Reasons are plain words (no
// bytes of the file, never empty). Main thread only; no thread, no signal handler.
// image_decoder.cpp does this with memfd_create and posix_spawn; image_decoder_win.cpp with
// Windows process calls; decode_wait.cpp holds the waiting they share.
#pragma once
#include <cstddef>

struct DecodedPicture {
    const unsigned char* Pixels;    // width * height * 4 bytes
    int Width, Height;              // both positive, within the largest side asked for
    int SourceWidth, SourceHeight;  // the picture's own size; larger when it was scaled down
    void* Mapping;                  // what ReleaseDecodedPicture unmaps
    size_t MappingSize;
    int RowsSeenEarlier;         // of these rows, how many PeekDecodedRows showed as they are now
    char Note[128];              // a remark for the log in plain words (a colour profile set aside), or empty
    int SharedFile;              // Linux: the shared memory, open while mapped (rows handed back)
    long long SharedFileOffset;  // Linux: where the mapping starts in it
};

// One decode in flight; the functions below own it.
struct PictureDecode;

enum DecodeState { DECODE_RUNNING, DECODE_DONE, DECODE_FAILED };

// Starts decoding `path` (UTF-8) into pixels at most largestSide a side (0: no limit). Answers
// the decode, or null with the reason when it cannot even start.
PictureDecode* StartPictureDecode(const char* path, int largestSide, char* reason, size_t reasonSize);
// Takes the helper's answer if it has come, waiting for it up to waitMs (0: only looks). DONE:
// `picture` holds the pixels; FAILED: `reason` says why. Either way the decode is over and
// freed. RUNNING: nothing changed; ask again later.
DecodeState PollPictureDecode(PictureDecode* decode, int waitMs, DecodedPicture* picture, char* reason,
                              size_t reasonSize);
// The rows of the pixels to come that the helper has already finished, while it decodes the rest:
// the first Rows rows of a Width x Height picture, final as they are. A decoder whose pixels need
// a step after it (scaling, colour, a turn) hands over nothing early.
struct DecodedRows {
    const unsigned char* Pixels;  // Width * Height * 4 bytes, of which the first Rows rows are done
    int Width, Height, Rows;
};
// False while no rows have come (or never will: the helper said nothing, or something malformed).
// Valid until the next call on the decode.
bool PeekDecodedRows(PictureDecode* decode, DecodedRows* rows);
// Hands back the memory of the first `rows` rows handed over early, once they are used: they are
// not read again, and a large picture's memory then goes a band at a time rather than all at
// its end. Where the platform cannot (Windows), it does nothing.
void HandBackEarlyRows(PictureDecode* decode, int rows);
// Gives up on a decode that is running: its helper is killed and the decode freed. The helper
// is reaped now when it has already gone, else by a later call here; however many are still
// going, this never waits.
void CancelPictureDecode(PictureDecode* decode);
// Reaps the helpers that cancels killed, waiting up to waitMs for those not yet gone. For the
// way out of the program.
void ReapEndedDecoders(int waitMs);
// Whether helpers ended by a cancel have still to go: the frame loop asks for them meanwhile.
bool DecodersToReap();

// Start, then wait for the answer (within the time limit). True with the picture, or false with
// the reason. rowsDone, when given, is called meanwhile each time more rows have come early
// (PeekDecodedRows), and answers how many of them it has used (HandBackEarlyRows).
bool DecodePictureFile(const char* path, int largestSide, DecodedPicture* picture, char* reason, size_t reasonSize,
                       int (*rowsDone)(const DecodedRows& rows, void* context) = nullptr, void* context = nullptr);
void ReleaseDecodedPicture(DecodedPicture* picture);
// Hands back the memory of the first `rows` rows, which are not read again; the rest stays
// mapped until ReleaseDecodedPicture. Where the platform cannot (Windows), the memory goes at
// the release, all at once.
void ReleaseDecodedRows(DecodedPicture* picture, int rows);

// The helper to run; null means the program's own "vellumry-decode", beside it or where it is
// installed (picture/helper_location.h; on Windows beside it). Tests point this at a helper
// that misbehaves on purpose.
extern const char* ImageDecoderPath;
// Wall-clock limit for one decode. A 50-megapixel progressive JPEG needs about two seconds on a
// two-core machine; a hostile file that makes stb_image spin is cut off here.
extern int ImageDecoderTimeLimitMs;
// Memory the helper may use for decoding (its arena; its address space gets 256 MiB more).
extern long long ImageDecoderMemoryLimit;
