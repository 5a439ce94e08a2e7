#include "render/full_size_painting.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "render/gl_state.h"
#include "render/offscreen_pass.h"
#include "render/texture_slots.h"

namespace {

// What the painted tiles were painted from.
struct PaintKey {
    int Width, Height;
    float ReachWidth, ReachHeight;
    BrushProperties Parameters;
    unsigned SlotChanges;
};

struct {
    OffscreenTarget Painting = {};
    OffscreenTarget Tile = {};
    int TileWidth = 0, TileHeight = 0, Columns = 0, Rows = 0;
    std::vector<bool> Painted;  // one flag a tile, row by row from the top
    PaintKey Key = {};
    int TilesPainted = 0;
} Full;

bool SameKey(const PaintKey& a, const PaintKey& b) {
    // Compared bit for bit, as the cached preview compares its inputs.
    return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace

bool PaintFullSizeTiles(int left, int top, int right, int bottom, float reachWidth, float reachHeight,
                        const BrushProperties& parameters, char* reason, size_t reasonSize) {
    if (!DiffuseTexture) {
        snprintf(reason, reasonSize, "no picture has been imported");
        return false;
    }
    const int width = DiffuseWidth, height = DiffuseHeight;
    PaintKey key;
    std::memset(&key, 0, sizeof key);  // padding included, for the comparison
    key.Width = width;
    key.Height = height;
    key.ReachWidth = reachWidth;
    key.ReachHeight = reachHeight;
    key.Parameters = parameters;
    key.SlotChanges = TextureSlotChanges;
    if (!Full.Painting.Framebuffer || !SameKey(key, Full.Key)) {
        if (!SizeOffscreenTarget(&Full.Painting, width, height, reason, reasonSize)) {
            ShutdownFullSizePainting();
            return false;
        }
        PictureTileSize(width, height, &Full.TileWidth, &Full.TileHeight);
        if (!SizeOffscreenTarget(&Full.Tile, Full.TileWidth, Full.TileHeight, reason, reasonSize)) {
            ShutdownFullSizePainting();
            return false;
        }
        Full.Columns = (width + Full.TileWidth - 1) / Full.TileWidth;
        Full.Rows = (height + Full.TileHeight - 1) / Full.TileHeight;
        Full.Painted.assign(size_t(Full.Columns) * Full.Rows, false);
        Full.Key = key;
    }

    const int firstColumn = left > 0 ? left / Full.TileWidth : 0;
    const int firstRow = top > 0 ? top / Full.TileHeight : 0;
    const int lastColumn = right >= width ? Full.Columns - 1 : (right - 1) / Full.TileWidth;
    const int lastRow = bottom >= height ? Full.Rows - 1 : (bottom - 1) / Full.TileHeight;
    SavedGLState saved = {};
    bool drew = false;
    for (int row = firstRow; row <= lastRow; ++row)
        for (int column = firstColumn; column <= lastColumn; ++column) {
            const size_t index = size_t(row) * Full.Columns + column;
            if (Full.Painted[index]) continue;
            if (!drew) saved = SaveGLState(SAVE_DRAW_FRAMEBUFFER | SAVE_READ_FRAMEBUFFER | SAVE_SCISSOR_TEST);
            drew = true;
            const int tileLeft = column * Full.TileWidth, tileTop = row * Full.TileHeight;
            const int w = width - tileLeft < Full.TileWidth ? width - tileLeft : Full.TileWidth;
            const int h = height - tileTop < Full.TileHeight ? height - tileTop : Full.TileHeight;
            RunBrushPassOffscreen(Full.Tile,
                                  PictureTileRegion(width, height, tileLeft, tileTop, w, h, reachWidth, reachHeight,
                                                    DiffuseTexture, FilterTexture),
                                  parameters);
            // The tile target's row 0 is the tile's top row, as the painting's row 0 is the picture's.
            glDisable(GL_SCISSOR_TEST);
            glBindFramebuffer(GL_READ_FRAMEBUFFER, Full.Tile.Framebuffer);
            glBindFramebuffer(GL_DRAW_FRAMEBUFFER, Full.Painting.Framebuffer);
            glBlitFramebuffer(0, 0, w, h, tileLeft, tileTop, tileLeft + w, tileTop + h, GL_COLOR_BUFFER_BIT,
                              GL_NEAREST);
            Full.Painted[index] = true;
            ++Full.TilesPainted;
        }
    if (drew) RestoreGLState(saved);
    return true;
}

GLuint FullSizePaintingFramebuffer() { return Full.Painting.Framebuffer; }

int FullSizeTilesPainted() { return Full.TilesPainted; }

void ShutdownFullSizePainting() {
    DeleteOffscreenTarget(&Full.Painting);
    DeleteOffscreenTarget(&Full.Tile);
    Full.Painted.clear();
    Full.Key = PaintKey{};
}
