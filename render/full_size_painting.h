// full_size_painting: the painting at the picture's own size, what the window shows zoomed to
// 100 % or closer: kept in one texture and painted tile by tile, only the tiles a view needs.
//
//   if (PaintFullSizeTiles(left, top, right, bottom, reachW, reachH, parameters, reason, sizeof reason))
//       glBlitFramebuffer(...) from FullSizePaintingFramebuffer();   // row 0: the picture's top row
//   ShutdownFullSizePainting();                                      // with the renderer
//
// The tiles are the export's (render/offscreen_pass.h's PictureTileSize and PictureTileRegion):
// each is drawn on its own at the corner of a tile-sized target, as the export draws it, and
// copied 1:1 into its place, so every pixel here is the very pixel the export writes with the
// same reach. A tile stays painted until what it was painted from changes: the picture or paper
// (the slots' counter), the parameters or the reach; then every tile is painted again as a view
// needs it. A pan therefore paints only the tiles that come into view for the first time.
// Memory: one 8-bit RGBA texture of the picture's size (24 megapixels: 96 MB), made on the first
// zoom to 100 % or closer and kept with the picture; a tile-sized target beside it.
// Main thread only, with the context current and the brush program made; every routine puts
// back the GL state it changes (render/gl_state.h).
#pragma once
#include <cstddef>

#include "gl/gl_loader.h"
#include "render/brush_program.h"

// Paints the tiles that meet the picture pixels [left, right) x [top, bottom) and are not
// painted yet with the picture and paper in the slots, this reach and these parameters. False,
// with a reason, when there is no picture or the GL cannot hold the texture; nothing is kept then.
bool PaintFullSizeTiles(int left, int top, int right, int bottom, float reachWidth, float reachHeight,
                        const BrushProperties& parameters, char* reason, size_t reasonSize);

// The framebuffer holding the painting (its texture as colour attachment 0), picture-sized.
GLuint FullSizePaintingFramebuffer();

// How many tiles have been painted since start-up: what a pan or a zoom step cost.
int FullSizeTilesPainted();

// Deletes the texture and the tile target; the renderer's shutdown calls it.
void ShutdownFullSizePainting();
