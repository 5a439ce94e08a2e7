#include "render/texture_import.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stb_image.h>
#include <string>
#include <vector>

#include "base/log.h"
#include "picture/image_decoder.h"
#include "picture/image_decoder_protocol.h"
#include "picture/picture_scaling.h"
#include "render/strip_upload.h"

// 16 MiB, four million pixels: one frame's share of a large picture. On llvmpipe, measured
// alone, a band of this size went into its texture in about 15 ms and its shared memory went
// back in about as long; during a 16384 x 16384 import the frames of its upload took 27 to
// 30 ms in the median, on a two-core machine loaded ten times over, which leaves a frame's
// paint and interface within 50 ms. Half the band saved little at the worst frames, which such
// a machine's other work decides, and doubled the frames; a hardware driver copies a band in a
// few milliseconds. A 24-megapixel photo arrives in six frames, a 16384 x 16384 picture in 64.
size_t TextureUploadBytesPerFrame = size_t(16) << 20;

namespace {

// The import that is loading, if any: decoding in its helper (Loading) and then, once the
// pixels have come, going into its texture a band a frame (Uploading: Decoded, Strips).
PictureDecode* Loading = nullptr;
bool Uploading = false;
DecodedPicture Decoded;
StripUpload Strips;
bool EarlyGaveUp = false;      // the driver refused the texture for the rows handed over early
bool EarlyHandedBack = false;  // rows handed over early whose memory went back: the texture holds them only
TextureSlot LoadingSlot = TEXTURE_SLOT_DIFFUSE;
std::string LoadingPath;

// The pixels of pictures given up on while their bands went in, handed back a band a frame:
// freeing the rest of a gigabyte at once would hold the frame of the cancel for about a second.
struct DroppedPixels {
    DecodedPicture Picture;
    int RowsBack;
};
std::vector<DroppedPixels> Dropped;

ImportOutcome Done() {
    ImportOutcome outcome;
    outcome.Done = true;
    outcome.Reason[0] = 0;
    return outcome;
}

// Fills the outcome with the reason and writes the error line. The reasons are plain words
// already (the decoder's client cleans what its helper says).
void ReportFailure(const char* source, const char* reason, ImportOutcome* outcome) {
    outcome->Done = false;
    snprintf(outcome->Reason, sizeof outcome->Reason, "%s", reason && *reason ? reason : "it did not load");
    char line[2048];
    snprintf(line, sizeof line, "%s: %s", source, outcome->Reason);
    LogError("Failed to load texture: ", line);
}

// The helper's remark on a picture that loaded (its colour profile set aside, say).
void LogNote(const char* source, const DecodedPicture& picture) {
    if (!picture.Note[0]) return;
    const std::string text = std::string(picture.Note) + ": ";
    LogInfo(text.c_str(), source);
}

void LogScaledDown(const char* source, int fromWidth, int fromHeight, int width, int height) {
    char detail[2048];
    snprintf(detail, sizeof detail, "%s: %d x %d scaled to %d x %d", source, fromWidth, fromHeight, width, height);
    LogInfo("Picture larger than the largest texture, scaled down: ", detail);
}

// Puts decoded pixels into a slot, as every import ends: upload, replace, and for the picture
// its size.
void Fill(TextureSlot slot, const char* source, const unsigned char* pixels, int width, int height,
          ImportOutcome* outcome) {
    char reason[512];
    GLuint texture = NewPictureTexture(pixels, width, height, reason, sizeof reason);
    if (!texture) {
        ReportFailure(source, reason, outcome);
        return;
    }
    *outcome = Done();
    SetTextureSlot(slot, texture, width, height);
}

// The pixels, the texture being filled, the path: all that a loading import holds, let go of;
// the pixels at once or, with `later`, a band a frame from the next on.
void EndLoading(bool later) {
    if (Loading) CancelPictureDecode(Loading);
    Loading = nullptr;
    DropStripUpload(&Strips);  // filled while the helper decoded, or after
    if (Uploading) {
        if (later) {
            Dropped.push_back(DroppedPixels{Decoded, 0});
            memset(&Decoded, 0, sizeof Decoded);
        } else {
            ReleaseDecodedPicture(&Decoded);
        }
    }
    Uploading = false;
    LoadingPath.clear();
}

// One frame's share of handing back the pixels given up on, as large as an upload's.
void HandBackDroppedBand() {
    if (Dropped.empty()) return;
    DroppedPixels& oldest = Dropped.front();
    const size_t rows = TextureUploadBytesPerFrame / (size_t(oldest.Picture.Width) * 4);
    const int left = oldest.Picture.Height - oldest.RowsBack;
    oldest.RowsBack += rows < 1 ? 1 : rows < size_t(left) ? int(rows) : left;
    if (oldest.RowsBack < oldest.Picture.Height) {
        ReleaseDecodedRows(&oldest.Picture, oldest.RowsBack);
        return;
    }
    ReleaseDecodedPicture(&oldest.Picture);
    Dropped.erase(Dropped.begin());
}

void HandBackAllDropped() {
    for (DroppedPixels& dropped : Dropped) ReleaseDecodedPicture(&dropped.Picture);
    Dropped.clear();
}

// Uploads up to `mostBytes` of the rows a helper has handed over early and the texture has not
// yet, the texture made at the first. All but the last row: the whole comes with the answer.
void FollowRows(const DecodedRows& rows, StripUpload* strips, size_t mostBytes, bool* gaveUp) {
    char reason[512];
    if (*gaveUp) return;
    if (strips->Texture == 0 && !StartStripUpload(strips, rows.Width, rows.Height, reason, sizeof reason)) {
        *gaveUp = true;  // the answer's upload meets the refusal again, and reports it
        return;
    }
    const int ready = rows.Rows < rows.Height ? rows.Rows : rows.Height - 1;
    if (ready <= strips->RowsDone) return;
    const size_t bytes = size_t(ready - strips->RowsDone) * size_t(rows.Width) * 4;
    if (UploadStrips(strips, rows.Pixels, bytes < mostBytes ? bytes : mostBytes, reason, sizeof reason) ==
        STRIPS_FAILED)
        *gaveUp = true;
}

// Whether the texture filled early holds the answer's first rows as they are: the same size,
// and no more rows than the helper had said were done.
bool EarlyRowsHold(const StripUpload& strips, const DecodedPicture& picture) {
    return strips.Texture != 0 && strips.Width == picture.Width && strips.Height == picture.Height &&
           strips.RowsDone <= picture.RowsSeenEarlier;
}

// Rows whose memory went back once they were in the texture, and then the texture went too (the
// driver refused a later band): the answer no longer holds them, so the import fails.
bool EarlyRowsLost(bool handedBack, const StripUpload& strips, const DecodedPicture& picture, const char* path,
                   ImportOutcome* outcome) {
    if (!handedBack || EarlyRowsHold(strips, picture)) return false;
    char reason[128];
    snprintf(reason, sizeof reason, "the graphics driver refused the %d x %d picture", picture.Width, picture.Height);
    ReportFailure(path, reason, outcome);
    return true;
}

// An upload's end: the slot takes the texture, or the outcome says why not.
void EndStrips(TextureSlot slot, const char* path, StripUploadState state, const char* reason, StripUpload* strips,
               const DecodedPicture& picture, ImportOutcome* outcome) {
    if (state != STRIPS_WHOLE) {
        ReportFailure(path, reason, outcome);
        return;
    }
    if (picture.Width != picture.SourceWidth || picture.Height != picture.SourceHeight)
        LogScaledDown(path, picture.SourceWidth, picture.SourceHeight, picture.Width, picture.Height);
    LogNote(path, picture);
    *outcome = Done();
    SetTextureSlot(slot, strips->Texture, picture.Width, picture.Height);
    memset(strips, 0, sizeof *strips);  // the slot's now
}

// One frame's share of the upload of the pixels that have come. True when the import ended in
// this step: the slot holds the picture, or the outcome says why not. Every line a waiting
// import writes comes then, so that a picture given up on half way has written none.
bool UploadStep(ImportOutcome* outcome) {
    char reason[512] = "";
    const bool started =
        Strips.Texture != 0 || StartStripUpload(&Strips, Decoded.Width, Decoded.Height, reason, sizeof reason);
    const StripUploadState state =
        started ? UploadStrips(&Strips, Decoded.Pixels, TextureUploadBytesPerFrame, reason, sizeof reason)
                : STRIPS_FAILED;
    if (state == STRIPS_GOING) {
        ReleaseDecodedRows(&Decoded, Strips.RowsDone);
        return false;
    }
    std::string path;
    path.swap(LoadingPath);
    EndStrips(LoadingSlot, path.c_str(), state, reason, &Strips, Decoded, outcome);
    ReleaseDecodedPicture(&Decoded);
    Uploading = false;
    return true;
}

// A whole import waited for: the upload follows the rows the helper hands over early, so most
// of the picture is in its texture by the time the answer comes.
struct Following {
    StripUpload Strips;
    bool GaveUp, HandedBack;
};

int FollowAll(const DecodedRows& rows, void* context) {
    Following* following = static_cast<Following*>(context);
    FollowRows(rows, &following->Strips, SIZE_MAX, &following->GaveUp);
    following->HandedBack = following->HandedBack || following->Strips.RowsDone > 0;
    return following->Strips.RowsDone;
}

ImportOutcome LoadFile(TextureSlot slot, const char* path) {
    ImportOutcome outcome = Done();
    DecodedPicture picture;
    char reason[512] = "";
    Following early = {};
    if (!DecodePictureFile(path, LargestTextureSide(), &picture, reason, sizeof reason, FollowAll, &early)) {
        DropStripUpload(&early.Strips);
        ReportFailure(path, reason, &outcome);
        return outcome;
    }
    if (!EarlyRowsHold(early.Strips, picture)) {
        DropStripUpload(&early.Strips);
        if (EarlyRowsLost(early.HandedBack, early.Strips, picture, path, &outcome)) ReleaseDecodedPicture(&picture);
        else TakeDecodedPicture(slot, path, &picture, &outcome);
        return outcome;
    }
    const StripUploadState state = UploadStrips(&early.Strips, picture.Pixels, SIZE_MAX, reason, sizeof reason);
    EndStrips(slot, path, state, reason, &early.Strips, picture, &outcome);
    ReleaseDecodedPicture(&picture);
    return outcome;
}

}  // namespace

int LargestTextureSide() {
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    return largest > 0 ? largest : 0;
}

void TakeDecodedPicture(TextureSlot slot, const char* path, DecodedPicture* picture, ImportOutcome* outcome) {
    if (picture->Width != picture->SourceWidth || picture->Height != picture->SourceHeight)
        LogScaledDown(path, picture->SourceWidth, picture->SourceHeight, picture->Width, picture->Height);
    Fill(slot, path, picture->Pixels, picture->Width, picture->Height, outcome);
    if (outcome->Done) LogNote(path, *picture);
    ReleaseDecodedPicture(picture);
}

ImportOutcome LoadDiffuseTexture(const char* path) { return LoadFile(TEXTURE_SLOT_DIFFUSE, path); }

ImportOutcome LoadFilterTexture(const char* path) { return LoadFile(TEXTURE_SLOT_FILTER, path); }

ImportOutcome LoadFilterTextureFromMemory(const unsigned char* data, int length) {
    static const char source[] = "(image in memory)";
    ImportOutcome outcome = Done();
    int width = 0, height = 0, components = 0;
    if (!data || length <= 0) {
        ReportFailure(source, "no data", &outcome);
        return outcome;
    }
    if (!stbi_info_from_memory(data, length, &width, &height, &components) || width <= 0 || height <= 0) {
        ReportFailure(source, "the picture is damaged or not one this program reads", &outcome);
        return outcome;
    }
    if (static_cast<long long>(width) * height > MaxPicturePixels) {
        char reason[128];
        snprintf(reason, sizeof reason, "the picture is too large: %d x %d pixels", width, height);
        ReportFailure(source, reason, &outcome);
        return outcome;
    }
    unsigned char* pixels = stbi_load_from_memory(data, length, &width, &height, nullptr, 4);
    if (!pixels || width <= 0 || height <= 0) {
        ReportFailure(source, "the picture is damaged or cut short", &outcome);
        stbi_image_free(pixels);
        return outcome;
    }
    // Only our own paper comes this way, so fitting it stays on this thread.
    int fitWidth = width, fitHeight = height;
    if (FitInside(width, height, LargestTextureSide(), &fitWidth, &fitHeight)) {
        if (!ShrinkPicture(pixels, width, height, fitWidth, fitHeight)) {
            ReportFailure(source, "not enough memory to scale the picture down", &outcome);
            stbi_image_free(pixels);
            return outcome;
        }
        LogScaledDown(source, width, height, fitWidth, fitHeight);
    }
    Fill(TEXTURE_SLOT_FILTER, source, pixels, fitWidth, fitHeight, &outcome);
    stbi_image_free(pixels);
    return outcome;
}

bool StartTextureImport(TextureSlot slot, const char* path, ImportOutcome* outcome) {
    CancelTextureImport();
    char reason[512];
    PictureDecode* decode = StartPictureDecode(path, LargestTextureSide(), reason, sizeof reason);
    if (!decode) {
        ReportFailure(path, reason, outcome);
        return false;
    }
    *outcome = Done();
    Loading = decode;
    EarlyGaveUp = EarlyHandedBack = false;
    LoadingSlot = slot;
    LoadingPath = path;
    return true;
}

bool FinishTextureImport(ImportOutcome* outcome) {
    HandBackDroppedBand();
    if (Uploading) return UploadStep(outcome);
    if (!Loading) {
        ReapEndedDecoders(0);  // helpers given up on, once they have gone
        return false;
    }
    char reason[512];
    DecodeState state = PollPictureDecode(Loading, 0, &Decoded, reason, sizeof reason);
    if (state == DECODE_RUNNING) {
        // A band of the rows the helper has finished, while it decodes the rest.
        DecodedRows rows;
        if (PeekDecodedRows(Loading, &rows)) {
            FollowRows(rows, &Strips, TextureUploadBytesPerFrame, &EarlyGaveUp);
            HandBackEarlyRows(Loading, Strips.RowsDone);
            EarlyHandedBack = EarlyHandedBack || Strips.RowsDone > 0;
        }
        return false;
    }
    Loading = nullptr;  // the poll has freed it
    if (state == DECODE_DONE) {
        if (EarlyRowsLost(EarlyHandedBack, Strips, Decoded, LoadingPath.c_str(), outcome)) {
            DropStripUpload(&Strips);
            ReleaseDecodedPicture(&Decoded);
            LoadingPath.clear();
            return true;
        }
        if (!EarlyRowsHold(Strips, Decoded)) DropStripUpload(&Strips);
        // The next band goes up in this same frame: a picture of one band arrives in it.
        Uploading = true;
        return UploadStep(outcome);
    }
    DropStripUpload(&Strips);
    std::string path;
    path.swap(LoadingPath);
    ReportFailure(path.c_str(), reason, outcome);
    return true;
}

void CancelTextureImport() {
    if (!Loading && !Uploading) return;
    LogInfo("Cancelled loading texture: ", LoadingPath.c_str());
    EndLoading(true);
}

void EndTextureImports() {
    EndLoading(false);
    HandBackAllDropped();
    // Killed helpers go at once; the bound only keeps a helper stuck in the kernel from keeping
    // the program.
    ReapEndedDecoders(10000);
}

const char* LoadingTexturePath() { return Loading || Uploading ? LoadingPath.c_str() : nullptr; }

GLuint TextureBeingUploaded() { return Strips.Texture; }
