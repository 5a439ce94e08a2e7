// The undo history as plain values: the order of its steps, what a new step drops, its limits,
// and that every paper it keeps is let go of again.
#include <gtest/gtest.h>

#include <map>

#include "ui/undo_history.h"

namespace {

// Holds per paper, as the texture slots count them.
std::map<unsigned, int> Holds;
void Keep(unsigned paper) { ++Holds[paper]; }
void LetGo(unsigned paper) { --Holds[paper]; }

EditState State(float opacity, unsigned paper = 1, int side = 10) {
    return EditState{BrushProperties{opacity, 0.5f, 0.5f}, paper, side, side};
}

class History : public ::testing::Test {
protected:
    void SetUp() override { Holds.clear(); }
    void TearDown() override {
        ClearUndoHistory(&history);
        for (const auto& held : Holds) EXPECT_EQ(held.second, 0) << "paper " << held.first << " still held";
    }
    float Undone() {
        EditState state{};
        EXPECT_TRUE(UndoStep(&history, &state));
        return state.Brush.Opacity;
    }
    float Redone() {
        EditState state{};
        EXPECT_TRUE(RedoStep(&history, &state));
        return state.Brush.Opacity;
    }
    UndoHistory history = {{}, 0, Keep, LetGo};
};

TEST_F(History, UndoesBackwardsRedoesForwardsAndANewStepDropsWhatWasUndone) {
    EditState state{};
    EXPECT_FALSE(CanUndo(history));
    EXPECT_FALSE(UndoStep(&history, &state));
    RecordUndoStep(&history, State(0.1f), State(0.1f));
    EXPECT_FALSE(CanUndo(history)) << "nothing changed: no step";

    RecordUndoStep(&history, State(0.1f), State(0.2f));
    RecordUndoStep(&history, State(0.2f), State(0.3f));
    RecordUndoStep(&history, State(0.3f), State(0.4f));
    EXPECT_FALSE(CanRedo(history));
    EXPECT_EQ(Undone(), 0.3f);
    EXPECT_EQ(Undone(), 0.2f);
    EXPECT_TRUE(CanRedo(history));
    EXPECT_EQ(Redone(), 0.3f);
    EXPECT_EQ(Undone(), 0.2f);
    EXPECT_EQ(Undone(), 0.1f);
    EXPECT_FALSE(CanUndo(history));

    EXPECT_EQ(Redone(), 0.2f);
    RecordUndoStep(&history, State(0.2f), State(0.9f));
    EXPECT_FALSE(CanRedo(history)) << "0.3 and 0.4 can no longer be redone";
    EXPECT_EQ(Undone(), 0.2f);
    EXPECT_EQ(Redone(), 0.9f);
}

TEST_F(History, KeepsTheNewestStepsUpToItsLimitAndAtLeastAHundred) {
    static_assert(UndoStepLimit >= 100, "at least a hundred steps");
    for (size_t i = 0; i < UndoStepLimit + 50; ++i) RecordUndoStep(&history, State(float(i)), State(float(i + 1)));
    EXPECT_EQ(history.Steps.size(), UndoStepLimit);
    size_t undone = 0;
    float last = 0;
    EditState state{};
    while (UndoStep(&history, &state)) {
        last = state.Brush.Opacity;
        ++undone;
    }
    EXPECT_EQ(undone, UndoStepLimit);
    EXPECT_EQ(last, 50.0f) << "the oldest went first";
}

TEST_F(History, PapersAreHeldWhileAStepNamesThemAndLetGoOfWhenItGoes) {
    RecordUndoStep(&history, State(0.5f, 1), State(0.5f, 2));
    RecordUndoStep(&history, State(0.5f, 2), State(0.7f, 2));
    RecordUndoStep(&history, State(0.7f, 2), State(0.7f, 3));
    EXPECT_GT(Holds[1], 0);
    EXPECT_GT(Holds[2], 0);
    EXPECT_GT(Holds[3], 0);
    EXPECT_EQ(KeptPaperBytes(history, 3), 2 * 400) << "papers 1 and 2, the one in use left out";

    EditState state{};
    ASSERT_TRUE(UndoStep(&history, &state));
    EXPECT_EQ(state.Paper, 2u);
    ASSERT_TRUE(UndoStep(&history, &state));
    ASSERT_TRUE(UndoStep(&history, &state));
    EXPECT_EQ(state.Paper, 1u);
    EXPECT_EQ((std::pair<int, int>(state.PaperWidth, state.PaperHeight)), (std::pair<int, int>(10, 10)));

    // A new paper over paper 1 drops the undone steps: 2 and 3 can never come back.
    RecordUndoStep(&history, State(0.5f, 1), State(0.5f, 4));
    EXPECT_EQ(Holds[2], 0);
    EXPECT_EQ(Holds[3], 0);
    EXPECT_GT(Holds[1], 0);
}

TEST_F(History, PapersOverTheByteLimitDropTheOldestStepsButNeverTheNewest) {
    // 8192 x 8192 x 4 = 256 MiB each.
    const int side = 8192;
    RecordUndoStep(&history, State(0.5f, 1, side), State(0.5f, 2, side));
    RecordUndoStep(&history, State(0.5f, 2, side), State(0.5f, 3, side));
    EXPECT_EQ(history.Steps.size(), 2u) << "papers 1 and 2 make the limit";
    RecordUndoStep(&history, State(0.5f, 3, side), State(0.5f, 4, side));
    ASSERT_EQ(history.Steps.size(), 2u);
    EXPECT_EQ(Holds[1], 0) << "the oldest paper went with its step";
    EXPECT_LE(KeptPaperBytes(history, 4), UndoPaperBytesLimit);

    // One paper over the limit on its own: that step stays, alone.
    RecordUndoStep(&history, State(0.5f, 4, side), State(0.5f, 5, 20000));
    RecordUndoStep(&history, State(0.5f, 5, 20000), State(0.5f, 6, side));
    EXPECT_EQ(history.Steps.size(), 1u);
    EXPECT_EQ(history.Steps[0].Before.Paper, 5u);
}

}  // namespace
