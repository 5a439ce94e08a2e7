#include "ui/tool_windows.h"

#include <stdint.h>

#include <imgui.h>

#include "render/brush_filter.h"
#include "render/texture_import.h"
#include "ui/look_picker.h"
#include "ui/edit_commands.h"
#include "ui/theme.h"
#include "ui/ui_state.h"

int TexturesWindowWidth = 0;
PreviewRect PaperPreviewRect = {0.0f, 0.0f, 0.0f, 0.0f};

namespace {

// The library draws a window's background and corners inside Begin, so a change made just
// around one window's submission reaches that window only.
ImGuiStyle BeginStyleOverride(float backgroundAlpha) {
    ImGuiStyle& style = ImGui::GetStyle();
    ImGuiStyle previous = style;
    style.WindowRounding = 0.0f;
    style.Colors[ImGuiCol_WindowBg].w = backgroundAlpha;
    return previous;
}

void EndStyleOverride(const ImGuiStyle& previous) { ImGui::GetStyle() = previous; }

ImTextureID TextureID(GLuint texture) { return reinterpret_cast<ImTextureID>(static_cast<uintptr_t>(texture)); }

}  // namespace

void DrawOptionsWindow() {
    ImGuiStyle previousStyle = BeginStyleOverride(OptionsWindowAlpha);
    // The contents are submitted whatever Begin answers; the library skips them while collapsed.
    ImGui::Begin("Brush Filter - Options", &ShowOptions, ImGuiWindowFlags_AlwaysAutoResize);
    ImGui::Text("Brush Filter");
    DrawLookSelector();
    // Each slider's drag or typed value is one step of Undo.
    struct Slider {
        const char* Label;
        float* Value;
    };
    const Slider sliders[] = {{"Brush Opacity", &BrushParameters.Opacity},
                              {"Brush Stroke", &BrushParameters.StrokeCoeff},
                              {"Filter Intensity", &BrushParameters.BackgroundCoeff}};
    for (const Slider& slider : sliders) {
        const EditState before = CurrentEditState();
        ImGui::SliderFloat(slider.Label, slider.Value, 0.0f, 1.0f, "%.3f", ImGuiSliderFlags_None);
        TrackItemEdit(before);
    }
    if (ImGui::Button("Reset")) {
        const EditState before = CurrentEditState();
        BrushParameters = InitialBrushParameters;
        RecordEdit(before);
    }
    ImGui::SameLine();
    DrawLookButtons();
    ImGui::SameLine();
    ImGui::TextDisabled("Hold C to compare");
    ImGui::End();
    EndStyleOverride(previousStyle);
}

void DrawTexturesWindow(int windowWidth, float menuBarHeight) {
    // Placed from the width measured in the previous frame: on its first showing the strip starts
    // at the right edge and moves left into the corner as soon as its width is known.
    ImGui::SetNextWindowPos(
        ImVec2(static_cast<float>(windowWidth) - static_cast<float>(TexturesWindowWidth), menuBarHeight),
        ImGuiCond_Always, ImVec2(0.0f, 0.0f));
    ImGuiStyle previousStyle = BeginStyleOverride(TexturesWindowAlpha);
    ImGui::Begin("Textures", &ShowTextures, ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_AlwaysAutoResize);
    const ImVec2 size(TexturePreviewSize * UIScale, TexturePreviewSize * UIScale);
    const ImVec2 uvMin(0.0f, 0.0f), uvMax(1.0f, 1.0f);
    const ImVec4 tint(1.0f, 1.0f, 1.0f, 1.0f), border(0.0f, 0.0f, 0.0f, 0.0f);
    ImGui::Image(TextureID(DiffuseTexture), size, uvMin, uvMax, tint, border);
    ImGui::SameLine(0.0f, -1.0f);
    ImGui::Image(TextureID(FilterTexture), size, uvMin, uvMax, tint, border);
    PaperPreviewRect = {ImGui::GetItemRectMin().x, ImGui::GetItemRectMin().y, ImGui::GetItemRectMax().x,
                        ImGui::GetItemRectMax().y};
    TexturesWindowWidth = static_cast<int>(ImGui::GetWindowWidth());
    ImGui::End();
    EndStyleOverride(previousStyle);
}
