// look_picker: the Options window's "Look" selector, "Save Look..." and "Delete", and choosing
// a look (settings/look_file.h): the brush's three parameters and the paper set as if by hand.
//
//   ApplyLook(look);          // what choosing a look does, wherever it is chosen
//   RestoreLook(look);        // the same at start-up: the paper loads before the first frame
//   DrawLookSelector();       // inside the Options window, above the sliders
//   DrawLookButtons();        // "Save Look..." and "Delete", beside the window's "Reset"
//   DrawLookDialogs();        // once a frame at the top level: the name asked for, the question
//   Look now = LookInUse();   // what the settings keep: the parameters, the paper, the name
//
// The selector lists the built-in looks, then the user's (read from the looks folder when the
// list opens and after a save or a delete), then the files there that cannot be used, greyed,
// with the reason. Its label is the look chosen last, "(changed)" after it once a slider or the
// paper differs from it, "Custom" when no look was chosen. Choosing one logs "[Info]: Using look:
// <name>". Its paper file is imported as File > Import Filter would ("[Info]: Loading filter
// texture: <path>"); a look whose paper file has gone gets the built-in paper and a notice.
// "Save Look..." asks for a name (refusing one a built-in look has) and asks before replacing a
// user's look of that name; the file is written safely ("[Info]: Saved look: <path>"), a failure
// shown in a notice. "Delete" removes the chosen user's look's file ("[Info]: Deleted look:
// <path>"); the sliders keep its values. Main thread only, inside the UI frame.
#pragma once
#include "settings/look_file.h"

void ApplyLook(const Look& look);
void RestoreLook(const Look& look);
Look LookInUse();

// The paper now in the filter slot came from this file ("" for the built-in paper). The import
// calls it when a paper arrives, however it was chosen.
void NotePaperInUse(const char* path);

void DrawLookSelector();
void DrawLookButtons();
void DrawLookDialogs();

// Back to the start: the Default look chosen, the built-in paper, no dialog. For tests.
void ResetLookPicker();

// The titles of the name's dialog, the question and the notices.
constexpr const char* SaveLookTitle = "Save Look";
constexpr const char* ReplaceLookTitle = "Replace look?";
constexpr const char* LookNoticeTitle = "Look";
