// export_job: encodes a picture and writes it safely on one worker thread, while the main
// thread goes on drawing and asks each frame how far it is.
//
//   std::string reason;
//   if (!StartPictureExport(target.path, target.format, std::move(pixels), width, height, 4, &reason))
//       notice(reason);                          // e.g. another export is still running
//   ...each frame:
//   ExportStatus status = PollPictureExport();
//   if (status.state == EXPORT_RUNNING) bar(status.progress);
//   else if (status.state == EXPORT_SUCCEEDED) confirm(status.path, status.width, status.height);
//   else if (status.state == EXPORT_FAILED) notice(status.path, status.reason);
//   ...on Exit or window close: WaitForPictureExport(), or keep drawing until the poll ends.
//   (A program that calls exit() meanwhile also finishes the file before it ends.)
//
// The job owns its pixels (passed by value: move a buffer in, or pass a copy), so the caller
// may change its own at once. One job at a time: a start while one runs, or while its outcome
// has not been collected, is refused. The outcome comes exactly once, from the poll (or the
// wait) after the worker has finished; the state is EXPORT_IDLE before the first job and after
// an outcome was collected. The file appears whole or not at all (safe_file.h); a failure's
// reason is the system's or the encoder's text.
//
// The worker touches no GL, SDL or UI and writes no log line; the caller logs and shows.
// Call these from one thread (the main thread).
#pragma once
#include <string>
#include <vector>

#include "picture/png_jpeg_encoder.h"

enum ExportState { EXPORT_IDLE, EXPORT_RUNNING, EXPORT_SUCCEEDED, EXPORT_FAILED };

struct ExportStatus {
    ExportState State;
    float Progress;    // 0..1: rows encoded; 1 once the file is in place
    std::string Path;  // the target, as started
    int Width, Height;
    std::string Reason;  // EXPORT_FAILED: why, e.g. "No space left on device"
};

// pixels: width * height * channels bytes (channels 3 or 4, the fourth byte ignored), rows top
// to bottom. False with a reason when a job is running or uncollected, when the pixels do not
// match the size, or when no thread could be started; nothing is written then.
bool StartPictureExport(const std::string& path, PictureFormat format, std::vector<unsigned char> pixels, int width,
                        int height, int channels, std::string* reason);

// Never blocks. Collects a finished job's outcome (once).
ExportStatus PollPictureExport();

// Blocks until the running job (if any) has finished, and collects its outcome; EXPORT_IDLE
// when there was nothing to wait for.
ExportStatus WaitForPictureExport();

// Whether a job has been started and its outcome not yet collected.
bool PictureExportBusy();

// Settings for the jobs started from now on (the program's defaults until changed; the
// benchmark compares others).
extern EncoderSettings PictureExportSettings;
