// cached_preview: what the window shows of the picture, kept in an offscreen texture, so that the
// brush pass runs only when something it reads has changed and every other frame costs one copy.
//
//   if (PaintPreview(viewport, windowW, windowH, BrushParameters)) PresentPreview();  // each frame
//   PresentOriginalPicture(viewport);     // while comparing, after the clear: the original
//   ShutdownCachedPreview();              // with the renderer
//
// The cache holds the whole window as the uncached frame draws it: the black bars (the clear)
// and the painting in the drawn area. PaintPreview runs the pass (render/offscreen_pass.h) when
// its inputs differ from those of the last painting: the brush parameters, the texture slots
// (TextureSlotChanges, render/texture_slots.h), the drawn area or the window's size. The
// painting must be pixel for pixel what the pass would draw in the window, and a GL rounds the
// interpolated texture coordinates a little differently at another place in its raster; so the
// pass draws at the very raster position of the drawn area: for a window, whose raster GLs keep from the top row down,
// upside down (TopRowFirst) at the area's distance from the window's top; for a framebuffer
// object (tests), upright. PresentPreview then copies the whole window in one glBlitFramebuffer,
// 1:1 and nearest, upside down again for a window, which on such a GL is a plain copy of memory
// and costs about what the clear of a bare frame costs.
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
// Copies the cached window into the bound draw framebuffer: bars and painting, every pixel.
void PresentPreview();
// Scales the picture in the slot into the viewport of the bound draw framebuffer, bilinear,
// with its edges clamped: the picture as imported, without brush or paper.
void PresentOriginalPicture(BrushViewport viewport);

// How many times the pass has painted the cache since start-up.
int PreviewPaintCount();
// The cache's target, for tests: its names and size.
const OffscreenTarget& PreviewTarget();

// Deletes the cache's texture and framebuffers; the renderer's shutdown calls it.
void ShutdownCachedPreview();
