// safe_file_parts: what the shared part of safe_file (safe_file_buffer.cpp: the buffer, the
// destructor) and each platform's part (safe_file.cpp, safe_file_win.cpp: the system calls)
// give each other. Nothing outside safe_file includes this.
#pragma once
#include <cstddef>

#include "picture/safe_file.h"

// The reason a file may not be put in place: it did not exist when it was opened, and one of
// that name has appeared since (the person agreed to a new file, not to replacing another).
extern const char* const SafeFileAppearedReason;

// Platform: writes bytes straight to the open file. False with file->reason set.
bool SafeFileWriteOut(SafeFile* file, const unsigned char* bytes, size_t size);
// Platform: sets file->reason to the system's text for a file that is not open; false.
bool SafeFileFailNotOpen(SafeFile* file);

// Shared: makes room for the buffer of a file just opened.
void SafeFileStartBuffer(SafeFile* file);
// Shared: writes out what is buffered. False with file->reason set.
bool SafeFileFlushBuffer(SafeFile* file);
// Shared: frees the buffer, written or not.
void SafeFileDropBuffer(SafeFile* file);
