// settings_file: what the program keeps from one run to the next, and the JSON file that keeps
// it in the configuration folder (settings/config_folder.h).
//
//   SettingsOutcome read = ReadSettingsFile(SettingsFilePath());
//   if (!read.Done && !read.Missing) log(read.Reason);      // damaged, unreadable, too new
//   Settings settings = read.Value;                          // the defaults where !Done
//   ...
//   if (!WriteSettingsFile(SettingsFilePath(), settings, &reason)) log(reason);
//
// The file ("settings.json"):
//
//   { "vellumry-settings": 1,
//     "look": { "name": "Ink Edges", "opacity": 1, "stroke": 1, "intensity": 0.15, "paper": null },
//     "options-shown": true, "textures-shown": false,
//     "window": { "x": 120, "y": 80, "width": 1024, "height": 700, "maximised": false },
//     "folders": { "import": "/home/ann/trip", "paper": "", "export": "/home/ann/painted" },
//     "recent": [ "/home/ann/trip/coffee.jpg", ... ] }
//
// A file that is not JSON, not an object of this format, or of a newer format version gives
// the defaults and a reason. Within a good file, a field that is missing or of the wrong kind
// keeps its default and the others are used; look values are clamped into 0..1, window sizes
// must be positive, the recent list keeps its first 10 distinct non-empty paths. Writing is safe
// (a file appears whole or not at all) and makes the folder. Nothing here throws, and nothing
// here knows of windows or the interface; any thread may call these.
#pragma once
#include <string>
#include <vector>

#include "settings/look_file.h"

struct WindowPlace {
    bool Known = false;  // false: the program's own first window (800 x 600, centred)
    int X = 0, Y = 0, Width = 0, Height = 0;
    bool Maximised = false;
};

struct Settings {
    Look CurrentLook = BuiltInLook(0);  // the brush and paper in use; Name: the look last chosen
    bool OptionsShown = false;
    bool TexturesShown = false;
    WindowPlace Window;
    std::string ImportFolder, PaperFolder, ExportFolder;  // the choosers' last folders, "" = none
    std::vector<std::string> RecentPictures;              // newest first, at most RecentLimit
};

struct SettingsOutcome {
    bool Done = false;     // Value holds what the file said
    bool Missing = false;  // there was no file (a first start): not worth a log line
    Settings Value;        // the defaults where !Done
    std::string Reason;    // !Done: why
};

constexpr int SettingsFormatVersion = 1;
constexpr size_t RecentLimit = 10;
constexpr size_t SettingsFileLimit = 1024 * 1024;

// The settings file's and the window layout file's paths; "" with no configuration folder.
std::string SettingsFilePath();
std::string LayoutFilePath();

SettingsOutcome ParseSettings(const std::string& text);
std::string SettingsText(const Settings& settings);
SettingsOutcome ReadSettingsFile(const std::string& path);
bool WriteSettingsFile(const std::string& path, const Settings& settings, std::string* reason);

// Puts a picture at the top of the recent list (moving it there if it is on it already) and
// keeps the list to RecentLimit.
void AddRecentPicture(std::vector<std::string>* recent, const std::string& path);

bool operator==(const Settings& a, const Settings& b);
inline bool operator!=(const Settings& a, const Settings& b) { return !(a == b); }
