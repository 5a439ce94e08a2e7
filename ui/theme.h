// theme: the interface's look, set once at start-up before the first frame.
//
//   SetupUIStyle(true, 1.0f / 3);   // light base scheme, mirrored into a dark one, translucent
//                                   // colours faded to a third of their alpha
//   LoadUIFont();                   // the embedded Roboto Regular at 21 px, the only font
//   ScaleUI(2.0f, 1.0f);            // the desktop's scale: the style's sizes and the font at
//                                   // twice the size; then the binding's font texture is made anew
//
// Both need a current UI context. SetupUIStyle writes the colours it knows by name and leaves the
// colours it does not name (tabs, tables and the other later additions of the UI library) at the
// library's defaults. LoadUIFont must run before the renderer binding builds the font texture
// (its first new-frame step). The atlas does not own the font bytes, so contexts may be destroyed.
#pragma once

void SetupUIStyle(bool dark, float alpha);
void LoadUIFont();

// Sizes the interface for the desktop's scale, between frames: `scale` interface pixels per
// logical unit (Xft.dpi / 96 on X11, the monitor's DPI / 96 on Windows; 1 where the window's own
// coordinates are logical already), `framebufferScale` the drawable's pixels per window unit (a
// Wayland output's scale). The style goes back to the theme, its sizes times `scale`; the atlas
// gets the font rasterised at the size it will be drawn at in real pixels, so glyphs stay sharp.
// The caller then makes the binding's font texture anew. At 1 and 1 the interface is as
// SetupUIStyle(true, 1/3) and LoadUIFont leave it.
void ScaleUI(float scale, float framebufferScale);
// The scale ScaleUI last set (1 before): what fixed pixel sizes of the interface are multiplied by.
extern float UIScale;

// The pixel height of the interface font.
constexpr float UIFontSize = 21.0f;
