#include "render/picture_export.h"

#include <cstdio>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "base/log.h"
#include "picture/export_job.h"
#include "render/brush_filter.h"
#include "render/offscreen_pass.h"
#include "render/texture_slots.h"

double ExportRenderMillisecondsPerFrame = 25.0;

namespace {

enum Stage { STAGE_IDLE, STAGE_RENDERING, STAGE_WRITING };

// The export under way: its file, and while it renders, the buffer the pixels are read back into
// (moved into the job once complete).
struct {
    Stage Now = STAGE_IDLE;
    std::string Path;
    PictureFormat Format = PICTURE_PNG;
    int Width = 0, Height = 0;
    std::vector<unsigned char> Rgb;
} Export;

// The export's render in steps and the slots' textures it holds while it runs (0: none).
struct {
    TiledRender Tiles = {};
    GLuint Picture = 0, Paper = 0;
} ExportRender;

// The bar's share for the render. Measured on a software GL (Mesa's llvmpipe on two cores), a
// 24-megapixel painting renders in about the time libpng takes to write it at level 1, and in
// several times what libjpeg takes; on a GPU the render is quick and the bar soon reaches the
// encoding's part.
float RenderShareOfBar(PictureFormat format) { return format == PICTURE_JPEG ? 0.85f : 0.5f; }

void Fail(ExportOutcome* outcome, const std::string& path, const char* reason) {
    outcome->Done = false;
    snprintf(outcome->Reason, sizeof outcome->Reason, "%s", reason);
    const std::string detail = path + ": " + reason;
    LogError("Failed to export picture: ", detail.c_str());
}

bool TakeOutcome(const ExportStatus& status, ExportOutcome* outcome) {
    Export.Now = STAGE_IDLE;
    outcome->Width = status.Width;
    outcome->Height = status.Height;
    if (status.State == EXPORT_SUCCEEDED) {
        outcome->Done = true;
        outcome->Reason[0] = '\0';
        LogInfo("Exported picture: ", status.Path.c_str());
    } else {
        Fail(outcome, status.Path, status.Reason.c_str());
    }
    return true;
}

// The render's next step; once it is complete, the pixels go to the job. True when the export
// ended here (a failure), with its outcome and line.
bool StepRender(double budgetMilliseconds, ExportOutcome* outcome, float* progress) {
    char reason[256] = "";
    float share = 0.0f;
    const RenderStep step = StepPaintedPictureRender(budgetMilliseconds, &share, reason, sizeof reason);
    if (progress) *progress = share * RenderShareOfBar(Export.Format);
    if (step == RENDER_RUNNING) return false;
    EndPaintedPictureRender();
    outcome->Done = false;
    outcome->Width = Export.Width;
    outcome->Height = Export.Height;
    outcome->Reason[0] = '\0';
    if (step == RENDER_FAILED) {
        Export.Now = STAGE_IDLE;
        Export.Rgb = std::vector<unsigned char>();
        Fail(outcome, Export.Path, reason);
        return true;
    }
    std::string jobReason;
    if (!StartPictureExport(Export.Path, Export.Format, std::move(Export.Rgb), Export.Width, Export.Height, 3,
                            &jobReason)) {
        Export.Now = STAGE_IDLE;
        Export.Rgb = std::vector<unsigned char>();
        Fail(outcome, Export.Path, jobReason.c_str());
        return true;
    }
    Export.Now = STAGE_WRITING;
    return false;
}

}  // namespace

void PaintedPictureSize(int* width, int* height) {
    *width = DiffuseWidth;
    *height = DiffuseHeight;
}

bool RenderPaintedPicture(unsigned char* rgb, size_t size, char* reason, size_t reasonSize) {
    int reachWidth = 0, reachHeight = 0;
    LastDrawnPictureSize(&reachWidth, &reachHeight);
    return RenderBrushPassRGB(DiffuseWidth, DiffuseHeight, float(reachWidth), float(reachHeight), BrushParameters, rgb,
                              size, reason, reasonSize);
}

bool StartPaintedPictureRender(unsigned char* rgb, size_t size, char* reason, size_t reasonSize) {
    int reachWidth = 0, reachHeight = 0;
    LastDrawnPictureSize(&reachWidth, &reachHeight);
    return StartPaintedPictureRenderWith(BrushParameters, reachWidth, reachHeight, rgb, size, reason, reasonSize);
}

bool StartPaintedPictureRenderWith(const BrushProperties& parameters, int reachWidth, int reachHeight,
                                   unsigned char* rgb, size_t size, char* reason, size_t reasonSize) {
    EndPaintedPictureRender();
    if (!BeginTiledRender(&ExportRender.Tiles, DiffuseWidth, DiffuseHeight, float(reachWidth), float(reachHeight),
                          parameters, DiffuseTexture, FilterTexture, rgb, size, reason, reasonSize))
        return false;
    ExportRender.Picture = DiffuseTexture;
    ExportRender.Paper = FilterTexture;
    HoldSlotTexture(ExportRender.Picture);
    HoldSlotTexture(ExportRender.Paper);
    return true;
}

RenderStep StepPaintedPictureRender(double budgetMilliseconds, float* share, char* reason, size_t reasonSize) {
    const RenderStep step = StepTiledRender(&ExportRender.Tiles, budgetMilliseconds, reason, reasonSize);
    if (share) *share = TiledRenderShare(ExportRender.Tiles);
    return step;
}

void EndPaintedPictureRender() {
    EndTiledRender(&ExportRender.Tiles);
    LetGoOfSlotTexture(ExportRender.Picture);
    LetGoOfSlotTexture(ExportRender.Paper);
    ExportRender.Tiles = TiledRender{};
    ExportRender.Picture = ExportRender.Paper = 0;
}

bool PaintedPictureRendering() { return ExportRender.Tiles.Target.Framebuffer != 0; }

const OffscreenTarget& PaintedPictureRenderTarget() { return ExportRender.Tiles.Target; }

void RefusePaintedPictureExport(const char* path, const char* reason, ExportOutcome* outcome) {
    *outcome = ExportOutcome{};
    Fail(outcome, path, reason);
}

bool StartPaintedPictureExport(const char* path, PictureFormat format, ExportOutcome* outcome) {
    int width = 0, height = 0;
    PaintedPictureSize(&width, &height);
    outcome->Done = false;
    outcome->Width = width;
    outcome->Height = height;
    outcome->Reason[0] = '\0';
    if (Export.Now != STAGE_IDLE || PictureExportBusy()) {
        Fail(outcome, path, "Another export is still running.");
        return false;
    }
    // The pixels are read back straight into the buffer the job takes over: no copy of them is
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
    if (!StartPaintedPictureRender(rgb.data(), rgb.size(), reason, sizeof reason)) {
        Fail(outcome, path, reason);
        return false;
    }
    // Moving the vector keeps its storage, where the render reads back.
    Export.Now = STAGE_RENDERING;
    Export.Path = path;
    Export.Format = format;
    Export.Width = width;
    Export.Height = height;
    Export.Rgb = std::move(rgb);
    return true;
}

bool FinishPaintedPictureExport(ExportOutcome* outcome, float* progress) {
    if (Export.Now == STAGE_RENDERING) {
        if (StepRender(ExportRenderMillisecondsPerFrame, outcome, progress)) return true;
        if (Export.Now == STAGE_RENDERING) return false;
    }
    const ExportStatus status = PollPictureExport();
    if (status.State == EXPORT_RUNNING) {
        const float share = RenderShareOfBar(Export.Format);
        if (progress) *progress = share + (1.0f - share) * status.Progress;
        return false;
    }
    if (status.State == EXPORT_IDLE) return false;
    return TakeOutcome(status, outcome);
}

bool WaitForPaintedPictureExport(ExportOutcome* outcome) {
    if (Export.Now == STAGE_RENDERING && StepRender(std::numeric_limits<double>::infinity(), outcome, nullptr))
        return true;
    const ExportStatus status = WaitForPictureExport();
    if (status.State == EXPORT_IDLE) return false;
    return TakeOutcome(status, outcome);
}

bool PaintedPictureExportRunning() { return Export.Now != STAGE_IDLE || PictureExportBusy(); }

bool PaintedPictureExportRendering() { return Export.Now == STAGE_RENDERING; }
