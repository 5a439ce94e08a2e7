#include "picture/encode_to_file.h"

#include "picture/safe_file.h"

const char* const EncodeToFileGivenUp = "stopped before the file was complete";

namespace {

struct Sink {
    SafeFile* File;
    const std::atomic<bool>* GiveUp;
};

bool SinkToFile(void* context, const unsigned char* bytes, size_t size) {
    Sink* sink = static_cast<Sink*>(context);
    if (sink->GiveUp && sink->GiveUp->load(std::memory_order_relaxed)) return false;
    return SafeFileWrite(sink->File, bytes, size);
}

}  // namespace

bool EncodeToFile(const char* path, PictureFormat format, const PixelRows& rows, const EncoderSettings& settings,
                  EncodeProgress progress, const std::atomic<bool>* giveUp, std::string* reason) {
    SafeFile file;
    if (!SafeFileOpen(&file, path)) {
        *reason = file.Reason;
        return false;
    }
    Sink sink = {&file, giveUp};
    char encoderReason[256] = "";
    if (!EncodePicture(format, rows, settings, ByteSink{SinkToFile, &sink}, progress, encoderReason,
                       sizeof encoderReason)) {
        // A write that failed has the system's reason; a stop, its own; otherwise the encoder's.
        if (file.Reason[0]) *reason = file.Reason;
        else if (giveUp && giveUp->load()) *reason = EncodeToFileGivenUp;
        else *reason = encoderReason;
        SafeFileAbandon(&file);
        return false;
    }
    if (giveUp && giveUp->load()) {
        *reason = EncodeToFileGivenUp;
        SafeFileAbandon(&file);
        return false;
    }
    if (!SafeFileCommit(&file)) {
        *reason = file.Reason;
        return false;
    }
    return true;
}
