#include "ui/way_out.h"

#include <stdlib.h>

#include "render/texture_import.h"
#include "ui/export_command.h"
#include "ui/kept_settings.h"

namespace {

enum WayOut { WAY_OUT_NONE, WAY_OUT_CLOSE, WAY_OUT_EXIT };
struct {
    WayOut Asked = WAY_OUT_NONE;
    unsigned FailuresWhenAsked = 0;  // ExportsFailed() when it was asked for
} Leaving;

// An export that failed since the way out was asked for gives it up, whoever asks next.
void Settle() {
    if (Leaving.Asked != WAY_OUT_NONE && ExportsFailed() != Leaving.FailuresWhenAsked) Leaving.Asked = WAY_OUT_NONE;
}

void Ask(WayOut way) {
    Leaving.Asked = way;
    Leaving.FailuresWhenAsked = ExportsFailed();
}

bool FileBeingWritten() { return ExportProgressShown(nullptr); }

}  // namespace

void RequestClose() {
    Settle();
    if (Leaving.Asked == WAY_OUT_NONE) Ask(WAY_OUT_CLOSE);
}

bool CloseDue() {
    Settle();
    return Leaving.Asked == WAY_OUT_CLOSE && !FileBeingWritten();
}

void RequestExit() {
    Settle();
    Ask(WAY_OUT_EXIT);
}

void ExitIfDue() {
    Settle();
    if (Leaving.Asked != WAY_OUT_EXIT || FileBeingWritten()) return;
    EndTextureImports();  // a decoder still at work ends with the program
    SaveKeptSettings();
    exit(0);
}

bool WayOutRequested() {
    Settle();
    return Leaving.Asked != WAY_OUT_NONE;
}

void ResetWayOut() { Leaving.Asked = WAY_OUT_NONE; }
