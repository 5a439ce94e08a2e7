// strip_upload: a picture put into a new texture a band of rows at a time, so that a large
// picture's upload is spread over frames instead of holding one of them.
//
//   StripUpload upload;
//   if (!StartStripUpload(&upload, width, height, reason, sizeof reason)) fail(reason);
//   // then once a frame, with the same pixels (RGBA, rows top to bottom):
//   switch (UploadStrips(&upload, pixels, bytesPerFrame, reason, sizeof reason)) {
//   case STRIPS_GOING: break;                 // upload.RowsDone rows are in; more next frame
//   case STRIPS_WHOLE: use(upload.Texture);   // bound on the active unit, now the caller's:
//                      break;                 // DropStripUpload no longer applies
//   case STRIPS_FAILED: fail(reason); break;  // the texture is gone already
//   }
//   DropStripUpload(&upload);                 // given up on before it was whole
//
// The texture's storage is made once, at its full size, when the upload starts (GL_RGBA,
// GL_LINEAR both ways, default repeat wrap, no mipmaps: what the slots hold), and each step
// fills the next rows with glTexSubImage2D, as many as fit in the step's bytes and always at
// least one. The texture is out of every slot until it is whole: nothing samples it half
// filled. Between steps the active unit's binding is put back as it was; the step that
// completes the texture leaves it bound there, as a one-piece upload does. Making the storage
// is one GL call whatever the size: a hardware driver only reserves it, but llvmpipe fills it
// with zeros there and then (seconds for 16384 x 16384 on a busy two-core machine, the longest
// frame of such an import there). It does not decide how many bytes a frame may take
// (render/texture_import.h does), nor put the texture in a slot.
// Main thread only, with the GL context current.
#pragma once
#include <cstddef>

#include "gl/gl_loader.h"

struct StripUpload {
    GLuint Texture;  // 0 when none is going
    int Width, Height;
    int RowsDone;  // the rows from the top already in the texture
};

enum StripUploadState { STRIPS_GOING, STRIPS_WHOLE, STRIPS_FAILED };

// A new texture of the slots' kind, width x height, holding `pixels` (RGBA rows top to bottom; null:
// nothing yet), bound on the active unit. 0, with the reason and no texture left, when the GL
// refuses it (out of graphics memory, typically).
GLuint NewPictureTexture(const unsigned char* pixels, int width, int height, char* reason, size_t reasonSize);

// Makes the texture's storage, width x height, with nothing in it yet. False, with the reason
// and no texture left, when the GL refuses it (out of graphics memory, typically).
bool StartStripUpload(StripUpload* upload, int width, int height, char* reason, size_t reasonSize);

// Uploads the next rows of `pixels` (the whole picture, as given to every step) within
// `bytesPerStep` (at least one row). WHOLE: the last row is in and the texture is the caller's.
// FAILED: the GL refused a step; the texture is deleted and the reason says why.
StripUploadState UploadStrips(StripUpload* upload, const unsigned char* pixels, size_t bytesPerStep, char* reason,
                              size_t reasonSize);

// Deletes the texture of an upload that is not whole; nothing when none is going.
void DropStripUpload(StripUpload* upload);
