// offscreen_pass: the brush pass run into an offscreen target (a framebuffer object with an
// 8-bit RGBA texture) instead of the window: the cached preview paints with it at the drawn
// size, and the export renders the picture with it at the picture's own size, in tiles.
//
//   OffscreenTarget target = {};
//   if (!SizeOffscreenTarget(&target, width, height, reason, sizeof reason)) ...;
//   RunBrushPassOffscreen(target, WholePictureRegion(viewport, false), BrushParameters);
//   DeleteOffscreenTarget(&target);
//
//   // Export: the picture in the slot, painted as the preview shows it, at its own size.
//   int width = 0, height = 0;
//   PaintedPictureSize(&width, &height);
//   std::vector<unsigned char> rgb(size_t(width) * height * 3);
//   if (!RenderPaintedPicture(rgb.data(), rgb.size(), reason, sizeof reason)) show(reason);
//
//   // The same render in steps, a few tiles a frame, so that the window goes on drawing.
//   if (!StartPaintedPictureRender(rgb.data(), rgb.size(), reason, sizeof reason)) show(reason);
//   ...once a frame:
//   RenderStep step = StepPaintedPictureRender(25.0, &share, reason, sizeof reason);
//   if (step != RENDER_RUNNING) EndPaintedPictureRender();   // RENDER_DONE: rgb holds the picture
//
// Every routine here puts back all the GL state it changes: the draw and read framebuffer
// bindings, the viewport, the current program, the vertex array and the array buffer binding,
// the active texture unit and the 2D textures bound on units 0 and 1, the scissor, blend, depth
// and cull switches, the colour mask, the clear colour and the pack settings of the read-back. Only the brush
// program's uniforms keep the values of the last pass; every pass sets them all before drawing.
// Main thread only, with the context current and the renderer initialised (brush_filter.h).
// Nothing here writes files or logs; failures come back as a reason for the caller to show.
#pragma once
#include <cstddef>

#include "gl/gl_loader.h"
#include "render/brush_filter.h"

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

// Runs the brush pass over the region of the target with the slots' textures and the given
// parameters. The target must be sized (SizeOffscreenTarget).
void RunBrushPassOffscreen(const OffscreenTarget& target, const BrushPassRegion& region,
                           const BrushProperties& parameters);

// The picture in the slot at width x height with the brush reach of a drawn area of
// reachWidth x reachHeight, read back into `rgb`: opaque RGB, 3 bytes a pixel, rows from the top
// row down with no gap between them (width * height * 3 bytes; `size` says what `rgb` holds).
// Pictures larger than what the GL can render in one pass (its largest viewport, renderbuffer
// or texture) are rendered in tiles, each with the same reach and its own part of the picture,
// so the result is the same. False, with a reason, when there is no picture, the buffer is too
// small, or the GL fails (out of memory, typically); `rgb` is then undefined.
bool RenderBrushPassRGB(int width, int height, float reachWidth, float reachHeight,
                        const BrushProperties& parameters, unsigned char* rgb, size_t size, char* reason,
                        size_t reasonSize);

// What the export writes: the picture in the slot at its own size (the diffuse width and height)
// painted with the current parameters and paper and with the reach of the latest frame's drawn
// size (LastDrawnPictureSize), so the file is the preview at full resolution.
void PaintedPictureSize(int* width, int* height);
bool RenderPaintedPicture(unsigned char* rgb, size_t size, char* reason, size_t reasonSize);

// RenderPaintedPicture in steps, for the export: the same tiles in the same order, so the same
// pixels byte for byte, each step drawing and reading back a few of them straight into `rgb`.
// Start takes what the render paints with as it is then: the picture's size, the parameters,
// the reach of the latest frame, and the slots' textures, which it holds (texture_import.h), so
// that sliders moved, a window resized or another picture or paper imported meanwhile change
// the window and not the render. Start fails as RenderPaintedPicture does (no picture, a buffer
// too small, the GL refusing the target), holding nothing then. One render at a time: a start
// ends the one before.
// Each step draws at least one tile, then goes on while another, taking as long as the last,
// would still end within `budgetMilliseconds` (infinity: to the end); `share` (when not null)
// becomes the part of the picture's pixels read back so far, 0..1. RENDER_FAILED carries a
// reason (the GL failing: out of memory, typically). A step puts back all the GL state it
// changes, as every routine here does. `rgb` must stay where it is until the render has ended.
// End deletes the render's target and lets go of the textures (those replaced meanwhile are
// deleted then); call it once the steps are done or given up. The renderer's shutdown ends a
// render still running.
enum RenderStep { RENDER_RUNNING, RENDER_DONE, RENDER_FAILED };
bool StartPaintedPictureRender(unsigned char* rgb, size_t size, char* reason, size_t reasonSize);
RenderStep StepPaintedPictureRender(double budgetMilliseconds, float* share, char* reason, size_t reasonSize);
void EndPaintedPictureRender();
// Whether a render has started and not ended.
bool PaintedPictureRendering();
// Its target, for tests: empty when none runs.
const OffscreenTarget& PaintedPictureRenderTarget();

// The largest tile side the tiled render uses: the GL's limits and at most 256, so that a tile
// takes about 10 ms on a software GL (Mesa's llvmpipe on two cores) and a step of the export's
// render fits in a frame; one draw is then also far too short for a desktop GL to take it for a
// hung device. Tests lower it.
extern int OffscreenTileLimit;

// Deletes what the passes keep between calls (their vertex array and buffer) and ends the
// export's render if one is running; the renderer's shutdown calls it.
void ShutdownOffscreenPass();
