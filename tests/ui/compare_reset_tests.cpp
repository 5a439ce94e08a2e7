// The two aids to tuning: the C key that shows the original while held, and the Options
// window's Reset.
#include <cstring>

#include "render/brush_filter.h"
#include "ui/ui_state.h"
#include "ui_harness.h"

namespace {

class CompareAndReset : public UITest {};

TEST_F(CompareAndReset, TheOriginalShowsForAsLongAsCIsHeld) {
    Frame();
    EXPECT_FALSE(CompareWithOriginal);
    Key(SDL_SCANCODE_C, true);
    Frame();
    EXPECT_TRUE(CompareWithOriginal);
    Frames(3);
    EXPECT_TRUE(CompareWithOriginal) << "held";
    // Also with a menu open and the Options window shown; V and C are apart.
    ShowOptions = true;
    OpenMenu("View");
    EXPECT_TRUE(CompareWithOriginal);
    EXPECT_TRUE(ShowOptions);
    Key(SDL_SCANCODE_C, false);
    Frame();
    EXPECT_FALSE(CompareWithOriginal);
    EXPECT_TRUE(ShowOptions);
}

TEST_F(CompareAndReset, ResetPutsTheParametersBackUnderTheSliders) {
    ShowOptions = true;
    Frames(3);
    ImGuiWindow* options = WindowNamed("Brush Filter - Options");
    ASSERT_NE(options, nullptr);
    BrushParameters = BrushProperties{0.25f, 0.75f, 0.0f};
    // Under the title bar: the text, the Look selector, the three sliders, then the button's row.
    const ImGuiStyle& style = ImGui::GetStyle();
    const float top = options->Pos.y + options->TitleBarHeight() + style.WindowPadding.y;
    const float row = ImGui::GetFrameHeight() + style.ItemSpacing.y;
    const float textRow = ImGui::GetFontSize() + style.ItemSpacing.y;
    const ImVec2 button(options->Pos.x + style.WindowPadding.x + 10,
                        top + textRow + row * 4 + ImGui::GetFrameHeight() * 0.5f);
    MouseTo(button);
    Frame();
    ASSERT_EQ(ImGui::GetCurrentContext()->HoveredId, ImHashStr("Reset", 0, options->ID));
    Click(button);
    EXPECT_EQ(std::memcmp(&BrushParameters, &InitialBrushParameters, sizeof BrushParameters), 0)
        << BrushParameters.Opacity << " " << BrushParameters.StrokeCoeff << " " << BrushParameters.BackgroundCoeff;
    EXPECT_EQ(BrushParameters.StrokeCoeff, 0.33333334f);
    EXPECT_TRUE(ShowOptions) << "the window stays";
}

}  // namespace
