#include "ui/undo_history.h"

#include <algorithm>

namespace {

// A step whose two sides name the same paper holds nothing: the paper is in use or held by the
// steps around it.
bool ChangesPaper(const UndoEntry& step) { return step.Before.Paper != step.After.Paper; }

void Keep(UndoHistory* history, const UndoEntry& step) {
    if (!ChangesPaper(step) || !history->KeepPaper) return;
    if (step.Before.Paper) history->KeepPaper(step.Before.Paper);
    if (step.After.Paper) history->KeepPaper(step.After.Paper);
}

void LetGo(UndoHistory* history, const UndoEntry& step) {
    if (!ChangesPaper(step) || !history->LetGoOfPaper) return;
    if (step.Before.Paper) history->LetGoOfPaper(step.Before.Paper);
    if (step.After.Paper) history->LetGoOfPaper(step.After.Paper);
}

void DropOldest(UndoHistory* history) {
    LetGo(history, history->Steps.front());
    history->Steps.erase(history->Steps.begin());
    if (history->Next > 0) --history->Next;
}

}  // namespace

bool SameEditState(const EditState& a, const EditState& b) {
    return a.Brush.Opacity == b.Brush.Opacity && a.Brush.StrokeCoeff == b.Brush.StrokeCoeff &&
           a.Brush.BackgroundCoeff == b.Brush.BackgroundCoeff && a.Paper == b.Paper;
}

void RecordUndoStep(UndoHistory* history, const EditState& before, const EditState& after) {
    if (SameEditState(before, after)) return;
    while (history->Steps.size() > history->Next) {
        LetGo(history, history->Steps.back());
        history->Steps.pop_back();
    }
    const UndoEntry step = {before, after};
    Keep(history, step);
    history->Steps.push_back(step);
    history->Next = history->Steps.size();
    while (history->Steps.size() > UndoStepLimit) DropOldest(history);
    // The newest step stays even when its own paper alone is over the limit: the user can always
    // go back one paper.
    while (history->Steps.size() > 1 && KeptPaperBytes(*history, after.Paper) > UndoPaperBytesLimit)
        DropOldest(history);
}

bool CanUndo(const UndoHistory& history) { return history.Next > 0; }

bool CanRedo(const UndoHistory& history) { return history.Next < history.Steps.size(); }

bool UndoStep(UndoHistory* history, EditState* state) {
    if (!CanUndo(*history)) return false;
    *state = history->Steps[--history->Next].Before;
    return true;
}

bool RedoStep(UndoHistory* history, EditState* state) {
    if (!CanRedo(*history)) return false;
    *state = history->Steps[history->Next++].After;
    return true;
}

void ClearUndoHistory(UndoHistory* history) {
    for (const UndoEntry& step : history->Steps) LetGo(history, step);
    history->Steps.clear();
    history->Next = 0;
}

long long KeptPaperBytes(const UndoHistory& history, unsigned current) {
    // Each paper once, however many steps name it; a few hundred steps at most.
    std::vector<unsigned> counted = {current};
    long long bytes = 0;
    for (const UndoEntry& step : history.Steps) {
        if (!ChangesPaper(step)) continue;
        for (const EditState* side : {&step.Before, &step.After}) {
            if (!side->Paper || std::find(counted.begin(), counted.end(), side->Paper) != counted.end()) continue;
            counted.push_back(side->Paper);
            bytes += 4ll * side->PaperWidth * side->PaperHeight;
        }
    }
    return bytes;
}
