#include "app/frame_probe.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "render/brush_filter.h"
#include "render/cached_preview.h"
#include "render/picture_export.h"
#include "render/texture_import.h"
#include "ui/export_command.h"

static bool Probing = false;
static long long FrameCount = 0;

void StartFrameProbe() {
    Probing = std::getenv("VELLUMRY_FRAME_PROBE") != nullptr;
    if (std::getenv("VELLUMRY_UNCACHED_PREVIEW")) PreviewCaching = false;
}

void ProbeFrame(int windowWidth, int windowHeight) {
    if (!Probing) return;
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
