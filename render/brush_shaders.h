// brush_shaders: the two GLSL 1.40 sources of the brush filter, as constant texts.
//
//   glShaderSource(vertexShader, 1, &QuadVertexShaderSource, nullptr);
//   glShaderSource(pixelShader, 1, &BrushPixelShaderSource, nullptr);
//
// The quad vertex shader passes a full-viewport quad through (attributes `aPosition`, location
// 0, and `aTexCoord`, location 1; the locations are bound before linking).
// The brush pixel shader reads the picture (`sTexture`, unit 0) and the paper
// (`sBackgroundTexture`, unit 1) and the uniforms `uResolution`, `uBrush.Opacity`,
// `uBrush.StrokeCoeff`, `uBrush.BackgroundCoeff`, and writes `OutputColor`.
// Compiling and linking belong to render/brush_program.h, drawing to the passes; nothing here
// touches the GL.
#pragma once

extern const char* const QuadVertexShaderSource;
extern const char* const BrushPixelShaderSource;
