// theme: the interface's look, set once at start-up before the first frame.
//
//   SetupUIStyle(true, 1.0f / 3);   // light base scheme, mirrored into a dark one, translucent
//                                   // colours faded to a third of their alpha
//   LoadUIFont();                   // the embedded Roboto Regular at 21 px, the only font
//
// Both need a current UI context. SetupUIStyle writes the colours it knows by name and leaves the
// colours it does not name (tabs, tables and the other later additions of the UI library) at the
// library's defaults. LoadUIFont must run before the renderer binding builds the font texture
// (its first new-frame step). The atlas does not own the font bytes, so contexts may be destroyed.
#pragma once

void SetupUIStyle(bool dark, float alpha);
void LoadUIFont();

// The pixel height of the interface font.
constexpr float UIFontSize = 21.0f;
