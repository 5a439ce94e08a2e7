// desktop_scale: how large the desktop asks the program to draw its interface, as a factor of
// 100 %: on X11 the Xft.dpi setting the desktops write into the X resource database (divided by
// 96), on Windows the DPI of the monitor the window is on (the program declares itself aware of
// each monitor's DPI in its manifest), elsewhere 1: a Wayland output's scale reaches the program
// as a drawable larger than its window (SDL_WINDOW_ALLOW_HIGHDPI), which FramebufferScale reads.
//
//   const float scale = StartDesktopScale();          // after SDL_Init, before the window:
//   SDL_CreateWindow(..., 800 * scale, 600 * scale, ...);   // its size in real pixels
//   float now = WindowDesktopScale(window, scale);   // each frame: the window moved to another
//                                                    // monitor (Windows), or the same
//   float framebuffer = FramebufferScale(window);
//
// On X11 the setting is read once, at start: libX11 is loaded for it only there, and only when
// SDL runs on X11. Main thread only.
#pragma once

#include <SDL.h>

float StartDesktopScale();
float WindowDesktopScale(SDL_Window* window, float startScale);
float FramebufferScale(SDL_Window* window);
