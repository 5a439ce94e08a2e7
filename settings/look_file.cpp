// look_file: the JSON goes through nlohmann-json's non-throwing parse and checked access; the
// numbers are written as the shortest text that reads back as the same float.
#include "settings/look_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>

#include "base/file_name.h"
#include "base/reason_text.h"
#include "picture/file_paths.h"
#include "settings/config_folder.h"

namespace {

using Json = nlohmann::json;

// Chosen on photographs of people, landscapes, streets and still lifes: each one distinctly
// different from the others, none a near copy of the default.
const Look BuiltInLooks[] = {
    {"Default", 1.0f, 1.0f / 3, 1.0f / 3, ""}, {"Soft Wash", 0.6f, 0.15f, 0.55f, ""},
    {"Bold Strokes", 1.0f, 0.9f, 0.2f, ""},    {"Old Paper", 0.8f, 0.35f, 0.85f, ""},
    {"Crisp", 0.45f, 0.6f, 0.1f, ""},
};
constexpr int BuiltInCount = int(sizeof BuiltInLooks / sizeof BuiltInLooks[0]);

constexpr size_t LookNameLimit = 64;

bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

bool IsAbsolutePath(const std::string& path) {
    if (path.empty()) return false;
    if (path[0] == '/') return true;
#ifdef _WIN32
    if (path[0] == '\\') return true;
    if (path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) return true;
#endif
    return false;
}

// The shortest decimal text that reads back as this float ("0.33333334", not
// "0.3333333432674408"), as a double the JSON writer prints the same way.
double ShortestDouble(float value) {
    char text[32];
    std::to_chars_result end = std::to_chars(text, text + sizeof text - 1, value);
    *end.ptr = '\0';
    return strtod(text, nullptr);
}

std::string ThreeDecimals(double value) {
    char text[64];
    snprintf(text, sizeof text, "%.3f", value);
    return text;
}

// One of the three numbers: there, a number, clamped into 0..1 with a note.
bool TakeNumber(const Json& look, const char* key, float* value, std::string* reason, std::string* note) {
    Json::const_iterator found = look.find(key);
    if (found == look.end()) {
        *reason = std::string("The look has no \"") + key + "\" value";
        return false;
    }
    if (!found->is_number()) {
        *reason = std::string("The look's \"") + key + "\" is not a number";
        return false;
    }
    double number = found->get<double>();
    double clamped = std::min(1.0, std::max(0.0, number));
    if (clamped != number) {
        if (!note->empty()) *note += "; ";
        *note += std::string(key) + " " + (std::fabs(number) < 1e6 ? ThreeDecimals(number) : "out of range") +
                 " taken as " + ThreeDecimals(clamped);
    }
    *value = float(clamped);
    return true;
}

bool TakeText(const Json& look, const char* key, std::string* text, std::string* reason) {
    Json::const_iterator found = look.find(key);
    text->clear();
    if (found == look.end() || found->is_null()) return true;
    if (!found->is_string()) {
        *reason = std::string("The look's \"") + key + "\" is not text";
        return false;
    }
    *text = found->get<std::string>();
    return true;
}

std::string NameFromFileName(const std::string& path) {
    std::string name = FileNameOfPath(path.c_str());
    if (name.size() > 5 && SameIgnoringAsciiCase(name.substr(name.size() - 5), ".json")) name.resize(name.size() - 5);
    return name;
}

}  // namespace

int BuiltInLookCount() { return BuiltInCount; }

const Look& BuiltInLook(int index) { return BuiltInLooks[index >= 0 && index < BuiltInCount ? index : 0]; }

const Look* FindBuiltInLook(const std::string& name) {
    for (const Look& look : BuiltInLooks) {
        if (SameIgnoringAsciiCase(look.Name, name)) return &look;
    }
    return nullptr;
}

LookOutcome ParseLook(const std::string& text, const std::string& folder, const std::string& fallbackName) {
    LookOutcome outcome;
    if (text.find_first_not_of(" \t\r\n") == std::string::npos) {
        outcome.Reason = "The file is empty";
        return outcome;
    }
    // No callback, no exceptions: a damaged text comes back as a discarded value.
    Json look = Json::parse(text, nullptr, false);
    if (look.is_discarded()) {
        outcome.Reason = "The file is damaged (not valid JSON)";
        return outcome;
    }
    if (!look.is_object()) {
        outcome.Reason = "Not a look file (no \"vellumry-look\" field)";
        return outcome;
    }
    Json::const_iterator version = look.find("vellumry-look");
    if (version == look.end()) {
        outcome.Reason = "Not a look file (no \"vellumry-look\" field)";
        return outcome;
    }
    if (!version->is_number_integer() || version->get<long long>() < 1) {
        outcome.Reason = "The look's format version is not valid";
        return outcome;
    }
    if (version->get<long long>() > LookFormatVersion) {
        outcome.Reason = "The look was made by a newer version of Vellumry";
        return outcome;
    }
    Look& value = outcome.Value;
    if (!TakeNumber(look, "opacity", &value.Opacity, &outcome.Reason, &outcome.Note) ||
        !TakeNumber(look, "stroke", &value.Stroke, &outcome.Reason, &outcome.Note) ||
        !TakeNumber(look, "intensity", &value.Intensity, &outcome.Reason, &outcome.Note) ||
        !TakeText(look, "name", &value.Name, &outcome.Reason) ||
        !TakeText(look, "paper", &value.PaperPath, &outcome.Reason)) {
        outcome.Value = Look();
        return outcome;
    }
    if (value.Name.empty()) value.Name = fallbackName;
    // A name is shown in menus and log lines: one line of well-formed text, not too long.
    if (value.Name.size() > LookNameLimit) value.Name.resize(LookNameLimit);
    std::vector<char> cleaned(value.Name.begin(), value.Name.end());
    cleaned.push_back('\0');
    CleanReasonText(cleaned.data());
    value.Name = cleaned.data();
    if (!value.PaperPath.empty() && !IsAbsolutePath(value.PaperPath) && !folder.empty()) {
        value.PaperPath = JoinPath(folder, value.PaperPath);
    }
    outcome.Done = true;
    return outcome;
}

std::string LookText(const Look& look) {
    // Insertion order: the marker first, as a person reads it.
    nlohmann::ordered_json text;
    text["vellumry-look"] = LookFormatVersion;
    text["name"] = look.Name;
    text["opacity"] = ShortestDouble(look.Opacity);
    text["stroke"] = ShortestDouble(look.Stroke);
    text["intensity"] = ShortestDouble(look.Intensity);
    if (look.PaperPath.empty()) {
        text["paper"] = nullptr;
    } else {
        text["paper"] = look.PaperPath;
    }
    // Text that is not well-formed UTF-8 is written with U+FFFD rather than refused (which would
    // throw).
    return text.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

LookOutcome ReadLookFile(const std::string& path) {
    LookOutcome outcome;
    std::string text;
    if (!ReadSmallFile(path, LookFileLimit, &text, &outcome.Reason)) return outcome;
    return ParseLook(text, FolderOfPath(path), NameFromFileName(path));
}

bool WriteLookFile(const std::string& path, const Look& look, std::string* reason) {
    if (path.empty()) {
        *reason = "There is no configuration folder (HOME is not set)";
        return false;
    }
    return WriteFileSafely(path, LookText(look), reason);
}

bool CheckLookName(const std::string& name, std::string* reason) {
    if (name.find_first_not_of(' ') == std::string::npos) {
        *reason = "A look needs a name";
        return false;
    }
    if (name.size() > LookNameLimit) {
        *reason = "The name is too long (at most 64 bytes)";
        return false;
    }
    std::vector<char> cleaned(name.begin(), name.end());
    cleaned.push_back('\0');
    CleanReasonText(cleaned.data());
    if (name != cleaned.data()) {
        *reason = "The name holds characters a look's name cannot have";
        return false;
    }
    if (FindBuiltInLook(name)) {
        *reason = "A built-in look has that name";
        return false;
    }
    return true;
}

std::string LookFileName(const std::string& name) {
    std::string file = name;
    for (char& ch : file) {
        if (strchr("/\\:*?\"<>|", ch) || (unsigned char)ch < 0x20) ch = '_';
    }
    for (size_t i = 0; i < file.size() && file[i] == '.'; ++i) file[i] = '_';
    // Windows takes no name that ends in a dot or a space.
    if (!file.empty() && (file.back() == '.' || file.back() == ' ')) file.back() = '_';
    return file + ".json";
}

std::string UserLooksFolder() {
    std::string folder = ConfigFolder();
    return folder.empty() ? folder : JoinPath(folder, "looks");
}

std::string UserLookPath(const std::string& name) {
    std::string folder = UserLooksFolder();
    return folder.empty() ? folder : JoinPath(folder, LookFileName(name));
}

std::vector<LookEntry> ListLooksIn(const std::string& folder) {
    std::vector<LookEntry> entries;
    if (folder.empty()) return entries;
    for (const std::string& name : FilesInFolder(folder, ".json")) {
        LookEntry entry;
        entry.Path = JoinPath(folder, name);
        entry.Outcome = ReadLookFile(entry.Path);
        entries.push_back(entry);
    }
    std::stable_sort(entries.begin(), entries.end(), [](const LookEntry& a, const LookEntry& b) {
        if (a.Outcome.Done != b.Outcome.Done) return a.Outcome.Done;
        if (!a.Outcome.Done) return false;  // unusable ones keep the order of their file names
        return a.Outcome.Value.Name < b.Outcome.Value.Name;
    });
    return entries;
}

std::vector<LookEntry> ListUserLooks() { return ListLooksIn(UserLooksFolder()); }

LookOutcome FindLook(const std::string& nameOrPath) {
    LookOutcome outcome;
    if (const Look* builtIn = FindBuiltInLook(nameOrPath)) {
        outcome.Done = true;
        outcome.Value = *builtIn;
        return outcome;
    }
    for (const LookEntry& entry : ListUserLooks()) {
        if (entry.Outcome.Done && entry.Outcome.Value.Name == nameOrPath) return entry.Outcome;
    }
    // A bare word that names neither a look nor a file is taken for a look's name.
    bool looksLikePath = FileNameStart(nameOrPath) > 0 || NameFromFileName(nameOrPath) != nameOrPath;
    if (!looksLikePath && !PathExists(nameOrPath.c_str())) {
        outcome.Reason = "There is no look of that name";
        return outcome;
    }
    return ReadLookFile(nameOrPath);
}
