#include "ui/export_command.h"

#include <stdlib.h>

#include <string>

#include <SDL.h>
#include <imgui.h>

#include "base/file_name.h"
#include "base/log.h"
#include "picture/export_name.h"
#include "picture/file_paths.h"
#include "render/picture_export.h"
#include "ui/export_progress.h"
#include "ui/import_notice.h"
#include "ui/kept_settings.h"
#include "ui/modal.h"
#include "ui/ui_services.h"

namespace {

std::string PicturePath;  // "" until a picture has been imported

enum Phase { PHASE_IDLE, PHASE_PREPARING, PHASE_WRITING };
struct {
    Phase Now = PHASE_IDLE;
    std::string Path;
    PictureFormat Format = PICTURE_PNG;
    int ChosenInFrame = 0;  // the render waits for a later frame, so the strip shows first
    float Progress = 0.0f;
    unsigned Failures = 0;  // since start-up: a way out asked for before one is given up
} Export;

// The name the user typed without an extension, now with ".png", names a file that exists.
struct {
    bool Pending = false;
    bool OpenRequested = false;
    ExportName Target;
} Question;

struct {
    std::string Text;  // "" while none is shown
    double Since = 0.0;
} Confirmation;

void NoticeFailure(const std::string& path, const char* reason) {
    std::string text = "The picture could not be exported to \"" + DisplayFileName(path.c_str()) + "\".";
    if (reason && *reason) text += std::string("\n") + reason;
    PostNotice(ExportNoticeTitle, text);
}

void Begin(const ExportName& target) {
    LogInfo("Exporting picture: ", target.Path.c_str());
    Export.Now = PHASE_PREPARING;
    Export.Path = target.Path;
    Export.Format = target.Format;
    Export.ChosenInFrame = ImGui::GetFrameCount();
    Export.Progress = 0.0f;
    Confirmation.Text.clear();
}

// A way out waiting for the file is given up when it sees the count grow, and the notice shows.
void Failed(const std::string& path, const char* reason) {
    Export.Now = PHASE_IDLE;
    ++Export.Failures;
    NoticeFailure(path, reason);
}

void Succeeded(const ExportOutcome& outcome) {
    Export.Now = PHASE_IDLE;
    Confirmation.Text = "Saved " + DisplayFileName(Export.Path.c_str()) + ", " + std::to_string(outcome.Width) + " x " +
                        std::to_string(outcome.Height);
    Confirmation.Since = ImGui::GetTime();
}

void FollowExport() {
    if (Export.Now == PHASE_PREPARING && ImGui::GetFrameCount() > Export.ChosenInFrame) {
        ExportOutcome outcome;
        if (UIServices.StartExport(Export.Path.c_str(), Export.Format, &outcome)) {
            Export.Now = PHASE_WRITING;
        } else {
            Failed(Export.Path, outcome.Reason);
        }
        // The render's first step waits for the next frame: this one has made the pixels' buffer.
        return;
    }
    if (Export.Now == PHASE_WRITING) {
        ExportOutcome outcome;
        float progress = Export.Progress;
        if (!UIServices.FinishExport(&outcome, &progress)) {
            Export.Progress = progress;
        } else if (outcome.Done) {
            Succeeded(outcome);
        } else {
            Failed(Export.Path, outcome.Reason);
        }
    }
}

void DrawQuestion() {
    if (Question.OpenRequested) {
        ImGui::OpenPopup(ReplaceQuestionTitle);
        Question.OpenRequested = false;
    }
    if (!Question.Pending) return;
    if (!BeginCentredModal(ReplaceQuestionTitle)) {
        // Closed from outside (another notice took its place): nothing is written.
        Question.Pending = false;
        return;
    }
    const std::string question = "A file named \"" + DisplayFileName(Question.Target.Path.c_str()) +
                                 "\" already exists.\nDo you want to replace it?";
    ModalText(question.c_str());
    const ReplaceAnswer answer = ReplaceQuestionButtons();
    if (answer != REPLACE_ANSWER_NONE) {
        Question.Pending = false;
        if (answer == REPLACE_ANSWER_REPLACE) Begin(Question.Target);
    }
    EndCentredModal();
}

}  // namespace

void RememberPicturePath(const char* path) { PicturePath = AbsolutePath(path); }

const char* ExportablePicturePath() { return PicturePath.empty() ? nullptr : PicturePath.c_str(); }

void ExportPicture() {
    if (PicturePath.empty() || Question.Pending) return;
    if (Export.Now != PHASE_IDLE) {
        PostNotice(ExportBusyTitle, "\"" + DisplayFileName(Export.Path.c_str()) +
                                        "\" is still being exported.\nExport again once it is saved.");
        return;
    }
    // The folder exported to last, else the picture's own.
    const char* lastFolder = ChooserFolder(CHOOSER_EXPORT);
    const std::string folder = lastFolder ? std::string(lastFolder) : PictureFolder(PicturePath.c_str());
    const std::string name = SuggestedExportName(PicturePath.c_str());
    char* chosen = nullptr;
    // The window takes no text while the modal chooser is up. Left on, SDL's text input keeps an
    // input-method context on this thread whose empty composition, under Wine, replaces the
    // suggested name as the chooser's name field takes the focus.
    SDL_StopTextInput();
    const NFDResult result =
        UIServices.SaveFileAs(ExportFilterList, folder.empty() ? nullptr : folder.c_str(), name.c_str(), &chosen);
    SDL_StartTextInput();
    if (result == NFD_RESULT_ERROR) {
        PostNotice(ExportNoticeTitle,
                   std::string("The file chooser could not be opened.\n") + UIServices.DialogError());
        return;
    }
    // Cancelled: no line, no change.
    if (result != NFD_RESULT_OK || !chosen) return;
    RememberChooserFolder(CHOOSER_EXPORT, chosen);
    ExportName target;
    std::string reason;
    if (!ResolveExportName(chosen, &target, &reason)) {
        LogInfo("Exporting picture: ", chosen);
        ExportOutcome refused;
        RefusePaintedPictureExport(chosen, reason.c_str(), &refused);
        NoticeFailure(chosen, reason.c_str());
    } else if (target.ExtensionAdded && UIServices.FileExists(target.Path.c_str())) {
        Question.Pending = true;
        Question.OpenRequested = true;
        Question.Target = target;
    } else {
        Begin(target);
    }
    free(chosen);
}

void DrawPictureExport(bool loadingShown, bool leaving) {
    FollowExport();
    // Above the loading indicator when an import shows it too.
    const ImGuiStyle& style = ImGui::GetStyle();
    const float lift = loadingShown ? ImGui::GetFrameHeight() + style.WindowPadding.y * 2 + style.ItemSpacing.y : 0.0f;
    if (Export.Now != PHASE_IDLE) {
        DrawExportProgress(Export.Path.c_str(), Export.Progress, leaving, lift);
    } else if (!Confirmation.Text.empty()) {
        const double age = ImGui::GetTime() - Confirmation.Since;
        const double left = ExportConfirmationSeconds - age;
        if (left <= 0.0 || DrawExportConfirmation(Confirmation.Text.c_str(), left < 1.0 ? float(left) : 1.0f, lift))
            Confirmation.Text.clear();
    }
    DrawQuestion();
}

bool ExportProgressShown(float* progress) {
    if (progress) *progress = Export.Progress;
    return Export.Now != PHASE_IDLE;
}

const char* ExportConfirmationText() { return Confirmation.Text.c_str(); }

unsigned ExportsFailed() { return Export.Failures; }

void ResetExportCommand() {
    PicturePath.clear();
    Export.Now = PHASE_IDLE;
    Export.Path.clear();
    Export.Progress = 0.0f;
    Question.Pending = Question.OpenRequested = false;
    Confirmation.Text.clear();
}
