// brush_reference: the brush filter computed on the CPU, for comparison with the GL's output.
//
//   Picture picture = ...;                       // RGBA bytes, top row first
//   Rgba c = ReferenceBrushPixelOutcomes(picture, paper, drawnW, drawnH, column, rowFromTop,
//                                        params, 0.0)[0];
//   uint8_t red = ToUnorm8(c.R);
//
// Written from the filter's description, not from the shader text: sampling models GL_LINEAR
// with GL_REPEAT on both axes and no mipmaps; a picture with no texels reads (0, 0, 0, 1) as
// an empty texture unit does. Arithmetic in double precision.
#pragma once
#include <cstdint>
#include <vector>

struct Rgba {
    double R, G, B, A;
};

struct Picture {
    int Width = 0, Height = 0;
    std::vector<uint8_t> Texels;  // Width * Height * 4 bytes, top row first
    void Set(int x, int y, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255);
};

Picture MakePicture(int width, int height, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255);

struct ReferenceParameters {
    double Opacity, StrokeCoeff, BackgroundCoeff;
};

// (s, t) in texture coordinates; t = 0 is the picture's top row.
Rgba SampleLinearRepeat(const Picture& picture, double s, double t);
// The same with the edges clamped (a scaling blit's sampling): nothing wraps.
Rgba SampleLinearClamp(const Picture& picture, double s, double t);

// The colour the pass writes for one pixel of a drawn area of drawnWidth x drawnHeight (column
// from the left, row from the top of the drawn area; not clamped), for every outcome of the
// smear that a GL may reach when its filtered samples are a little less precise than these:
// the first entry is the exact outcome, the others take a smear sample whose brightness lies
// within tieMargin of the brightest. Between texel centres (any scale but 1:1) a GL's
// filtering rounds, and a near tie between differently coloured samples may fall either way.
std::vector<Rgba> ReferenceBrushPixelOutcomes(const Picture& picture, const Picture& paper, int drawnWidth,
                                              int drawnHeight, int column, int row,
                                              const ReferenceParameters& parameters, double tieMargin);

// The same at any point of the picture: (x, y) in picture coordinates ((0, 0) top-left, (1, 1)
// bottom-right), one brush step being (stepX, stepY) (1 / uResolution).
std::vector<Rgba> ReferenceBrushOutcomesAt(const Picture& picture, const Picture& paper, double x, double y,
                                           double stepX, double stepY, const ReferenceParameters& parameters,
                                           double tieMargin);

// The 8-bit colour buffer's conversion: clamp to [0, 1], round to nearest.
uint8_t ToUnorm8(double value);
