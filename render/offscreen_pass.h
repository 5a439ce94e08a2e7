// offscreen_pass: the brush pass run into an offscreen target (a framebuffer object with an
// 8-bit RGBA texture) instead of the window: the cached preview paints with it at the drawn
// size (render/cached_preview.h), and the export renders the picture with it at the picture's
// own size, in tiles read back into its buffer (render/picture_export.h).
//
//   OffscreenTarget target = {};
//   if (!SizeOffscreenTarget(&target, width, height, reason, sizeof reason)) ...;
//   RunBrushPassOffscreen(target, WholePictureRegion(viewport, false), parameters);
//   DeleteOffscreenTarget(&target);
//
//   // A picture in tiles, read back as RGB rows from the top: in one call,
//   RenderBrushPassRGB(width, height, reachW, reachH, parameters, rgb, size, reason, sizeof reason);
//   // or in steps, a few tiles a frame, so that the window goes on drawing.
//   TiledRender render = {};
//   if (!BeginTiledRender(&render, width, height, reachW, reachH, parameters, picture, paper,
//                         rgb, size, reason, sizeof reason)) show(reason);
//   ...once a frame:
//   RenderStep step = StepTiledRender(&render, 25.0, reason, sizeof reason);
//   if (step != RENDER_RUNNING) EndTiledRender(&render);   // RENDER_DONE: rgb holds the picture
//
// Every routine here puts back all the GL state it changes (render/gl_state.h): the draw and
// read framebuffer bindings, the viewport, the current program, the vertex array and the array
// buffer binding, the active texture unit and the 2D textures bound on units 0 and 1, the
// scissor, blend, depth and cull switches, the colour mask, the clear colour and the pack
// settings of the read-back. Only the brush program's uniforms keep the values of the last pass;
// every pass sets them all before drawing.
// Main thread only, with the context current and the brush program made (brush_program.h).
// Nothing here writes files or logs; failures come back as a reason for the caller to show.
// What a render samples is the caller's to keep alive while it runs (texture_slots.h's holds).
#pragma once
#include <cstddef>

#include "gl/gl_loader.h"
#include "render/brush_program.h"

struct OffscreenTarget {
    GLuint Framebuffer;
    GLuint Texture;  // 8-bit RGBA, nearest filtering, no mipmaps
    int Width, Height;
};

// Makes the target's objects on first use and gives its texture this size (storage is kept
// when the size is already right). False, with a reason, when the GL refuses; the target is
// then empty (no objects), as after DeleteOffscreenTarget.
bool SizeOffscreenTarget(OffscreenTarget* target, int width, int height, char* reason, size_t reasonSize);
void DeleteOffscreenTarget(OffscreenTarget* target);
// Clears the whole target to opaque black, as the window's clear does.
void ClearOffscreenTarget(const OffscreenTarget& target);

// What one pass draws: the area of the target it covers (GL convention, y from the bottom), the
// part of the picture shown there, and the brush's reach. Picture coordinates run from (0, 0) at
// the picture's top-left corner to (1, 1) at its bottom-right.
// TopRowFirst draws the part upside down, the quad's corners mirrored top to bottom, so that the
// target's row 0 holds the part's top row: the order of a read-back that wants rows from the top,
// and the order in which GLs keep a window's pixels (a window's raster runs from its top row), so
// that a pass drawn this way rasterizes as the window's own pass does.
struct BrushPassRegion {
    BrushViewport Viewport;
    float PictureLeft, PictureTop, PictureRight, PictureBottom;
    float ReachWidth, ReachHeight;  // uResolution: one brush step is 1 / reach
    bool TopRowFirst;
    GLuint PictureTexture, PaperTexture;  // what the pass samples: the slots' textures, or those
                                          // an export started with
};

// The whole picture over `viewport`, with the reach of the viewport's own size and the slots'
// textures: the region of the window's pass.
BrushPassRegion WholePictureRegion(BrushViewport viewport, bool topRowFirst);

// Runs the brush pass over the region of the target with the region's textures and the given
// parameters. The target must be sized (SizeOffscreenTarget).
void RunBrushPassOffscreen(const OffscreenTarget& target, const BrushPassRegion& region,
                           const BrushProperties& parameters);

// A picture rendered tile by tile into a caller's buffer: the tiles row by row from the top, each
// drawn into the one target and read back into its place in the picture's rows.
struct TiledRender {
    int Width, Height;
    float ReachWidth, ReachHeight;
    BrushProperties Parameters;
    GLuint Picture, Paper;
    unsigned char* Rgb;
    OffscreenTarget Target;  // empty once the render has ended (or before it began)
    int TileWidth, TileHeight, Columns, Tiles;
    int TilesDone;
    double PixelsDone;
};

// Begins a render of `picture` on `paper` at width x height with the brush reach of a drawn area
// of reachWidth x reachHeight into `rgb`: opaque RGB, 3 bytes a pixel, rows from the top row down
// with no gap between them (width * height * 3 bytes; `size` says what `rgb` holds). Pictures
// larger than what the GL can render in one pass (its largest viewport, renderbuffer or texture)
// are rendered in tiles, each with the same reach and its own part of the picture, so the result
// is the same. Makes the target and draws nothing yet. False, with a reason, when there is no
// picture, nothing to render, the buffer is too small, or the GL refuses the target; nothing is
// then kept. `render` must not be running (a fresh TiledRender{}, or one ended).
bool BeginTiledRender(TiledRender* render, int width, int height, float reachWidth, float reachHeight,
                      const BrushProperties& parameters, GLuint picture, GLuint paper, unsigned char* rgb, size_t size,
                      char* reason, size_t reasonSize);

// Draws and reads back the next tiles: at least one, then more while another, taking as long as
// the last, would still end within `budgetMilliseconds` (infinity: to the end). RENDER_FAILED
// carries a reason (the GL failing: out of memory, typically; or the render ended by the
// renderer's shutdown). `rgb` must stay where it is until the render has ended.
enum RenderStep { RENDER_RUNNING, RENDER_DONE, RENDER_FAILED };
RenderStep StepTiledRender(TiledRender* render, double budgetMilliseconds, char* reason, size_t reasonSize);
// The part of the picture's pixels read back so far, 0..1.
float TiledRenderShare(const TiledRender& render);
// Deletes the render's target; call it once the steps are done or given up.
void EndTiledRender(TiledRender* render);

// A tiled render begun and ended in one call, with the slots' textures and no budget: the
// reference the render in steps must equal byte for byte. False, with a reason, as Begin or a
// step fails; `rgb` is then undefined.
bool RenderBrushPassRGB(int width, int height, float reachWidth, float reachHeight, const BrushProperties& parameters,
                        unsigned char* rgb, size_t size, char* reason, size_t reasonSize);

// The largest tile side the tiled render uses: the GL's limits and at most 256, so that a tile
// takes about 10 ms on a software GL (Mesa's llvmpipe on two cores) and a step of the export's
// render fits in a frame; one draw is then also far too short for a desktop GL to take it for a
// hung device. Tests lower it.
extern int OffscreenTileLimit;

// The tiles of a width x height picture as the tiled render draws them: their size (the largest
// side below, no larger than the picture), and the region of the one whose top-left corner is
// (left, top) in picture pixels, tileWidth x tileHeight, drawn upside down at the target's corner.
// Whoever draws the same tile with the same reach and textures gets the same pixels.
void PictureTileSize(int width, int height, int* tileWidth, int* tileHeight);
BrushPassRegion PictureTileRegion(int width, int height, int left, int top, int tileWidth, int tileHeight,
                                  float reachWidth, float reachHeight, GLuint picture, GLuint paper);

// Deletes what the passes keep between calls (their vertex array and buffer) and the targets of
// tiled renders still running, whose next step then fails ("the render was ended before it was
// complete"); the renderer's shutdown calls it.
void ShutdownOffscreenPass();
