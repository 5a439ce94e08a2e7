// kept_settings: what this run keeps for the next (settings/settings_file.h): the look in use,
// whether the Options and Textures windows are shown, the window's place, the choosers' last
// folders, the recent pictures, and the window layout of the tool windows.
//
//   LoadKeptSettings(!line.NoSettings);   // before the window: reads the file
//   PlaceNewWindow(scale, &x, &y, &w, &h); // where SDL_CreateWindow puts it (the first window
//                                         // at the desktop's scale)
//   ShowWindowAsKept(window);             // maximised again if it was
//   RestoreKeptSettings();                // once the UI context and the renderer are up
//   KeepSettings(window);                 // once a frame, after the UI frame
//   SaveKeptSettings();                   // on every way out
//
// The settings file and "window-layout.ini" (the UI library's own, which no longer goes into
// the working folder) live in the configuration folder. They are written safely, not more often
// than once a second while something changes, and on the way out. A file that is damaged,
// unreadable or from a newer version leaves the defaults and one line "[Error]: Failed to read
// settings: <path>: <reason>"; a first start (no file) is quiet, and a start that restores
// settings says "[Info]: Restored settings: <path>". A write that fails logs "[Error]: Failed to
// save settings: <path>: <reason>" once for each reason and the program goes on.
// Disabled (--no-settings), nothing is read or written and every start is the first.
// The parts also serve the run itself: the choosers open in their last folders and File > Open
// Recent lists the recent pictures (ui/recent_menu.h). Main thread only.
#pragma once
#include <SDL.h>

#include <string>
#include <vector>

void LoadKeptSettings(bool enabled);
void PlaceNewWindow(float scale, int* x, int* y, int* width, int* height);
void ShowWindowAsKept(SDL_Window* window);
// Whether a change waits for its write (at most a second): the frame loop does not rest until it is
// written.
bool KeptSettingsWaiting();
void RestoreKeptSettings();
void KeepSettings(SDL_Window* window);
void SaveKeptSettings();

enum ChooserKind { CHOOSER_IMPORT, CHOOSER_PAPER, CHOOSER_EXPORT };
// The folder a chooser opens in, or null when it has none yet.
const char* ChooserFolder(ChooserKind kind);
// The folder of the file chosen in it.
void RememberChooserFolder(ChooserKind kind, const char* chosenPath);

// Newest first, at most 10, absolute paths.
const std::vector<std::string>& RecentPictures();
void NoteRecentPicture(const char* path);
void ForgetRecentPicture(const std::string& path);
void ClearRecentPictures();

// The program's first window when nothing is kept.
constexpr int FirstWindowWidth = 800;
constexpr int FirstWindowHeight = 600;
