#include "render/texture_import.h"

#include <cstdio>
#include <cstring>
#include <stb_image.h>
#include <string>

#include "base/log.h"
#include "picture/image_decoder.h"
#include "picture/image_decoder_protocol.h"
#include "picture/picture_scaling.h"

namespace {

// The import that is loading, if any.
PictureDecode* Loading = nullptr;
TextureSlot LoadingSlot = TEXTURE_SLOT_DIFFUSE;
std::string LoadingPath;

ImportOutcome Done() {
    ImportOutcome outcome;
    outcome.done = true;
    outcome.reason[0] = 0;
    return outcome;
}

// Fills the outcome with the reason and writes the error line. The reasons are plain words
// already (the decoder's client cleans what its helper says).
void ReportFailure(const char* source, const char* reason, ImportOutcome* outcome) {
    outcome->done = false;
    snprintf(outcome->reason, sizeof outcome->reason, "%s", reason && *reason ? reason : "it did not load");
    char line[2048];
    snprintf(line, sizeof line, "%s: %s", source, outcome->reason);
    LogError("Failed to load texture: ", line);
}

void LogScaledDown(const char* source, int fromWidth, int fromHeight, int width, int height) {
    char detail[2048];
    snprintf(detail, sizeof detail, "%s: %d x %d scaled to %d x %d", source, fromWidth, fromHeight, width, height);
    LogInfo("Picture larger than the largest texture, scaled down: ", detail);
}

// Uploads RGBA pixels into a new texture bound on the active unit. 0 on failure, with the reason.
GLuint Upload(const unsigned char* pixels, int width, int height, char* reason, size_t reasonSize) {
    // Errors left by others must not be taken for ours.
    for (int i = 0; i < 32 && glGetError() != GL_NO_ERROR; ++i) {}
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    GLenum error = glGetError();
    if (error != GL_NO_ERROR) {
        // Out of graphics memory, typically: the slot keeps what it had.
        glDeleteTextures(1, &texture);
        snprintf(reason, reasonSize, "the graphics driver refused the %d x %d picture (GL error 0x%04x)", width, height,
                 error);
        return 0;
    }
    return texture;
}

// Puts decoded pixels into a slot, as every import ends: upload, replace, and for the picture
// its size.
void Fill(TextureSlot slot, const char* source, const unsigned char* pixels, int width, int height,
          ImportOutcome* outcome) {
    char reason[512];
    GLuint texture = Upload(pixels, width, height, reason, sizeof reason);
    if (!texture) {
        ReportFailure(source, reason, outcome);
        return;
    }
    *outcome = Done();
    SetTextureSlot(slot, texture, width, height);
}

ImportOutcome LoadFile(TextureSlot slot, const char* path) {
    ImportOutcome outcome = Done();
    DecodedPicture picture;
    char reason[512];
    if (DecodePictureFile(path, LargestTextureSide(), &picture, reason, sizeof reason)) {
        TakeDecodedPicture(slot, path, &picture, &outcome);
    } else {
        ReportFailure(path, reason, &outcome);
    }
    return outcome;
}

}  // namespace

int LargestTextureSide() {
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    return largest > 0 ? largest : 0;
}

void TakeDecodedPicture(TextureSlot slot, const char* path, DecodedPicture* picture, ImportOutcome* outcome) {
    if (picture->width != picture->sourceWidth || picture->height != picture->sourceHeight)
        LogScaledDown(path, picture->sourceWidth, picture->sourceHeight, picture->width, picture->height);
    Fill(slot, path, picture->pixels, picture->width, picture->height, outcome);
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
    LoadingSlot = slot;
    LoadingPath = path;
    return true;
}

bool FinishTextureImport(ImportOutcome* outcome) {
    if (!Loading) {
        ReapEndedDecoders(0);  // helpers given up on, once they have gone
        return false;
    }
    DecodedPicture picture;
    char reason[512];
    DecodeState state = PollPictureDecode(Loading, 0, &picture, reason, sizeof reason);
    if (state == DECODE_RUNNING) return false;
    Loading = nullptr;  // the poll has freed it
    std::string path;
    path.swap(LoadingPath);
    if (state == DECODE_DONE) {
        TakeDecodedPicture(LoadingSlot, path.c_str(), &picture, outcome);
    } else {
        ReportFailure(path.c_str(), reason, outcome);
    }
    return true;
}

void CancelTextureImport() {
    if (!Loading) return;
    CancelPictureDecode(Loading);
    Loading = nullptr;
    LogInfo("Cancelled loading texture: ", LoadingPath.c_str());
    LoadingPath.clear();
}

void EndTextureImports() {
    if (Loading) CancelPictureDecode(Loading);
    Loading = nullptr;
    LoadingPath.clear();
    // Killed helpers go at once; the bound only keeps a helper stuck in the kernel from keeping
    // the program.
    ReapEndedDecoders(10000);
}

const char* LoadingTexturePath() { return Loading ? LoadingPath.c_str() : nullptr; }
