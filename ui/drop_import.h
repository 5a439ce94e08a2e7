// drop_import: files dropped on the window. Dropped on the paper preview of the Textures strip,
// a file becomes the paper; anywhere else, the picture. Either way it goes through
// ImportPaperFile / ImportPictureFile, so the log line, the load and the notice on failure are
// those of the menu's imports.
//
//   while (SDL_PollEvent(&event)) {
//       ImGui_ImplSDL2_ProcessEvent(&event);
//       HandleDropEvent(event, window);   // takes SDL's drop events, leaves the others alone
//   }
//
// SDL reports one drop as SDL_DROPBEGIN, one SDL_DROPFILE per file (SDL_DROPTEXT for text),
// then SDL_DROPCOMPLETE, all at once when the user lets go. Only the first file of a drop is
// imported; when there were more, a notice says how many were left out (a notice about the
// first file failing to load, posted after it, takes its place). A drop with no file in it
// (text, a web address) gets a notice too. A folder is imported like a file and fails to load.
//
// Where the drop landed: SDL's drop events carry no position, and during a drag the drag
// source holds the pointer, so the window sees no motion and its last known mouse position is
// wherever the pointer left it. The pointer's desktop position, read when the drop arrives,
// less the window's position, is where the user let go.
#pragma once
#include <SDL.h>

// Answers whether the event was one of SDL's drop events (and frees its text if so).
bool HandleDropEvent(const SDL_Event& event, SDL_Window* window);

// HandleDropEvent with the pointer's position in the window given; leaves the event's text to
// the caller. For tests.
void TakeDropEvent(const SDL_Event& event, float pointerX, float pointerY);

// Whether a drop at (x, y) in the window goes to the paper: the Textures strip is shown and the
// point is on its paper preview as drawn in the latest frame.
bool DropGoesToPaper(float x, float y);
