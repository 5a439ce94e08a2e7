#include "render/texture_slots.h"

#include <algorithm>
#include <vector>

namespace {

// What no picture has: the size the window's fit and the canvas hint use before an import.
constexpr int EmptyPictureWidth = 800, EmptyPictureHeight = 600;

struct {
    GLuint Picture = 0;
    int PictureWidth = EmptyPictureWidth, PictureHeight = EmptyPictureHeight;
    GLuint Paper = 0;
    int PaperWidth = 0, PaperHeight = 0;
    unsigned Changes = 0;
    // One entry per hold; a texture held twice is there twice.
    std::vector<GLuint> Held;
} Slots;

bool IsHeld(GLuint texture) { return std::find(Slots.Held.begin(), Slots.Held.end(), texture) != Slots.Held.end(); }

bool InSlot(GLuint texture) { return texture == Slots.Picture || texture == Slots.Paper; }

}  // namespace

const GLuint& DiffuseTexture = Slots.Picture;
const int& DiffuseWidth = Slots.PictureWidth;
const int& DiffuseHeight = Slots.PictureHeight;
const GLuint& FilterTexture = Slots.Paper;
const int& FilterWidth = Slots.PaperWidth;
const int& FilterHeight = Slots.PaperHeight;
const unsigned& TextureSlotChanges = Slots.Changes;

void SetTextureSlot(TextureSlot slot, GLuint texture, int width, int height) {
    GLuint* held = slot == TEXTURE_SLOT_FILTER ? &Slots.Paper : &Slots.Picture;
    const GLuint previous = *held;
    *held = texture;
    if (slot == TEXTURE_SLOT_DIFFUSE) {
        Slots.PictureWidth = texture ? width : EmptyPictureWidth;
        Slots.PictureHeight = texture ? height : EmptyPictureHeight;
    } else {
        Slots.PaperWidth = texture ? width : 0;
        Slots.PaperHeight = texture ? height : 0;
    }
    ++Slots.Changes;
    // A held texture is its render's until the render lets go.
    if (previous && !InSlot(previous) && !IsHeld(previous)) glDeleteTextures(1, &previous);
}

void HoldSlotTexture(GLuint texture) {
    if (texture) Slots.Held.push_back(texture);
}

void LetGoOfSlotTexture(GLuint texture) {
    const auto hold = std::find(Slots.Held.begin(), Slots.Held.end(), texture);
    if (hold == Slots.Held.end()) return;
    Slots.Held.erase(hold);
    if (!InSlot(texture) && !IsHeld(texture)) glDeleteTextures(1, &texture);
}

void EmptyTextureSlots() {
    // The slots let go first, so that the setter leaves the held ones to the loop below.
    SetTextureSlot(TEXTURE_SLOT_DIFFUSE, 0, 0, 0);
    SetTextureSlot(TEXTURE_SLOT_FILTER, 0, 0, 0);
    std::vector<GLuint> held;
    held.swap(Slots.Held);
    std::sort(held.begin(), held.end());
    held.erase(std::unique(held.begin(), held.end()), held.end());
    if (!held.empty()) glDeleteTextures(GLsizei(held.size()), held.data());
}
