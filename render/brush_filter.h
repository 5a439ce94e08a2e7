// brush_filter: the renderer. Draws the imported picture through the brush shader into the
// window, fitted with its aspect kept, centred, with black bars.
//
//   InitBrushFilter();                       // once, with a current GL 3.x context and loaded
//                                            // entry points; compiles, links, loads the paper
//   DrawBrushFilter(windowW, windowH);       // every frame, before the UI is built
//   BrushParameters.Opacity = 0.5f;          // the Options sliders edit the parameters in place
//   CompareWithOriginal = cKeyDown;          // the picture as imported, while the user holds C
//   PictureZoom = view;                      // zoomed and panned (render/zoom_view.h)
//   ShutdownBrushFilter();                   // once, before the context goes
//
// The pass runs only when something it reads has changed (a parameter, a slot's texture, the
// drawn area): it paints into an offscreen texture (render/cached_preview.h), and every frame
// presents that painting, pixel for pixel what the pass would draw there. Where the GL cannot
// hold that texture, the pass runs straight into the window in every frame instead. With no
// picture imported nothing is painted and the drawn area stays black.
// Zoomed, the window shows another part of the same painting: the brush's reach stays that of the
// fitted view in the window (what the export takes), and at 100 % and closer the window shows the
// painting at the picture's own size, magnified with the nearest pixel
// (render/cached_preview.h).
// The program and its quad are render/brush_program.h's, shared with the passes drawn outside
// the window (render/offscreen_pass.h); LastDrawnPictureSize gives the export the brush's reach
// as the window showed it.
// Init leaves the brush program and the quad's vertex array current for the rest of the run;
// every other user of the GL puts them back after drawing (the UI binding does). The draw binds
// both texture units afresh, leaves unit 1 active and the viewport on the drawn area.
// A shader that fails to compile or a program that fails to link is fatal: one error line
// with the driver's log (cut at 1023 characters), then abort.
// Shutdown deletes what the renderer, the cache and the offscreen passes made (ending a render
// in tiles still running), and the two slots' textures with those held for a render. It does
// not own the textures' loading (render/texture_import.h) and checks no GL error of its own draw.
#pragma once
#include "gl/gl_loader.h"
#include "render/brush_program.h"
#include "render/zoom_view.h"

// InitialBrushParameters at start; never saved.
extern BrushProperties BrushParameters;

// While true the drawn area shows the picture as imported (scaled the same way, bilinear, no
// brush and no paper); the painting stays cached meanwhile. The UI sets it from the C key.
extern bool CompareWithOriginal;

// How the window shows the picture: fitted (FittedZoomView, as at start) or zoomed and panned.
// The interface changes it; every picture import puts it back to fitted.
extern ZoomView PictureZoom;

// The fit of a picture into a window, in single precision with truncation toward zero: the
// smaller of the two scales (the vertical one on equality), centred with any odd spare column
// at the right and any odd spare row at the top. Needs no GL. A picture without a positive
// size gives an empty area.
BrushViewport ComputeBrushViewport(int windowWidth, int windowHeight, int pictureWidth, int pictureHeight);

void InitBrushFilter();
// windowWidth x windowHeight: the window's drawable, in real pixels.
void DrawBrushFilter(int windowWidth, int windowHeight);
// The desktop's scale: real pixels per logical unit (2 at 200 %; 1 at start). The picture is
// drawn in real pixels, but the brush's reach is its drawn size in logical units, so the painting
// looks the same at any scale, only sharper, and an export is the same file.
void SetDisplayScale(float pixelsPerUnit);
void ShutdownBrushFilter();

// The brush's reach for a picture in a window of that size: the size the picture is drawn at
// there (ComputeBrushViewport), or the picture's own size where the window has no room for it.
// Needs no GL.
void BrushReachInWindow(int windowWidth, int windowHeight, int pictureWidth, int pictureHeight, int* reachWidth,
                        int* reachHeight);

// The drawn size of the picture now in the slot in logical units, as the latest frame that drew a
// picture fitted it (the reach the brush had on screen), or the picture's own size before any
// such frame.
void LastDrawnPictureSize(int* width, int* height);

// InitBrushFilter with other shader sources; lets tests reach the compile and link failures.
void InitBrushFilterWithSources(const char* vertexSource, const char* pixelSource);
