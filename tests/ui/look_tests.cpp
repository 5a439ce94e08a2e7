// The Options window's looks: choosing one sets the sliders and the paper as if by hand, saving
// asks for a name and before replacing, deleting removes the file; a look whose paper has gone
// and a file that cannot be used. The looks folder is the harness's private one.
#include <stdlib.h>

#include <fstream>

#include "render/brush_filter.h"
#include "settings/look_file.h"
#include "ui/import_notice.h"
#include "ui/look_picker.h"
#include "ui/ui_state.h"
#include "ui_harness.h"

namespace {

class Looks : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        ShowOptions = true;
        Frames(2);
    }

    ImGuiWindow* Options() { return WindowNamed("Brush Filter - Options"); }

    // The selector's row: under the title bar and the text.
    ImVec2 Selector() {
        const ImGuiStyle& style = ImGui::GetStyle();
        ImGuiWindow* options = Options();
        return ImVec2(options->Pos.x + style.WindowPadding.x + 10,
                      options->Pos.y + options->TitleBarHeight() + style.WindowPadding.y + ImGui::GetFontSize() +
                          style.ItemSpacing.y + ImGui::GetFrameHeight() * 0.5f);
    }

    // The buttons' row under the sliders: "Reset", "Save Look...", "Delete".
    ImVec2 Button(int index) {
        const ImGuiStyle& style = ImGui::GetStyle();
        ImGuiWindow* options = Options();
        const float row = ImGui::GetFrameHeight() + style.ItemSpacing.y;
        float x = options->Pos.x + style.WindowPadding.x;
        const char* labels[] = {"Reset", "Save Look...", "Delete"};
        for (int i = 0; i < index; ++i)
            x += ImGui::CalcTextSize(labels[i]).x + style.FramePadding.x * 2 + style.ItemSpacing.x;
        return ImVec2(x + 5, Selector().y + row * 4);
    }

    // Opens the selector and clicks its row `row` (from 0: the built-in looks, then the user's).
    void Choose(int row) {
        Click(Selector());
        Frame();
        ImGuiWindow* list = WindowNamed("##Combo_00");
        ASSERT_TRUE(list && list->Active) << "the list did not open";
        const ImGuiStyle& style = ImGui::GetStyle();
        const float pitch = ImGui::GetFontSize() + style.ItemSpacing.y;
        // The separator between the built-in and the user's looks takes one item spacing.
        const float separator = row >= BuiltInLookCount() ? style.ItemSpacing.y + 1 : 0.0f;
        Click(ImVec2(list->Pos.x + style.WindowPadding.x + 10,
                     list->Pos.y + style.WindowPadding.y + pitch * row + separator + ImGui::GetFontSize() * 0.5f));
    }

    // "Save Look...", the name typed, "Save".
    void SaveAs(const char* name) {
        Click(Button(1));
        Frame();
        ASSERT_TRUE(Shown(SaveLookTitle));
        ImGui::GetIO().AddInputCharactersUTF8(name);
        Frames(2);
        Click(PopupButton(SaveLookTitle, 0));
        Frame();
    }

    std::string LooksFolder() { return ConfigHome + "/vellumry/looks"; }

    void Write(const std::string& path, const std::string& text) {
        system(("mkdir -p '" + LooksFolder() + "'").c_str());
        std::ofstream(path) << text;
    }
};

TEST_F(Looks, ChoosingABuiltInLookSetsTheSlidersAndKeepsTheBuiltInPaper) {
    Choose(2);
    const Look& chosen = BuiltInLook(2);
    EXPECT_EQ(BrushParameters.Opacity, chosen.Opacity);
    EXPECT_EQ(BrushParameters.StrokeCoeff, chosen.Stroke);
    EXPECT_EQ(BrushParameters.BackgroundCoeff, chosen.Intensity);
    EXPECT_EQ(Log(), "[Info]: Using look: " + chosen.Name + "\n");
    EXPECT_TRUE(Fake.Loads.empty() && Fake.PaperLoads.empty()) << "the built-in paper is in use already";
    EXPECT_EQ(LookInUse().Name, chosen.Name);
}

TEST_F(Looks, SaveListChooseReplaceAndDelete) {
    // A paper of the user's and the sliders moved: both go into the look.
    NotePaperInUse("/papers/laid.jpg");
    BrushParameters = BrushProperties{0.25f, 0.5f, 0.75f};
    SaveAs("Fog");
    EXPECT_FALSE(Shown(SaveLookTitle));
    const std::string path = LooksFolder() + "/Fog.json";
    EXPECT_EQ(Log(), "[Info]: Saved look: " + path + "\n");
    LookOutcome saved = ReadLookFile(path);
    ASSERT_TRUE(saved.Done) << saved.Reason;
    EXPECT_EQ(saved.Value.Opacity, 0.25f);
    EXPECT_EQ(saved.Value.Intensity, 0.75f);
    EXPECT_EQ(saved.Value.PaperPath, "/papers/laid.jpg");

    // Chosen back after the built-in Default (which also brings the built-in paper back): its
    // paper is imported as File > Import Filter would.
    Choose(0);
    EXPECT_EQ(Fake.PaperLoads, std::vector<std::string>{"(built-in)"});
    const std::string paper = ConfigHome + "/laid.jpg";
    std::ofstream(paper) << "a paper";
    saved.Value.PaperPath = paper;
    std::string reason;
    ASSERT_TRUE(WriteLookFile(path, saved.Value, &reason)) << reason;
    Choose(BuiltInLookCount());
    EXPECT_EQ(BrushParameters.Opacity, 0.25f);
    ASSERT_EQ(Fake.Loads.size(), 1u);
    EXPECT_EQ(Fake.Loads[0].Path, paper);
    EXPECT_FALSE(Fake.Loads[0].Diffuse);

    // Saving again offers the chosen look's name and asks before replacing it; Cancel writes
    // nothing, Replace writes.
    BrushParameters.Opacity = 0.5f;
    SaveAs("");
    ASSERT_TRUE(Shown(ReplaceLookTitle));
    Click(PopupButton(ReplaceLookTitle, 1));
    Frame();  // a popup closed in a frame goes in the next
    EXPECT_FALSE(Shown(ReplaceLookTitle));
    EXPECT_EQ(ReadLookFile(path).Value.Opacity, 0.25f);
    SaveAs("");
    Click(PopupButton(ReplaceLookTitle, 0));
    EXPECT_EQ(ReadLookFile(path).Value.Opacity, 0.5f);

    // Delete: the file goes, the sliders keep its values, the selector says "Custom".
    Click(Button(2));
    EXPECT_NE(Log().find("[Info]: Deleted look: " + path + "\n"), std::string::npos);
    EXPECT_FALSE(std::ifstream(path).good());
    EXPECT_EQ(BrushParameters.Opacity, 0.5f);
    EXPECT_EQ(LookInUse().Name, "");
    // With no look chosen the name starts empty; a built-in look's name is refused in the
    // dialog, which stays open until cancelled (Escape).
    SaveAs("Default");
    EXPECT_TRUE(Shown(SaveLookTitle));
    ImGuiIO& io = ImGui::GetIO();
    io.KeyMap[ImGuiKey_Escape] = SDL_SCANCODE_ESCAPE;
    io.KeysDown[SDL_SCANCODE_ESCAPE] = true;
    Frame();
    io.KeysDown[SDL_SCANCODE_ESCAPE] = false;
    Frames(2);
    EXPECT_FALSE(Shown(SaveLookTitle));
    EXPECT_EQ(LookInUse().Name, "");
}

TEST_F(Looks, ALookWhosePaperHasGoneGetsTheBuiltInPaperAndANotice) {
    NotePaperInUse("/papers/laid.jpg");
    Write(LooksFolder() + "/Gone.json",
          R"({"vellumry-look": 1, "opacity": 0.4, "stroke": 0.6, "intensity": 0.8, "paper": "/nowhere/laid.jpg"})");
    Choose(BuiltInLookCount());
    EXPECT_EQ(BrushParameters.BackgroundCoeff, 0.8f);
    EXPECT_TRUE(Fake.Loads.empty());
    EXPECT_EQ(Fake.PaperLoads, std::vector<std::string>{"(built-in)"});
    EXPECT_EQ(std::string(ImportNoticeText()),
              "The look's paper \"laid.jpg\" is no longer there.\nThe built-in paper is used instead.");
    EXPECT_EQ(LookInUse().PaperPath, "");
}

TEST_F(Looks, AnUnusableFileIsListedButCannotBeChosen) {
    Write(LooksFolder() + "/Broken.json", "{ not json");
    BrushParameters = BrushProperties{0.1f, 0.2f, 0.3f};
    Choose(BuiltInLookCount());
    EXPECT_EQ(BrushParameters.Opacity, 0.1f) << "nothing chosen";
    EXPECT_EQ(Log(), "");
    ASSERT_NE(ImGui::GetCurrentContext()->HoveredIdDisabled, false) << "the row is there, greyed";
}

}  // namespace
