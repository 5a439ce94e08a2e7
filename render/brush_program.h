// brush_program: the brush shader program and the quad it draws, made once, for every pass that
// paints with the brush (the window's, render/brush_filter.h; those outside it,
// render/offscreen_pass.h).
//
//   CreateBrushProgram(QuadVertexShaderSource, BrushPixelShaderSource);  // with a current context
//   const BrushProgram& brush = BrushProgramObjects();
//   glUseProgram(brush.Program);
//   SetBrushUniforms(float(width), float(height), parameters);          // before each draw
//   glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_INT, nullptr);           // with a quad's vertex array
//   DeleteBrushQuad();                                                   // at shutdown
//
// Create makes the quad's vertex array (bound afterwards) with its vertex and index buffers,
// compiles the two shaders ("[Info]: Compiled shaders"), links them with the quad's attributes
// at 0 and 1 ("[Info]: Created shader program") and looks up the uniforms. A shader that fails
// to compile or a program that fails to link is fatal: one error line with the driver's log
// (cut at 1023 characters), then abort. It binds no texture and does not make the program
// current; the samplers' units are the renderer's to set.
// Main thread only, with the context current and the entry points loaded.
#pragma once
#include "gl/gl_loader.h"

struct BrushProperties {
    float Opacity;
    float StrokeCoeff;
    float BackgroundCoeff;
};

// What the parameters start at and what the Options window's Reset puts back.
constexpr BrushProperties InitialBrushParameters = {1.0f, 1.0f / 3, 1.0f / 3};

// An area of a framebuffer in pixels, GL convention (y from the bottom): where a pass draws.
struct BrushViewport {
    int X, Y, Width, Height;
};

struct BrushProgram {
    GLuint Program;
    GLint Resolution, Opacity, StrokeCoeff, BackgroundCoeff;  // uniform locations
    // The window's quad: four corners, interleaved position (x, y) and texture coordinate (u, v),
    // top-left, bottom-left, bottom-right, top-right, and the indices of its two triangles, which
    // wind in opposite directions (face culling must stay off).
    GLuint QuadVertexArray, QuadVertexBuffer, QuadIndexBuffer;
};

void CreateBrushProgram(const char* vertexSource, const char* pixelSource);
const BrushProgram& BrushProgramObjects();

// The uniforms of the current program, which must be the brush program: the brush's reach
// (uResolution; one brush step is 1 / reach) and the parameters.
void SetBrushUniforms(float reachWidth, float reachHeight, const BrushProperties& parameters);

// Deletes the quad's vertex array and buffers. The program itself stays for the rest of the run.
void DeleteBrushQuad();
