// safe_file_buffer: the part of safe_file that is the same on every platform. The bytes are
// gathered into a buffer and handed to the platform's write a megabyte at a time: few system
// calls, little memory. Not here: any system call.
#include "picture/safe_file_parts.h"

const char* const SafeFileAppearedReason = "A file of that name appeared meanwhile";

// Bytes gathered before a write to the file.
static const size_t BufferSize = 1 << 20;

void SafeFileStartBuffer(SafeFile* file) {
    file->Buffer.clear();
    file->Buffer.reserve(BufferSize);
}

bool SafeFileFlushBuffer(SafeFile* file) {
    bool ok = SafeFileWriteOut(file, file->Buffer.data(), file->Buffer.size());
    file->Buffer.clear();
    return ok;
}

void SafeFileDropBuffer(SafeFile* file) {
    file->Buffer.clear();
    file->Buffer.shrink_to_fit();
}

bool SafeFileWrite(SafeFile* file, const void* bytes, size_t size) {
    if (!file->Open) return SafeFileFailNotOpen(file);
    const unsigned char* data = static_cast<const unsigned char*>(bytes);
    if (file->Buffer.size() + size > BufferSize && !SafeFileFlushBuffer(file)) return false;
    // A block as large as the buffer goes straight to the file, without a copy.
    if (size >= BufferSize) return SafeFileWriteOut(file, data, size);
    file->Buffer.insert(file->Buffer.end(), data, data + size);
    return true;
}

SafeFile::~SafeFile() {
    if (Open || !Temporary.empty()) SafeFileAbandon(this);
}
