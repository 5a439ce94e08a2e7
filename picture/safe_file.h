// safe_file: writes a file so that it appears whole or not at all.
//
//   SafeFile file;
//   if (!SafeFileOpen(&file, "/home/me/coffee-painted.png")) report(file.reason);
//   else if (!SafeFileWrite(&file, bytes, size)) { report(file.reason); SafeFileAbandon(&file); }
//   else if (!SafeFileCommit(&file)) report(file.reason);     // nothing left behind
//
// The bytes go to a temporary file in the target's own folder; SafeFileCommit flushes it to the
// disk and only then puts it in the target's place in one step. A file of the target's name that
// exists at SafeFileOpen is replaced (the person was asked about it); where there was none, one
// that appears meanwhile is left as it is and the commit fails ("A file of that name appeared
// meanwhile"). Until the commit the target is untouched, and every failure (folder not
// writable, disk full, file too large, a folder removed meanwhile, the caller giving up)
// removes the temporary file. `reason` is then the system's own text ("Permission denied", "No
// space left on device"). A replaced file's permission bits (rwx, not setuid, setgid or
// sticky) carry over to the new one (Linux).
//
// A kill at any point leaves the target as it was. On Linux the temporary file has no name
// (O_TMPFILE) until it is complete, so a kill leaves nothing; only a kill between the two
// final steps of replacing an existing file (a few microseconds) can leave a complete copy
// named ".<name>.<random>.part". Where the file system has no unnamed files, and on Windows,
// the temporary file is named like that from the start; on Windows it is marked to be deleted
// when its handle closes (which a kill does) until the commit.
//
// Paths are UTF-8 (on Windows too; the wide-character calls are used). One SafeFile belongs to
// one thread at a time; no GL, SDL or UI. Not here: encoding, directory creation, fsync of
// anything but the file and its folder.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

struct SafeFile {
    std::string Target;     // the path given to SafeFileOpen
    std::string Temporary;  // the temporary file's name while it has one, else empty
    char Reason[256];       // why the last call failed
    bool Replaces = false;  // a file of the target's name existed at SafeFileOpen
#ifdef _WIN32
    void* Handle = nullptr;  // INVALID_HANDLE_VALUE when closed
    bool DeletePending = false;
#else
    int Fd = -1;
    int FolderFd = -1;                       // the folder of a named temporary file, wherever it moves
    bool Unnamed = false;                    // an O_TMPFILE file
    unsigned KeepMode = 0;                   // permission bits of the file it replaces
    long long Written = 0, WrittenBack = 0;  // bytes written; bytes handed to the disk early
#endif
    std::vector<unsigned char> Buffer;  // bytes not yet written
    bool Open = false;

    SafeFile() { Reason[0] = '\0'; }
    // A file never committed is abandoned: its temporary file goes.
    ~SafeFile();
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;
};

// Creates the temporary file. False (nothing created) with file->reason set.
bool SafeFileOpen(SafeFile* file, const char* path);
// Adds bytes (buffered). False with file->reason set; the caller then abandons the file.
bool SafeFileWrite(SafeFile* file, const void* bytes, size_t size);
// Writes what is buffered, flushes the file to the disk and puts it in place. On failure the
// temporary file is gone, the target untouched, file->reason set. The file is closed either way.
bool SafeFileCommit(SafeFile* file);
// Closes and removes the temporary file; the target is untouched. Safe on a closed file.
void SafeFileAbandon(SafeFile* file);

// Tests only: use a named temporary file even where unnamed ones work (Linux).
extern bool SafeFileAvoidUnnamed;
