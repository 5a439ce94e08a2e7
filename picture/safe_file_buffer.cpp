// safe_file_buffer: the part of safe_file that is the same on every platform. The bytes are
// gathered into a buffer and handed to the platform's write a megabyte at a time: few system
// calls, little memory. Not here: any system call.
#include "picture/safe_file_parts.h"

const char* const SafeFileAppearedReason = "A file of that name appeared meanwhile";

// Bytes gathered before a write to the file.
static const size_t BufferSize = 1 << 20;

void SafeFileStartBuffer(SafeFile* file) {
    file->buffer.clear();
    file->buffer.reserve(BufferSize);
}

bool SafeFileFlushBuffer(SafeFile* file) {
    bool ok = SafeFileWriteOut(file, file->buffer.data(), file->buffer.size());
    file->buffer.clear();
    return ok;
}

void SafeFileDropBuffer(SafeFile* file) {
    file->buffer.clear();
    file->buffer.shrink_to_fit();
}

bool SafeFileWrite(SafeFile* file, const void* bytes, size_t size) {
    if (!file->open) return SafeFileFailNotOpen(file);
    const unsigned char* data = static_cast<const unsigned char*>(bytes);
    if (file->buffer.size() + size > BufferSize && !SafeFileFlushBuffer(file)) return false;
    // A block as large as the buffer goes straight to the file, without a copy.
    if (size >= BufferSize) return SafeFileWriteOut(file, data, size);
    file->buffer.insert(file->buffer.end(), data, data + size);
    return true;
}

SafeFile::~SafeFile() {
    if (open || !temporary.empty()) SafeFileAbandon(this);
}
