#include "ui/about_window.h"

#include <imgui.h>

#include "ui/embedded_texts.h"

#ifndef VELLUMRY_VERSION
#error "VELLUMRY_VERSION is set by the build from the project's version"
#endif

bool ShowAbout = false;

namespace {

void EmbeddedText(const unsigned char* text, int size) {
    const char* begin = reinterpret_cast<const char*>(text);
    ImGui::TextUnformatted(begin, begin + size);
}

}  // namespace

void DrawAboutWindow() {
    // Sized in font heights, so it grows with the interface's scale; centred when it appears.
    const float em = ImGui::GetFontSize();
    const ImVec2 display = ImGui::GetIO().DisplaySize;
    ImGui::SetNextWindowSize(ImVec2(36 * em, 24 * em), ImGuiCond_Appearing);
    ImGui::SetNextWindowPos(ImVec2(display.x * 0.5f, display.y * 0.5f), ImGuiCond_Appearing, ImVec2(0.5f, 0.5f));
    if (ImGui::Begin(AboutWindowTitle, &ShowAbout, ImGuiWindowFlags_NoCollapse)) {
        ImGui::Text("Vellumry %s", VELLUMRY_VERSION);
        ImGui::TextWrapped("Shows a picture as if painted with a brush on textured paper.");
        ImGui::Text("Free software under the MIT licence.");
        ImGui::Separator();
        // The licence and the notices scroll together below the heading.
        ImGui::BeginChild("Notices", ImVec2(0, 0), false, ImGuiWindowFlags_HorizontalScrollbar);
        EmbeddedText(LicenseText, LicenseTextSize);
        ImGui::Separator();
        EmbeddedText(ThirdPartyNoticesText, ThirdPartyNoticesTextSize);
        ImGui::EndChild();
    }
    ImGui::End();
}
