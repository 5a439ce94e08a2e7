// The Options and Textures windows: sliders, close button, placement of the strip and the style
// override around each window.
#include <cstring>

#include "render/brush_filter.h"
#include "ui/draw_ui.h"
#include "ui/tool_windows.h"
#include "ui/ui_state.h"
#include "ui_harness.h"

namespace {

class ToolWindows : public UITest {};

// Whether any vertex of the window's draw list has this colour.
bool DrewColour(ImGuiWindow* window, ImVec4 colour) {
    const ImU32 packed = ImGui::ColorConvertFloat4ToU32(colour);
    for (const ImDrawVert& v : window->DrawList->VtxBuffer)
        if (v.col == packed) return true;
    return false;
}

void ExpectSameStyle(const ImGuiStyle& a, const ImGuiStyle& b) {
    EXPECT_EQ(std::memcmp(a.Colors, b.Colors, sizeof(a.Colors)), 0) << "colours";
    EXPECT_EQ(a.WindowRounding, b.WindowRounding);
    EXPECT_EQ(a.FrameRounding, b.FrameRounding);
    EXPECT_EQ(a.Alpha, b.Alpha);
    EXPECT_EQ(a.WindowPadding.x, b.WindowPadding.x);
    EXPECT_EQ(a.ItemSpacing.x, b.ItemSpacing.x);
}

TEST_F(ToolWindows, OptionsSlidersEditTheBrushParametersWithinRange) {
    ShowOptions = true;
    Frames(3);
    ImGuiWindow* options = WindowNamed("Brush Filter - Options");
    ASSERT_NE(options, nullptr);
    ASSERT_TRUE(options->Active);

    // Rows under the title bar: the text, the Look selector, then the three sliders.
    const ImGuiStyle& style = ImGui::GetStyle();
    const float top = options->Pos.y + options->TitleBarHeight() + style.WindowPadding.y;
    const float row = ImGui::GetFrameHeight() + style.ItemSpacing.y;
    const float textRow = ImGui::GetFontSize() + style.ItemSpacing.y;
    const float left = options->Pos.x + style.WindowPadding.x;
    auto sliderY = [&](int i) { return top + textRow + row * (i + 1) + ImGui::GetFrameHeight() * 0.5f; };

    // Far left of the opacity slider: 0. Dragging far beyond the right end of the stroke slider: 1.
    Click(ImVec2(left + 1, sliderY(0)));
    EXPECT_EQ(BrushParameters.Opacity, 0.0f);
    MouseTo(ImVec2(left + 20, sliderY(1)));
    Frame();
    MouseButton(true);
    Frame();
    MouseTo(ImVec2(790, sliderY(1)));
    Frame();
    MouseButton(false);
    Frame();
    EXPECT_EQ(BrushParameters.StrokeCoeff, 1.0f);
    EXPECT_EQ(BrushParameters.BackgroundCoeff, 1.0f / 3) << "untouched";
    EXPECT_GE(BrushParameters.Opacity, 0.0f);
}

TEST_F(ToolWindows, OptionsCloseButtonHidesTheWindowAndFlipsTheViewLabel) {
    ShowOptions = true;
    Frames(3);
    ImGuiWindow* options = WindowNamed("Brush Filter - Options");
    ASSERT_NE(options, nullptr);
    const ImGuiStyle& style = ImGui::GetStyle();
    const float size = ImGui::GetFontSize();
    Click(ImVec2(options->Pos.x + options->Size.x - style.FramePadding.x - size * 0.5f,
                 options->Pos.y + style.FramePadding.y + size * 0.5f));
    EXPECT_FALSE(ShowOptions);
    Frame();
    EXPECT_FALSE(options->Active);
    OpenMenu("View");
    EXPECT_TRUE(MenuRowIs(0, "Show Options"));
}

TEST_F(ToolWindows, TexturesStripStartsAtTheRightEdgeAndSettlesInTheCorner) {
    ShowTextures = true;
    Frame();
    ImGuiWindow* strip = WindowNamed("Textures");
    ASSERT_NE(strip, nullptr);
    EXPECT_EQ(strip->Pos.x, 800.0f) << "no width measured yet";
    EXPECT_EQ(strip->Pos.y, MenuBarHeight());

    Frames(4);
    const ImGuiStyle& style = ImGui::GetStyle();
    const float width = 2 * 150 + style.ItemSpacing.x + 2 * style.WindowPadding.x;
    EXPECT_EQ(TexturesWindowWidth, static_cast<int>(width));
    EXPECT_EQ(strip->Pos.x, 800.0f - TexturesWindowWidth);
    EXPECT_EQ(strip->Pos.x + strip->Size.x, 800.0f) << "flush with the right edge";
    EXPECT_EQ(strip->Pos.y, MenuBarHeight());

    // It cannot be dragged away: the position is imposed every frame.
    MouseTo(ImVec2(strip->Pos.x + 3, strip->Pos.y + 3));
    Frame();
    MouseButton(true);
    Frame();
    MouseTo(ImVec2(200, 300));
    Frames(2);
    MouseButton(false);
    Frame();
    EXPECT_EQ(strip->Pos.x, 800.0f - TexturesWindowWidth);

    // A resize moves it in the same frame; hidden, it keeps its width for the next showing.
    Frame(1000);
    EXPECT_EQ(strip->Pos.x, 1000.0f - TexturesWindowWidth);
    ShowTextures = false;
    Frames(2, 1000);
    EXPECT_FALSE(strip->Active);
    ShowTextures = true;
    Frame(640);
    EXPECT_EQ(strip->Pos.x, 640.0f - static_cast<int>(width));
}

TEST_F(ToolWindows, EachWindowDrawsWithItsOwnBackgroundAndTheStyleIsPutBack) {
    const ImGuiStyle theme = ImGui::GetStyle();
    ShowOptions = true;
    ShowTextures = true;
    Frames(3);
    ExpectSameStyle(ImGui::GetStyle(), theme);

    const ImVec4 bg = theme.Colors[ImGuiCol_WindowBg];
    ImGuiWindow* options = WindowNamed("Brush Filter - Options");
    ImGuiWindow* strip = WindowNamed("Textures");
    ASSERT_NE(options, nullptr);
    ASSERT_NE(strip, nullptr);
    EXPECT_TRUE(DrewColour(options, ImVec4(bg.x, bg.y, bg.z, 2.0f / 3)));
    EXPECT_FALSE(DrewColour(options, bg));
    EXPECT_TRUE(DrewColour(strip, ImVec4(bg.x, bg.y, bg.z, 1.0f / 3)));
    EXPECT_EQ(options->WindowRounding, 0.0f);
    EXPECT_EQ(strip->WindowRounding, 0.0f);

    // A window built after them keeps the theme's values.
    ImGuiWindow* other = nullptr;
    for (int frame = 0; frame < 2; ++frame) {
        ImGui::NewFrame();
        DrawUI(800);
        ImGui::Begin("Other");
        other = ImGui::GetCurrentWindow();
        ImGui::End();
        ImGui::Render();
    }
    EXPECT_EQ(other->WindowRounding, theme.WindowRounding);
    EXPECT_TRUE(DrewColour(other, bg));
}

}  // namespace
