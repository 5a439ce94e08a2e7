// about_window: About > About Vellumry: the program's version, what it does in one line, its
// licence, and the works of others it contains with their notices in full (ui/embedded_texts.h),
// in a window the user closes with its close button.
//
//   ShowAbout = true;                    // the menu item
//   if (ShowAbout) DrawAboutWindow();    // DrawUI, with the other windows
//
// Main thread only, inside the UI frame.
#pragma once

extern bool ShowAbout;

void DrawAboutWindow();

constexpr const char* AboutWindowTitle = "About Vellumry";
