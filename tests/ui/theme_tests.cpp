// The theme's colours and the interface font, on a fresh UI context each.
#include <cstring>

#include <gtest/gtest.h>
#include <imgui.h>

#include "render/embedded_assets.h"
#include "ui/theme.h"

namespace {

class Theme : public ::testing::Test {
protected:
    void SetUp() override {
        ImGui::CreateContext();
        Defaults = ImGui::GetStyle();  // the library's own (dark) colours
    }
    void TearDown() override { ImGui::DestroyContext(); }
    ImVec4 Colour(ImGuiCol index) const { return ImGui::GetStyle().Colors[index]; }
    ImGuiStyle Defaults;
};

void ExpectColour(ImVec4 actual, float r, float g, float b, float a, const char* name) {
    const float tolerance = 0.002f;
    EXPECT_NEAR(actual.x, r, tolerance) << name;
    EXPECT_NEAR(actual.y, g, tolerance) << name;
    EXPECT_NEAR(actual.z, b, tolerance) << name;
    EXPECT_NEAR(actual.w, a, tolerance) << name;
}

TEST_F(Theme, DarkMirrorsTheGreysKeepsTheAccentsAndFadesTranslucentColours) {
    SetupUIStyle(true, 1.0f / 3);
    const ImGuiStyle& style = ImGui::GetStyle();
    EXPECT_EQ(style.Alpha, 1.0f);
    EXPECT_EQ(style.FrameRounding, 3.0f);
    EXPECT_EQ(style.WindowRounding, Defaults.WindowRounding);

    ExpectColour(Colour(ImGuiCol_Text), 1, 1, 1, 1, "Text");
    ExpectColour(Colour(ImGuiCol_WindowBg), 0.06f, 0.06f, 0.06f, 0.94f / 3, "WindowBg");
    ExpectColour(Colour(ImGuiCol_PopupBg), 0, 0, 0, 0.94f / 3, "PopupBg");
    ExpectColour(Colour(ImGuiCol_Border), 1, 1, 1, 0.39f / 3, "Border");
    ExpectColour(Colour(ImGuiCol_MenuBarBg), 0.14f, 0.14f, 0.14f, 1, "MenuBarBg");
    ExpectColour(Colour(ImGuiCol_TitleBgActive), 0.18f, 0.18f, 0.18f, 1, "TitleBgActive");
    ExpectColour(Colour(ImGuiCol_ModalWindowDimBg), 0.8f, 0.8f, 0.8f, 0.35f / 3, "ModalWindowDimBg");
    // Accents keep red, green and blue exactly enough to see; their alpha fades when translucent.
    ExpectColour(Colour(ImGuiCol_FrameBgHovered), 0.26f, 0.59f, 0.98f, 0.40f / 3, "FrameBgHovered");
    ExpectColour(Colour(ImGuiCol_SliderGrab), 0.24f, 0.52f, 0.88f, 1, "SliderGrab");
    ExpectColour(Colour(ImGuiCol_PlotHistogram), 0.90f, 0.70f, 0.00f, 1, "PlotHistogram");
    // Colours left at the library's values still go through the pass.
    ExpectColour(Colour(ImGuiCol_ScrollbarGrabHovered), 0.59f, 0.59f, 0.59f, 1, "ScrollbarGrabHovered");
    ExpectColour(Colour(ImGuiCol_NavWindowingHighlight), 0, 0, 0, 0.7f / 3, "NavWindowingHighlight");
    ExpectColour(Colour(ImGuiCol_DragDropTarget), 1, 1, 0, 0.9f / 3, "DragDropTarget");
    // Opaque colours are never faded: exactly 1.
    EXPECT_EQ(Colour(ImGuiCol_Text).w, 1.0f);
    EXPECT_EQ(Colour(ImGuiCol_NavHighlight).w, 1.0f);

    // Colours the theme does not name keep the library's defaults untouched.
    for (ImGuiCol index :
         {ImGuiCol_Tab, ImGuiCol_TabHovered, ImGuiCol_TabActive, ImGuiCol_TabUnfocused, ImGuiCol_TabUnfocusedActive,
          ImGuiCol_TableHeaderBg, ImGuiCol_TableBorderStrong, ImGuiCol_TableBorderLight, ImGuiCol_TableRowBg,
          ImGuiCol_TableRowBgAlt, ImGuiCol_NavWindowingDimBg}) {
        const ImVec4 c = Colour(index), d = Defaults.Colors[index];
        EXPECT_TRUE(c.x == d.x && c.y == d.y && c.z == d.z && c.w == d.w) << ImGui::GetStyleColorName(index);
    }
}

TEST_F(Theme, LightFadesTranslucentColoursTowardsTransparentBlack) {
    SetupUIStyle(false, 1.0f / 3);
    ExpectColour(Colour(ImGuiCol_Text), 0, 0, 0, 1, "Text");
    ExpectColour(Colour(ImGuiCol_WindowBg), 0.94f / 3, 0.94f / 3, 0.94f / 3, 0.94f / 3, "WindowBg");
    ExpectColour(Colour(ImGuiCol_MenuBarBg), 0.86f, 0.86f, 0.86f, 1, "MenuBarBg");
    ExpectColour(Colour(ImGuiCol_Button), 0.26f / 3, 0.59f / 3, 0.98f / 3, 0.40f / 3, "Button");
    ExpectColour(Colour(ImGuiCol_ScrollbarGrabHovered), 0.41f, 0.41f, 0.41f, 1, "ScrollbarGrabHovered");
}

TEST_F(Theme, FontIsTheEmbeddedOneAt21PixelsAndTheContextCanGo) {
    LoadUIFont();
    ImFontAtlas* atlas = ImGui::GetIO().Fonts;
    ASSERT_EQ(atlas->Fonts.Size, 1);
    ASSERT_EQ(atlas->ConfigData.Size, 1);
    EXPECT_EQ(atlas->ConfigData[0].SizePixels, 21.0f);
    ASSERT_EQ(atlas->ConfigData[0].FontDataSize, UIFontDataSize);
    EXPECT_EQ(std::memcmp(atlas->ConfigData[0].FontData, UIFontData, UIFontDataSize), 0);
    unsigned char* pixels = nullptr;
    int width = 0, height = 0;
    atlas->GetTexDataAsRGBA32(&pixels, &width, &height);
    ASSERT_TRUE(atlas->IsBuilt());
    ImFont* font = atlas->Fonts[0];
    EXPECT_EQ(font->FontSize, 21.0f);
    EXPECT_NE(font->FindGlyphNoFallback('A'), nullptr);
    EXPECT_NE(font->FindGlyphNoFallback(0xE9), nullptr) << "Latin-1 names show";
    // TearDown destroys the context: the atlas must leave the static font bytes alone.
}

}  // namespace
