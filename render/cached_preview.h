// cached_preview: what the window shows of the picture, kept in an offscreen texture, so that the
// brush pass runs only when something it reads has changed and every other frame costs one copy.
//
//   if (PaintPreview(viewport, windowW, windowH, BrushParameters)) PresentPreview();  // each frame
//   if (PaintPreviewView(view, windowW, windowH, BrushParameters)) PresentPreview();  // zoomed
//   PresentOriginalPicture(viewport, magnified);   // while comparing, after the clear: the original
//   ShutdownCachedPreview();              // with the renderer
//
// The cache holds the whole window as the uncached frame draws it: the black bars (the clear)
// and the painting in the drawn area. PaintPreview runs the pass (render/offscreen_pass.h) when
// its inputs differ from those of the last painting: the brush parameters, the texture slots
// (TextureSlotChanges, render/texture_slots.h), the drawn area, the reach or the window's size. The
// painting must be pixel for pixel what the pass would draw in the window, and a GL rounds the
// interpolated texture coordinates a little differently at another place in its raster; so the
// pass draws at the very raster position of the drawn area: for a window, whose raster GLs keep from the top row down,
// upside down (TopRowFirst) at the area's distance from the window's top; for a framebuffer
// object (tests), upright. PresentPreview then copies the whole window in one glBlitFramebuffer,
// 1:1 and nearest, upside down again for a window, which on such a GL is a plain copy of memory
// and costs about what the clear of a bare frame costs.
// Zoomed, the drawn area may reach past the window's edges: below 100 % the pass draws the part
// in view at the shown scale, with the fitted view's reach; at 100 % and closer the cache is
// composed from the painting at the picture's own size (render/full_size_painting.h), each
// picture pixel copied onto the window pixels it covers (nearest), so that at 100 % the window
// shows the export's own pixels. Either way a steady frame costs the one copy.
// Memory: one 8-bit RGBA texture of the window's size (3840 x 2160 x 4 bytes, 33 MB, at 4K).
// The presenting copies go to the bound draw framebuffer and change no state that they do not put
// back (render/gl_state.h). Main thread only, with the context current and the brush program
// made; the renderer (render/brush_filter.h) decides when to paint and present.
#pragma once
#include "render/brush_program.h"
#include "render/offscreen_pass.h"

// True: the frame presents the cached painting. False: the pass runs straight into the window
// in every frame, as it did before the cache (the reference of tests and benchmarks).
extern bool PreviewCaching;

// Paints when the inputs changed since the last painting; true when the cache then holds the
// window of windowWidth x windowHeight with the picture in the slot painted with `parameters` at
// `viewport` (a non-empty drawn area), for the bound draw framebuffer. False when the GL could not hold the
// cache: the caller then clears and draws the pass straight into the window.
// The brush's reach is the viewport's size divided by pixelsPerUnit (render/brush_filter.h's
// SetDisplayScale).
bool PaintPreview(BrushViewport viewport, int windowWidth, int windowHeight, const BrushProperties& parameters,
                  float pixelsPerUnit = 1.0f);

// What the window shows of the picture: its whole drawn area (GL convention, y from the bottom;
// it may reach past the window), the brush's reach, and whether the area is filled from the
// full-size painting (100 % or closer) rather than by the pass at the shown scale.
struct PreviewView {
    BrushViewport Drawn;
    float ReachWidth, ReachHeight;
    bool FullSize;
};
// PaintPreview for any view; PaintPreview(viewport, ...) is the fitted view's, whose reach is the
// drawn size.
bool PaintPreviewView(const PreviewView& view, int windowWidth, int windowHeight, const BrushProperties& parameters);
// The pass's region for the part of the view inside the window (upside down for topRowFirst):
// false when no part of the picture is in the window.
bool VisiblePictureRegion(const PreviewView& view, int windowWidth, int windowHeight, bool topRowFirst,
                          BrushPassRegion* region);
// Copies the cached window into the bound draw framebuffer: bars and painting, every pixel.
void PresentPreview();
// Scales the picture in the slot into the viewport of the bound draw framebuffer (which may
// reach past its edges), bilinear with its edges clamped, or magnified with the nearest pixel
// as the full-size painting is shown: the picture as imported, without brush or paper.
void PresentOriginalPicture(BrushViewport viewport, bool magnified = false);

// How many times the pass has painted the cache since start-up.
int PreviewPaintCount();
// The cache's target, for tests: its names and size.
const OffscreenTarget& PreviewTarget();

// Deletes the cache's texture and framebuffers; the renderer's shutdown calls it.
void ShutdownCachedPreview();
