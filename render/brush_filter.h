// brush_filter: draws the imported picture through the brush shader into the window, fitted
// with its aspect kept, centred, with black bars.
//
//   InitBrushFilter();                       // once, with a current GL 3.x context and loaded
//                                            // entry points; compiles, links, loads the paper
//   DrawBrushFilter(windowW, windowH);       // every frame, before the UI is built
//   BrushParameters.Opacity = 0.5f;          // the Options sliders edit the parameters in place
//   ShutdownBrushFilter();                   // once, before the context goes
//
// Init leaves the brush program and the quad's vertex array current for the rest of the run;
// every other user of the GL puts them back after drawing (the UI binding does). The draw binds
// both texture units afresh, leaves unit 1 active and the viewport on the drawn area.
// A shader that fails to compile or a program that fails to link is fatal: one error line
// with the driver's log (cut at 1023 characters), then abort.
// It does not own the textures' loading (render/texture_import.h) and checks no GL error.
#pragma once

struct BrushProperties {
    float Opacity;
    float StrokeCoeff;
    float BackgroundCoeff;
};

// 1.0f, 1.0f/3, 1.0f/3 at start; never saved or reset.
extern BrushProperties BrushParameters;

// The drawn area in window pixels, GL convention (y from the bottom).
struct BrushViewport {
    int X, Y, Width, Height;
};

// The fit of a picture into a window, in single precision with truncation toward zero: the
// smaller of the two scales (the vertical one on equality), centred with any odd spare column
// at the right and any odd spare row at the top. Needs no GL. A picture without a positive
// size gives an empty area.
BrushViewport ComputeBrushViewport(int windowWidth, int windowHeight, int pictureWidth, int pictureHeight);

void InitBrushFilter();
void DrawBrushFilter(int windowWidth, int windowHeight);
void ShutdownBrushFilter();

// InitBrushFilter with other shader sources; lets tests reach the compile and link failures.
void InitBrushFilterWithSources(const char* vertexSource, const char* pixelSource);
