// picture_scaling: fits a picture inside the largest side a texture may have, and shrinks RGBA
// pixels to that size where they lie.
//
//   int width, height;
//   if (FitInside(sourceWidth, sourceHeight, largestSide, &width, &height))
//       ok = ShrinkPicture(pixels, sourceWidth, sourceHeight, width, height);
//   // pixels now hold width x height RGBA at the same address; the rest of the buffer is free
//
// Each new pixel is the average of the source area it covers (a box filter whose boxes may cut
// source pixels), channel by channel with straight alpha, rounded to the nearest value (single
// precision on the way: within a hundredth of the exact average). Flat areas stay exactly flat.
// The cost is linear in the source pixels for any shape: every source pixel is read once and
// adds to at most two new columns and two new rows. Neither function touches the GL; the decoder
// helper runs them under its time and memory limits, so a file's claimed size never costs the
// program's own thread anything.
#pragma once

// The size a width x height picture takes to fit in largestSide x largestSide, keeping its
// aspect: the longer side becomes largestSide, the other is rounded, and a side that would round
// to 0 becomes 1. Answers false (with the size unchanged) when it fits already or largestSide is
// not positive.
bool FitInside(int width, int height, int largestSide, int* fitWidth, int* fitHeight);

// Shrinks sourceWidth x sourceHeight RGBA pixels (rows top to bottom, no gap) to width x height
// in place; 1 <= width <= sourceWidth, 1 <= height <= sourceHeight. Needs 48 bytes per new
// column of its own (malloc); false, with the pixels unchanged, when that is not to be had.
bool ShrinkPicture(unsigned char* pixels, int sourceWidth, int sourceHeight, int width, int height);

// The same shrinking, from `source` into another buffer of width x height RGBA, in bands of rows
// on up to `threads` threads (this one among them): the same bytes as ShrinkPicture. Needs 48
// bytes per new column per thread; false when that or a band's memory is not to be had (the
// bands that were done are in `out`).
bool ShrinkPictureInto(const unsigned char* source, int sourceWidth, int sourceHeight, unsigned char* out, int width,
                       int height, int threads);
