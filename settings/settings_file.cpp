// settings_file: nlohmann-json's non-throwing parse and checked access, field by field.
#include "settings/settings_file.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "picture/file_paths.h"
#include "settings/config_folder.h"

namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

// A member of an object, or null when it is not there (or the value is not an object).
const Json* Member(const Json& object, const char* key) {
    if (!object.is_object()) return nullptr;
    Json::const_iterator found = object.find(key);
    return found == object.end() ? nullptr : &*found;
}

void TakeBool(const Json& object, const char* key, bool* value) {
    const Json* member = Member(object, key);
    if (member && member->is_boolean()) *value = member->get<bool>();
}

void TakeInt(const Json& object, const char* key, int* value) {
    const Json* member = Member(object, key);
    if (!member || !member->is_number_integer()) return;
    long long number = member->get<long long>();
    if (number >= -1000000 && number <= 1000000) *value = int(number);
}

void TakeText(const Json& object, const char* key, std::string* value) {
    const Json* member = Member(object, key);
    if (member && member->is_string()) *value = member->get<std::string>();
}

}  // namespace

std::string SettingsFilePath() {
    std::string folder = ConfigFolder();
    return folder.empty() ? folder : JoinPath(folder, "settings.json");
}

std::string LayoutFilePath() {
    std::string folder = ConfigFolder();
    return folder.empty() ? folder : JoinPath(folder, "window-layout.ini");
}

SettingsOutcome ParseSettings(const std::string& text) {
    SettingsOutcome outcome;
    Json file = Json::parse(text, nullptr, false);
    if (file.is_discarded()) {
        outcome.Reason = text.empty() ? "The file is empty" : "The file is damaged (not valid JSON)";
        return outcome;
    }
    const Json* version = Member(file, "vellumry-settings");
    if (!version || !version->is_number_integer() || version->get<long long>() < 1) {
        outcome.Reason = "Not a settings file (no \"vellumry-settings\" field)";
        return outcome;
    }
    if (version->get<long long>() > SettingsFormatVersion) {
        outcome.Reason = "The settings were written by a newer version of Vellumry";
        return outcome;
    }
    Settings& value = outcome.Value;
    if (const Json* look = Member(file, "look")) {
        // The look is kept in a look file's own form; one that does not read is left out.
        Json asFile = *look;
        if (asFile.is_object()) asFile["vellumry-look"] = LookFormatVersion;
        LookOutcome read = ParseLook(asFile.dump(-1, ' ', false, Json::error_handler_t::replace), "", "");
        if (read.Done) value.CurrentLook = read.Value;
    }
    TakeBool(file, "options-shown", &value.OptionsShown);
    TakeBool(file, "textures-shown", &value.TexturesShown);
    if (const Json* window = Member(file, "window")) {
        WindowPlace place;
        place.Known = true;
        TakeInt(*window, "x", &place.X);
        TakeInt(*window, "y", &place.Y);
        TakeInt(*window, "width", &place.Width);
        TakeInt(*window, "height", &place.Height);
        TakeBool(*window, "maximised", &place.Maximised);
        if (place.Width > 0 && place.Height > 0) value.Window = place;
    }
    if (const Json* folders = Member(file, "folders")) {
        TakeText(*folders, "import", &value.ImportFolder);
        TakeText(*folders, "paper", &value.PaperFolder);
        TakeText(*folders, "export", &value.ExportFolder);
    }
    if (const Json* recent = Member(file, "recent"); recent && recent->is_array()) {
        // Oldest first into the list, so the newest ends on top.
        for (size_t i = recent->size(); i-- > 0;) {
            const Json& path = (*recent)[i];
            if (path.is_string() && !path.get<std::string>().empty()) {
                AddRecentPicture(&value.RecentPictures, path.get<std::string>());
            }
        }
    }
    outcome.Done = true;
    return outcome;
}

std::string SettingsText(const Settings& settings) {
    OrderedJson file;
    file["vellumry-settings"] = SettingsFormatVersion;
    OrderedJson look = OrderedJson::parse(LookText(settings.CurrentLook), nullptr, false);
    if (look.is_object()) look.erase("vellumry-look");
    file["look"] = look;
    file["options-shown"] = settings.OptionsShown;
    file["textures-shown"] = settings.TexturesShown;
    if (settings.Window.Known) {
        OrderedJson window;
        window["x"] = settings.Window.X;
        window["y"] = settings.Window.Y;
        window["width"] = settings.Window.Width;
        window["height"] = settings.Window.Height;
        window["maximised"] = settings.Window.Maximised;
        file["window"] = window;
    }
    OrderedJson folders;
    folders["import"] = settings.ImportFolder;
    folders["paper"] = settings.PaperFolder;
    folders["export"] = settings.ExportFolder;
    file["folders"] = folders;
    file["recent"] = settings.RecentPictures;
    return file.dump(2, ' ', false, OrderedJson::error_handler_t::replace) + "\n";
}

SettingsOutcome ReadSettingsFile(const std::string& path) {
    SettingsOutcome outcome;
    if (path.empty()) {
        outcome.Missing = true;
        outcome.Reason = "There is no configuration folder";
        return outcome;
    }
    std::string text;
    if (!ReadSmallFile(path, SettingsFileLimit, &text, &outcome.Reason)) {
        // A first start has no file yet; anything else that stops the read is worth a line.
        outcome.Missing = !PathExists(path.c_str());
        return outcome;
    }
    return ParseSettings(text);
}

bool WriteSettingsFile(const std::string& path, const Settings& settings, std::string* reason) {
    if (path.empty()) {
        *reason = "There is no configuration folder";
        return false;
    }
    return WriteFileSafely(path, SettingsText(settings), reason);
}

void AddRecentPicture(std::vector<std::string>* recent, const std::string& path) {
    recent->erase(std::remove(recent->begin(), recent->end(), path), recent->end());
    recent->insert(recent->begin(), path);
    if (recent->size() > RecentLimit) recent->resize(RecentLimit);
}

bool operator==(const Settings& a, const Settings& b) {
    const Look &x = a.CurrentLook, &y = b.CurrentLook;
    const WindowPlace &p = a.Window, &q = b.Window;
    return x.Name == y.Name && x.Opacity == y.Opacity && x.Stroke == y.Stroke && x.Intensity == y.Intensity &&
           x.PaperPath == y.PaperPath && a.OptionsShown == b.OptionsShown && a.TexturesShown == b.TexturesShown &&
           p.Known == q.Known && p.X == q.X && p.Y == q.Y && p.Width == q.Width && p.Height == q.Height &&
           p.Maximised == q.Maximised && a.ImportFolder == b.ImportFolder && a.PaperFolder == b.PaperFolder &&
           a.ExportFolder == b.ExportFolder && a.RecentPictures == b.RecentPictures;
}
