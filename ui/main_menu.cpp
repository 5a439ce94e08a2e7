#include "ui/main_menu.h"

#include <stdlib.h>

#include <string>

#include <SDL.h>
#include <imgui.h>

#include "base/log.h"
#include "picture/file_paths.h"
#include "render/brush_filter.h"
#include "render/picture_export.h"
#include "render/texture_import.h"
#include "ui/export_command.h"
#include "ui/import_notice.h"
#include "ui/loading_indicator.h"
#include "ui/tool_windows.h"
#include "ui/ui_state.h"

namespace {

// The keyboard as of the previous frame's reading; the shortcuts act on edges.
bool VKeyWasDown = false;
bool CtrlOWasDown = false;
bool CtrlSWasDown = false;
bool EscapeWasDown = false;

// The import that is loading: what the indicator and a later notice name.
struct {
    bool Active = false;
    std::string Path;
    TextureSlot Slot = TEXTURE_SLOT_DIFFUSE;
    Uint64 StartTicks = 0;
} Loading;

// Each slot's import: its log line's text, and how a notice names what it concerns.
const char* LogText(TextureSlot slot) {
    return slot == TEXTURE_SLOT_DIFFUSE ? "Loading diffuse texture: " : "Loading filter texture: ";
}
const char* Subject(TextureSlot slot) { return slot == TEXTURE_SLOT_DIFFUSE ? "The picture" : "The paper"; }

const unsigned char* SDLKeyboardState() { return SDL_GetKeyboardState(nullptr); }

// What every import of a named file does, however the file was named: the log line, the import
// started without waiting, the notice when it cannot even start. An import still loading is
// replaced, so the newest choice is the one that arrives.
void ImportFile(const char* path, TextureSlot slot) {
    if (Loading.Active) {
        UIServices.CancelImport();
        Loading.Active = false;
    }
    LogInfo(LogText(slot), path);
    ImportOutcome outcome;
    if (!UIServices.StartImport(slot, path, &outcome)) {
        PostImportNotice(Subject(slot), path, outcome.reason);
        return;
    }
    Loading.Active = true;
    Loading.Path = path;
    Loading.Slot = slot;
    Loading.StartTicks = SDL_GetTicks64();
}

// The steps both chooser imports share: the chooser, the import, releasing the path.
void Import(TextureSlot slot) {
    char* path = nullptr;
    const NFDResult result = UIServices.OpenFile(ImageFileFilter, nullptr, &path);
    if (result == NFD_RESULT_ERROR) {
        PostImportNotice("The file chooser", nullptr, UIServices.DialogError());
        return;
    }
    // Cancelled: no line, no change. A chooser that answers OK without a path has nothing to load.
    if (result != NFD_RESULT_OK || !path) return;
    ImportFile(path, slot);
    free(path);
}

// Where a waiting import would have run: the picture arrives here, so the Options window and the
// Textures preview show it in this same frame. Asked every frame, also with nothing loading, so
// that a decoder given up on is reaped as soon as it has gone.
void TakeFinishedImport() {
    ImportOutcome outcome;
    if (!UIServices.FinishImport(&outcome) || !Loading.Active) return;
    Loading.Active = false;
    if (!outcome.done) {
        PostImportNotice(Subject(Loading.Slot), Loading.Path.c_str(), outcome.reason);
    } else if (Loading.Slot == TEXTURE_SLOT_DIFFUSE) {
        // A new picture to tune: the Options window opens. What an export names its file after
        // and where its chooser opens.
        ShowOptions = true;
        RememberPicturePath(Loading.Path.c_str());
    }
}

// File > Exit ends the process with status 0, skipping the orderly shutdown: at once, or once
// an export has put its file in place.
void ExitIfDue() {
    if (!ExitDue()) return;
    EndTextureImports();  // a decoder still at work ends with the program
    exit(0);
}

void CancelLoading() {
    UIServices.CancelImport();
    Loading.Active = false;
}

bool KeyDown(const unsigned char* keys, SDL_Scancode key) { return keys[key] != 0; }

}  // namespace

UIServiceTable DefaultUIServices() {
    return UIServiceTable{SDLKeyboardState,   NFD_OpenFile,        NFD_LastError,
                          StartTextureImport, FinishTextureImport, CancelTextureImport,
                          NFD_SaveFileAs,     PathExists,          StartPaintedPictureExport,
                          FinishPaintedPictureExport};
}

UIServiceTable UIServices = DefaultUIServices();

void ImportDiffuseTexture() { Import(TEXTURE_SLOT_DIFFUSE); }

void ImportFilterTexture() { Import(TEXTURE_SLOT_FILTER); }

void ImportPictureFile(const char* path) { ImportFile(path, TEXTURE_SLOT_DIFFUSE); }

void ImportPaperFile(const char* path) { ImportFile(path, TEXTURE_SLOT_FILTER); }

const char* ImportInProgress() { return Loading.Active ? Loading.Path.c_str() : nullptr; }

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
    const bool ctrlSDown = KeyDown(keys, SDL_SCANCODE_S) && KeyDown(keys, SDL_SCANCODE_LCTRL);
    const bool ctrlSPressed = !CtrlSWasDown && ctrlSDown;
    CtrlSWasDown = ctrlSDown;
    const bool escapeDown = KeyDown(keys, SDL_SCANCODE_ESCAPE);
    const bool escapePressed = !EscapeWasDown && escapeDown;
    EscapeWasDown = escapeDown;

    bool fileMenuOpen = false, viewMenuOpen = false;
    if (barShown) {
        if (ImGui::BeginMenu("File", true)) {
            fileMenuOpen = true;
            if (ImGui::MenuItem("Import Texture", "Ctrl + O", false, true)) ImportDiffuseTexture();
            if (ImGui::MenuItem("Import Filter", nullptr, false, true)) ImportFilterTexture();
            if (ImGui::MenuItem("Export Picture...", "Ctrl + S", false, ExportablePicturePath() != nullptr))
                ExportPicture();
            if (ImGui::MenuItem("Exit", nullptr, false, true)) {
                RequestExit();
                ExitIfDue();
            }
            ImGui::EndMenu();
        }
    }
    if (!fileMenuOpen && ctrlOPressed) ImportDiffuseTexture();
    if (!fileMenuOpen && ctrlSPressed && ExportablePicturePath()) ExportPicture();
    TakeFinishedImport();

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
    if (Loading.Active) {
        const double seconds = static_cast<double>(SDL_GetTicks64() - Loading.StartTicks) / 1000.0;
        const bool cancelClicked = DrawLoadingIndicator(Loading.Path.c_str(), seconds);
        // Escape belongs to an open menu or the notice while one is up.
        const bool escapeIsOurs = !ImGui::IsPopupOpen(nullptr, ImGuiPopupFlags_AnyPopup) && *ImportNoticeText() == 0;
        if (cancelClicked || (escapePressed && escapeIsOurs)) CancelLoading();
    }
    DrawPictureExport();
    ExitIfDue();
    DrawImportNotice();
}
