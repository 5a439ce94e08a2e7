// File > Export Picture... and Ctrl + S through the real DrawUI: the item and the shortcut, what
// the save chooser is asked, the naming rules as the user meets them, the question before
// replacing, the strip and the confirmation, the notices, and the ways out while a file is
// written. The render and the job are stand-ins here (tests/render and tests/e2e run the real
// ones); what is checked is what the interface does with them.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ui/export_command.h"
#include "ui/export_progress.h"
#include "ui/import_notice.h"
#include "ui/loading_indicator.h"
#include "ui/way_out.h"
#include "ui_harness.h"

namespace {

class ExportCommand : public UITest {
protected:
    // A picture arrives in the slot through the chooser, as the user imports one.
    void ImportPicture(const char* path) {
        Fake.Answer = NFD_RESULT_OK;
        Fake.ChosenPath = path;
        PressCtrl(SDL_SCANCODE_O);
        Frames(2);
    }

    // Left Ctrl + key pressed for two frames, then both released for one.
    void PressCtrl(SDL_Scancode key) {
        Key(SDL_SCANCODE_LCTRL, true);
        Key(key, true);
        Frames(2);
        Key(SDL_SCANCODE_LCTRL, false);
        Key(key, false);
        Frame();
    }

    // Ctrl + S with the chooser answering `chosen`.
    void ExportAs(const char* chosen) {
        Fake.SaveAnswer = NFD_RESULT_OK;
        Fake.SaveChosenPath = chosen;
        PressCtrl(SDL_SCANCODE_S);
    }
};

TEST_F(ExportCommand, TheItemWaitsForAPictureThenOpensTheChooserInItsFolderWithTheSuggestedName) {
    OpenMenu("File");
    EXPECT_FALSE(MenuRowIsEnabled(2, "Export Picture...")) << "greyed out before any import";
    Click(MenuRow(2));
    EXPECT_NE(OpenMenuWindow(), nullptr) << "a greyed-out item does not act";
    Click(ImVec2(400, 400));
    ASSERT_EQ(OpenMenuWindow(), nullptr);
    PressCtrl(SDL_SCANCODE_S);
    EXPECT_EQ(Fake.SaveCalls, 0);

    // A picture that does not load, or a paper, is no picture to export.
    Fake.LoadFailure = "unknown image type";
    ImportPicture("/pictures/scan.tif");
    Fake.LoadFailure.clear();
    PressCtrl(SDL_SCANCODE_S);
    EXPECT_EQ(Fake.SaveCalls, 0);
    Click(PopupButton(ImportNoticeTitle, 0));
    ASSERT_STREQ(ImportNoticeText(), "");

    ImportPicture("/pictures/holiday 2024/coffee.beans.jpg");
    ASSERT_STREQ(ExportablePicturePath(), "/pictures/holiday 2024/coffee.beans.jpg");
    OpenMenu("File");
    EXPECT_TRUE(MenuRowIsEnabled(2, "Export Picture..."));
    EXPECT_TRUE(MenuRowIs(4, "Exit"));
    Click(MenuRow(2));
    EXPECT_EQ(Fake.SaveCalls, 1);
    EXPECT_EQ(Fake.SaveFilters, "png;jpg,jpeg");
    EXPECT_EQ(Fake.SaveFolder, "/pictures/holiday 2024");
    EXPECT_EQ(Fake.SaveName, "coffee.beans-painted.png");
    // Cancelled: nothing written, nothing said.
    EXPECT_TRUE(Fake.Exports.empty());
    EXPECT_EQ(Log().find("Exporting"), std::string::npos) << Log();
    EXPECT_STREQ(ImportNoticeText(), "");

    // The paper does not change what the export is named after; the next picture does.
    OpenMenu("File");
    Fake.ChosenPath = "/papers/rough.jpg";
    Click(MenuRow(1));
    Frames(2);
    PressCtrl(SDL_SCANCODE_S);
    EXPECT_EQ(Fake.SaveName, "coffee.beans-painted.png");
    ImportPicture("/pictures/bird");
    PressCtrl(SDL_SCANCODE_S);
    EXPECT_EQ(Fake.SaveCalls, 3);
    EXPECT_EQ(Fake.SaveName, "bird-painted.png");
    EXPECT_EQ(Fake.SaveFolder, "/pictures");
}

TEST_F(ExportCommand, APictureNamedByARelativePathOpensTheChooserInTheWorkingFolder) {
    ImportPicture("coffee.jpg");
    char* folder = getcwd(nullptr, 0);
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(std::string(ExportablePicturePath()), std::string(folder) + "/coffee.jpg");
    PressCtrl(SDL_SCANCODE_S);
    EXPECT_EQ(Fake.SaveFolder, folder);
    free(folder);
}

TEST_F(ExportCommand, CtrlSActsOnThePressOfThePairAndNotWhileTheFileMenuIsOpen) {
    ImportPicture("/pictures/coffee.jpg");
    Key(SDL_SCANCODE_S, true);
    Frame();
    Key(SDL_SCANCODE_LCTRL, true);
    Frames(4);
    EXPECT_EQ(Fake.SaveCalls, 1) << "S first, then left Ctrl; held, once";
    Key(SDL_SCANCODE_S, false);
    Frame();
    Key(SDL_SCANCODE_S, true);
    Frame();
    EXPECT_EQ(Fake.SaveCalls, 2) << "S again, Ctrl held";
    Key(SDL_SCANCODE_LCTRL, false);
    Key(SDL_SCANCODE_S, false);
    Key(SDL_SCANCODE_RCTRL, true);
    Frame();
    Key(SDL_SCANCODE_S, true);
    Frames(2);
    EXPECT_EQ(Fake.SaveCalls, 2) << "right Ctrl does nothing";
    Key(SDL_SCANCODE_RCTRL, false);
    Key(SDL_SCANCODE_S, false);
    Frame();

    OpenMenu("File");
    Key(SDL_SCANCODE_LCTRL, true);
    Key(SDL_SCANCODE_S, true);
    Frames(2);
    Click(ImVec2(400, 400));  // closes the menu; the keys are still held
    Frames(2);
    EXPECT_EQ(Fake.SaveCalls, 2) << "not while the menu is open, nor later for the same press";
    EXPECT_TRUE(Fake.Exports.empty());
}

TEST_F(ExportCommand, TheExtensionChoosesTheFormatAndANameWithoutOneBecomesPng) {
    ImportPicture("/pictures/coffee.jpg");
    struct Case {
        const char* Chosen;
        const char* Written;
        PictureFormat Format;
    } cases[] = {
        {"/out/a.PNG", "/out/a.PNG", PICTURE_PNG},
        {"/out/b.Jpeg", "/out/b.Jpeg", PICTURE_JPEG},
        {"/out/c.jpg", "/out/c.jpg", PICTURE_JPEG},
        {"/out/d", "/out/d.png", PICTURE_PNG},
    };
    std::string expectedLog = Log();
    for (const Case& c : cases) {
        ExportAs(c.Chosen);
        Frames(2);
        ASSERT_FALSE(Fake.Exports.empty()) << c.Chosen;
        EXPECT_EQ(Fake.Exports.back().Path, c.Written);
        EXPECT_EQ(Fake.Exports.back().Format, c.Format) << c.Chosen;
        expectedLog += std::string("[Info]: Exporting picture: ") + c.Written + "\n";
    }
    EXPECT_EQ(Fake.Exports.size(), 4u);
    EXPECT_EQ(Log(), expectedLog);
    EXPECT_STREQ(ImportNoticeText(), "");
}

TEST_F(ExportCommand, AnyOtherExtensionIsRefusedWithANoticeThatNamesBothFormats) {
    ImportPicture("/pictures/coffee.jpg");
    const std::string before = Log();
    ExportAs("/out/painting.gif");
    Frames(2);
    EXPECT_TRUE(Fake.Exports.empty());
    EXPECT_EQ(Log().substr(before.size()),
              "[Info]: Exporting picture: /out/painting.gif\n"
              "[Error]: Failed to export picture: /out/painting.gif: \".gif\" is not a format the picture can be "
              "exported in: choose PNG (.png) or JPEG (.jpg, .jpeg).\n");
    EXPECT_EQ(std::string(ImportNoticeText()),
              "The picture could not be exported to \"painting.gif\".\n\".gif\" is not a format the picture can be "
              "exported in: choose PNG (.png) or JPEG (.jpg, .jpeg).");
    EXPECT_TRUE(Shown(ExportNoticeTitle));
}

TEST_F(ExportCommand, TheLinesOfANameWithControlCharactersStayOneLineEach) {
    ImportPicture("/pictures/coffee.jpg");
    const std::string before = Log();
    ExportAs("/out/two\nlines.gif");
    Frames(2);
    EXPECT_EQ(Log().substr(before.size()),
              "[Info]: Exporting picture: /out/two?lines.gif\n"
              "[Error]: Failed to export picture: /out/two?lines.gif: \".gif\" is not a format the picture can be "
              "exported in: choose PNG (.png) or JPEG (.jpg, .jpeg).\n");
    ExportAs("/out/two\nlines.png");
    Frames(2);
    ASSERT_EQ(Fake.Exports.size(), 1u);
    EXPECT_EQ(Fake.Exports[0].Path, "/out/two\nlines.png") << "the file gets the name as it was chosen";
    EXPECT_EQ(Log().substr(before.size()).substr(Log().substr(before.size()).rfind("[Info]")),
              "[Info]: Exporting picture: /out/two?lines.png\n");
}

TEST_F(ExportCommand, ANameWithoutExtensionAsksBeforeReplacingTheFileItWouldBecome) {
    ImportPicture("/pictures/coffee.jpg");
    Fake.ExistingFiles = {"/out/kept.png"};
    const std::string before = Log();
    ExportAs("/out/kept");
    Frames(2);
    EXPECT_TRUE(Shown(ReplaceQuestionTitle));
    EXPECT_TRUE(Fake.Exports.empty()) << "nothing before the answer";
    EXPECT_EQ(Log(), before);

    // Escape, then the Cancel button: no.
    ImGuiIO& io = ImGui::GetIO();
    io.KeyMap[ImGuiKey_Escape] = SDL_SCANCODE_ESCAPE;
    io.KeysDown[SDL_SCANCODE_ESCAPE] = true;
    Key(SDL_SCANCODE_ESCAPE, true);
    Frame();
    io.KeysDown[SDL_SCANCODE_ESCAPE] = false;
    Key(SDL_SCANCODE_ESCAPE, false);
    Frames(2);
    EXPECT_FALSE(Shown(ReplaceQuestionTitle));
    ExportAs("/out/kept");
    Frames(2);
    ASSERT_TRUE(Shown(ReplaceQuestionTitle));
    Click(PopupButton(ReplaceQuestionTitle, 1));
    Frames(2);
    EXPECT_FALSE(Shown(ReplaceQuestionTitle));
    EXPECT_TRUE(Fake.Exports.empty());
    EXPECT_EQ(Log(), before);

    // Replace: the export goes ahead.
    ExportAs("/out/kept");
    Frames(2);
    ASSERT_TRUE(Shown(ReplaceQuestionTitle));
    Click(PopupButton(ReplaceQuestionTitle, 0));
    Frames(2);
    ASSERT_EQ(Fake.Exports.size(), 1u);
    EXPECT_EQ(Fake.Exports[0].Path, "/out/kept.png");
    EXPECT_EQ(Log().substr(before.size()), "[Info]: Exporting picture: /out/kept.png\n");

    // A name typed with its extension was the chooser's to ask about: no second question.
    Fake.ExistingFiles = {"/out/kept.png", "/out/typed.png"};
    ExportAs("/out/typed.png");
    Frames(2);
    EXPECT_FALSE(Shown(ReplaceQuestionTitle));
    EXPECT_EQ(Fake.Exports.size(), 2u);
}

TEST_F(ExportCommand, TheStripFollowsTheFileAndTheConfirmationFadesOrIsDismissed) {
    ImportPicture("/pictures/coffee.jpg");
    Fake.HoldExport = true;
    Fake.ExportProgress = 0.42f;
    Fake.SaveAnswer = NFD_RESULT_OK;
    Fake.SaveChosenPath = "/out/coffee-painted.png";
    Key(SDL_SCANCODE_LCTRL, true);
    Key(SDL_SCANCODE_S, true);
    Frame();
    // The frame of the choice shows the strip; the export starts in the next one, and its first
    // step comes in the frame after that, so no frame holds both.
    float progress = -1;
    EXPECT_TRUE(ExportProgressShown(&progress));
    EXPECT_EQ(progress, 0.0f);
    EXPECT_TRUE(Fake.Exports.empty());
    EXPECT_TRUE(Shown(ExportProgressName));
    Frame();
    EXPECT_EQ(Fake.Exports.size(), 1u);
    EXPECT_TRUE(ExportProgressShown(&progress));
    EXPECT_EQ(progress, 0.0f) << "not yet asked how far it is";
    Frame();
    EXPECT_TRUE(ExportProgressShown(&progress));
    EXPECT_FLOAT_EQ(progress, 0.42f);
    EXPECT_EQ(ExportProgressText("/out/coffee-painted.png", progress), "Exporting coffee-painted.png: 42 %");
    Key(SDL_SCANCODE_LCTRL, false);
    Key(SDL_SCANCODE_S, false);
    Frames(30);
    EXPECT_TRUE(Shown(ExportProgressName)) << "for as long as the file is written";
    EXPECT_STREQ(ExportConfirmationText(), "");

    Fake.HoldExport = false;
    Frame();
    EXPECT_FALSE(ExportProgressShown(nullptr));
    EXPECT_FALSE(Shown(ExportProgressName));
    EXPECT_STREQ(ExportConfirmationText(), "Saved coffee-painted.png, 6000 x 4000");
    EXPECT_TRUE(Shown(ExportConfirmationName));
    // A few seconds at 60 frames a second: gone on its own.
    Frames(int(ExportConfirmationSeconds * 60) - 10);
    EXPECT_TRUE(Shown(ExportConfirmationName));
    Frames(20);
    EXPECT_FALSE(Shown(ExportConfirmationName));
    EXPECT_STREQ(ExportConfirmationText(), "");

    // Its OK button dismisses it at once.
    ExportAs("/out/again.jpg");
    Frames(2);
    ASSERT_TRUE(Shown(ExportConfirmationName));
    ImGuiWindow* strip = WindowNamed(ExportConfirmationName);
    const ImGuiStyle& style = ImGui::GetStyle();
    Click(ImVec2(strip->Pos.x + strip->Size.x - style.WindowPadding.x - 8, strip->Pos.y + strip->Size.y * 0.5f));
    Frame();
    EXPECT_FALSE(Shown(ExportConfirmationName));
    EXPECT_STREQ(ImportNoticeText(), "");
}

TEST_F(ExportCommand, ASecondExportWhileOneIsWrittenIsRefusedWithANotice) {
    ImportPicture("/pictures/coffee.jpg");
    Fake.HoldExport = true;
    ExportAs("/out/first.png");
    Frames(2);
    ExportAs("/out/second.png");
    EXPECT_EQ(Fake.SaveCalls, 1) << "refused before the chooser";
    EXPECT_EQ(Fake.Exports.size(), 1u);
    EXPECT_EQ(std::string(ImportNoticeText()),
              "\"first.png\" is still being exported.\nExport again once it is saved.");
    EXPECT_TRUE(Shown(ExportBusyTitle));
    EXPECT_TRUE(Shown(ExportProgressName)) << "the first goes on";
}

TEST_F(ExportCommand, FailuresShowTheFileAndTheReason) {
    ImportPicture("/pictures/coffee.jpg");
    Fake.ExportFailure = "No space left on device";
    ExportAs("/full/coffee-painted.png");
    Frames(3);
    EXPECT_EQ(std::string(ImportNoticeText()),
              "The picture could not be exported to \"coffee-painted.png\".\nNo space left on device");
    EXPECT_TRUE(Shown(ExportNoticeTitle));
    EXPECT_STREQ(ExportConfirmationText(), "");
    EXPECT_FALSE(ExportProgressShown(nullptr));
    Click(PopupButton(ExportNoticeTitle, 0));
    EXPECT_STREQ(ImportNoticeText(), "");

    Fake.ExportFailure.clear();
    Fake.ExportStartFailure = "not enough memory for the 6000 x 4000 picture";
    ExportAs("/out/big.jpg");
    Frames(2);
    EXPECT_EQ(std::string(ImportNoticeText()),
              "The picture could not be exported to \"big.jpg\".\nnot enough memory for the 6000 x 4000 picture");

    Fake.SaveAnswer = NFD_RESULT_ERROR;
    Fake.DialogError = "zenity ended with exit status 5.";
    PressCtrl(SDL_SCANCODE_S);
    EXPECT_EQ(std::string(ImportNoticeText()),
              "The file chooser could not be opened.\nzenity ended with exit status 5.");
    EXPECT_EQ(Fake.Exports.size(), 2u) << "the one that could not start, none more";
}

TEST_F(ExportCommand, ClosingWaitsForTheFileAndAFailureCancelsTheClose) {
    RequestClose();
    EXPECT_TRUE(CloseDue()) << "nothing to wait for";
    ResetExportCommand();
    ResetWayOut();

    ImportPicture("/pictures/coffee.jpg");
    Fake.HoldExport = true;
    ExportAs("/out/coffee-painted.png");
    Frames(2);
    RequestClose();
    Frames(10);
    EXPECT_FALSE(CloseDue());
    EXPECT_TRUE(Shown(ExportProgressName));
    Fake.HoldExport = false;
    Frame();
    EXPECT_TRUE(CloseDue());

    ResetExportCommand();
    ResetWayOut();
    ImportPicture("/pictures/coffee.jpg");
    Fake.HoldExport = true;
    ExportAs("/out/coffee-painted.png");
    Frames(2);
    RequestClose();
    Fake.ExportFailure = "Input/output error";
    Fake.HoldExport = false;
    Frame();
    EXPECT_FALSE(CloseDue()) << "the notice is seen and the painting is not lost";
    EXPECT_TRUE(Shown(ExportNoticeTitle));
    Frames(5);
    EXPECT_FALSE(CloseDue());
    RequestClose();
    EXPECT_TRUE(CloseDue()) << "asked again, it closes";
}

// The strip learns from the frame's step where the loading indicator is and whether a way out
// waits, each kept by a module of its own.
TEST_F(ExportCommand, TheStripSitsAboveALoadingImportAndSaysAWaitingClose) {
    ImportPicture("/pictures/coffee.jpg");
    Fake.HoldExport = true;
    ExportAs("/out/coffee-painted.png");
    Frames(2);
    ImGuiWindow* strip = WindowNamed(ExportProgressName);
    ASSERT_TRUE(Shown(ExportProgressName));
    const float height = strip->Size.y;

    Fake.HoldAnswer = true;
    ImportPicture("/pictures/tea.jpg");
    ASSERT_TRUE(Shown(LoadingIndicatorName));
    EXPECT_LE(strip->Pos.y + strip->Size.y, WindowNamed(LoadingIndicatorName)->Pos.y);

    RequestClose();
    Frames(2);
    EXPECT_GT(strip->Size.y, height + ImGui::GetFontSize() * 0.5f) << "a second line: " << ExportClosingText;
    Fake.HoldExport = false;
    Frame();
    EXPECT_TRUE(CloseDue());
}

TEST_F(ExportCommand, ExitDuringAnExportEndsWithStatusZeroOnceTheFileIsInPlace) {
    EXPECT_EXIT(
        {
            ImportPicture("/pictures/coffee.jpg");
            Fake.HoldExport = true;
            ExportAs("/out/coffee-painted.png");
            Frames(2);
            OpenMenu("File");
            Click(MenuRow(4));
            Frames(20);
            fprintf(stderr, "still drawing at %d %%\n", ExportProgressShown(nullptr) ? 0 : -1);
            Fake.HoldExport = false;
            Frames(2);
            std::_Exit(3);  // not reached when Exit works
        },
        ::testing::ExitedWithCode(0), "still drawing at 0 %");
}

TEST_F(ExportCommand, ExitDuringAnExportThatFailsStaysWithTheNotice) {
    EXPECT_EXIT(
        {
            ImportPicture("/pictures/coffee.jpg");
            Fake.HoldExport = true;
            ExportAs("/out/coffee-painted.png");
            Frames(2);
            OpenMenu("File");
            Click(MenuRow(4));
            Fake.ExportFailure = "Read-only file system";
            Fake.HoldExport = false;
            Frames(5);
            std::_Exit(*ImportNoticeText() ? 7 : 8);
        },
        ::testing::ExitedWithCode(7), "");
}

}  // namespace
