// Drops as SDL delivers them (begin, a file per dropped file, complete), through the real
// interface code with the harness's loaders: which slot a drop goes to, what one drop of several
// files or of no file does, and what the notice says.
#include <string>
#include <vector>

#include "tests/ui/ui_harness.h"
#include "ui/drop_import.h"
#include "ui/import_notice.h"
#include "ui/tool_windows.h"
#include "ui/ui_state.h"

namespace {

SDL_Event DropEvent(Uint32 type, const char* file = nullptr) {
    SDL_Event event;
    SDL_zero(event);
    event.type = type;
    event.drop.file = const_cast<char*>(file);  // TakeDropEvent leaves it to the caller
    event.drop.windowID = 1;
    return event;
}

class Drops : public UITest {
protected:
    // One whole drop of files and texts at (x, y), as SDL delivers it.
    void Drop(const std::vector<std::pair<Uint32, std::string>>& items, float x, float y) {
        TakeDropEvent(DropEvent(SDL_DROPBEGIN), x, y);
        for (const auto& item : items) TakeDropEvent(DropEvent(item.first, item.second.c_str()), x, y);
        TakeDropEvent(DropEvent(SDL_DROPCOMPLETE), x, y);
        Frame();
    }
    void DropFiles(const std::vector<std::string>& files, float x, float y) {
        std::vector<std::pair<Uint32, std::string>> items;
        for (const std::string& file : files) items.emplace_back(SDL_DROPFILE, file);
        Drop(items, x, y);
    }
    std::string Notice() const { return ImportNoticeText(); }

    // Shows the Textures strip and lets it settle against the right edge.
    void ShowStrip() {
        ShowTextures = true;
        Frames(3);
    }
    ImVec2 PaperCentre() const {
        return ImVec2((PaperPreviewRect.X0 + PaperPreviewRect.X1) / 2, (PaperPreviewRect.Y0 + PaperPreviewRect.Y1) / 2);
    }
};

}  // namespace

TEST_F(Drops, AFileDroppedOnTheCanvasIsThePicture) {
    const std::string before = Notice();
    DropFiles({"/pictures/cat.png"}, 400, 300);
    ASSERT_EQ(Fake.Loads.size(), 1u);
    EXPECT_EQ(Fake.Loads[0].Path, "/pictures/cat.png");
    EXPECT_TRUE(Fake.Loads[0].Diffuse);
    EXPECT_EQ(Log(), "[Info]: Loading diffuse texture: /pictures/cat.png\n") << "the menu's own line";
    EXPECT_TRUE(ShowOptions);
    EXPECT_EQ(Notice(), before) << "nothing to tell";
}

TEST_F(Drops, TheStripsPaperPreviewTakesThePaperAndNothingElseDoes) {
    ShowStrip();
    // The strip stands in the top right corner under the bar: the paper is its second image.
    ASSERT_GT(PaperPreviewRect.X1 - PaperPreviewRect.X0, 149.0f);
    EXPECT_NEAR(PaperPreviewRect.Y1 - PaperPreviewRect.Y0, TexturePreviewSize, 1.0f);
    EXPECT_NEAR(PaperPreviewRect.X1, 800 - ImGui::GetStyle().WindowPadding.x, 1.0f);
    EXPECT_NEAR(PaperPreviewRect.Y0, MenuBarHeight() + ImGui::GetStyle().WindowPadding.y, 1.0f);

    const ImVec2 paper = PaperCentre();
    DropFiles({"/papers/rough.jpg"}, paper.x, paper.y);
    ASSERT_EQ(Fake.Loads.size(), 1u);
    EXPECT_FALSE(Fake.Loads[0].Diffuse);
    EXPECT_EQ(Log(), "[Info]: Loading filter texture: /papers/rough.jpg\n");
    EXPECT_FALSE(ShowOptions) << "a paper leaves the Options window as it was";

    // The corners are inside, one step past them is not; the picture's preview beside the paper
    // is not the paper.
    const PreviewRect r = PaperPreviewRect;
    EXPECT_TRUE(DropGoesToPaper(r.X0, r.Y0));
    EXPECT_TRUE(DropGoesToPaper(r.X1 - 0.5f, r.Y1 - 0.5f));
    EXPECT_FALSE(DropGoesToPaper(r.X1, paper.y));
    EXPECT_FALSE(DropGoesToPaper(paper.x, r.Y1));
    EXPECT_FALSE(DropGoesToPaper(r.X0 - 1, paper.y));
    EXPECT_FALSE(DropGoesToPaper(paper.x, r.Y0 - 1));
    EXPECT_FALSE(DropGoesToPaper(r.X0 - 80, paper.y)) << "the picture's preview";

    // Hidden, the strip takes nothing: the same point is canvas again.
    ShowTextures = false;
    Frame();
    DropFiles({"/pictures/dog.png"}, paper.x, paper.y);
    ASSERT_EQ(Fake.Loads.size(), 2u);
    EXPECT_TRUE(Fake.Loads[1].Diffuse);
}

TEST_F(Drops, TheStripFollowsTheWindowsWidth) {
    ShowStrip();
    const float right = PaperPreviewRect.X1;
    ShowTextures = true;
    Frames(3, 1000);
    EXPECT_NEAR(PaperPreviewRect.X1 - right, 200.0f, 1.0f);
}

TEST_F(Drops, OfSeveralFilesTheFirstIsTakenAndTheNoticeCountsTheRest) {
    DropFiles({"/p/one.png", "/p/two.png", "/p/three.png"}, 400, 300);
    ASSERT_EQ(Fake.Loads.size(), 1u);
    EXPECT_EQ(Fake.Loads[0].Path, "/p/one.png");
    EXPECT_EQ(Notice(), "The other 2 dropped files could not be opened.\nOne file is opened at a time: the first.");
    EXPECT_EQ(Log(), "[Info]: Loading diffuse texture: /p/one.png\n");

    DropFiles({"/p/four.png", "/p/five.png"}, 400, 300);
    EXPECT_EQ(Fake.Loads.back().Path, "/p/four.png");
    EXPECT_EQ(Notice(), "The other dropped file could not be opened.\nOne file is opened at a time: the first.");
}

TEST_F(Drops, AFirstFileThatDoesNotLoadIsWhatTheNoticeSays) {
    Fake.LoadFailure = "unknown image type";
    DropFiles({"/p/scan.tif", "/p/two.png"}, 400, 300);
    ASSERT_EQ(Fake.Loads.size(), 1u);
    EXPECT_EQ(Notice(), "The picture \"scan.tif\" could not be loaded.\nunknown image type");
}

TEST_F(Drops, ADropWithoutAFileLoadsNothingAndSaysSo) {
    // Text, or a web address that SDL does not turn into a file: begin and complete only.
    Drop({{SDL_DROPTEXT, "some words"}}, 400, 300);
    Drop({}, 400, 300);
    EXPECT_TRUE(Fake.Loads.empty());
    EXPECT_EQ(Log(), "");
    EXPECT_EQ(Notice(),
              "What was dropped could not be opened.\nOnly files can be dropped here, not text or web addresses.");
    // Text beside a file: the file counts.
    Drop({{SDL_DROPTEXT, "words"}, {SDL_DROPFILE, "/p/a.png"}}, 400, 300);
    ASSERT_EQ(Fake.Loads.size(), 1u);
}

TEST_F(Drops, WhereTheDropLandedIsReadAtItsFirstEvent) {
    ShowStrip();
    const ImVec2 paper = PaperCentre();
    // The position of the later events (the pointer moving on) does not move the drop.
    TakeDropEvent(DropEvent(SDL_DROPBEGIN), paper.x, paper.y);
    TakeDropEvent(DropEvent(SDL_DROPFILE, "/p/paper.png"), 400, 300);
    TakeDropEvent(DropEvent(SDL_DROPCOMPLETE), 400, 300);
    ASSERT_EQ(Fake.Loads.size(), 1u);
    EXPECT_FALSE(Fake.Loads[0].Diffuse);
    // A drop whose begin was not seen starts at its first file.
    TakeDropEvent(DropEvent(SDL_DROPFILE, "/p/picture.png"), 400, 300);
    TakeDropEvent(DropEvent(SDL_DROPCOMPLETE), paper.x, paper.y);
    ASSERT_EQ(Fake.Loads.size(), 2u);
    EXPECT_TRUE(Fake.Loads[1].Diffuse);
}

TEST_F(Drops, OtherEventsAreNotDrops) {
    SDL_Event motion;
    SDL_zero(motion);
    motion.type = SDL_MOUSEMOTION;
    EXPECT_FALSE(HandleDropEvent(motion, nullptr));
    EXPECT_TRUE(Fake.Loads.empty());
}
