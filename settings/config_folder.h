// config_folder: where the user's settings and looks live, and the few file operations they
// need there: read a small file whole, write one safely, list and remove files.
//
//   std::string folder = ConfigFolder();                  // "" when there is none
//   std::string looks = JoinPath(folder, "looks");
//   std::string text, reason;
//   if (!ReadSmallFile(JoinPath(folder, "settings.json"), 64 * 1024, &text, &reason)) log(reason);
//   if (!WriteFileSafely(JoinPath(looks, "Fog.json"), text, &reason)) notice(reason);
//   for (const std::string& name : FilesInFolder(looks, ".json")) ...
//
// The folder is $XDG_CONFIG_HOME/vellumry (an absolute XDG_CONFIG_HOME only, as the XDG base
// directory rules say), else ~/.config/vellumry on Linux; %APPDATA%\Vellumry on Windows.
// Nothing here creates it until something is written (WriteFileSafely makes the folders it
// needs). Writing goes through picture/safe_file.h: a file appears whole or not at all.
// Paths are UTF-8 on every platform. No GL, SDL or UI; any thread may call these, and none of
// them throws. Not here: what the files hold (settings/look_file.h, settings/settings_file.h).
#pragma once
#include <cstddef>
#include <string>
#include <vector>

// The configuration folder, without a trailing separator; "" when the environment names none
// (no XDG_CONFIG_HOME, HOME or APPDATA that can be used).
std::string ConfigFolder();

// folder + separator + name; the name alone when the folder is "".
std::string JoinPath(const std::string& folder, const std::string& name);
// The path without its last component ("" for a bare name).
std::string FolderOfPath(const std::string& path);

// Creates the folder and any missing folders above it. True when it exists as a folder
// afterwards; else false with the system's reason.
bool MakeFolders(const std::string& path, std::string* reason);

// Reads a regular file of at most `limit` bytes whole. False with a reason in plain words for
// a file that is missing, unreadable, not a regular file, or larger than the limit.
bool ReadSmallFile(const std::string& path, size_t limit, std::string* bytes, std::string* reason);

// Writes the bytes to the path safely (temporary file, flush, rename), making its folder first.
// An existing file is replaced. False with the reason; the old file is then as it was.
bool WriteFileSafely(const std::string& path, const std::string& bytes, std::string* reason);

// Removes a file. False with the system's reason.
bool RemoveFile(const std::string& path, std::string* reason);

// The names (not paths) of the regular files in the folder that end with `suffix` (compared
// without regard to ASCII case), sorted by byte value; empty for a folder that cannot be read.
// Names starting with '.' (a safe write's temporary files among them) are left out.
std::vector<std::string> FilesInFolder(const std::string& folder, const char* suffix);
