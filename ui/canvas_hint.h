// canvas_hint: until the first picture arrives, one line centred over the (empty) drawn area
// says how to bring one in.
//
//   DrawCanvasHint(windowWidth, windowHeight);   // every frame, inside the UI frame
//
// Drawn on the UI's background layer: over the picture, under every window, menu and notice.
// When the window is too narrow for the line, it breaks into two before "or drop it here".
// Once a picture has been imported (the picture slot holds a texture) it draws nothing.
#pragma once

void DrawCanvasHint(int windowWidth, int windowHeight);

// The line, and where it breaks when the window is narrow.
constexpr const char* CanvasHintText = "Import a picture: File > Import Texture (Ctrl + O), or drop it here";
constexpr const char* CanvasHintBreakBefore = "or drop it here";
