// The menu bar, the V and Ctrl + O shortcuts and the import commands, through the real DrawUI.
#include <cstdlib>
#include <string>

#include "base/file_name.h"
#include "ui/import_notice.h"
#include "ui/ui_state.h"
#include "ui_harness.h"

namespace {

class MenuBar : public UITest {};
class Shortcuts : public UITest {};
class Imports : public UITest {};

TEST_F(MenuBar, FirstFramesShowOnlyTheBarAndTheViewItemsFollowTheFlags) {
    Frame();
    EXPECT_EQ(OpenMenuWindow(), nullptr);
    EXPECT_EQ(WindowNamed("Brush Filter - Options"), nullptr);
    EXPECT_EQ(WindowNamed("Textures"), nullptr);
    EXPECT_GT(MenuBarHeight(), 21.0f) << "the bar fits the 21 px font";

    OpenMenu("View");
    EXPECT_TRUE(MenuRowIs(0, "Show Options"));
    EXPECT_TRUE(MenuRowIs(1, "Show Textures"));

    // Activating the items toggles the flags and the labels follow, Options from Textures apart.
    Click(MenuRow(0));
    EXPECT_TRUE(ShowOptions);
    EXPECT_FALSE(ShowTextures);
    OpenMenu("View");
    EXPECT_TRUE(MenuRowIs(0, "Hide Options"));
    EXPECT_TRUE(MenuRowIs(1, "Show Textures"));
    Click(MenuRow(1));
    EXPECT_TRUE(ShowOptions);
    EXPECT_TRUE(ShowTextures);
    OpenMenu("View");
    EXPECT_TRUE(MenuRowIs(1, "Hide Textures"));
    Click(MenuRow(1));
    EXPECT_FALSE(ShowTextures);
}

TEST_F(MenuBar, FileAndAboutItemsInOrder) {
    OpenMenu("File");
    EXPECT_TRUE(MenuRowIs(0, "Import Texture"));
    EXPECT_TRUE(MenuRowIs(1, "Import Filter"));
    EXPECT_TRUE(MenuRowIs(2, "Export Picture..."));
    EXPECT_FALSE(MenuRowIsEnabled(2, "Export Picture...")) << "greyed out: no picture yet";
    EXPECT_TRUE(MenuRowIs(3, "Open Recent"));
    EXPECT_FALSE(MenuRowIsEnabled(3, "Open Recent")) << "greyed out: no recent picture yet";
    EXPECT_TRUE(MenuRowIs(4, "Exit"));
    OpenMenu("About");
    EXPECT_TRUE(MenuRowIs(0, "About Vellumry"));
    EXPECT_TRUE(MenuRowIs(1, "Author's blog"));
    Click(MenuRow(1));
    Frame();
    EXPECT_EQ(OpenMenuWindow(), nullptr) << "the item only closes the menu";
    EXPECT_FALSE(ShowOptions);
    EXPECT_FALSE(ShowTextures);
    EXPECT_EQ(Fake.ChooserCalls, 0);
}

TEST_F(MenuBar, ExitEndsTheProcessWithStatusZero) {
    EXPECT_EXIT(
        {
            OpenMenu("File");
            Click(MenuRow(4));
            std::_Exit(3);  // not reached when Exit works
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(Shortcuts, VActsOnReleaseOnlyAndNeverOnTextures) {
    Key(SDL_SCANCODE_V, true);
    Frames(5);
    EXPECT_FALSE(ShowOptions) << "holding V changes nothing";
    Key(SDL_SCANCODE_V, false);
    Frame();
    EXPECT_TRUE(ShowOptions) << "the release toggles";
    Frames(3);
    EXPECT_TRUE(ShowOptions) << "once";

    Key(SDL_SCANCODE_V, true);
    Frame();
    Key(SDL_SCANCODE_V, false);
    Frame();
    EXPECT_FALSE(ShowOptions);
    EXPECT_FALSE(ShowTextures);

    // A press and release between two readings is not seen.
    Key(SDL_SCANCODE_V, true);
    Key(SDL_SCANCODE_V, false);
    Frames(2);
    EXPECT_FALSE(ShowOptions);
}

TEST_F(Shortcuts, VWithTheViewMenuOpenTogglesOnceEvenWithTheItemClickedInTheSameFrame) {
    OpenMenu("View");
    Key(SDL_SCANCODE_V, true);
    Frame();
    Key(SDL_SCANCODE_V, false);
    Frame();
    EXPECT_TRUE(ShowOptions) << "V acts while the View menu is open";

    // Mouse pressed on "Hide Options" and V down; then both released in one frame.
    OpenMenu("View");
    ASSERT_TRUE(MenuRowIs(0, "Hide Options"));
    Key(SDL_SCANCODE_V, true);
    MouseButton(true);
    Frame();
    Key(SDL_SCANCODE_V, false);
    MouseButton(false);
    Frame();
    EXPECT_FALSE(ShowOptions) << "item and key together toggle once";
    Frame();
    EXPECT_EQ(OpenMenuWindow(), nullptr) << "the item was activated";
}

TEST_F(Shortcuts, LeftCtrlOImportsOnceWhenThePairCompletesInEitherOrder) {
    Key(SDL_SCANCODE_LCTRL, true);
    Frame();
    Key(SDL_SCANCODE_O, true);
    Frames(4);
    EXPECT_EQ(Fake.ChooserCalls, 1) << "held keys import once";

    Key(SDL_SCANCODE_O, false);
    Frame();
    Key(SDL_SCANCODE_O, true);
    Frame();
    EXPECT_EQ(Fake.ChooserCalls, 2) << "O again, Ctrl held";

    Key(SDL_SCANCODE_LCTRL, false);
    Key(SDL_SCANCODE_O, false);
    Frame();
    Key(SDL_SCANCODE_O, true);
    Frame();
    EXPECT_EQ(Fake.ChooserCalls, 2) << "O alone";
    Key(SDL_SCANCODE_LCTRL, true);
    Frame();
    EXPECT_EQ(Fake.ChooserCalls, 3) << "O first, then left Ctrl";
}

TEST_F(Shortcuts, RightCtrlWithOImportsNothing) {
    Key(SDL_SCANCODE_RCTRL, true);
    Key(SDL_SCANCODE_O, true);
    Frames(3);
    Key(SDL_SCANCODE_O, false);
    Frame();
    Key(SDL_SCANCODE_O, true);
    Frame();
    EXPECT_EQ(Fake.ChooserCalls, 0);
}

TEST_F(Shortcuts, CtrlOIsIgnoredWhileTheFileMenuIsOpenAndAfterItClosesWhileHeld) {
    OpenMenu("File");
    Key(SDL_SCANCODE_LCTRL, true);
    Key(SDL_SCANCODE_O, true);
    Frames(2);
    EXPECT_EQ(Fake.ChooserCalls, 0);

    Click(ImVec2(400, 400));  // closes the menu; the keys are still held
    ASSERT_EQ(OpenMenuWindow(), nullptr);
    Frames(2);
    EXPECT_EQ(Fake.ChooserCalls, 0);

    Key(SDL_SCANCODE_O, false);
    Frame();
    Key(SDL_SCANCODE_O, true);
    Frame();
    EXPECT_EQ(Fake.ChooserCalls, 1) << "a fresh press with the menu closed imports";
}

TEST_F(Imports, PictureThroughTheChooserLogsLoadsAndShowsOptionsInTheSameFrame) {
    Fake.Answer = NFD_RESULT_OK;
    Fake.ChosenPath = "/pictures/cat.png";
    OpenMenu("File");
    Click(MenuRow(0));
    EXPECT_EQ(Fake.ChooserCalls, 1);
    EXPECT_EQ(Fake.LastFilters, "png,jpg,jpeg,tif,tiff,webp,heic,heif,avif,bmp");
    EXPECT_TRUE(Fake.LastDefaultPathWasNull);
    ASSERT_EQ(Fake.Loads.size(), 1u);
    EXPECT_EQ(Fake.Loads[0].Path, "/pictures/cat.png");
    EXPECT_TRUE(Fake.Loads[0].Diffuse);
    EXPECT_EQ(Log(), "[Info]: Loading diffuse texture: /pictures/cat.png\n");
    ImGuiWindow* options = WindowNamed("Brush Filter - Options");
    ASSERT_NE(options, nullptr) << "submitted in the import's frame";
    EXPECT_EQ(options->LastFrameActive, ImGui::GetFrameCount());
    EXPECT_STREQ(ImportNoticeText(), "");
}

TEST_F(Imports, PaperLeavesOptionsAsTheyWere) {
    Fake.Answer = NFD_RESULT_OK;
    Fake.ChosenPath = "/papers/rough.jpg";
    OpenMenu("File");
    Click(MenuRow(1));
    ASSERT_EQ(Fake.Loads.size(), 1u);
    EXPECT_FALSE(Fake.Loads[0].Diffuse);
    EXPECT_EQ(Log(), "[Info]: Loading filter texture: /papers/rough.jpg\n");
    EXPECT_FALSE(ShowOptions);
}

TEST_F(Imports, CancelledChooserLeavesNoTrace) {
    Fake.Answer = NFD_RESULT_CANCELLED;
    Key(SDL_SCANCODE_LCTRL, true);
    Key(SDL_SCANCODE_O, true);
    Frames(3);
    EXPECT_EQ(Fake.ChooserCalls, 1);
    EXPECT_TRUE(Fake.Loads.empty());
    EXPECT_EQ(Log(), "");
    EXPECT_FALSE(ShowOptions);
    EXPECT_STREQ(ImportNoticeText(), "");
    EXPECT_EQ(WindowNamed("Import failed"), nullptr);
}

TEST_F(Imports, FailedChooserShowsItsErrorUntilDismissed) {
    Fake.Answer = NFD_RESULT_ERROR;
    Fake.DialogError = "no file chooser is available";
    Key(SDL_SCANCODE_LCTRL, true);
    Key(SDL_SCANCODE_O, true);
    Frames(3);
    EXPECT_TRUE(Fake.Loads.empty());
    EXPECT_EQ(Log(), "") << "nothing was loaded, so no loading line";
    EXPECT_EQ(std::string(ImportNoticeText()), "The file chooser could not be opened.\nno file chooser is available");
    ImGuiWindow* notice = WindowNamed("Import failed");
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->Active);

    // The OK button sits at the bottom of the notice.
    const ImGuiStyle& style = ImGui::GetStyle();
    Click(ImVec2(notice->Pos.x + style.WindowPadding.x + 10,
                 notice->Pos.y + notice->Size.y - style.WindowPadding.y - ImGui::GetFrameHeight() * 0.5f));
    Frame();
    EXPECT_FALSE(notice->Active);
    EXPECT_STREQ(ImportNoticeText(), "");
}

TEST_F(Imports, PictureThatDoesNotLoadIsNamedWithTheReason) {
    Fake.Answer = NFD_RESULT_OK;
    Fake.ChosenPath = "/pictures/scan.tif";
    Fake.LoadFailure = "unknown image type";
    Key(SDL_SCANCODE_LCTRL, true);
    Key(SDL_SCANCODE_O, true);
    Frames(2);
    EXPECT_EQ(Log(), "[Info]: Loading diffuse texture: /pictures/scan.tif\n") << "written before the load";
    EXPECT_EQ(std::string(ImportNoticeText()), "The picture \"scan.tif\" could not be loaded.\nunknown image type");
    EXPECT_FALSE(ShowOptions) << "nothing new to tune";
    ASSERT_NE(WindowNamed("Import failed"), nullptr);
    EXPECT_TRUE(WindowNamed("Import failed")->Active);
}

}  // namespace

// What a notice, the loading indicator and the export's strip show of a path: its last
// component, whole UTF-8 kept, anything that could break or garble the line as '?'.
TEST(DisplayFileNameOf, APathIsItsLastComponentOnOneLine) {
    EXPECT_EQ(DisplayFileName("/pictures/caf\xc3\xa9.png"), "caf\xc3\xa9.png");
#ifdef _WIN32
    EXPECT_EQ(DisplayFileName("C:\\pictures\\cat.png"), "cat.png");
#else
    // A backslash is part of a name on Linux.
    EXPECT_EQ(DisplayFileName("/pictures/back\\slash.png"), "back\\slash.png");
#endif
    EXPECT_EQ(DisplayFileName("/pictures/two\nlines\x7f.png"), "two?lines?.png");
    // A lead byte without its sequence would take the letters after it along when drawn.
    EXPECT_EQ(DisplayFileName("/pictures/\xe0"
                              "ab.png"),
              "?ab.png");
    EXPECT_EQ(DisplayFileName("/pictures/"), "/pictures/") << "no name: the path as it is";
}
