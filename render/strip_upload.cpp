#include "render/strip_upload.h"

#include <cstdio>
#include <cstring>

namespace {

void ClearGLErrors() {
    // Errors left by others must not be taken for ours.
    for (int i = 0; i < 32 && glGetError() != GL_NO_ERROR; ++i) {}
}

GLuint BoundTexture() {
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    return GLuint(bound);
}

}  // namespace

GLuint NewPictureTexture(const unsigned char* pixels, int width, int height, char* reason, size_t reasonSize) {
    ClearGLErrors();
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    const GLenum error = glGetError();
    if (error != GL_NO_ERROR) {
        // Out of graphics memory, typically: whatever the slots hold stays.
        glDeleteTextures(1, &texture);
        snprintf(reason, reasonSize, "the graphics driver refused the %d x %d picture (GL error 0x%04x)", width, height,
                 error);
        return 0;
    }
    return texture;
}

bool StartStripUpload(StripUpload* upload, int width, int height, char* reason, size_t reasonSize) {
    memset(upload, 0, sizeof *upload);
    const GLuint previous = BoundTexture();
    const GLuint texture = NewPictureTexture(nullptr, width, height, reason, reasonSize);
    glBindTexture(GL_TEXTURE_2D, previous);
    if (!texture) return false;
    upload->Texture = texture;
    upload->Width = width;
    upload->Height = height;
    return true;
}

StripUploadState UploadStrips(StripUpload* upload, const unsigned char* pixels, size_t bytesPerStep, char* reason,
                              size_t reasonSize) {
    const size_t rowBytes = size_t(upload->Width) * 4;
    const int left = upload->Height - upload->RowsDone;
    const size_t fit = bytesPerStep / rowBytes;
    const int rows = fit < 1 ? 1 : fit < size_t(left) ? int(fit) : left;
    ClearGLErrors();
    const GLuint previous = BoundTexture();
    glBindTexture(GL_TEXTURE_2D, upload->Texture);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, upload->RowsDone, upload->Width, rows, GL_RGBA, GL_UNSIGNED_BYTE,
                    pixels + size_t(upload->RowsDone) * rowBytes);
    const GLenum error = glGetError();
    if (error != GL_NO_ERROR) {
        glBindTexture(GL_TEXTURE_2D, previous);
        snprintf(reason, reasonSize, "the graphics driver refused the %d x %d picture (GL error 0x%04x)", upload->Width,
                 upload->Height, error);
        DropStripUpload(upload);
        return STRIPS_FAILED;
    }
    upload->RowsDone += rows;
    if (upload->RowsDone < upload->Height) {
        glBindTexture(GL_TEXTURE_2D, previous);
        return STRIPS_GOING;
    }
    return STRIPS_WHOLE;
}

void DropStripUpload(StripUpload* upload) {
    if (upload->Texture) glDeleteTextures(1, &upload->Texture);
    memset(upload, 0, sizeof *upload);
}
