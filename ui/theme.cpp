#include "ui/theme.h"

#include <imgui.h>

#include "render/embedded_assets.h"

namespace {

struct NamedColour {
    ImGuiCol Index;
    float R, G, B, A;
};

// The light base scheme. ScrollbarGrabHovered, DragDropTarget, NavHighlight and
// NavWindowingHighlight are not written: they keep the library's defaults, but the final pass
// below treats them like the rest.
const NamedColour BaseColours[] = {
    {ImGuiCol_Text, 0.00f, 0.00f, 0.00f, 1.00f},
    {ImGuiCol_TextDisabled, 0.60f, 0.60f, 0.60f, 1.00f},
    {ImGuiCol_WindowBg, 0.94f, 0.94f, 0.94f, 0.94f},
    {ImGuiCol_ChildBg, 0.00f, 0.00f, 0.00f, 0.00f},
    {ImGuiCol_PopupBg, 1.00f, 1.00f, 1.00f, 0.94f},
    {ImGuiCol_Border, 0.00f, 0.00f, 0.00f, 0.39f},
    {ImGuiCol_BorderShadow, 1.00f, 1.00f, 1.00f, 0.10f},
    {ImGuiCol_FrameBg, 1.00f, 1.00f, 1.00f, 0.94f},
    {ImGuiCol_FrameBgHovered, 0.26f, 0.59f, 0.98f, 0.40f},
    {ImGuiCol_FrameBgActive, 0.26f, 0.59f, 0.98f, 0.67f},
    {ImGuiCol_TitleBg, 0.96f, 0.96f, 0.96f, 1.00f},
    {ImGuiCol_TitleBgActive, 0.82f, 0.82f, 0.82f, 1.00f},
    {ImGuiCol_TitleBgCollapsed, 1.00f, 1.00f, 1.00f, 0.51f},
    {ImGuiCol_MenuBarBg, 0.86f, 0.86f, 0.86f, 1.00f},
    {ImGuiCol_ScrollbarBg, 0.98f, 0.98f, 0.98f, 0.53f},
    {ImGuiCol_ScrollbarGrab, 0.69f, 0.69f, 0.69f, 1.00f},
    {ImGuiCol_ScrollbarGrabActive, 0.49f, 0.49f, 0.49f, 1.00f},
    {ImGuiCol_CheckMark, 0.26f, 0.59f, 0.98f, 1.00f},
    {ImGuiCol_SliderGrab, 0.24f, 0.52f, 0.88f, 1.00f},
    {ImGuiCol_SliderGrabActive, 0.26f, 0.59f, 0.98f, 1.00f},
    {ImGuiCol_Button, 0.26f, 0.59f, 0.98f, 0.40f},
    {ImGuiCol_ButtonHovered, 0.26f, 0.59f, 0.98f, 1.00f},
    {ImGuiCol_ButtonActive, 0.06f, 0.53f, 0.98f, 1.00f},
    {ImGuiCol_Header, 0.26f, 0.59f, 0.98f, 0.31f},
    {ImGuiCol_HeaderHovered, 0.26f, 0.59f, 0.98f, 0.80f},
    {ImGuiCol_HeaderActive, 0.26f, 0.59f, 0.98f, 1.00f},
    {ImGuiCol_Separator, 0.39f, 0.39f, 0.39f, 1.00f},
    {ImGuiCol_SeparatorHovered, 0.26f, 0.59f, 0.98f, 0.78f},
    {ImGuiCol_SeparatorActive, 0.26f, 0.59f, 0.98f, 1.00f},
    {ImGuiCol_ResizeGrip, 1.00f, 1.00f, 1.00f, 0.50f},
    {ImGuiCol_ResizeGripHovered, 0.26f, 0.59f, 0.98f, 0.67f},
    {ImGuiCol_ResizeGripActive, 0.26f, 0.59f, 0.98f, 0.95f},
    {ImGuiCol_PlotLines, 0.39f, 0.39f, 0.39f, 1.00f},
    {ImGuiCol_PlotLinesHovered, 1.00f, 0.43f, 0.35f, 1.00f},
    {ImGuiCol_PlotHistogram, 0.90f, 0.70f, 0.00f, 1.00f},
    {ImGuiCol_PlotHistogramHovered, 1.00f, 0.60f, 0.00f, 1.00f},
    {ImGuiCol_TextSelectedBg, 0.26f, 0.59f, 0.98f, 0.35f},
    {ImGuiCol_ModalWindowDimBg, 0.20f, 0.20f, 0.20f, 0.35f},
};

// Every colour the final pass treats: the base scheme's and the four library defaults.
// clang-format off
const ImGuiCol ThemedColours[] = {
    ImGuiCol_Text, ImGuiCol_TextDisabled, ImGuiCol_WindowBg, ImGuiCol_ChildBg, ImGuiCol_PopupBg,
    ImGuiCol_Border, ImGuiCol_BorderShadow, ImGuiCol_FrameBg, ImGuiCol_FrameBgHovered,
    ImGuiCol_FrameBgActive, ImGuiCol_TitleBg, ImGuiCol_TitleBgActive, ImGuiCol_TitleBgCollapsed,
    ImGuiCol_MenuBarBg, ImGuiCol_ScrollbarBg, ImGuiCol_ScrollbarGrab, ImGuiCol_ScrollbarGrabHovered,
    ImGuiCol_ScrollbarGrabActive, ImGuiCol_CheckMark, ImGuiCol_SliderGrab, ImGuiCol_SliderGrabActive,
    ImGuiCol_Button, ImGuiCol_ButtonHovered, ImGuiCol_ButtonActive, ImGuiCol_Header,
    ImGuiCol_HeaderHovered, ImGuiCol_HeaderActive, ImGuiCol_Separator, ImGuiCol_SeparatorHovered,
    ImGuiCol_SeparatorActive, ImGuiCol_ResizeGrip, ImGuiCol_ResizeGripHovered,
    ImGuiCol_ResizeGripActive, ImGuiCol_PlotLines, ImGuiCol_PlotLinesHovered, ImGuiCol_PlotHistogram,
    ImGuiCol_PlotHistogramHovered, ImGuiCol_TextSelectedBg, ImGuiCol_ModalWindowDimBg,
    ImGuiCol_DragDropTarget, ImGuiCol_NavHighlight, ImGuiCol_NavWindowingHighlight,
};
// clang-format on
static_assert(sizeof(ThemedColours) / sizeof(ThemedColours[0]) == 42, "the theme names 42 colours");

// Greys (saturation under 0.1) are mirrored on the brightness scale; accents keep their colour.
// Translucent colours keep `alpha` of their opacity.
void Darken(ImVec4& colour, float alpha) {
    float h = 0, s = 0, v = 0;
    ImGui::ColorConvertRGBtoHSV(colour.x, colour.y, colour.z, h, s, v);
    if (s < 0.1f) v = 1.0f - v;
    ImGui::ColorConvertHSVtoRGB(h, s, v, colour.x, colour.y, colour.z);
    if (colour.w < 1.0f) colour.w *= alpha;
}

// Translucent colours fade towards transparent black; opaque ones stay.
void Fade(ImVec4& colour, float alpha) {
    if (colour.w < 1.0f) {
        colour.x *= alpha;
        colour.y *= alpha;
        colour.z *= alpha;
        colour.w *= alpha;
    }
}

}  // namespace

void SetupUIStyle(bool dark, float alpha) {
    ImGuiStyle& style = ImGui::GetStyle();
    style.Alpha = 1.0f;
    style.FrameRounding = 3.0f;
    for (const NamedColour& c : BaseColours) style.Colors[c.Index] = ImVec4(c.R, c.G, c.B, c.A);
    for (ImGuiCol index : ThemedColours) {
        if (dark) Darken(style.Colors[index], alpha);
        else Fade(style.Colors[index], alpha);
    }
}

float UIScale = 1.0f;

namespace {

void AddUIFont(float pixelSize) {
    ImFontConfig config;
    // The bytes are static data: the atlas must never hand them to the allocator.
    config.FontDataOwnedByAtlas = false;
    ImGuiIO& io = ImGui::GetIO();
    io.Fonts->AddFontFromMemoryTTF(const_cast<unsigned char*>(UIFontData), UIFontDataSize, pixelSize, &config, nullptr);
}

}  // namespace

void LoadUIFont() { AddUIFont(UIFontSize); }

void ScaleUI(float scale, float framebufferScale) {
    ImGuiStyle& style = ImGui::GetStyle();
    style = ImGuiStyle();  // the library's sizes, before the theme and the scale
    SetupUIStyle(true, 1.0f / 3);
    style.ScaleAllSizes(scale);
    UIScale = scale;
    ImGuiIO& io = ImGui::GetIO();
    io.Fonts->Clear();
    AddUIFont(UIFontSize * scale * framebufferScale);
    // Laid out in window units, drawn from glyphs made for the real pixels.
    io.FontGlobalScale = 1.0f / framebufferScale;
}
