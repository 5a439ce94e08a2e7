// An import while its file decodes, through the real DrawUI: the indicator, the frame in which
// the picture arrives, the ways to give up on it, a second import replacing the first, and the
// notice taking the reason from the import's outcome.
#include <string>

#include "ui/import_command.h"
#include "ui/import_notice.h"
#include "ui/loading_indicator.h"
#include "ui/ui_state.h"
#include "ui_harness.h"

namespace {

class Loading : public UITest {
protected:
    // Chooses `path` through Ctrl + O (one frame with the pair down, one with it up).
    void ImportByKeyboard(const std::string& path) {
        Fake.Answer = NFD_RESULT_OK;
        Fake.ChosenPath = path;
        Key(SDL_SCANCODE_LCTRL, true);
        Key(SDL_SCANCODE_O, true);
        Frame();
        Key(SDL_SCANCODE_O, false);
        Key(SDL_SCANCODE_LCTRL, false);
        Frame();
    }
    static ImGuiWindow* Indicator() {
        ImGuiWindow* window = WindowNamed(LoadingIndicatorName);
        return window && window->Active ? window : nullptr;
    }
    static bool OptionsShownThisFrame() {
        ImGuiWindow* options = WindowNamed("Brush Filter - Options");
        return options && options->LastFrameActive == ImGui::GetFrameCount();
    }
};

TEST_F(Loading, TheIndicatorShowsUntilTheAnswerAndThePictureArrivesInThatFrame) {
    Fake.HoldAnswer = true;
    ImportByKeyboard("/pictures/coffee.jpg");
    Frames(3);
    EXPECT_EQ(Log(), "[Info]: Loading diffuse texture: /pictures/coffee.jpg\n") << "the line comes when it starts";
    ASSERT_NE(Indicator(), nullptr);
    EXPECT_STREQ(ImportInProgress(), "/pictures/coffee.jpg");
    EXPECT_FALSE(ShowOptions);
    EXPECT_FALSE(OptionsShownThisFrame());
    // The window is live meanwhile: V still toggles the Options window.
    Key(SDL_SCANCODE_V, true);
    Frame();
    Key(SDL_SCANCODE_V, false);
    Frame();
    EXPECT_TRUE(ShowOptions);
    Key(SDL_SCANCODE_V, true);
    Frame();
    Key(SDL_SCANCODE_V, false);
    Frame();
    EXPECT_FALSE(ShowOptions);

    Fake.HoldAnswer = false;
    Frame();
    EXPECT_TRUE(ShowOptions);
    EXPECT_TRUE(OptionsShownThisFrame()) << "the picture and the Options window arrive in the same frame";
    EXPECT_EQ(Indicator(), nullptr);
    EXPECT_EQ(ImportInProgress(), nullptr);
    EXPECT_EQ(Fake.Cancels, 0);
    EXPECT_STREQ(ImportNoticeText(), "");
    EXPECT_EQ(Log(), "[Info]: Loading diffuse texture: /pictures/coffee.jpg\n");
}

TEST_F(Loading, EscapeOrCancelEndsTheImportAndNothingArrives) {
    Fake.HoldAnswer = true;
    ImportByKeyboard("/pictures/coffee.jpg");
    Frame();
    Key(SDL_SCANCODE_ESCAPE, true);
    Frame();
    Key(SDL_SCANCODE_ESCAPE, false);
    Frame();
    EXPECT_EQ(Fake.Cancels, 1);
    EXPECT_EQ(Indicator(), nullptr);
    EXPECT_EQ(ImportInProgress(), nullptr);
    EXPECT_FALSE(ShowOptions);
    EXPECT_STREQ(ImportNoticeText(), "");

    ImportByKeyboard("/pictures/tea.jpg");
    Frame();
    ImGuiWindow* indicator = Indicator();
    ASSERT_NE(indicator, nullptr);
    // The Cancel button closes the strip on the right.
    const ImGuiStyle& style = ImGui::GetStyle();
    const float buttonWidth = ImGui::CalcTextSize("Cancel").x + style.FramePadding.x * 2;
    Click(ImVec2(indicator->Pos.x + indicator->Size.x - style.WindowPadding.x - buttonWidth * 0.5f,
                 indicator->Pos.y + indicator->Size.y * 0.5f));
    Frame();
    EXPECT_EQ(Fake.Cancels, 2);
    EXPECT_EQ(Indicator(), nullptr);
    Fake.HoldAnswer = false;
    Frames(2);
    EXPECT_FALSE(ShowOptions) << "a cancelled picture never arrives";
}

TEST_F(Loading, EscapeWithAMenuOpenOnlyClosesTheMenu) {
    Fake.HoldAnswer = true;
    ImportByKeyboard("/pictures/coffee.jpg");
    OpenMenu("View");
    Key(SDL_SCANCODE_ESCAPE, true);
    Frame();
    Key(SDL_SCANCODE_ESCAPE, false);
    Frame();
    EXPECT_EQ(Fake.Cancels, 0);
    EXPECT_NE(Indicator(), nullptr);
}

TEST_F(Loading, ASecondImportReplacesTheFirst) {
    Fake.HoldAnswer = true;
    ImportByKeyboard("/pictures/coffee.jpg");
    Frame();
    Fake.ChosenPath = "/papers/rough.jpg";
    OpenMenu("File");
    Click(MenuRow(1));
    EXPECT_EQ(Fake.Cancels, 1);
    ASSERT_EQ(Fake.Loads.size(), 2u);
    EXPECT_FALSE(Fake.Loads[1].Diffuse);
    EXPECT_STREQ(ImportInProgress(), "/papers/rough.jpg");
    EXPECT_EQ(Log(),
              "[Info]: Loading diffuse texture: /pictures/coffee.jpg\n"
              "[Info]: Loading filter texture: /papers/rough.jpg\n");
    Fake.HoldAnswer = false;
    Frame();
    EXPECT_EQ(ImportInProgress(), nullptr);
    EXPECT_FALSE(ShowOptions) << "the paper arrived, the picture never did";
}

// The notice's reason is the import's own outcome, whatever the path holds; the name it shows
// cannot break its lines.
TEST_F(Loading, FailuresNameTheFileWithTheOutcomesReason) {
    Fake.StartFailure = "it is a named pipe, not a file";
    ImportByKeyboard("/tmp/x.png");
    EXPECT_EQ(Indicator(), nullptr);
    EXPECT_EQ(std::string(ImportNoticeText()),
              "The picture \"x.png\" could not be loaded.\nit is a named pipe, not a file");
    // Dismissed with its OK button, at the bottom of the notice.
    ImGuiWindow* notice = WindowNamed("Import failed");
    ASSERT_NE(notice, nullptr);
    const ImGuiStyle& style = ImGui::GetStyle();
    Click(ImVec2(notice->Pos.x + style.WindowPadding.x + 10,
                 notice->Pos.y + notice->Size.y - style.WindowPadding.y - ImGui::GetFrameHeight() * 0.5f));
    Frame();
    ASSERT_STREQ(ImportNoticeText(), "");

    Fake.StartFailure.clear();
    Fake.LoadFailure = "the file is damaged or cut short (PNG: outofdata)";
    Fake.HoldAnswer = true;
    ImportPaperFile("/home/ann/two\nlines: a.png");
    Frames(2);
    EXPECT_STREQ(ImportNoticeText(), "");
    Fake.HoldAnswer = false;
    Frame();
    EXPECT_EQ(std::string(ImportNoticeText()),
              "The paper \"two?lines: a.png\" could not be loaded.\nthe file is damaged or cut short (PNG: outofdata)");
    EXPECT_EQ(Log(),
              "[Info]: Loading diffuse texture: /tmp/x.png\n"
              "[Info]: Loading filter texture: /home/ann/two?lines: a.png\n");
}

}  // namespace
