#include "ui/edit_commands.h"

#include <imgui.h>

#include "render/brush_filter.h"
#include "render/texture_slots.h"

namespace {

void KeepPaper(unsigned paper) { HoldSlotTexture(paper); }
void LetGoOfPaper(unsigned paper) { LetGoOfSlotTexture(paper); }

struct {
    UndoHistory History = {{}, 0, KeepPaper, LetGoOfPaper};
    EditState ItemBefore = {};  // the state as the active slider found it
    bool PaperImporting = false;
    unsigned PaperBefore = 0;  // held while a paper import loads
    int PaperBeforeWidth = 0, PaperBeforeHeight = 0;
} Edits;

void Apply(const EditState& state) {
    BrushParameters = state.Brush;
    if (state.Paper != FilterTexture)
        SetTextureSlot(TEXTURE_SLOT_FILTER, state.Paper, state.PaperWidth, state.PaperHeight);
}

}  // namespace

EditState CurrentEditState() { return EditState{BrushParameters, FilterTexture, FilterWidth, FilterHeight}; }

void RecordEdit(const EditState& before) { RecordUndoStep(&Edits.History, before, CurrentEditState()); }

void RecordLookChoice(const EditState& before) { RecordEdit(before); }

void TrackItemEdit(const EditState& beforeItem) {
    if (ImGui::IsItemActivated()) Edits.ItemBefore = beforeItem;
    if (ImGui::IsItemDeactivatedAfterEdit()) RecordEdit(Edits.ItemBefore);
}

void HoldPaperForUndo() {
    PaperImportEnded(false);  // one held at a time: a paper import replaces one still loading
    Edits.PaperBefore = FilterTexture;
    Edits.PaperBeforeWidth = FilterWidth;
    Edits.PaperBeforeHeight = FilterHeight;
    HoldSlotTexture(Edits.PaperBefore);
    Edits.PaperImporting = true;
}

void PaperImportEnded(bool arrived) {
    if (!Edits.PaperImporting) return;
    Edits.PaperImporting = false;
    if (arrived) {
        EditState before = CurrentEditState();
        before.Paper = Edits.PaperBefore;
        before.PaperWidth = Edits.PaperBeforeWidth;
        before.PaperHeight = Edits.PaperBeforeHeight;
        RecordEdit(before);
    }
    // The step, if any, holds it now.
    const unsigned paper = Edits.PaperBefore;
    Edits.PaperBefore = 0;
    LetGoOfSlotTexture(paper);
}

bool CanUndoEdit() { return CanUndo(Edits.History); }

bool CanRedoEdit() { return CanRedo(Edits.History); }

void UndoEdit() {
    EditState state;
    if (UndoStep(&Edits.History, &state)) Apply(state);
}

void RedoEdit() {
    EditState state;
    if (RedoStep(&Edits.History, &state)) Apply(state);
}

void ForgetEdits() { ClearUndoHistory(&Edits.History); }
