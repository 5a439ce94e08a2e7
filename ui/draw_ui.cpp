#include "ui/draw_ui.h"

#include <SDL.h>
#include <imgui.h>

#include "render/brush_filter.h"
#include "ui/about_window.h"
#include "ui/edit_commands.h"
#include "ui/export_command.h"
#include "ui/import_command.h"
#include "ui/import_notice.h"
#include "ui/loading_indicator.h"
#include "ui/look_picker.h"
#include "ui/main_menu.h"
#include "ui/tool_windows.h"
#include "ui/ui_services.h"
#include "ui/ui_state.h"
#include "ui/way_out.h"

namespace {

// The keyboard as of the previous frame's reading; the shortcuts act on edges.
bool VKeyWasDown = false;
bool TKeyWasDown = false;
bool UndoKeysWereDown = false;
bool RedoKeysWereDown = false;
bool CtrlOWasDown = false;
bool CtrlSWasDown = false;
bool EscapeWasDown = false;

bool KeyDown(const unsigned char* keys, SDL_Scancode key) { return keys[key] != 0; }

}  // namespace

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
    // T is a letter a text field takes: typed there, it toggles nothing.
    const bool tDown = KeyDown(keys, SDL_SCANCODE_T);
    const bool tReleased = TKeyWasDown && !tDown && !ImGui::GetIO().WantTextInput;
    TKeyWasDown = tDown;
    // The original picture shows for as long as C is held.
    CompareWithOriginal = KeyDown(keys, SDL_SCANCODE_C);
    const bool ctrlODown = KeyDown(keys, SDL_SCANCODE_O) && KeyDown(keys, SDL_SCANCODE_LCTRL);
    const bool ctrlOPressed = !CtrlOWasDown && ctrlODown;
    CtrlOWasDown = ctrlODown;
    const bool ctrlSDown = KeyDown(keys, SDL_SCANCODE_S) && KeyDown(keys, SDL_SCANCODE_LCTRL);
    const bool ctrlSPressed = !CtrlSWasDown && ctrlSDown;
    CtrlSWasDown = ctrlSDown;
    const bool leftCtrl = KeyDown(keys, SDL_SCANCODE_LCTRL);
    const bool shift = KeyDown(keys, SDL_SCANCODE_LSHIFT) || KeyDown(keys, SDL_SCANCODE_RSHIFT);
    const bool undoKeysDown = leftCtrl && KeyDown(keys, SDL_SCANCODE_Z) && !shift;
    const bool redoKeysDown = leftCtrl && (KeyDown(keys, SDL_SCANCODE_Y) || (KeyDown(keys, SDL_SCANCODE_Z) && shift));
    const bool undoPressed = !UndoKeysWereDown && undoKeysDown;
    const bool redoPressed = !RedoKeysWereDown && redoKeysDown;
    UndoKeysWereDown = undoKeysDown;
    RedoKeysWereDown = redoKeysDown;
    const bool escapeDown = KeyDown(keys, SDL_SCANCODE_ESCAPE);
    const bool escapePressed = !EscapeWasDown && escapeDown;
    EscapeWasDown = escapeDown;

    const bool fileMenuOpen = barShown && DrawFileMenu();
    if (!fileMenuOpen && ctrlOPressed) ImportDiffuseTexture();
    if (!fileMenuOpen && ctrlSPressed && ExportablePicturePath()) ExportPicture();
    TakeFinishedImport();

    // Not in the middle of a drag or a typed value: that edit becomes its step when it ends.
    const bool editMenuOpen = barShown && DrawEditMenu();
    if (!editMenuOpen && !ImGui::IsAnyItemActive()) {
        if (undoPressed) UndoEdit();
        if (redoPressed) RedoEdit();
    }

    const bool viewMenuOpen = barShown && DrawViewMenu(vReleased, tReleased);
    if (!viewMenuOpen && vReleased) ShowOptions = !ShowOptions;
    if (!viewMenuOpen && tReleased) ShowTextures = !ShowTextures;

    if (barShown) {
        DrawAboutMenu();
        ImGui::EndMainMenuBar();
    }

    // The flags are read after the menus, so a change made in this frame shows in this frame.
    if (ShowOptions) DrawOptionsWindow();
    if (ShowTextures) DrawTexturesWindow(windowWidth, menuBarHeight);
    if (ShowAbout) DrawAboutWindow();
    if (const char* loading = ImportInProgress()) {
        const bool cancelClicked = DrawLoadingIndicator(loading, ImportSeconds());
        // Escape belongs to an open menu or the notice while one is up.
        const bool escapeIsOurs = !ImGui::IsPopupOpen(nullptr, ImGuiPopupFlags_AnyPopup) && *ImportNoticeText() == 0;
        if (cancelClicked || (escapePressed && escapeIsOurs)) CancelLoadingImport();
    }
    DrawPictureExport(ImportInProgress() != nullptr, WayOutRequested());
    DrawLookDialogs();
    ExitIfDue();
    DrawImportNotice();
}
