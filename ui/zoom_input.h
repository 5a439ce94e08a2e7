// zoom_input: zooming and panning the picture with the mouse, the keyboard and the View menu, and
// the small indicator that shows the zoom. The view itself is the renderer's PictureZoom
// (render/brush_filter.h); its arithmetic is render/zoom_view.h's.
//
//   while (SDL_PollEvent(&event)) {
//       ImGui_ImplSDL2_ProcessEvent(&event);
//       HandleZoomEvent(event, window);      // takes what is meant for the picture
//   }
//   DrawZoomMenuItems();                     // inside the View menu
//   DrawZoomIndicator(windowW, windowH);     // once a frame, inside the UI frame
//
// The wheel zooms about the point under the pointer, one step of the ladder a notch, and part of
// a step for a touchpad's finer scrolling. Keys act on press by key position (scancode), whatever
// the layout: the key right of 0 (= and +, where a US keyboard has them) and keypad + zoom in
// about the window's centre, - and keypad - zoom out, 1 shows 100 % (one picture pixel a window
// pixel), 0 fits the picture again; held, + and - repeat. Dragging with the left or the middle
// button (with Space held too, or not) moves a picture larger than the window. None of this acts
// without a picture; the wheel and a drag not when they start over a window or menu of the
// interface, the keys not while a text field takes typing nor with Ctrl, Alt or the system key.
// The indicator ("100 %") stands in the window's bottom right corner while the view is not fitted.
// Main thread only.
#pragma once
#include <SDL.h>

// Takes the event when it zooms or pans (answers true), reading the window's size and whether the
// interface wants the pointer or the keyboard.
bool HandleZoomEvent(const SDL_Event& event, SDL_Window* window);
// The same with what it reads given: for tests.
bool TakeZoomEvent(const SDL_Event& event, int windowWidth, int windowHeight, bool pointerOverInterface, bool typing);

// Whether a drag is moving the picture.
bool ZoomDragging();

// The View menu's items: Zoom In (+), Zoom Out (-), Zoom to 100 % (1), Fit to Window (0).
void DrawZoomMenuItems();
void DrawZoomIndicator(int windowWidth, int windowHeight);

// The indicator's text for a scale: "100 %", "12.5 %", "1600 %".
void ZoomPercentText(double scale, char* text, int size);

// Back to the fitted view with no drag under way. For tests.
void ResetZoomInput();
