#include "ui/drop_import.h"

#include <stdio.h>

#include <string>

#include "ui/import_command.h"
#include "ui/import_notice.h"
#include "ui/tool_windows.h"
#include "ui/ui_state.h"

namespace {

// The drop under way: from its first event to SDL_DROPCOMPLETE.
struct Drop {
    bool Open = false;
    bool OnPaper = false;  // decided at its first event, where the user let go
    std::string First;     // the first file's path
    int Files = 0;
};
Drop Current;

void FinishDrop() {
    const Drop drop = Current;
    Current = Drop();
    if (drop.Files == 0) {
        PostImportNotice("What was dropped", nullptr, "Only files can be dropped here, not text or web addresses.");
        return;
    }
    if (drop.Files > 1) {
        // Before the import: should the first file not load, its own notice replaces this one.
        char subject[64];
        if (drop.Files == 2) {
            snprintf(subject, sizeof subject, "The other dropped file");
        } else {
            snprintf(subject, sizeof subject, "The other %d dropped files", drop.Files - 1);
        }
        PostImportNotice(subject, nullptr, "One file is opened at a time: the first.");
    }
    if (drop.OnPaper) {
        ImportPaperFile(drop.First.c_str());
    } else {
        ImportPictureFile(drop.First.c_str());
    }
}

}  // namespace

bool DropGoesToPaper(float x, float y) {
    const PreviewRect& paper = PaperPreviewRect;
    return ShowTextures && paper.X1 > paper.X0 && x >= paper.X0 && x < paper.X1 && y >= paper.Y0 && y < paper.Y1;
}

void TakeDropEvent(const SDL_Event& event, float pointerX, float pointerY) {
    switch (event.type) {
    case SDL_DROPBEGIN:
    case SDL_DROPFILE:
    case SDL_DROPTEXT:
        if (!Current.Open) {
            Current.Open = true;
            Current.OnPaper = DropGoesToPaper(pointerX, pointerY);
        }
        if (event.type == SDL_DROPFILE && event.drop.file) {
            if (Current.Files++ == 0) Current.First = event.drop.file;
        }
        break;
    case SDL_DROPCOMPLETE: FinishDrop(); break;
    default: break;
    }
}

bool HandleDropEvent(const SDL_Event& event, SDL_Window* window) {
    if (event.type != SDL_DROPBEGIN && event.type != SDL_DROPFILE && event.type != SDL_DROPTEXT &&
        event.type != SDL_DROPCOMPLETE)
        return false;
    int pointerX = 0, pointerY = 0, windowX = 0, windowY = 0;
    SDL_GetGlobalMouseState(&pointerX, &pointerY);
    SDL_GetWindowPosition(window, &windowX, &windowY);
    TakeDropEvent(event, static_cast<float>(pointerX - windowX), static_cast<float>(pointerY - windowY));
    if (event.type == SDL_DROPFILE || event.type == SDL_DROPTEXT) SDL_free(event.drop.file);
    return true;
}
