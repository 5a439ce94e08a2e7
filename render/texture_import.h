// texture_import: the two texture slots the brush filter samples, and the imports that fill them.
//
//   LoadFilterTextureFromMemory(DefaultFilterData, DefaultFilterDataSize);  // at start-up
//   LoadDiffuseTexture(path);       // a user's picture; on success also ShowOptions = true
//   LoadFilterTexture(path);        // a user's paper
//   if (TextureLoadFailureCount() != seen) { seen = ...; show(LastTextureLoadError()); }
//
// Files are decoded in a helper process (picture/image_decoder.h), so no file can take the
// program down; the embedded paper, which is ours, decodes in process. Each slot owns exactly one
// GL texture (GL_RGBA, GL_LINEAR both ways, default repeat wrap, no mipmaps, row 0 = top row); an
// import binds its new texture on the active unit and deletes the one it replaces.
//
// A failed import changes no slot and no size: it writes one line
// "[Error]: Failed to load texture: <path>: <reason>" and keeps "<path>: <reason>" for the UI.
// A picture wider or taller than GL_MAX_TEXTURE_SIZE is scaled down to fit, keeping its aspect,
// with an "[Info]: " line; the diffuse size is then the scaled size.
// Main thread only, with the GL context current.
#pragma once
#include "gl/gl_loader.h"

extern GLuint DiffuseTexture;           // 0 until the first picture import
extern int DiffuseWidth, DiffuseHeight;  // 800 x 600 until then; always positive
extern GLuint FilterTexture;            // the embedded paper from start-up on
// Bumped whenever a slot takes another texture or is emptied. What the renderer cached from the
// slots is stale when it changes; the GL names cannot tell, as the GL hands a deleted texture's
// name out again. Code that fills a slot by other means (tests) bumps it too.
extern unsigned TextureSlotChanges;

void LoadDiffuseTexture(const char* path);
void LoadFilterTexture(const char* path);
void LoadFilterTextureFromMemory(const unsigned char* data, int length);

// "<path>: <reason>" of the latest import that failed; "" while none has.
const char* LastTextureLoadError();
// How many imports have failed so far: a change tells the UI that a new failure happened, even
// when its text equals the previous one.
int TextureLoadFailureCount();
