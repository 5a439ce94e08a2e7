// cached_preview: the painting the window shows, kept in an offscreen texture, so that the brush
// pass runs only when something it reads has changed and every other frame costs one copy.
//
//   if (PaintPreview(viewport)) PresentPreview(viewport);  // each frame, after the clear
//   PresentOriginalPicture(viewport);                      // while comparing with the original
//   ShutdownCachedPreview();                               // with the renderer
//
// PaintPreview runs the pass (render/offscreen_pass.h) when its inputs differ from those of the
// last painting: the brush parameters, the texture slots (TextureSlotChanges) or the drawn area.
// The area's place counts as well as its size, because a GL may round the interpolated texture
// coordinates a little differently at another place in the target, and the painting must be
// pixel for pixel what the pass would draw in the window there. So the texture reaches from the
// window's bottom-left corner to the drawn area's top-right corner and the pass draws at the
// window's own viewport: the drawn size plus the bar on the left or below, never more than the
// window (3840 x 2160 x 4 bytes, 33 MB, for a 16:9 picture in a 16:9 4K window).
// The presenting copies (glBlitFramebuffer, 1:1 nearest for the painting, bilinear scaling for
// the original) go to the bound draw framebuffer and change no state that they do not put back.
// Main thread only, with the context current and the renderer initialised.
#pragma once
#include "render/brush_filter.h"
#include "render/offscreen_pass.h"

// True: the frame presents the cached painting. False: the pass runs straight into the window
// in every frame, as it did before the cache (the reference of tests and benchmarks).
extern bool PreviewCaching;

// Paints when the inputs changed since the last painting; true when the cache then holds the
// painting of `viewport` (a non-empty drawn area of a picture in the slot). False when the GL
// could not hold the cache: the caller then draws the pass straight into the window.
bool PaintPreview(BrushViewport viewport);
// Copies the painting's drawn area into the bound draw framebuffer at the same place.
void PresentPreview(BrushViewport viewport);
// Scales the picture in the slot into the viewport of the bound draw framebuffer, bilinear,
// with its edges clamped: the picture as imported, without brush or paper.
void PresentOriginalPicture(BrushViewport viewport);

// How many times the pass has painted the cache since start-up.
int PreviewPaintCount();
// The cache's target, for tests: its names and size.
const OffscreenTarget& PreviewTarget();

// Deletes the cache's texture and framebuffers; the renderer's shutdown calls it.
void ShutdownCachedPreview();
