// loading_indicator: a small strip at the bottom of the window while a file decodes: a turning
// spinner, "Loading coffee.jpg... 3 s" and a "Cancel" button. It never takes the keyboard focus
// and blocks nothing behind it; the window around it stays live.
//
//   if (DrawLoadingIndicator(path, seconds)) giveUp();   // once a frame while a file loads
//
// Only the file's name is shown, with control characters and stray bytes as '?'. Answers true
// in the frame in which the Cancel button is clicked. Escape is the caller's to read.
#pragma once

bool DrawLoadingIndicator(const char* path, double seconds);

// The indicator's window name (it has no title bar).
constexpr const char* LoadingIndicatorName = "##Loading";
