#include "ui/canvas_hint.h"

#include <string.h>

#include <imgui.h>

#include "render/brush_filter.h"
#include "render/texture_import.h"

void DrawCanvasHint(int windowWidth, int windowHeight) {
    if (DiffuseTexture != 0) return;
    // The empty area the renderer fits, turned from the GL's bottom-up rows to the window's.
    const BrushViewport area = ComputeBrushViewport(windowWidth, windowHeight, DiffuseWidth, DiffuseHeight);
    if (area.Width <= 0 || area.Height <= 0) return;
    const float centreX = area.X + area.Width * 0.5f;
    const float centreY = static_cast<float>(windowHeight - area.Y - area.Height) + area.Height * 0.5f;

    ImDrawList* layer = ImGui::GetBackgroundDrawList();
    const ImU32 colour = ImGui::GetColorU32(ImGuiCol_Text, 0.8f);
    const char* text = CanvasHintText;
    const char* textEnd = text + strlen(text);
    const ImVec2 whole = ImGui::CalcTextSize(text, textEnd);
    if (whole.x <= area.Width - 2.0f * ImGui::GetFontSize()) {
        layer->AddText(ImVec2(static_cast<int>(centreX - whole.x * 0.5f), static_cast<int>(centreY - whole.y * 0.5f)),
                       colour, text, textEnd);
        return;
    }
    // Two lines, each centred; the comma stays at the end of the first.
    const char* second = strstr(text, CanvasHintBreakBefore);
    const char* firstEnd = second;
    while (firstEnd > text && firstEnd[-1] == ' ') --firstEnd;
    const ImVec2 firstSize = ImGui::CalcTextSize(text, firstEnd);
    const ImVec2 secondSize = ImGui::CalcTextSize(second, textEnd);
    const float lineHeight = ImGui::GetTextLineHeightWithSpacing();
    layer->AddText(ImVec2(static_cast<int>(centreX - firstSize.x * 0.5f), static_cast<int>(centreY - lineHeight)),
                   colour, text, firstEnd);
    layer->AddText(ImVec2(static_cast<int>(centreX - secondSize.x * 0.5f), static_cast<int>(centreY)), colour, second,
                   textEnd);
}
