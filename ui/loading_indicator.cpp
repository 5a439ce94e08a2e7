#include "ui/loading_indicator.h"

#include <math.h>

#include <string>

#include <imgui.h>

#include "base/file_name.h"
#include "ui/import_notice.h"

namespace {

// Eight dots on a circle, the bright one going round about once a second: a frame that is
// drawn shows it, so a window that keeps drawing visibly does.
void Spinner(float size) {
    const ImVec2 corner = ImGui::GetCursorScreenPos();
    const ImVec2 centre(corner.x + size * 0.5f, corner.y + size * 0.5f);
    const float radius = size * 0.38f, dot = size * 0.09f;
    const int lead = static_cast<int>(ImGui::GetTime() * 8.0) % 8;
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const ImVec4 text = ImGui::GetStyle().Colors[ImGuiCol_Text];
    for (int i = 0; i < 8; ++i) {
        const float angle = static_cast<float>(i) * 6.2831853f / 8.0f;
        const int behind = (lead - i + 8) % 8;  // 0 for the lead dot, fading behind it
        const ImVec4 colour(text.x, text.y, text.z, text.w * (1.0f - static_cast<float>(behind) / 9.0f));
        draw->AddCircleFilled(ImVec2(centre.x + radius * cosf(angle), centre.y + radius * sinf(angle)), dot,
                              ImGui::ColorConvertFloat4ToU32(colour));
    }
    ImGui::Dummy(ImVec2(size, size));
}

}  // namespace

bool DrawLoadingIndicator(const char* path, double seconds) {
    const ImGuiIO& io = ImGui::GetIO();
    ImGui::SetNextWindowPos(ImVec2(io.DisplaySize.x * 0.5f, io.DisplaySize.y - ImGui::GetFontSize()), ImGuiCond_Always,
                            ImVec2(0.5f, 1.0f));
    // Readable over any picture, like the import notice.
    ImGui::SetNextWindowBgAlpha(0.94f);
    const ImGuiWindowFlags flags = ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                                   ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoSavedSettings |
                                   ImGuiWindowFlags_NoFocusOnAppearing | ImGuiWindowFlags_NoNav |
                                   ImGuiWindowFlags_NoCollapse;
    bool cancel = false;
    if (ImGui::Begin(LoadingIndicatorName, nullptr, flags)) {
        Spinner(ImGui::GetFrameHeight());
        ImGui::SameLine();
        ImGui::AlignTextToFramePadding();
        const std::string name = DisplayFileName(path);
        ImGui::Text("Loading %s... %d s", name.c_str(), static_cast<int>(seconds));
        ImGui::SameLine();
        cancel = ImGui::Button("Cancel");
    }
    ImGui::End();
    return cancel;
}
