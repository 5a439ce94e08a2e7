// texture_import: the two texture slots the brush filter samples, and the imports that fill them.
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
// Files are decoded in a helper process (picture/image_decoder.h), which also scales a picture
// larger than GL_MAX_TEXTURE_SIZE down to fit (aspect kept, with an "[Info]: " line naming both
// sizes); what is left here, on the main thread, is the upload, bounded by the texture's size.
// The embedded paper, which is ours, decodes (and if need be is scaled) in process. Each slot
// owns exactly one GL texture (GL_RGBA, GL_LINEAR both ways, default repeat wrap, no mipmaps,
// row 0 = top row); an import binds its new texture on the active unit and deletes the one it
// replaces, unless an export still renders from it (HoldSlotTextures): it is then deleted when
// the export lets it go. A picture import also sets the diffuse size (the texture's); showing
// the Options window for it is the interface's part (ui/main_menu.h).
//
// A failed import changes no slot and no size: it writes one line
// "[Error]: Failed to load texture: <path>: <reason>" and answers the reason in its outcome.
// Main thread only, with the GL context current.
#pragma once
#include "gl/gl_loader.h"

extern GLuint DiffuseTexture;            // 0 until the first picture import
extern int DiffuseWidth, DiffuseHeight;  // 800 x 600 until then; always positive
extern GLuint FilterTexture;             // the embedded paper from start-up on
// Bumped whenever a slot takes another texture or is emptied. What the renderer cached from the
// slots is stale when it changes; the GL names cannot tell, as the GL hands a deleted texture's
// name out again. Code that fills a slot by other means (tests) bumps it too.
extern unsigned TextureSlotChanges;

// What an import came to.
struct ImportOutcome {
    bool done;         // the slot holds the new picture
    char reason[512];  // why not, in words a person understands; "" when done
};

enum TextureSlot { TEXTURE_SLOT_DIFFUSE, TEXTURE_SLOT_FILTER };

ImportOutcome LoadDiffuseTexture(const char* path);
ImportOutcome LoadFilterTexture(const char* path);
ImportOutcome LoadFilterTextureFromMemory(const unsigned char* data, int length);

// Starts importing a file into a slot and returns at once; an import still loading is
// cancelled first. False when it cannot even start (a missing file, a folder, a named pipe...):
// the outcome says why and the error line is written.
bool StartTextureImport(TextureSlot slot, const char* path, ImportOutcome* outcome);
// Takes the helper's answer if it has come, without waiting. True when the import ended in
// this call: the slot changed as a waiting import would have changed it, or the outcome says
// why not. False while it is loading, or when none is. Call it every frame: it also reaps the
// helpers of imports given up on.
bool FinishTextureImport(ImportOutcome* outcome);
// Gives up on the import that is loading, if any: its helper is ended, the slots stay as they
// are, and an "[Info]: Cancelled loading texture: <path>" line says so.
void CancelTextureImport();
// Ends any import that is loading, without a line, and waits until every helper is gone.
void EndTextureImports();
// The file being loaded, or null when no import is. (The interface keeps its own record of
// what it started, ui/main_menu.h's ImportInProgress; this one is for tests.)
const char* LoadingTexturePath();

// An export renders over several frames from the textures the slots held when it started, and
// the user may import another picture or paper meanwhile. HoldSlotTextures answers the slots'
// textures now and keeps them alive: an import that replaces one of them takes it out of its
// slot (the window shows the new one at once) without deleting it. ReleaseHeldTextures deletes
// those that no slot holds any more and ends the hold. One holder at a time; the renderer's
// shutdown releases them before it deletes the slots' own.
void HoldSlotTextures(GLuint* picture, GLuint* paper);
void ReleaseHeldTextures();
