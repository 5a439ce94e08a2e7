#include "ui/import_notice.h"

#include <string.h>

#include <string>

#include <imgui.h>

#include "base/file_name.h"
#include "ui/modal.h"

namespace {

std::string NoticeTitle = ImportNoticeTitle;  // also the popup's identity
std::string NoticeText;                       // empty while no notice is up
bool NoticeRequested = false;                 // posted, not yet opened as a popup

}  // namespace

void PostImportNotice(const char* subject, const char* path, const char* reason) {
    std::string text = subject ? subject : "The file";
    if (path) {
        text += " \"";
        text += DisplayFileName(path);
        text += "\" could not be loaded.";
    } else {
        text += " could not be opened.";
    }
    if (reason && *reason) {
        text += "\n";
        text += reason;
    }
    PostNotice(ImportNoticeTitle, text);
}

void PostNotice(const char* title, const std::string& text) {
    // A notice of another title replaces the one up: opening its popup closes the other.
    NoticeTitle = title;
    NoticeText = text;
    NoticeRequested = true;
}

void DrawImportNotice() {
    // Opened here, at the top level of the ID stack, not where the import ran (inside a menu),
    // so that the popup is found again in the next frames.
    if (NoticeRequested) {
        ImGui::OpenPopup(NoticeTitle.c_str());
        NoticeRequested = false;
    }
    if (NoticeText.empty()) return;

    if (!BeginCentredModal(NoticeTitle.c_str())) {
        // Closed from outside (the library closes popups it no longer sees requested).
        NoticeText.clear();
        return;
    }
    ModalText(NoticeText.c_str());
    const bool dismissed = ModalButton("OK") || ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Enter), false) ||
                           ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape), false);
    if (dismissed) {
        ImGui::CloseCurrentPopup();
        NoticeText.clear();
    }
    EndCentredModal();
}

const char* ImportNoticeText() { return NoticeText.c_str(); }
