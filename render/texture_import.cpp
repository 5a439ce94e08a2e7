#include "render/texture_import.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <stb_image.h>
#include <stb_image_resize.h>

#include "app/log.h"
#include "picture/image_decoder.h"
#include "picture/image_decoder_protocol.h"
#include "ui/ui_state.h"

GLuint DiffuseTexture = 0;
int DiffuseWidth = 800;
int DiffuseHeight = 600;
GLuint FilterTexture = 0;
unsigned TextureSlotChanges = 0;

static char LastError[1024];
static int FailureCount = 0;

const char* LastTextureLoadError() { return LastError; }
int TextureLoadFailureCount() { return FailureCount; }

// A path may hold any byte but "/" and NUL; control characters would break the one-line log.
static void ReportFailure(const char* source, const char* reason) {
    int length = snprintf(LastError, sizeof LastError, "%s: %s", source, reason);
    if (length < 0) LastError[0] = 0;
    for (char* at = LastError; *at; ++at) {
        if (static_cast<unsigned char>(*at) < 0x20 || *at == 0x7f) *at = '?';
    }
    ++FailureCount;
    LogError("Failed to load texture: ", LastError);
}

// Uploads RGBA pixels into a new texture bound on the active unit; scales them down first when
// the GL cannot hold them. Updates *width and *height to the texture's size. 0 on failure.
static GLuint Upload(const unsigned char* pixels, int* width, int* height, const char* source, char* reason,
                     size_t reasonSize) {
    GLint largest = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &largest);
    unsigned char* scaled = nullptr;
    if (largest > 0 && (*width > largest || *height > largest)) {
        double scale = double(largest) / (*width > *height ? *width : *height);
        int w = int(lround(*width * scale)), h = int(lround(*height * scale));
        w = w < 1 ? 1 : (w > largest ? largest : w);
        h = h < 1 ? 1 : (h > largest ? largest : h);
        scaled = static_cast<unsigned char*>(malloc(size_t(w) * size_t(h) * 4));
        if (!scaled || !stbir_resize_uint8(pixels, *width, *height, 0, scaled, w, h, 0, 4)) {
            free(scaled);
            snprintf(reason, reasonSize, "not enough memory to scale the %d x %d picture down", *width, *height);
            return 0;
        }
        char detail[1100];
        snprintf(detail, sizeof detail, "%s: %d x %d scaled to %d x %d", source, *width, *height, w, h);
        LogInfo("Picture larger than the largest texture, scaled down: ", detail);
        pixels = scaled;
        *width = w;
        *height = h;
    }

    // Errors left by others must not be taken for ours.
    for (int i = 0; i < 32 && glGetError() != GL_NO_ERROR; ++i) {
    }
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, *width, *height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    free(scaled);
    GLenum error = glGetError();
    if (error != GL_NO_ERROR) {
        // Out of graphics memory, typically: the slot keeps what it had.
        glDeleteTextures(1, &texture);
        snprintf(reason, reasonSize, "the graphics driver refused the %d x %d picture (GL error 0x%04x)", *width,
                 *height, error);
        return 0;
    }
    return texture;
}

static void Replace(GLuint* slot, GLuint texture) {
    GLuint previous = *slot;
    *slot = texture;
    ++TextureSlotChanges;
    if (previous) glDeleteTextures(1, &previous);
}

// Decodes a file in the helper and uploads it. 0 on failure, reported.
static GLuint ImportFile(const char* path, int* width, int* height) {
    char reason[512];
    DecodedPicture picture;
    if (!DecodePictureFile(path, &picture, reason, sizeof reason)) {
        ReportFailure(path, reason);
        return 0;
    }
    *width = picture.width;
    *height = picture.height;
    GLuint texture = Upload(picture.pixels, width, height, path, reason, sizeof reason);
    ReleaseDecodedPicture(&picture);
    if (!texture) ReportFailure(path, reason);
    return texture;
}

void LoadDiffuseTexture(const char* path) {
    int width = 0, height = 0;
    GLuint texture = ImportFile(path, &width, &height);
    if (!texture) return;
    Replace(&DiffuseTexture, texture);
    DiffuseWidth = width;
    DiffuseHeight = height;
    ShowOptions = true;
}

void LoadFilterTexture(const char* path) {
    int width = 0, height = 0;
    GLuint texture = ImportFile(path, &width, &height);
    if (texture) Replace(&FilterTexture, texture);
}

void LoadFilterTextureFromMemory(const unsigned char* data, int length) {
    static const char source[] = "(image in memory)";
    char reason[512];
    int width = 0, height = 0, components = 0;
    if (!data || length <= 0) {
        ReportFailure(source, "no data");
        return;
    }
    if (!stbi_info_from_memory(data, length, &width, &height, &components)) {
        ReportFailure(source, stbi_failure_reason());
        return;
    }
    if (static_cast<long long>(width) * height > MaxPicturePixels) {
        snprintf(reason, sizeof reason, "the picture is too large (%d x %d pixels)", width, height);
        ReportFailure(source, reason);
        return;
    }
    unsigned char* pixels = stbi_load_from_memory(data, length, &width, &height, nullptr, 4);
    if (!pixels || width <= 0 || height <= 0) {
        ReportFailure(source, pixels ? "the picture has no pixels" : stbi_failure_reason());
        stbi_image_free(pixels);
        return;
    }
    GLuint texture = Upload(pixels, &width, &height, source, reason, sizeof reason);
    stbi_image_free(pixels);
    if (!texture) {
        ReportFailure(source, reason);
        return;
    }
    Replace(&FilterTexture, texture);
}
