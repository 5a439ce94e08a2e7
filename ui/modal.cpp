#include "ui/modal.h"

#include <imgui.h>

bool BeginCentredModal(const char* title) {
    const ImGuiIO& io = ImGui::GetIO();
    ImGui::SetNextWindowPos(ImVec2(io.DisplaySize.x * 0.5f, io.DisplaySize.y * 0.5f), ImGuiCond_Appearing,
                            ImVec2(0.5f, 0.5f));
    // The theme leaves popups nearly transparent; a message must stay readable over any picture.
    ImVec4 background = ImGui::GetStyle().Colors[ImGuiCol_PopupBg];
    background.w = 0.94f;
    ImGui::PushStyleColor(ImGuiCol_PopupBg, background);
    const bool shown = ImGui::BeginPopupModal(title, nullptr, ImGuiWindowFlags_AlwaysAutoResize);
    ImGui::PopStyleColor();
    return shown;
}

void ModalText(const char* text) {
    ImGui::PushTextWrapPos(ImGui::GetFontSize() * 24.0f);
    ImGui::TextUnformatted(text);
    ImGui::PopTextWrapPos();
    ImGui::Spacing();
}

bool ModalButton(const char* label) { return ImGui::Button(label, ImVec2(ImGui::GetFontSize() * 5.0f, 0.0f)); }

ReplaceAnswer ReplaceQuestionButtons() {
    const bool replace = ModalButton("Replace");
    ImGui::SameLine();
    const bool cancel = ModalButton("Cancel") || ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape), false);
    if (!replace && !cancel) return REPLACE_ANSWER_NONE;
    ImGui::CloseCurrentPopup();
    return replace ? REPLACE_ANSWER_REPLACE : REPLACE_ANSWER_CANCEL;
}

void EndCentredModal() { ImGui::EndPopup(); }
