// Edit > Undo and Redo through the real DrawUI: what makes a step (a drag, a typed value, Reset, a
// paper), what clears them (a picture), the items' greying and the shortcuts; the T key; the
// About window.
#include <algorithm>
#include <string>

#include "render/brush_filter.h"
#include "render/texture_slots.h"
#include "ui/about_window.h"
#include "ui/edit_commands.h"
#include "ui/embedded_texts.h"
#include "ui/import_command.h"
#include "ui/ui_state.h"
#include "ui_harness.h"

namespace {

class Edits : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        ShowOptions = true;
        Frames(3);
    }
    // The centre of row `row` of the Options window under its Look selector: 0 to 2 the sliders,
    // 3 the Reset button; x `across` pixels into the row.
    static ImVec2 OptionsRow(int row, float across = 10) {
        ImGuiWindow* options = WindowNamed("Brush Filter - Options");
        if (!options) return ImVec2(-1, -1);
        const ImGuiStyle& style = ImGui::GetStyle();
        const float top = options->Pos.y + options->TitleBarHeight() + style.WindowPadding.y;
        const float pitch = ImGui::GetFrameHeight() + style.ItemSpacing.y;
        const float textRow = ImGui::GetFontSize() + style.ItemSpacing.y;
        return ImVec2(options->Pos.x + style.WindowPadding.x + across,
                      top + textRow + pitch * (row + 1) + ImGui::GetFrameHeight() * 0.5f);
    }
    // Drags the opacity slider from near its left end to `across` pixels in, over several frames.
    void DragOpacity(float across) {
        MouseTo(OptionsRow(0, 2));
        Frame();
        MouseButton(true);
        for (float x = 2; x < across; x += 15) {
            MouseTo(OptionsRow(0, x));
            Frame();
        }
        MouseTo(OptionsRow(0, across));
        Frame();
        MouseButton(false);
        Frame();
    }
    void Press(std::initializer_list<SDL_Scancode> keys) {
        for (SDL_Scancode key : keys) Key(key, true);
        Frame();
        for (SDL_Scancode key : keys) Key(key, false);
        Frame();
    }
    void ImportPaper(const char* path) {
        Fake.Answer = NFD_RESULT_OK;
        Fake.ChosenPath = path;
        OpenMenu("File");
        Click(MenuRow(1));
        Frame();
    }
    bool Deleted(unsigned texture) const {
        return std::count(Fake.DeletedTextures.begin(), Fake.DeletedTextures.end(), texture) > 0;
    }
};

class TKey : public UITest {};
class About : public UITest {};

TEST_F(Edits, ADragIsOneStepAndTheMenuItemsGreyOutWithNothingToDo) {
    OpenMenu("Edit");
    EXPECT_FALSE(MenuRowIsEnabled(0, "Undo"));
    EXPECT_FALSE(MenuRowIsEnabled(1, "Redo"));
    Click(ImVec2(700, 500));  // closes the menu

    DragOpacity(120);
    const float dragged = BrushParameters.Opacity;
    ASSERT_LT(dragged, 0.9f) << "the drag moved the slider";
    OpenMenu("Edit");
    EXPECT_TRUE(MenuRowIsEnabled(0, "Undo"));
    EXPECT_FALSE(MenuRowIsEnabled(1, "Redo"));
    Click(MenuRow(0));
    EXPECT_EQ(BrushParameters.Opacity, 1.0f) << "the whole drag, undone at once, to before its first frame";
    OpenMenu("Edit");
    EXPECT_FALSE(MenuRowIsEnabled(0, "Undo")) << "one step, not one per frame";
    EXPECT_TRUE(MenuRowIsEnabled(1, "Redo"));
    Click(MenuRow(1));
    EXPECT_EQ(BrushParameters.Opacity, dragged);
}

TEST_F(Edits, ATypedValueIsOneStepAndTheKeysTypedIntoItAreNotShortcuts) {
    ImGui::GetIO().KeyCtrl = true;  // Ctrl + click: type a value
    Click(OptionsRow(1));
    ImGui::GetIO().KeyCtrl = false;
    ASSERT_TRUE(ImGui::GetIO().WantTextInput) << "the slider takes text";
    for (const char* c = "0.25"; *c; ++c) ImGui::GetIO().AddInputCharacter(*c);
    Frame();
    Press({SDL_SCANCODE_T});
    EXPECT_FALSE(ShowTextures) << "a T typed is not the shortcut";
    Press({SDL_SCANCODE_LCTRL, SDL_SCANCODE_Z});
    EXPECT_EQ(BrushParameters.StrokeCoeff, 0.25f) << "the field's own undo, not ours";
    Click(ImVec2(700, 500));  // away: the value is taken
    EXPECT_EQ(BrushParameters.StrokeCoeff, 0.25f);

    Press({SDL_SCANCODE_LCTRL, SDL_SCANCODE_Z});
    EXPECT_EQ(BrushParameters.StrokeCoeff, 1.0f / 3);
    Press({SDL_SCANCODE_LCTRL, SDL_SCANCODE_Z});
    EXPECT_EQ(BrushParameters.StrokeCoeff, 1.0f / 3) << "one step";
}

TEST_F(Edits, ResetAndAPaperImportUndoAndRedoAndANewPictureClearsThem) {
    DragOpacity(120);
    const float dragged = BrushParameters.Opacity;
    Click(OptionsRow(3));
    ASSERT_EQ(BrushParameters.Opacity, 1.0f) << "Reset";
    ImportPaper("/papers/rough.jpg");
    const unsigned rough = FilterTexture;
    ASSERT_NE(rough, 0u);
    ImportPaper("/papers/laid.jpg");
    const unsigned laid = FilterTexture;
    ASSERT_NE(laid, rough);
    EXPECT_FALSE(Deleted(rough)) << "kept for Undo";

    Press({SDL_SCANCODE_LCTRL, SDL_SCANCODE_Z});
    EXPECT_EQ(FilterTexture, rough);
    EXPECT_EQ(FilterWidth, 64);
    Press({SDL_SCANCODE_LCTRL, SDL_SCANCODE_Z});
    EXPECT_EQ(FilterTexture, 0u) << "the paper before the imports (none in these tests)";
    Press({SDL_SCANCODE_LCTRL, SDL_SCANCODE_Z});
    EXPECT_EQ(BrushParameters.Opacity, dragged) << "Reset undone";
    Press({SDL_SCANCODE_LCTRL, SDL_SCANCODE_Y});
    EXPECT_EQ(BrushParameters.Opacity, 1.0f) << "Reset again";
    Press({SDL_SCANCODE_LCTRL, SDL_SCANCODE_LSHIFT, SDL_SCANCODE_Z});
    EXPECT_EQ(FilterTexture, rough);
    EXPECT_FALSE(Deleted(laid)) << "laid can still be redone";

    // A picture: the history goes, and with it the papers only it kept.
    Fake.ChosenPath = "/pictures/cat.png";
    Press({SDL_SCANCODE_LCTRL, SDL_SCANCODE_O});
    Frame();
    EXPECT_TRUE(Deleted(laid));
    EXPECT_FALSE(Deleted(rough)) << "in use";
    OpenMenu("Edit");
    EXPECT_FALSE(MenuRowIsEnabled(0, "Undo"));
    EXPECT_FALSE(MenuRowIsEnabled(1, "Redo"));
}

TEST_F(Edits, APaperThatDoesNotArriveIsNoStepAndKeepsNothing) {
    ImportPaper("/papers/rough.jpg");
    const unsigned rough = FilterTexture;
    Fake.HoldAnswer = true;
    ImportPaper("/papers/slow.jpg");
    Key(SDL_SCANCODE_ESCAPE, true);
    Frame();
    Key(SDL_SCANCODE_ESCAPE, false);
    Frame();
    ASSERT_EQ(ImportInProgress(), nullptr) << "given up on";
    Fake.HoldAnswer = false;
    Fake.LoadFailure = "unknown image type";
    ImportPaperFile("/papers/broken.jpg");  // as a drop does
    Frame();
    ASSERT_EQ(FilterTexture, rough);

    Press({SDL_SCANCODE_LCTRL, SDL_SCANCODE_Z});
    EXPECT_EQ(FilterTexture, 0u) << "straight back to before rough";
    EXPECT_FALSE(CanUndoEdit());
    EXPECT_FALSE(Deleted(rough)) << "it can be redone";
    // Without its step nothing keeps rough: the imports that never arrived held it no longer.
    ForgetEdits();
    EXPECT_TRUE(Deleted(rough));
}

TEST_F(Edits, ShortcutsActOncePerPressWithLeftCtrlOnlyAndNotWithTheEditMenuOpen) {
    for (float across : {60.0f, 120.0f, 180.0f}) DragOpacity(across);
    const float last = BrushParameters.Opacity;
    ASSERT_LT(last, 0.9f);
    Key(SDL_SCANCODE_LCTRL, true);
    Key(SDL_SCANCODE_Z, true);
    Frames(4);
    Key(SDL_SCANCODE_Z, false);
    Key(SDL_SCANCODE_LCTRL, false);
    Frame();
    Press({SDL_SCANCODE_LCTRL, SDL_SCANCODE_Y});
    EXPECT_EQ(BrushParameters.Opacity, last) << "held keys undo once";

    Press({SDL_SCANCODE_RCTRL, SDL_SCANCODE_Z});
    EXPECT_EQ(BrushParameters.Opacity, last) << "right Ctrl does nothing";

    OpenMenu("Edit");
    Press({SDL_SCANCODE_LCTRL, SDL_SCANCODE_Z});
    EXPECT_EQ(BrushParameters.Opacity, last) << "the menu is open";
}

TEST_F(TKey, TogglesTheTexturesWindowOnReleaseAsVDoesTheOptions) {
    Key(SDL_SCANCODE_T, true);
    Frames(3);
    EXPECT_FALSE(ShowTextures) << "held";
    Key(SDL_SCANCODE_T, false);
    Frame();
    EXPECT_TRUE(ShowTextures);
    EXPECT_FALSE(ShowOptions);

    // With the View menu open, one release toggles once, also with the item clicked.
    OpenMenu("View");
    ASSERT_TRUE(MenuRowIs(1, "Hide Textures"));
    Key(SDL_SCANCODE_T, true);
    MouseButton(true);
    Frame();
    Key(SDL_SCANCODE_T, false);
    MouseButton(false);
    Frame();
    EXPECT_FALSE(ShowTextures);
}

TEST_F(About, TheItemOpensTheWindowWithTheVersionLicenceAndEveryNotice) {
    OpenMenu("About");
    Click(MenuRow(0));
    Frame();
    ASSERT_TRUE(ShowAbout);
    ImGuiWindow* about = WindowNamed(AboutWindowTitle);
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->Active);
    EXPECT_GT(about->Size.x, 20 * ImGui::GetFontSize());

    const std::string licence(reinterpret_cast<const char*>(LicenseText), LicenseTextSize);
    EXPECT_NE(licence.find("MIT License"), std::string::npos);
    EXPECT_NE(licence.find("Copyright (c) 2026 The Vellumry developers"), std::string::npos);
    // Each linked library by name and version, with its licence's own words.
    const std::string notices(reinterpret_cast<const char*>(ThirdPartyNoticesText), ThirdPartyNoticesTextSize);
    for (const char* expected :
         {"SDL2 2.", "Dear ImGui 1.86", "stb_image ", "libpng 1.6", "zlib 1.", "libjpeg-turbo 2.", "Roboto ",
          "Omar Cornut", "Sam Lantinga", "Jean-loup Gailly", "Permission is hereby granted", "Apache License"})
        EXPECT_NE(notices.find(expected), std::string::npos) << expected;

    // Closed with its close button, at the title bar's right.
    const ImVec2 close(about->Pos.x + about->Size.x - ImGui::GetStyle().FramePadding.x - ImGui::GetFontSize() * 0.5f,
                       about->Pos.y + about->TitleBarHeight() * 0.5f);
    Click(close);
    EXPECT_FALSE(ShowAbout);
}

}  // namespace
