#include "ui/look_picker.h"

#include <string.h>

#include <string>
#include <vector>

#include <imgui.h>

#include "base/file_name.h"
#include "base/log.h"
#include "picture/file_paths.h"
#include "render/brush_filter.h"
#include "settings/config_folder.h"
#include "ui/edit_commands.h"
#include "ui/import_command.h"
#include "ui/import_notice.h"
#include "ui/modal.h"
#include "ui/ui_services.h"

namespace {

struct {
    Look Chosen = BuiltInLook(0);  // the look chosen last; its values tell "(changed)"
    bool AnyChosen = true;         // false once the chosen user's look was deleted
    std::string PaperInUse;        // "" = the built-in paper
    std::vector<LookEntry> UserLooks;
    bool ListRead = false;
} Picker;

struct {
    bool OpenRequested = false;
    char Name[128] = "";
    std::string Problem;  // why the name typed cannot be used, shown under it
    bool AskReplace = false;
    bool ReplaceOpenRequested = false;
} Saving;

void ReadUserLooks() {
    Picker.UserLooks = ListUserLooks();
    Picker.ListRead = true;
}

const LookEntry* FindUserLook(const std::string& name) {
    for (const LookEntry& entry : Picker.UserLooks) {
        if (entry.Outcome.Done && entry.Outcome.Value.Name == name) return &entry;
    }
    return nullptr;
}

bool SameValues(const Look& a, const Look& b) {
    return a.Opacity == b.Opacity && a.Stroke == b.Stroke && a.Intensity == b.Intensity && a.PaperPath == b.PaperPath;
}

// The paper of a look: the built-in one at once, a file through the import (waiting for it at
// start-up, where a picture named on the command line must not replace it), a missing file
// replaced by the built-in paper with a notice.
void UsePaper(const Look& look, bool waiting) {
    std::string path = look.PaperPath;
    if (!path.empty() && !PathExists(path.c_str())) {
        PostNotice(LookNoticeTitle, "The look's paper \"" + DisplayFileName(path.c_str()) +
                                        "\" is no longer there.\nThe built-in paper is used instead.");
        path.clear();
    }
    if (path == Picker.PaperInUse) return;
    if (path.empty()) {
        UIServices.LoadPaperNow(nullptr);
        Picker.PaperInUse.clear();
    } else if (waiting) {
        LogInfo("Loading filter texture: ", path.c_str());
        ImportOutcome outcome = UIServices.LoadPaperNow(path.c_str());
        if (outcome.Done) {
            Picker.PaperInUse = path;
        } else {
            PostImportNotice("The paper", path.c_str(), outcome.Reason);
        }
    } else {
        ImportPaperFile(path.c_str());
    }
}

void SetLook(const Look& look, bool waiting) {
    BrushParameters.Opacity = look.Opacity;
    BrushParameters.StrokeCoeff = look.Stroke;
    BrushParameters.BackgroundCoeff = look.Intensity;
    Picker.Chosen = look;
    Picker.AnyChosen = !look.Name.empty();
    UsePaper(look, waiting);
}

void Save(const std::string& name) {
    Look look = LookInUse();
    look.Name = name;
    const std::string path = UserLookPath(name);
    std::string reason;
    if (!WriteLookFile(path, look, &reason)) {
        LogError("Failed to save look: ", (path + ": " + reason).c_str());
        PostNotice(LookNoticeTitle, "The look \"" + name + "\" could not be saved.\n" + reason);
        return;
    }
    LogInfo("Saved look: ", path.c_str());
    Picker.Chosen = look;
    Picker.AnyChosen = true;
    ReadUserLooks();
}

void Delete(const LookEntry& entry) {
    const std::string path = entry.Path;
    std::string reason;
    if (!RemoveFile(path, &reason)) {
        PostNotice(LookNoticeTitle, "The look \"" + entry.Outcome.Value.Name + "\" could not be deleted.\n" + reason);
    } else {
        LogInfo("Deleted look: ", path.c_str());
        Picker.AnyChosen = false;
    }
    ReadUserLooks();
}

// "Save" in the name's dialog: a name that cannot be used stays in the dialog with the reason;
// one a user's look has already asks first.
void TrySave() {
    std::string name = Saving.Name;
    if (!CheckLookName(name, &Saving.Problem)) return;
    Saving.Problem.clear();
    ImGui::CloseCurrentPopup();
    ReadUserLooks();
    if (FindUserLook(name) || PathExists(UserLookPath(name).c_str())) {
        Saving.AskReplace = true;
        Saving.ReplaceOpenRequested = true;
        return;
    }
    Save(name);
}

void DrawNameDialog() {
    if (Saving.OpenRequested) {
        ImGui::OpenPopup(SaveLookTitle);
        Saving.OpenRequested = false;
    }
    if (!BeginCentredModal(SaveLookTitle)) return;
    ModalText("Save the sliders and the paper as a look named:");
    if (ImGui::IsWindowAppearing()) ImGui::SetKeyboardFocusHere();
    const bool entered =
        ImGui::InputText("##name", Saving.Name, sizeof Saving.Name, ImGuiInputTextFlags_EnterReturnsTrue);
    if (!Saving.Problem.empty()) ImGui::TextColored(ImVec4(1.0f, 0.6f, 0.4f, 1.0f), "%s", Saving.Problem.c_str());
    ImGui::Spacing();
    if (ModalButton("Save") || entered) {
        TrySave();
    } else {
        ImGui::SameLine();
        if (ModalButton("Cancel") || ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape), false)) {
            ImGui::CloseCurrentPopup();
        }
    }
    EndCentredModal();
}

void DrawReplaceQuestion() {
    if (Saving.ReplaceOpenRequested) {
        ImGui::OpenPopup(ReplaceLookTitle);
        Saving.ReplaceOpenRequested = false;
    }
    if (!Saving.AskReplace) return;
    if (!BeginCentredModal(ReplaceLookTitle)) {
        Saving.AskReplace = false;  // closed from outside: nothing is written
        return;
    }
    const std::string question =
        std::string("A look named \"") + Saving.Name + "\" already exists.\nDo you want to replace it?";
    ModalText(question.c_str());
    const ReplaceAnswer answer = ReplaceQuestionButtons();
    if (answer != REPLACE_ANSWER_NONE) {
        Saving.AskReplace = false;
        if (answer == REPLACE_ANSWER_REPLACE) Save(Saving.Name);
    }
    EndCentredModal();
}

}  // namespace

void ApplyLook(const Look& look) {
    LogInfo("Using look: ", look.Name.c_str());
    // One step of Undo for the sliders; a paper the look brings is a step of its own when it
    // arrives, as any paper import is.
    const EditState before = CurrentEditState();
    SetLook(look, false);
    RecordLookChoice(before);
}

void RestoreLook(const Look& look) { SetLook(look, true); }

Look LookInUse() {
    Look look;
    look.Name = Picker.AnyChosen ? Picker.Chosen.Name : std::string();
    look.Opacity = BrushParameters.Opacity;
    look.Stroke = BrushParameters.StrokeCoeff;
    look.Intensity = BrushParameters.BackgroundCoeff;
    look.PaperPath = Picker.PaperInUse;
    return look;
}

void NotePaperInUse(const char* path) { Picker.PaperInUse = path ? AbsolutePath(path) : std::string(); }

void DrawLookSelector() {
    const Look now = LookInUse();
    std::string label = Picker.AnyChosen ? Picker.Chosen.Name : std::string("Custom");
    if (Picker.AnyChosen && !SameValues(now, Picker.Chosen)) label += " (changed)";
    if (ImGui::BeginCombo("Look", label.c_str())) {
        if (ImGui::IsWindowAppearing() || !Picker.ListRead) ReadUserLooks();
        for (int i = 0; i < BuiltInLookCount(); ++i) {
            const Look& look = BuiltInLook(i);
            if (ImGui::Selectable(look.Name.c_str(), Picker.AnyChosen && look.Name == Picker.Chosen.Name)) {
                ApplyLook(look);
            }
        }
        if (!Picker.UserLooks.empty()) ImGui::Separator();
        for (size_t i = 0; i < Picker.UserLooks.size(); ++i) {
            const LookEntry& entry = Picker.UserLooks[i];
            ImGui::PushID(int(i));
            if (entry.Outcome.Done) {
                const Look& look = entry.Outcome.Value;
                if (ImGui::Selectable(look.Name.c_str(), Picker.AnyChosen && look.Name == Picker.Chosen.Name)) {
                    if (!entry.Outcome.Note.empty()) LogInfo("Look values clamped: ", entry.Outcome.Note.c_str());
                    ApplyLook(look);
                }
            } else {
                const std::string unusable = DisplayFileName(entry.Path.c_str()) + " (unusable)";
                ImGui::Selectable(unusable.c_str(), false, ImGuiSelectableFlags_Disabled);
                if (ImGui::IsItemHovered(ImGuiHoveredFlags_AllowWhenDisabled)) {
                    ImGui::SetTooltip("%s", entry.Outcome.Reason.c_str());
                }
            }
            ImGui::PopID();
        }
        ImGui::EndCombo();
    }
}

void DrawLookButtons() {
    if (ImGui::Button("Save Look...")) {
        const std::string start = Picker.AnyChosen && !FindBuiltInLook(Picker.Chosen.Name) ? Picker.Chosen.Name : "";
        snprintf(Saving.Name, sizeof Saving.Name, "%s", start.c_str());
        Saving.Problem.clear();
        Saving.OpenRequested = true;
    }
    ImGui::SameLine();
    if (!Picker.ListRead) ReadUserLooks();
    const LookEntry* chosenUserLook =
        Picker.AnyChosen && !FindBuiltInLook(Picker.Chosen.Name) ? FindUserLook(Picker.Chosen.Name) : nullptr;
    ImGui::BeginDisabled(chosenUserLook == nullptr);
    if (ImGui::Button("Delete") && chosenUserLook) Delete(*chosenUserLook);
    ImGui::EndDisabled();
}

void DrawLookDialogs() {
    DrawNameDialog();
    DrawReplaceQuestion();
}

void ResetLookPicker() {
    Picker.Chosen = BuiltInLook(0);
    Picker.AnyChosen = true;
    Picker.PaperInUse.clear();
    Picker.UserLooks.clear();
    Picker.ListRead = false;
    Saving.OpenRequested = Saving.AskReplace = Saving.ReplaceOpenRequested = false;
    Saving.Problem.clear();
}
