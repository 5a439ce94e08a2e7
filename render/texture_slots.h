// texture_slots: the two textures the brush pass samples, the picture (unit 0) and the paper
// (unit 1), and the picture's size. Everyone reads them; SetTextureSlot alone changes them.
//
//   SetTextureSlot(TEXTURE_SLOT_DIFFUSE, texture, width, height);   // an import's last step
//   if (DiffuseTexture != 0) draw(DiffuseWidth, DiffuseHeight);
//   if (TextureSlotChanges != paintedWith) repaint();                // the cache's test
//
//   HoldSlotTexture(texture);        // a render over several frames samples it meanwhile
//   LetGoOfSlotTexture(texture);     // deleted now when no slot holds it any more
//   EmptyTextureSlots();             // the renderer's shutdown
//
// A slot owns its texture: the one a slot lets go of is deleted at once, unless a render still
// samples it (held): the last hold's end deletes it then. The slots make no texture and upload
// nothing (render/texture_import.h does); they only keep the names.
// Main thread only, with the GL context current.
#pragma once
#include "gl/gl_loader.h"

extern const GLuint& DiffuseTexture;  // 0 until the first picture import
extern const int& DiffuseWidth;       // 800 x 600 until then; always positive
extern const int& DiffuseHeight;
extern const GLuint& FilterTexture;  // the embedded paper from start-up on
extern const int& FilterWidth;       // its size; 0 x 0 while the slot is empty
extern const int& FilterHeight;
// Bumped whenever a slot is set, even to the texture it holds (whose pixels may have been
// replaced). What the renderer cached from the slots is stale when it changes; the GL names
// cannot tell, as the GL hands a deleted texture's name out again.
extern const unsigned& TextureSlotChanges;

enum TextureSlot { TEXTURE_SLOT_DIFFUSE, TEXTURE_SLOT_FILTER };

// Puts `texture` (0: none) into the slot and bumps TextureSlotChanges. For the picture slot
// width x height becomes the picture's size (positive; an empty slot gets 800 x 600 whatever
// they say); the paper slot keeps them as they are (0 x 0 when empty). The texture the slot held before is deleted, unless
// it is the same one or held.
void SetTextureSlot(TextureSlot slot, GLuint texture, int width, int height);

// A render that samples a slot's texture over several frames holds it, so that an import that
// replaces it meanwhile takes it out of its slot (the window shows the new one at once) without
// deleting it. Letting go deletes it when no slot holds it and no other hold remains. Holds of
// texture 0 are ignored.
void HoldSlotTexture(GLuint texture);
void LetGoOfSlotTexture(GLuint texture);

// Empties both slots and deletes every texture they hold or held for a render; the holds are
// forgotten (a later LetGoOfSlotTexture deletes nothing). The renderer's shutdown calls it.
void EmptyTextureSlots();
