#include "ui/main_menu.h"

#include <stdlib.h>
#include <string.h>

#include <SDL.h>
#include <imgui.h>

#include "app/log.h"
#include "render/brush_filter.h"
#include "render/texture_import.h"
#include "ui/import_notice.h"
#include "ui/tool_windows.h"
#include "ui/ui_state.h"

namespace {

// The keyboard as of the previous frame's reading; the shortcuts act on edges.
bool VKeyWasDown = false;
bool CtrlOWasDown = false;

const unsigned char* SDLKeyboardState() { return SDL_GetKeyboardState(nullptr); }

// The loader keeps "<path>: <reason>"; the notice names the file itself, so only the reason.
const char* FailureReason(const char* path) {
    const char* error = LastTextureLoadError();
    const size_t pathLength = strlen(path);
    if (strncmp(error, path, pathLength) == 0 && strncmp(error + pathLength, ": ", 2) == 0)
        return error + pathLength + 2;
    return error;
}

const char* LoadDiffuseReportingFailure(const char* path) {
    const int failuresBefore = TextureLoadFailureCount();
    LoadDiffuseTexture(path);
    return TextureLoadFailureCount() != failuresBefore ? FailureReason(path) : nullptr;
}

const char* LoadFilterReportingFailure(const char* path) {
    const int failuresBefore = TextureLoadFailureCount();
    LoadFilterTexture(path);
    return TextureLoadFailureCount() != failuresBefore ? FailureReason(path) : nullptr;
}

// What every import of a named file does, however the file was named: the log line, the load,
// the notice when it does not load.
void ImportFile(const char* path, const char* logText, const char* subject, const char* (*load)(const char* path)) {
    LogInfo(logText, path);
    const char* failure = load(path);
    if (failure) PostImportNotice(subject, path, failure);
}

// The steps both chooser imports share: the chooser, the import, releasing the path.
void Import(const char* logText, const char* subject, const char* (*load)(const char* path)) {
    char* path = nullptr;
    const NFDResult result = UIServices.OpenFile(ImageFileFilter, nullptr, &path);
    if (result == NFD_RESULT_ERROR) {
        PostImportNotice("The file chooser", nullptr, UIServices.DialogError());
        return;
    }
    // Cancelled: no line, no change. A chooser that answers OK without a path has nothing to load.
    if (result != NFD_RESULT_OK || !path) return;
    ImportFile(path, logText, subject, load);
    free(path);
}

bool KeyDown(const unsigned char* keys, SDL_Scancode key) { return keys[key] != 0; }

}  // namespace

UIServiceTable DefaultUIServices() {
    return UIServiceTable{SDLKeyboardState, NFD_OpenFile, NFD_LastError, LoadDiffuseReportingFailure,
                          LoadFilterReportingFailure};
}

UIServiceTable UIServices = DefaultUIServices();

void ImportDiffuseTexture() { Import("Loading diffuse texture: ", "The picture", UIServices.LoadDiffuse); }

void ImportFilterTexture() { Import("Loading filter texture: ", "The paper", UIServices.LoadFilter); }

void ImportPictureFile(const char* path) {
    ImportFile(path, "Loading diffuse texture: ", "The picture", UIServices.LoadDiffuse);
}

void ImportPaperFile(const char* path) { ImportFile(path, "Loading filter texture: ", "The paper", UIServices.LoadFilter); }

void DrawUI(int windowWidth) {
    const bool barShown = ImGui::BeginMainMenuBar();
    // Without a bar (the library declined it this frame) the strip goes to the top of the window.
    const float menuBarHeight = barShown ? ImGui::GetWindowHeight() : 0.0f;

    // Both edges are taken before any menu is built, so the remembered states follow the keyboard
    // whatever the menus do afterwards.
    const unsigned char* keys = UIServices.KeyboardState();
    const bool vDown = KeyDown(keys, SDL_SCANCODE_V);
    const bool vReleased = VKeyWasDown && !vDown;
    VKeyWasDown = vDown;
    // The original picture shows for as long as C is held.
    CompareWithOriginal = KeyDown(keys, SDL_SCANCODE_C);
    const bool ctrlODown = KeyDown(keys, SDL_SCANCODE_O) && KeyDown(keys, SDL_SCANCODE_LCTRL);
    const bool ctrlOPressed = !CtrlOWasDown && ctrlODown;
    CtrlOWasDown = ctrlODown;

    bool fileMenuOpen = false, viewMenuOpen = false;
    if (barShown) {
        if (ImGui::BeginMenu("File", true)) {
            fileMenuOpen = true;
            if (ImGui::MenuItem("Import Texture", "Ctrl + O", false, true)) ImportDiffuseTexture();
            if (ImGui::MenuItem("Import Filter", nullptr, false, true)) ImportFilterTexture();
            if (ImGui::MenuItem("Exit", nullptr, false, true)) exit(0);
            ImGui::EndMenu();
        }
    }
    if (!fileMenuOpen && ctrlOPressed) ImportDiffuseTexture();

    if (barShown) {
        if (ImGui::BeginMenu("View", true)) {
            viewMenuOpen = true;
            // One toggle however many ways were used in this frame.
            if (ImGui::MenuItem(ShowOptions ? "Hide Options" : "Show Options", "V", false, true) || vReleased)
                ShowOptions = !ShowOptions;
            if (ImGui::MenuItem(ShowTextures ? "Hide Textures" : "Show Textures", "T", false, true))
                ShowTextures = !ShowTextures;
            ImGui::EndMenu();
        }
    }
    if (!viewMenuOpen && vReleased) ShowOptions = !ShowOptions;

    if (barShown) {
        if (ImGui::BeginMenu("About", true)) {
            ImGui::MenuItem("Author's blog", nullptr, false, true);
            ImGui::EndMenu();
        }
        ImGui::EndMainMenuBar();
    }

    // The flags are read after the menus, so a change made in this frame shows in this frame.
    if (ShowOptions) DrawOptionsWindow();
    if (ShowTextures) DrawTexturesWindow(windowWidth, menuBarHeight);
    DrawImportNotice();
}
