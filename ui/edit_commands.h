// edit_commands: Edit > Undo and Redo over what the user changes: the brush sliders (one step per
// drag or typed value), Reset, a paper import and a look. A new picture starts afresh.
//
//   EditState before = CurrentEditState();   // a change made in one go (Reset, a look):
//   BrushParameters = InitialBrushParameters;
//   RecordEdit(before);                      // one step, none when nothing changed
//   RecordLookChoice(before);                // the same, for choosing a look
//   EditState beforeItem = CurrentEditState();   // a slider: one step when its edit ends
//   ImGui::SliderFloat(...);
//   TrackItemEdit(beforeItem);
//   HoldPaperForUndo(); ... PaperImportEnded(arrived);   // around a paper import
//   if (CanUndoEdit()) UndoEdit();           // the Edit menu and its shortcuts
//   ForgetEdits();                           // a picture import
//
// Undoing puts the sliders and the paper back at once; the painting follows in the next frame.
// The steps and their limits are ui/undo_history.h's. The papers it may put back stay held in
// their slot's keeping (render/texture_slots.h) until their steps go. Main thread only, inside
// the UI frame, with the GL context current.
#pragma once

#include "ui/undo_history.h"

// The sliders and the paper as they are now.
EditState CurrentEditState();
void RecordEdit(const EditState& before);
void RecordLookChoice(const EditState& before);

// After a widget that edits the state over several frames: remembers the state it found in the
// frame it became active (taken before the widget, which changes the value in that same frame) and
// records one step when it lets go having changed something.
void TrackItemEdit(const EditState& beforeItem);

// A paper import keeps the paper in use until it ends; if the new paper arrived, the step from
// the old one to it is recorded.
void HoldPaperForUndo();
void PaperImportEnded(bool arrived);

bool CanUndoEdit();
bool CanRedoEdit();
void UndoEdit();
void RedoEdit();
void ForgetEdits();
