// modal: how the program's modal popups look: centred in the window, a nearly opaque background
// over any picture, sized to their content, text wrapped at 24 font sizes, buttons 5 font sizes
// wide. The notice (ui/import_notice.h) and the replace questions (an export's file, a saved look)
// use it.
//
//   if (BeginCentredModal(title)) {   // after ImGui::OpenPopup(title) in this or an earlier frame
//       ModalText(text);
//       if (ModalButton("OK")) ImGui::CloseCurrentPopup();
//       EndCentredModal();
//   }
//
// Opening the popup, and what closing it means, stay with the caller. Main thread only, inside
// the UI frame, at the top level of the ID stack (so the popup is found again in the next frames).
#pragma once

// False when the popup is not open (never opened, or closed from outside): then nothing else here
// is called for it.
bool BeginCentredModal(const char* title);
// The text, wrapped, and a little space below it.
void ModalText(const char* text);
// True in the frame in which it is clicked.
bool ModalButton(const char* label);
// A replace question's answer: "Replace" and "Cancel" side by side, Escape as Cancel. The popup
// is closed on either.
enum ReplaceAnswer { REPLACE_ANSWER_NONE, REPLACE_ANSWER_REPLACE, REPLACE_ANSWER_CANCEL };
ReplaceAnswer ReplaceQuestionButtons();
void EndCentredModal();
