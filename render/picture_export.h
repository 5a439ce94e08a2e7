// picture_export: the painted picture written to a file at its own size. It is rendered here,
// on the main thread (render/offscreen_pass.h: the picture in the slot with the current
// parameters and paper and the brush reach of the latest frame), and the pixels are moved into
// the export job, which encodes and writes them safely on its worker thread
// (picture/export_job.h) while the window goes on drawing.
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
// The file keeps the parameters it was started with: a slider moved meanwhile changes the
// window, not the file. One export at a time.
// Log lines: "[Info]: Exported picture: <path>" once the file is in place; on any failure one
// "[Error]: Failed to export picture: <path>: <reason>" (a render that fails, a job that cannot
// start, an encoder or a disk that fails), and the program goes on. The line that comes before,
// "[Info]: Exporting picture: <path>", is the caller's: it names the file when the user has
// chosen it, before anything is tried.
// Main thread only, with the context current and the renderer initialised.
#pragma once
#include "picture/png_jpeg_encoder.h"

// What an export came to.
struct ExportOutcome {
    bool done;          // the file is in place
    int width, height;  // the picture's size in the file
    char reason[512];   // why not, in the system's or the encoder's words; "" when done
};

// Renders the picture and starts writing it to `path` in `format`, and returns at once. False
// when nothing could start (no picture, the GL failing, no memory for the pixels, another
// export running): the outcome says why and the error line is written.
bool StartPaintedPictureExport(const char* path, PictureFormat format, ExportOutcome* outcome);

// Never blocks. True when the running export ended in this call: the outcome says how and its
// line is written. Otherwise false, with *progress (when not null) set to the share written,
// 0..1, while one runs.
bool FinishPaintedPictureExport(ExportOutcome* outcome, float* progress);

// Blocks until the running export (if any) has ended; true with its outcome and line then,
// false when none was running.
bool WaitForPaintedPictureExport(ExportOutcome* outcome);

// Whether an export has started and its outcome has not yet been taken.
bool PaintedPictureExportRunning();
