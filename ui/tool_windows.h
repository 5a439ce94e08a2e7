// tool_windows: the two small windows that float over the picture.
//
//   DrawOptionsWindow();                        // "Brush Filter - Options": the Look selector,
//                                               // three sliders that edit BrushParameters in
//                                               // place, "Reset" that puts them back to their
//                                               // start (each drag, typed value or Reset one
//                                               // step of Undo, ui/edit_commands.h), "Save
//                                               // Look..." and "Delete" (ui/look_picker.h), the
//                                               // hint "Hold C to compare"; its close button
//                                               // clears ShowOptions
//   DrawTexturesWindow(windowWidth, barHeight); // "Textures": the picture and the paper at
//                                               // 150 x 150, pinned under the menu bar against
//                                               // the window's right edge
//
// Called by DrawUI inside the UI frame, in the frames in which their flags are set. Each window
// draws with square corners and a background alpha of its own; the whole style record is copied
// before and put back after, so nothing else sees those changes. Neither saves anything.
#pragma once

void DrawOptionsWindow();
void DrawTexturesWindow(int windowWidth, float menuBarHeight);

// The Textures window's width as measured the last time it was drawn (truncated); it places the
// window in the next frame, so the strip settles against the right edge once its width is steady.
extern int TexturesWindowWidth;

// Where the paper preview was drawn the last time the Textures window was drawn, in window
// coordinates; all zero before that. A file dropped on it becomes the paper.
struct PreviewRect {
    float X0, Y0, X1, Y1;
};
extern PreviewRect PaperPreviewRect;

// The background alpha of each window while it is built.
constexpr float OptionsWindowAlpha = 2.0f / 3.0f;
constexpr float TexturesWindowAlpha = 1.0f / 3.0f;
// The side of each preview image in pixels at 100 % (times UIScale, ui/theme.h).
constexpr float TexturePreviewSize = 150.0f;
