// decode_wait: the ended helpers still to go, and a decode waited for whole.
#include "picture/decode_wait.h"

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/reason_text.h"
#include "picture/image_decoder.h"
#include "picture/image_decoder_protocol.h"

const int EndedHelperWaitMs = 60000;

namespace {
// The helpers ended by a cancel or a time limit that had not gone yet.
std::vector<HelperProcess> EndedHelpers;
}  // namespace

void KeepEndedHelper(HelperProcess helper) {
    if (!HelperProcessGone(helper)) EndedHelpers.push_back(helper);
}

void ReapEndedDecoders(int waitMs) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point until = Clock::now() + std::chrono::milliseconds(waitMs > 0 ? waitMs : 0);
    for (;;) {
        size_t kept = 0;
        for (HelperProcess helper : EndedHelpers)
            if (!HelperProcessGone(helper)) EndedHelpers[kept++] = helper;
        EndedHelpers.resize(kept);
        const Clock::time_point now = Clock::now();
        if (EndedHelpers.empty() || now >= until) return;
        // Looks again at least every 50 ms: another of them may go first.
        long long left = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count();
        AwaitHelperProcess(EndedHelpers.front(), left > 50 ? 50 : int(left));
    }
}

bool DecodersToReap() { return !EndedHelpers.empty(); }

void TakeAnswerFields(const DecoderResult& result, DecodedPicture* picture) {
    picture->Width = result.Width;
    picture->Height = result.Height;
    picture->SourceWidth = result.SourceWidth;
    picture->SourceHeight = result.SourceHeight;
    // Plain words only: the helper may write anything.
    snprintf(picture->Note, sizeof picture->Note, "%.*s", int(sizeof result.Note), result.Note);
    CleanReasonText(picture->Note);
}

bool DecodePictureFile(const char* path, int largestSide, DecodedPicture* picture, char* reason, size_t reasonSize,
                       int (*rowsDone)(const DecodedRows& rows, void* context), void* context) {
    memset(picture, 0, sizeof *picture);
    PictureDecode* decode = StartPictureDecode(path, largestSide, reason, reasonSize);
    if (!decode) return false;
    DecodeState state;
    // Each poll waits until the answer, rows handed over early, or the time limit, whichever
    // comes first.
    while ((state = PollPictureDecode(decode, INT_MAX, picture, reason, reasonSize)) == DECODE_RUNNING) {
        DecodedRows rows;
        if (rowsDone && PeekDecodedRows(decode, &rows)) HandBackEarlyRows(decode, rowsDone(rows, context));
    }
    ReapEndedDecoders(EndedHelperWaitMs);  // a helper that ran out of time is gone before this returns
    return state == DECODE_DONE;
}
