#include "render/picture_export.h"

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "app/log.h"
#include "picture/export_job.h"
#include "render/offscreen_pass.h"

namespace {

void Fail(ExportOutcome* outcome, const std::string& path, const char* reason) {
    outcome->done = false;
    snprintf(outcome->reason, sizeof outcome->reason, "%s", reason);
    const std::string detail = path + ": " + reason;
    LogError("Failed to export picture: ", detail.c_str());
}

bool TakeOutcome(const ExportStatus& status, ExportOutcome* outcome) {
    outcome->width = status.width;
    outcome->height = status.height;
    if (status.state == EXPORT_SUCCEEDED) {
        outcome->done = true;
        outcome->reason[0] = '\0';
        LogInfo("Exported picture: ", status.path.c_str());
    } else {
        Fail(outcome, status.path, status.reason.c_str());
    }
    return true;
}

}  // namespace

bool StartPaintedPictureExport(const char* path, PictureFormat format, ExportOutcome* outcome) {
    int width = 0, height = 0;
    PaintedPictureSize(&width, &height);
    outcome->done = false;
    outcome->width = width;
    outcome->height = height;
    outcome->reason[0] = '\0';
    if (PictureExportBusy()) {
        Fail(outcome, path, "Another export is still running.");
        return false;
    }
    // The pixels are rendered straight into the buffer the job takes over: no copy of them is
    // ever made. Allocation is the one place here where the library may throw.
    std::vector<unsigned char> rgb;
    try {
        rgb.resize(size_t(width) * size_t(height) * 3);
    } catch (const std::bad_alloc&) {
        char reason[128];
        snprintf(reason, sizeof reason, "not enough memory for the %d x %d picture", width, height);
        Fail(outcome, path, reason);
        return false;
    }
    char reason[256] = "";
    if (!RenderPaintedPicture(rgb.data(), rgb.size(), reason, sizeof reason)) {
        Fail(outcome, path, reason);
        return false;
    }
    std::string jobReason;
    if (!StartPictureExport(path, format, std::move(rgb), width, height, 3, &jobReason)) {
        Fail(outcome, path, jobReason.c_str());
        return false;
    }
    return true;
}

bool FinishPaintedPictureExport(ExportOutcome* outcome, float* progress) {
    const ExportStatus status = PollPictureExport();
    if (status.state == EXPORT_RUNNING) {
        if (progress) *progress = status.progress;
        return false;
    }
    if (status.state == EXPORT_IDLE) return false;
    return TakeOutcome(status, outcome);
}

bool WaitForPaintedPictureExport(ExportOutcome* outcome) {
    const ExportStatus status = WaitForPictureExport();
    if (status.state == EXPORT_IDLE) return false;
    return TakeOutcome(status, outcome);
}

bool PaintedPictureExportRunning() { return PictureExportBusy(); }
