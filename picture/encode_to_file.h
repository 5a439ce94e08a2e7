// encode_to_file: a picture encoded (PNG or JPEG) straight into a file written safely: the
// export's one way from pixels to a file, for its job and for the command line's writers.
//
//   std::string reason;
//   PixelRows rows = {pixels, width, height, 3};
//   if (!EncodeToFile(path, PICTURE_PNG, rows, settings, EncodeProgress{}, nullptr, &reason))
//       report(reason);   // "No space left on device", "File too large", an encoder's reason
//
// The file appears whole or not at all (safe_file.h): any failure, or `giveUp` turning true
// while it encodes, leaves the target as it was and no temporary file. A file of the target's
// name that exists when it starts is replaced; one that appears meanwhile is not.
// No state: any thread may write, several files at once. No GL, SDL or UI; no log line.
#pragma once
#include <atomic>
#include <string>

#include "picture/png_jpeg_encoder.h"

// What the reason says when giveUp stopped the file.
extern const char* const EncodeToFileGivenUp;

bool EncodeToFile(const char* path, PictureFormat format, const PixelRows& rows, const EncoderSettings& settings,
                  EncodeProgress progress, const std::atomic<bool>* giveUp, std::string* reason);
