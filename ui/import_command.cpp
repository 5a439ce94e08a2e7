#include "ui/import_command.h"

#include <stdlib.h>

#include <string>

#include <SDL.h>

#include "base/log.h"
#include "render/brush_filter.h"
#include "render/texture_import.h"
#include "ui/edit_commands.h"
#include "ui/export_command.h"
#include "ui/import_notice.h"
#include "ui/kept_settings.h"
#include "ui/look_picker.h"
#include "ui/ui_services.h"
#include "ui/ui_state.h"

namespace {

// The import that is loading: what the indicator and a later notice name.
struct {
    bool Active = false;
    std::string Path;
    TextureSlot Slot = TEXTURE_SLOT_DIFFUSE;
    Uint64 StartTicks = 0;
} Loading;

// Each slot's import: its log line's text, and how a notice names what it concerns.
const char* LogText(TextureSlot slot) {
    return slot == TEXTURE_SLOT_DIFFUSE ? "Loading diffuse texture: " : "Loading filter texture: ";
}
const char* Subject(TextureSlot slot) { return slot == TEXTURE_SLOT_DIFFUSE ? "The picture" : "The paper"; }

// What every import of a named file does, however the file was named: the log line, the import
// started without waiting, the notice when it cannot even start. An import still loading is
// replaced, so the newest choice is the one that arrives.
void ImportFile(const char* path, TextureSlot slot) {
    if (Loading.Active) {
        UIServices.CancelImport();
        Loading.Active = false;
        PaperImportEnded(false);
    }
    LogInfo(LogText(slot), path);
    ImportOutcome outcome;
    if (!UIServices.StartImport(slot, path, &outcome)) {
        PostImportNotice(Subject(slot), path, outcome.Reason);
        return;
    }
    Loading.Active = true;
    Loading.Path = path;
    Loading.Slot = slot;
    Loading.StartTicks = SDL_GetTicks64();
    // The paper in use stays until the new one arrives, so that Undo can put it back.
    if (slot == TEXTURE_SLOT_FILTER) HoldPaperForUndo();
}

// The steps both chooser imports share: the chooser, the import, releasing the path.
void Import(TextureSlot slot) {
    char* path = nullptr;
    const ChooserKind chooser = slot == TEXTURE_SLOT_DIFFUSE ? CHOOSER_IMPORT : CHOOSER_PAPER;
    const NFDResult result = UIServices.OpenFile(ImageFileFilter, ChooserFolder(chooser), &path);
    if (result == NFD_RESULT_ERROR) {
        PostImportNotice("The file chooser", nullptr, UIServices.DialogError());
        return;
    }
    // Cancelled: no line, no change. A chooser that answers OK without a path has nothing to load.
    if (result != NFD_RESULT_OK || !path) return;
    RememberChooserFolder(chooser, path);
    ImportFile(path, slot);
    free(path);
}

}  // namespace

void ImportDiffuseTexture() { Import(TEXTURE_SLOT_DIFFUSE); }

void ImportFilterTexture() { Import(TEXTURE_SLOT_FILTER); }

void ImportPictureFile(const char* path) { ImportFile(path, TEXTURE_SLOT_DIFFUSE); }

void ImportPaperFile(const char* path) { ImportFile(path, TEXTURE_SLOT_FILTER); }

// The picture arrives here, so the Options window and the Textures preview show it in this same
// frame.
void TakeFinishedImport() {
    ImportOutcome outcome;
    if (!UIServices.FinishImport(&outcome) || !Loading.Active) return;
    Loading.Active = false;
    PaperImportEnded(outcome.Done);
    if (!outcome.Done) {
        PostImportNotice(Subject(Loading.Slot), Loading.Path.c_str(), outcome.Reason);
    } else if (Loading.Slot == TEXTURE_SLOT_DIFFUSE) {
        // A new picture to tune: the Options window opens. What an export names its file after
        // and where its chooser opens.
        ShowOptions = true;
        // A new picture is seen whole first.
        PictureZoom = FittedZoomView;
        RememberPicturePath(Loading.Path.c_str());
        NoteRecentPicture(Loading.Path.c_str());
        // The steps were the old picture's.
        ForgetEdits();
    } else {
        NotePaperInUse(Loading.Path.c_str());
    }
}

const char* ImportInProgress() { return Loading.Active ? Loading.Path.c_str() : nullptr; }

double ImportSeconds() { return static_cast<double>(SDL_GetTicks64() - Loading.StartTicks) / 1000.0; }

void CancelLoadingImport() {
    UIServices.CancelImport();
    Loading.Active = false;
    PaperImportEnded(false);
}
