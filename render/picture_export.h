// picture_export: the painted picture written to a file at its own size. It is rendered here,
// on the main thread, a few tiles a frame (render/offscreen_pass.h's tiled render: the picture
// in the slot with the parameters and paper and the brush reach of the latest frame, as they
// were at the start), read back straight into the buffer that is then moved into the export
// job, which encodes and writes it safely on its worker thread (picture/export_job.h). The
// window goes on drawing throughout: no frame waits for more than a step of the render (about
// ExportRenderMillisecondsPerFrame, or one tile where a tile takes longer).
//
//   ExportOutcome outcome;
//   if (!StartPaintedPictureExport(path, PICTURE_PNG, &outcome)) show(outcome.reason);
//   // then once a frame:
//   float progress = 0;
//   if (FinishPaintedPictureExport(&outcome, &progress)) outcome.done ? confirm(outcome) : show(outcome.reason);
//   else if (PaintedPictureExportRunning()) bar(progress);
//   // a way out that must not lose the file:
//   WaitForPaintedPictureExport(&outcome);
//
// The file keeps what it was started with: sliders moved, the window resized, another picture
// or paper imported meanwhile change the window, not the file (the textures it renders from are
// held until its render ends; render/texture_slots.h). One export at a time, from its start to
// the frame that takes its outcome. The progress is one bar over both parts: the render fills
// its first part (half of it for PNG, 85 % for JPEG: their shares of the time on a software GL),
// the encoding the rest. The renderer's shutdown ends a render still running: the export's next
// step then fails with its line.
// Log lines: "[Info]: Exported picture: <path>" once the file is in place; on any failure one
// "[Error]: Failed to export picture: <path>: <reason>" (a render that fails, a job that cannot
// start, an encoder or a disk that fails), and the program goes on. The line that comes before,
// "[Info]: Exporting picture: <path>", is the caller's: it names the file when the user has
// chosen it, before anything is tried.
// Main thread only, with the context current and the renderer initialised.
#pragma once
#include <cstddef>

#include "picture/png_jpeg_encoder.h"
#include "render/offscreen_pass.h"

// What an export came to.
struct ExportOutcome {
    bool Done;          // the file is in place
    int Width, Height;  // the picture's size in the file
    char Reason[512];   // why not, in the system's or the encoder's words; "" when done
};

// Starts exporting the picture to `path` in `format` and returns at once: the buffer for the
// pixels and the render's target are made, nothing is drawn yet. False when nothing could start
// (no picture, the GL refusing the target, no memory for the pixels, another export running):
// the outcome says why and the error line is written.
bool StartPaintedPictureExport(const char* path, PictureFormat format, ExportOutcome* outcome);

// A chosen name that cannot be exported (ResolveExportName refused it, picture/export_name.h):
// the export ends before it starts, with its error line, and the outcome carries the reason.
void RefusePaintedPictureExport(const char* path, const char* reason, ExportOutcome* outcome);

// Once a frame: renders the next tiles while the render lasts (for about
// ExportRenderMillisecondsPerFrame), hands the pixels to the job when they are complete, and
// otherwise only asks the job how far it is. True when the export ended in this call (the file
// in place, or a failure of the render, the job's start, the encoder or the disk): the outcome
// says how and its line is written. Otherwise false, with *progress (when not null) set to the
// bar's share, 0..1, while one runs.
bool FinishPaintedPictureExport(ExportOutcome* outcome, float* progress);

// Blocks until the running export (if any) has ended, rendering the rest of the picture at once;
// true with its outcome and line then, false when none was running.
bool WaitForPaintedPictureExport(ExportOutcome* outcome);

// Whether an export has started and its outcome has not yet been taken.
bool PaintedPictureExportRunning();
// Whether it is still rendering (the bar's first part).
bool PaintedPictureExportRendering();

// How long one frame's step of the render goes on, in milliseconds: tiles are drawn while the
// next would still end within it, and always one. 25 ms keeps the window near 30 frames a second
// on a software GL while the render takes little longer than in one piece. Tests set 0 (one
// tile a frame); the benchmark compares others.
extern double ExportRenderMillisecondsPerFrame;

// The export's render on its own, for tests and the benchmark. What the export writes: the
// picture in the slot at its own size (PaintedPictureSize, the diffuse width and height) painted
// with the current parameters and paper and with the reach of the latest frame's drawn size
// (LastDrawnPictureSize), so the file is the preview at full resolution.
void PaintedPictureSize(int* width, int* height);
// That render in one piece: the reference the render in steps equals byte for byte. False, with
// a reason, when there is no picture, the buffer is too small or the GL fails.
bool RenderPaintedPicture(unsigned char* rgb, size_t size, char* reason, size_t reasonSize);

// The same render in steps, as the export runs it. Start takes what the render paints with as it
// is then: the picture's size, the parameters, the reach of the latest frame, and the slots'
// textures, which it holds (HoldSlotTexture), so that what the user changes meanwhile changes the
// window and not the render. Start fails as RenderPaintedPicture does, holding nothing then. One
// render at a time: a start ends the one before. Step draws a budget's worth of tiles
// (StepTiledRender); `share` (when not null) becomes the part read back so far, 0..1. End deletes
// the render's target and lets go of the textures (those replaced meanwhile are deleted then).
bool StartPaintedPictureRender(unsigned char* rgb, size_t size, char* reason, size_t reasonSize);
// The same render with parameters and a reach of the caller's (the command line paints this way,
// with its look and the reach of its view: BrushReachInWindow).
bool StartPaintedPictureRenderWith(const BrushProperties& parameters, int reachWidth, int reachHeight,
                                   unsigned char* rgb, size_t size, char* reason, size_t reasonSize);
RenderStep StepPaintedPictureRender(double budgetMilliseconds, float* share, char* reason, size_t reasonSize);
void EndPaintedPictureRender();
// Whether a render has started and not ended (nor been ended by the renderer's shutdown).
bool PaintedPictureRendering();
// Its target: empty when none runs.
const OffscreenTarget& PaintedPictureRenderTarget();
