#include "app/frame_pacing.h"

#include <SDL.h>
#include <imgui.h>

#include "app/frame_probe.h"
#include "picture/image_decoder.h"
#include "render/brush_filter.h"
#include "render/picture_export.h"
#include "ui/export_command.h"
#include "ui/import_command.h"
#include "ui/kept_settings.h"

bool FrameLoopRests = true;

bool FrameActivityBusy(const FrameActivity& activity) {
    return activity.ExportRendering || activity.Loading || activity.ExportShown || activity.CompareHeld ||
           activity.Typing;
}

FramePace ChooseFramePace(const FrameActivity& activity) {
    if (!FrameLoopRests) return FRAME_PACE_NOW;
    if (activity.SettleFramesLeft > 0 || activity.ExportRendering || activity.ProbeWantsFrames) return FRAME_PACE_NOW;
    return FrameActivityBusy(activity) || activity.SettingsWaiting ? FRAME_PACE_ANIMATION : FRAME_PACE_REST;
}

FrameActivity ReadFrameActivity(int settleFramesLeft) {
    FrameActivity activity;
    activity.SettleFramesLeft = settleFramesLeft;
    activity.ExportRendering = PaintedPictureExportRendering();
    activity.ProbeWantsFrames = ProbeWantsFrames();
    activity.Loading = ImportInProgress() != nullptr || DecodersToReap();
    activity.ExportShown = ExportProgressShown(nullptr) || *ExportConfirmationText() != '\0';
    activity.CompareHeld = CompareWithOriginal;
    activity.Typing = ImGui::GetIO().WantTextInput;
    activity.SettingsWaiting = KeptSettingsWaiting();
    return activity;
}

void WaitForFrame(FramePace pace) {
    // The event stays queued for the loop to take.
    if (pace == FRAME_PACE_ANIMATION) {
        SDL_WaitEventTimeout(nullptr, AnimationFrameMilliseconds);
    } else if (pace == FRAME_PACE_REST) {
        ProbeRest();
        SDL_WaitEvent(nullptr);
    }
}
