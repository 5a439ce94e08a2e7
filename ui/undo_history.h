// undo_history: the steps Edit > Undo and Redo walk through, kept as plain values. Each step is
// the edit state before and after one change the user made (a slider's drag or typed value,
// Reset, a paper, a look); undoing puts the state before back, redoing the state after.
//
//   UndoHistory history = {};
//   history.KeepPaper = HoldSlotTexture; history.LetGoOfPaper = LetGoOfSlotTexture;
//   RecordUndoStep(&history, before, after);   // after the change is made; equal states add none
//   EditState state;
//   if (UndoStep(&history, &state)) Apply(state);
//   if (RedoStep(&history, &state)) Apply(state);
//   ClearUndoHistory(&history);                 // a new picture: nothing to go back to
//
// A new step drops the steps that were undone (they can no longer be redone). The history keeps
// at most UndoStepLimit steps, and papers whose pixels add up to at most UndoPaperBytesLimit
// beyond the paper in use; the oldest steps go first. A paper is an opaque name here: the history
// asks its owner to keep it while a step refers to it (once per reference) and lets go of it when
// the step goes, so a paper it may put back is never deleted under it. Nothing here touches the
// GL or the interface; the wiring is ui/edit_commands.h. Not thread-safe; the program uses it on
// the main thread.
#pragma once

#include <stddef.h>

#include <vector>

#include "render/brush_program.h"

// What a step changes.
struct EditState {
    BrushProperties Brush;
    unsigned Paper;               // the paper's texture; 0 for none
    int PaperWidth, PaperHeight;  // its size: what keeping it costs, four bytes a pixel
};

bool SameEditState(const EditState& a, const EditState& b);

struct UndoEntry {
    EditState Before, After;
};

struct UndoHistory {
    std::vector<UndoEntry> Steps;
    size_t Next;  // steps before it can be undone, from it on redone
    // Called with the paper of a step's side when it enters and when it leaves the history;
    // either may be null.
    void (*KeepPaper)(unsigned paper);
    void (*LetGoOfPaper)(unsigned paper);
};

constexpr size_t UndoStepLimit = 200;
constexpr long long UndoPaperBytesLimit = 512ll * 1024 * 1024;

void RecordUndoStep(UndoHistory* history, const EditState& before, const EditState& after);
bool CanUndo(const UndoHistory& history);
bool CanRedo(const UndoHistory& history);
// False when there is nothing to undo or redo; otherwise the state to put back.
bool UndoStep(UndoHistory* history, EditState* state);
bool RedoStep(UndoHistory* history, EditState* state);
void ClearUndoHistory(UndoHistory* history);

// The bytes of the papers the history keeps, the paper of `current` left out (it is in use).
long long KeptPaperBytes(const UndoHistory& history, unsigned current);
