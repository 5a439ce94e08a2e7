// decode_wait: the decoder client's waiting, and its reading of an answer, the same on every
// platform (the rest of the client is in image_decoder.cpp for Linux and image_decoder_win.cpp
// for Windows).
//
//   EndHelperProcess(helper);          // platform: ends it, never waits
//   KeepEndedHelper(helper);           // shared: it is let go of once it has gone
//   ReapEndedDecoders(0);              // shared (image_decoder.h): lets go of those gone, at once
//   DecodePictureFile(...);            // shared (image_decoder.h): start, poll, reap
//   TakeAnswerFields(result, &picture); // shared: a sane answer's sizes and note, cleaned
//
// An ended helper may take a moment to go, or longer where something holds it (a child of its
// own, a debugger): the list of them has no fixed size, so keeping one never waits for another.
// Only ReapEndedDecoders with a wait, and DecodePictureFile, which waits for its own helper up to
// EndedHelperWaitMs, ever wait. Main thread only.
#pragma once

#ifdef _WIN32
typedef void* HelperProcess;  // the process handle, closed once the process has gone
#else
#include <sys/types.h>
typedef pid_t HelperProcess;  // the child, reaped once it has gone
#endif

struct DecodedPicture;
struct DecoderResult;
// Shared: the sizes and the note of a sane answer, into the picture (the platforms map the pixels).
void TakeAnswerFields(const DecoderResult& result, DecodedPicture* picture);

// How long a decode waited for whole waits at most for its ended helper to go.
extern const int EndedHelperWaitMs;

// Keeps an ended helper until it has gone (at once when it has already).
void KeepEndedHelper(HelperProcess helper);

// Platform: whether an ended helper has gone; it is reaped or its handle closed then. Never waits.
bool HelperProcessGone(HelperProcess helper);
// Platform: waits up to waitMs for the helper to go, or less.
void AwaitHelperProcess(HelperProcess helper, int waitMs);
