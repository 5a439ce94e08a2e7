#include "ui/export_progress.h"

#include <stdio.h>

#include <imgui.h>

#include "base/file_name.h"
#include "ui/import_notice.h"

namespace {

const ImGuiWindowFlags StripFlags = ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                                    ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoSavedSettings |
                                    ImGuiWindowFlags_NoFocusOnAppearing | ImGuiWindowFlags_NoNav |
                                    ImGuiWindowFlags_NoCollapse;

// Centred at the bottom of the window, as the loading indicator is, raised by `lift`.
void PlaceStrip(float lift) {
    const ImGuiIO& io = ImGui::GetIO();
    ImGui::SetNextWindowPos(ImVec2(io.DisplaySize.x * 0.5f, io.DisplaySize.y - ImGui::GetFontSize() - lift),
                            ImGuiCond_Always, ImVec2(0.5f, 1.0f));
}

}  // namespace

std::string ExportProgressText(const char* path, float progress) {
    int percent = static_cast<int>(progress * 100.0f);
    percent = percent < 0 ? 0 : percent > 100 ? 100 : percent;
    char text[64];
    snprintf(text, sizeof text, ": %d %%", percent);
    return "Exporting " + DisplayFileName(path) + text;
}

void DrawExportProgress(const char* path, float progress, bool closing, float lift) {
    PlaceStrip(lift);
    // Readable over any picture, like the notices.
    ImGui::SetNextWindowBgAlpha(0.94f);
    if (ImGui::Begin(ExportProgressName, nullptr, StripFlags)) {
        const std::string text = ExportProgressText(path, progress);
        // Wide enough for a long name, never wider than the window.
        const float width = ImGui::CalcTextSize(text.c_str()).x + ImGui::GetFontSize() * 4.0f;
        const float widest = ImGui::GetIO().DisplaySize.x - ImGui::GetFontSize() * 4.0f;
        ImGui::ProgressBar(progress, ImVec2(width < widest ? width : widest, 0.0f), text.c_str());
        if (closing) ImGui::TextUnformatted(ExportClosingText);
    }
    ImGui::End();
}

bool DrawExportConfirmation(const char* text, float alpha, float lift) {
    PlaceStrip(lift);
    ImGui::SetNextWindowBgAlpha(0.94f);
    ImGui::PushStyleVar(ImGuiStyleVar_Alpha, alpha);
    bool dismissed = false;
    if (ImGui::Begin(ExportConfirmationName, nullptr, StripFlags)) {
        ImGui::AlignTextToFramePadding();
        ImGui::TextUnformatted(text);
        ImGui::SameLine();
        dismissed = ImGui::Button("OK");
    }
    ImGui::End();
    ImGui::PopStyleVar();
    return dismissed;
}
