#include "ui/kept_settings.h"

#include <algorithm>

#include <imgui.h>

#include "base/log.h"
#include "picture/file_paths.h"
#include "settings/config_folder.h"
#include "settings/settings_file.h"
#include "ui/look_picker.h"
#include "ui/ui_state.h"

namespace {

struct {
    bool Enabled = false;
    Settings Now;      // as of the latest frame
    Settings Written;  // as the file holds it
    bool Restored = false;
    std::string LayoutWritten;
    Uint64 LastWriteTicks = 0;
    std::string LastFailure;  // a failure is logged once for each reason
} Kept;

// Writes between changes at most this often: a window dragged or a slider held changes the
// settings in every frame, and each write waits for the disk.
constexpr Uint64 WriteIntervalTicks = 1000;

void Failed(const std::string& path, const std::string& reason) {
    if (reason == Kept.LastFailure) return;
    Kept.LastFailure = reason;
    LogError("Failed to save settings: ", (path + ": " + reason).c_str());
}

void WriteIfChanged() {
    if (!Kept.Enabled) return;
    std::string reason;
    if (Kept.Now != Kept.Written) {
        const std::string path = SettingsFilePath();
        if (WriteSettingsFile(path, Kept.Now, &reason)) {
            Kept.LastFailure.clear();
        } else {
            Failed(path, reason);
        }
        // A failed write is not tried again until something else changes.
        Kept.Written = Kept.Now;
    }
    ImGuiIO& io = ImGui::GetIO();
    if (io.WantSaveIniSettings) {
        io.WantSaveIniSettings = false;
        std::string layout = ImGui::SaveIniSettingsToMemory();
        if (layout != Kept.LayoutWritten) {
            const std::string path = LayoutFilePath();
            if (!WriteFileSafely(path, layout, &reason)) Failed(path, reason);
            Kept.LayoutWritten = layout;
        }
    }
    Kept.LastWriteTicks = SDL_GetTicks64();
}

// A place where no part of the window would show on any display is not used.
bool OnSomeDisplay(const WindowPlace& place) {
    for (int i = 0; i < SDL_GetNumVideoDisplays(); ++i) {
        SDL_Rect bounds;
        if (SDL_GetDisplayBounds(i, &bounds) != 0) continue;
        const SDL_Rect window = {place.X, place.Y, place.Width, place.Height};
        SDL_Rect overlap;
        if (SDL_IntersectRect(&bounds, &window, &overlap) && overlap.w >= 50 && overlap.h >= 50) return true;
    }
    return false;
}

}  // namespace

void LoadKeptSettings(bool enabled) {
    Kept = {};
    Kept.Enabled = enabled;
    ImGuiIO* io = ImGui::GetCurrentContext() ? &ImGui::GetIO() : nullptr;
    if (io) io->IniFilename = nullptr;
    if (!enabled) return;
    const std::string path = SettingsFilePath();
    SettingsOutcome read = ReadSettingsFile(path);
    if (read.Done) {
        LogInfo("Restored settings: ", path.c_str());
        Kept.Restored = true;
    } else if (!read.Missing) {
        LogError("Failed to read settings: ", (path + ": " + read.Reason).c_str());
    }
    Kept.Now = Kept.Written = read.Value;
}

void PlaceNewWindow(float scale, int* x, int* y, int* width, int* height) {
    const WindowPlace& place = Kept.Now.Window;
    *x = *y = int(SDL_WINDOWPOS_CENTERED);
    *width = int(FirstWindowWidth * scale + 0.5f);
    *height = int(FirstWindowHeight * scale + 0.5f);
    if (!place.Known) return;
    *width = std::max(place.Width, 200);
    *height = std::max(place.Height, 150);
    if (OnSomeDisplay(place)) {
        *x = place.X;
        *y = place.Y;
    }
}

void ShowWindowAsKept(SDL_Window* window) {
    if (Kept.Now.Window.Known && Kept.Now.Window.Maximised) SDL_MaximizeWindow(window);
}

void RestoreKeptSettings() {
    // The library would write its layout into the working folder; the layout is kept here.
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;
    if (!Kept.Enabled) return;
    std::string layout, reason;
    if (ReadSmallFile(LayoutFilePath(), SettingsFileLimit, &layout, &reason)) {
        ImGui::LoadIniSettingsFromMemory(layout.data(), layout.size());
        Kept.LayoutWritten = layout;
    }
    if (!Kept.Restored) return;
    ShowOptions = Kept.Now.OptionsShown;
    ShowTextures = Kept.Now.TexturesShown;
    RestoreLook(Kept.Now.CurrentLook);
}

void KeepSettings(SDL_Window* window) {
    Settings& now = Kept.Now;
    now.CurrentLook = LookInUse();
    now.OptionsShown = ShowOptions;
    now.TexturesShown = ShowTextures;
    const Uint32 flags = SDL_GetWindowFlags(window);
    now.Window.Known = true;
    now.Window.Maximised = (flags & SDL_WINDOW_MAXIMIZED) != 0;
    // While maximised (or minimised) the place to come back to is the one before.
    if (!(flags & (SDL_WINDOW_MAXIMIZED | SDL_WINDOW_MINIMIZED | SDL_WINDOW_FULLSCREEN))) {
        SDL_GetWindowPosition(window, &now.Window.X, &now.Window.Y);
        SDL_GetWindowSize(window, &now.Window.Width, &now.Window.Height);
    }
    if (SDL_GetTicks64() - Kept.LastWriteTicks >= WriteIntervalTicks) WriteIfChanged();
}

bool KeptSettingsWaiting() { return Kept.Enabled && Kept.Now != Kept.Written; }

void SaveKeptSettings() {
    if (!Kept.Enabled || !ImGui::GetCurrentContext()) return;
    // The layout as it is now, whether or not the library asked for it to be saved.
    ImGui::GetIO().WantSaveIniSettings = true;
    WriteIfChanged();
}

const char* ChooserFolder(ChooserKind kind) {
    const std::string& folder = kind == CHOOSER_IMPORT  ? Kept.Now.ImportFolder
                                : kind == CHOOSER_PAPER ? Kept.Now.PaperFolder
                                                        : Kept.Now.ExportFolder;
    return folder.empty() ? nullptr : folder.c_str();
}

void RememberChooserFolder(ChooserKind kind, const char* chosenPath) {
    std::string folder = FolderOfPath(AbsolutePath(chosenPath));
    std::string& kept = kind == CHOOSER_IMPORT  ? Kept.Now.ImportFolder
                        : kind == CHOOSER_PAPER ? Kept.Now.PaperFolder
                                                : Kept.Now.ExportFolder;
    kept = folder;
}

const std::vector<std::string>& RecentPictures() { return Kept.Now.RecentPictures; }

void NoteRecentPicture(const char* path) { AddRecentPicture(&Kept.Now.RecentPictures, AbsolutePath(path)); }

void ForgetRecentPicture(const std::string& path) {
    std::vector<std::string>& recent = Kept.Now.RecentPictures;
    recent.erase(std::remove(recent.begin(), recent.end(), path), recent.end());
}

void ClearRecentPictures() { Kept.Now.RecentPictures.clear(); }
