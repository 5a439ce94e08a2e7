#include "app/frame_probe.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "app/frame_pacing.h"
#include "render/brush_filter.h"
#include "render/cached_preview.h"
#include "render/picture_export.h"
#include "render/texture_import.h"
#include "ui/export_command.h"

static bool Probing = false;
static long long FrameCount = 0;
// A test's requests for frames: the event type they come as, and how many are still owed.
static Uint32 RequestEvent = 0;
static long long FramesWanted = 0;

// On the probe's own thread: each line of the standard input, a number, becomes an event for the
// loop. The thread ends with the input (a test that never writes: at once, on /dev/null).
static int ReadFrameRequests(void*) {
    char line[64];
    while (std::fgets(line, sizeof line, stdin)) {
        SDL_Event event;
        SDL_zero(event);
        event.type = RequestEvent;
        event.user.code = int(std::strtol(line, nullptr, 10));
        SDL_PushEvent(&event);
    }
    return 0;
}

void StartFrameProbe() {
    Probing = std::getenv("VELLUMRY_FRAME_PROBE") != nullptr;
    if (std::getenv("VELLUMRY_UNCACHED_PREVIEW")) PreviewCaching = false;
    if (std::getenv("VELLUMRY_RESTLESS_LOOP")) FrameLoopRests = false;
    if (!Probing) return;
    RequestEvent = SDL_RegisterEvents(1);
    if (RequestEvent == Uint32(-1)) return;
    // Left to end with the process: it may wait on the input to the last.
    SDL_Thread* reader = SDL_CreateThread(ReadFrameRequests, "frame requests", nullptr);
    if (reader) SDL_DetachThread(reader);
}

bool TakeProbeEvent(const SDL_Event& event) {
    if (!Probing || RequestEvent == 0 || event.type != RequestEvent) return false;
    if (event.user.code > 0) FramesWanted += event.user.code;
    return true;
}

bool ProbeWantsFrames() { return FramesWanted > 0; }

void ProbeRest() {
    if (!Probing) return;
    char line[64];
    std::snprintf(line, sizeof line, "[Probe]: frame %lld rests\n", FrameCount);
    std::cerr << line;
}

void ProbeFrame(int windowWidth, int windowHeight) {
    if (!Probing) return;
    if (FramesWanted > 0) --FramesWanted;
    char line[256];
    const bool picture = DiffuseTexture != 0;
    std::snprintf(line, sizeof line,
                  "[Probe]: frame %lld paints %d window %d %d picture %d %d slots %u brush %.9g %.9g %.9g\n",
                  ++FrameCount, PreviewPaintCount(), windowWidth, windowHeight, picture ? DiffuseWidth : 0,
                  picture ? DiffuseHeight : 0, TextureSlotChanges, double(BrushParameters.Opacity),
                  double(BrushParameters.StrokeCoeff), double(BrushParameters.BackgroundCoeff));
    std::cerr << line;
    float progress = 0.0f;
    if (ExportProgressShown(&progress)) {
        std::snprintf(line, sizeof line, "[Probe]: frame %lld exporting %d%s\n", FrameCount, int(progress * 100.0f),
                      PaintedPictureExportRendering() ? " rendering" : "");
        std::cerr << line;
    } else if (*ExportConfirmationText()) {
        std::snprintf(line, sizeof line, "[Probe]: frame %lld saved\n", FrameCount);
        std::cerr << line;
    }
}
