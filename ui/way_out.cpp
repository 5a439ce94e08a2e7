#include "ui/way_out.h"

#include <stdlib.h>

#include "render/texture_import.h"
#include "ui/export_command.h"

namespace {

enum class WayOut { None, Close, Exit };
struct {
    WayOut Asked = WayOut::None;
    unsigned FailuresWhenAsked = 0;  // ExportsFailed() when it was asked for
} Leaving;

// An export that failed since the way out was asked for gives it up, whoever asks next.
void Settle() {
    if (Leaving.Asked != WayOut::None && ExportsFailed() != Leaving.FailuresWhenAsked) Leaving.Asked = WayOut::None;
}

void Ask(WayOut way) {
    Leaving.Asked = way;
    Leaving.FailuresWhenAsked = ExportsFailed();
}

bool FileBeingWritten() { return ExportProgressShown(nullptr); }

}  // namespace

void RequestClose() {
    Settle();
    if (Leaving.Asked == WayOut::None) Ask(WayOut::Close);
}

bool CloseDue() {
    Settle();
    return Leaving.Asked == WayOut::Close && !FileBeingWritten();
}

void RequestExit() {
    Settle();
    Ask(WayOut::Exit);
}

void ExitIfDue() {
    Settle();
    if (Leaving.Asked != WayOut::Exit || FileBeingWritten()) return;
    EndTextureImports();  // a decoder still at work ends with the program
    exit(0);
}

bool WayOutRequested() {
    Settle();
    return Leaving.Asked != WayOut::None;
}

void ResetWayOut() { Leaving.Asked = WayOut::None; }
