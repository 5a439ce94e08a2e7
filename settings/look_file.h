// look_file: a look (the brush's three parameters and the paper) and the small JSON file that
// keeps one; the built-in looks; finding a look by its name or its file.
//
//   LookOutcome found = FindLook("Charcoal");     // a built-in or a user's look, or a file's path
//   if (!found.Done) report(found.Reason);
//   else { if (!found.Note.empty()) report(found.Note); use(found.Value); }
//
//   std::string reason;
//   if (!WriteLookFile(UserLookPath("Morning fog"), look, &reason)) notice(reason);
//   for (const LookEntry& entry : ListUserLooks()) entry.Outcome.Done ? list(entry) : unusable(entry);
//
// A look file (one look, UTF-8 JSON, under 64 KiB):
//
//   { "vellumry-look": 1, "name": "Morning fog",
//     "opacity": 0.8, "stroke": 0.25, "intensity": 0.6, "paper": "/home/ann/papers/laid.jpg" }
//
// "vellumry-look" is the file's format version: a file without it is not a look, one with a
// larger number is from a newer program, and both are unusable with the reason. The three
// numbers must be there; one outside 0..1 is clamped and the outcome's Note says so. "paper" is
// optional: absent, null or "" means the built-in paper; a relative path is taken from the look
// file's own folder, so a look and its paper can travel together. "name" is optional too (the
// file's name without ".json" then). Fields it does not know are ignored. A damaged, empty,
// foreign or oversized file gives a reason and never a crash: nothing here throws.
//
// The user's looks live in the configuration folder's "looks" folder (settings/config_folder.h),
// one file per look, named after the look (LookFileName). Writing is safe (a file appears whole
// or not at all). Whether a look's paper file still exists is the caller's question. No GL, SDL
// or UI; any thread may call these.
#pragma once
#include <string>
#include <vector>

struct Look {
    std::string Name;
    float Opacity = 1.0f;
    float Stroke = 1.0f / 3;
    float Intensity = 1.0f / 3;
    std::string PaperPath;  // "" = the built-in paper
};

// What reading a look came to.
struct LookOutcome {
    bool Done = false;   // Value holds a usable look
    Look Value;          // the look, with its values clamped to 0..1
    std::string Reason;  // !Done: why the file cannot be used, in plain words
    std::string Note;    // Done: what was changed in reading it (values clamped), else ""
};

// A user's look file and what reading it came to.
struct LookEntry {
    std::string Path;
    LookOutcome Outcome;
};

// The format version this program writes and the newest it reads.
constexpr int LookFormatVersion = 1;
// The largest look file read.
constexpr size_t LookFileLimit = 64 * 1024;

// The built-in looks, "Default" (1.000 / 0.333 / 0.333 on the built-in paper) first.
int BuiltInLookCount();
const Look& BuiltInLook(int index);
// The built-in look of that name (ASCII case ignored), or null.
const Look* FindBuiltInLook(const std::string& name);

// The look in a file's text; `folder` is the file's folder (for a relative paper path) and
// `fallbackName` the name it takes when the text names none.
LookOutcome ParseLook(const std::string& text, const std::string& folder, const std::string& fallbackName);
// The file's text for a look (pretty, with a newline at the end).
std::string LookText(const Look& look);

LookOutcome ReadLookFile(const std::string& path);
// Writes the look to the path safely, making its folder. False with the reason.
bool WriteLookFile(const std::string& path, const Look& look, std::string* reason);

// Whether a name can name a user's look: not empty, at most 64 bytes, well-formed UTF-8 with no
// control characters, not the name of a built-in look. False with the reason.
bool CheckLookName(const std::string& name, std::string* reason);
// The file name for a look of that name: the name with the characters no file system takes
// ("/\:*?"<>|") and leading dots as '_', then ".json".
std::string LookFileName(const std::string& name);

// The user's looks folder ("" when there is no configuration folder), a user look's path
// there ("" likewise), and every ".json" file in it, sorted by look name (unusable ones by
// file name, after the usable).
std::string UserLooksFolder();
std::string UserLookPath(const std::string& name);
std::vector<LookEntry> ListUserLooks();
std::vector<LookEntry> ListLooksIn(const std::string& folder);

// A look by name or path: a built-in look's name, then a user's look's name, then a file.
LookOutcome FindLook(const std::string& nameOrPath);
