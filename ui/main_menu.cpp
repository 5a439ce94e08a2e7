#include "ui/main_menu.h"

#include <imgui.h>

#include "ui/about_window.h"
#include "ui/edit_commands.h"
#include "ui/export_command.h"
#include "ui/import_command.h"
#include "ui/recent_menu.h"
#include "ui/ui_state.h"
#include "ui/way_out.h"
#include "ui/zoom_input.h"

bool DrawFileMenu() {
    if (!ImGui::BeginMenu("File", true)) return false;
    if (ImGui::MenuItem("Import Texture", "Ctrl + O", false, true)) ImportDiffuseTexture();
    if (ImGui::MenuItem("Import Filter", nullptr, false, true)) ImportFilterTexture();
    if (ImGui::MenuItem("Export Picture...", "Ctrl + S", false, ExportablePicturePath() != nullptr)) ExportPicture();
    DrawOpenRecentMenu();
    if (ImGui::MenuItem("Exit", nullptr, false, true)) {
        RequestExit();
        ExitIfDue();
    }
    ImGui::EndMenu();
    return true;
}

bool DrawEditMenu() {
    if (!ImGui::BeginMenu("Edit", true)) return false;
    if (ImGui::MenuItem("Undo", "Ctrl + Z", false, CanUndoEdit())) UndoEdit();
    if (ImGui::MenuItem("Redo", "Ctrl + Y", false, CanRedoEdit())) RedoEdit();
    ImGui::EndMenu();
    return true;
}

bool DrawViewMenu(bool vReleased, bool tReleased) {
    if (!ImGui::BeginMenu("View", true)) return false;
    // One toggle however many ways were used in this frame.
    if (ImGui::MenuItem(ShowOptions ? "Hide Options" : "Show Options", "V", false, true) || vReleased)
        ShowOptions = !ShowOptions;
    if (ImGui::MenuItem(ShowTextures ? "Hide Textures" : "Show Textures", "T", false, true) || tReleased)
        ShowTextures = !ShowTextures;
    DrawZoomMenuItems();
    ImGui::EndMenu();
    return true;
}

void DrawAboutMenu() {
    if (!ImGui::BeginMenu("About", true)) return;
    if (ImGui::MenuItem("About Vellumry", nullptr, false, true)) ShowAbout = true;
    ImGui::MenuItem("Author's blog", nullptr, false, true);
    ImGui::EndMenu();
}
