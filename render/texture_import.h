// texture_import: the imports that fill the two texture slots the brush filter samples
// (render/texture_slots.h).
//
//   LoadFilterTextureFromMemory(DefaultFilterData, DefaultFilterDataSize);  // at start-up
//
//   // As the interface imports, without waiting: the window stays live while the file decodes.
//   if (!StartTextureImport(TEXTURE_SLOT_DIFFUSE, path, &outcome)) show(outcome.reason);
//   // then once a frame, where a waiting import would have run:
//   if (FinishTextureImport(&outcome) && !outcome.done) show(outcome.reason);
//   CancelTextureImport();    // the user gave up on it
//   EndTextureImports();      // on the way out
//
//   ImportOutcome outcome = LoadDiffuseTexture(path);    // decode and upload, waiting for both
//                                                        // (tests and benchmarks)
//
//   // Decodes of one's own (several at once: the command line's batch), ended as an import:
//   PictureDecode* decode = StartPictureDecode(path, LargestTextureSide(), reason, size);
//   ...PollPictureDecode(decode, 0, &picture, reason, size) == DECODE_DONE:
//   TakeDecodedPicture(TEXTURE_SLOT_DIFFUSE, path, &picture, &outcome);
//
// Files are decoded in a helper process (picture/image_decoder.h), which also scales a picture
// larger than GL_MAX_TEXTURE_SIZE down to fit (aspect kept, with an "[Info]: " line naming both
// sizes); what is left here, on the main thread, is the upload, bounded by the texture's size.
// An import without waiting uploads its pixels a band of rows a frame (render/strip_upload.h,
// TextureUploadBytesPerFrame each), handing each band's memory back as it goes, so that a large
// picture holds no frame for long; it is still loading meanwhile, and arrives (slot, size,
// lines) in the frame that puts its last band in, whole. A picture of one band arrives in the
// frame its answer comes in. A cancel, a newer import or the way out drops a picture half
// uploaded: its texture is deleted, no slot has seen it, and of its lines only the cancel's is
// written.
// The embedded paper, which is ours, decodes (and if need be is scaled) in process. Each slot
// owns exactly one GL texture (GL_RGBA, GL_LINEAR both ways, default repeat wrap, no mipmaps,
// row 0 = top row); an import binds its new texture on the active unit and puts it into the
// slot (SetTextureSlot), which deletes the one it replaces unless an export still renders from
// it. A picture import also sets the diffuse size (the texture's); showing the Options window
// for it is the interface's part (ui/import_command.h).
//
// A failed import changes no slot and no size: it writes one line
// "[Error]: Failed to load texture: <path>: <reason>" and answers the reason in its outcome.
// Main thread only, with the GL context current.
#pragma once
#include <cstddef>

#include "gl/gl_loader.h"
#include "picture/image_decoder.h"
#include "render/texture_slots.h"

// What an import came to.
struct ImportOutcome {
    bool Done;         // the slot holds the new picture
    char Reason[512];  // why not, in words a person understands; "" when done
};

ImportOutcome LoadDiffuseTexture(const char* path);
ImportOutcome LoadFilterTexture(const char* path);
ImportOutcome LoadFilterTextureFromMemory(const unsigned char* data, int length);

// The largest side a picture may have in a slot: what a decode is asked to fit in.
int LargestTextureSide();
// Ends a decode of `path` as every import ends: the scaled-down line where it was, the upload into
// the slot (the slot changes as LoadDiffuseTexture changes it, or the outcome says why not, with
// its error line), the pixels handed back (ReleaseDecodedPicture) either way.
void TakeDecodedPicture(TextureSlot slot, const char* path, DecodedPicture* picture, ImportOutcome* outcome);

// Starts importing a file into a slot and returns at once; an import still loading is
// cancelled first. False when it cannot even start (a missing file, a folder, a named pipe...):
// the outcome says why and the error line is written.
bool StartTextureImport(TextureSlot slot, const char* path, ImportOutcome* outcome);
// Takes the helper's answer if it has come, without waiting, and uploads the next band of the
// pixels that have. True when the import ended in this call: the slot changed as a waiting
// import would have changed it, or the outcome says why not. False while it is loading
// (decoding or uploading), or when none is. Call it every frame: it also reaps the helpers of
// imports given up on.
bool FinishTextureImport(ImportOutcome* outcome);
// Gives up on the import that is loading, if any: its helper is ended or its half-filled
// texture deleted, the slots stay as they are, and an "[Info]: Cancelled loading texture:
// <path>" line says so.
void CancelTextureImport();
// Ends any import that is loading, without a line, and waits until every helper is gone.
void EndTextureImports();
// The file being loaded, or null when no import is. (The interface keeps its own record of
// what it started, ui/import_command.h's ImportInProgress; this one is for tests.)
const char* LoadingTexturePath();
// The texture the loading import's pixels are going into, once the first of them have come
// (rows a helper hands over early, or the answer); 0 before or when none is loading (tests, the
// benchmark).
GLuint TextureBeingUploaded();

// The bytes of pixels an import without waiting uploads in one frame (at least a row).
// Tests set a few rows' worth, so that a small picture takes several frames; the benchmark
// sets no limit to compare with a picture uploaded in one piece.
extern size_t TextureUploadBytesPerFrame;
