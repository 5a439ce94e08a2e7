// safe_file (POSIX): an unnamed O_TMPFILE file in the target's folder, linked into place once
// complete; a named ".part" file with O_EXCL where the file system has no unnamed files.
#include "picture/safe_file.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include "picture/safe_file_parts.h"

bool SafeFileAvoidUnnamed = false;

static bool Fail(SafeFile* file, int error) {
    char text[200];
    const char* message = strerror_r(error, text, sizeof text);  // the GNU variant
    snprintf(file->Reason, sizeof file->Reason, "%s", message);
    return false;
}

static void SplitPath(const std::string& path, std::string& folder, std::string& name) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        folder = ".";
        name = path;
    } else {
        folder = slash == 0 ? "/" : path.substr(0, slash);
        name = path.substr(slash + 1);
    }
}

// ".<name>.<unique>.part" beside the target. The name part is cut so the whole stays within
// NAME_MAX even for a target name near it.
static std::string TemporaryName(const std::string& folder, const std::string& name) {
    static std::atomic<unsigned> counter(0);
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    char unique[64];
    snprintf(unique, sizeof unique, ".%ld-%lx-%u.part", (long)getpid(), (unsigned long)now.tv_nsec,
             counter.fetch_add(1));
    std::string shortName = name.substr(0, 160);
    return (folder == "/" ? "" : folder) + "/." + shortName + unique;
}

static std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

static void Close(SafeFile* file) {
    if (file->Fd >= 0) close(file->Fd);
    file->Fd = -1;
    file->Open = false;
    file->Unnamed = false;
    SafeFileDropBuffer(file);
}

// The unnamed file is linked through /proc/self/fd, which needs no privilege (linkat with
// AT_EMPTY_PATH would).
static bool ProcFdAvailable() { return access("/proc/self/fd", X_OK) == 0; }

bool SafeFileOpen(SafeFile* file, const char* path) {
    if (file->Open) SafeFileAbandon(file);
    file->Target = path ? path : "";
    file->Temporary.clear();
    file->Reason[0] = '\0';
    file->KeepMode = 0;
    file->Replaces = false;
    std::string folder, name;
    SplitPath(file->Target, folder, name);
    if (name.empty()) return Fail(file, file->Target.empty() ? ENOENT : EISDIR);

    // A name the folder cannot hold would fail only at the end, after all the encoding.
    long nameMax = pathconf(folder.c_str(), _PC_NAME_MAX);
    if (nameMax > 0 && name.size() > (size_t)nameMax) return Fail(file, ENAMETOOLONG);

    struct stat existing;
    if (stat(file->Target.c_str(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode)) return Fail(file, EISDIR);
        file->Replaces = true;
        // The permissions only: a new file never takes over setuid, setgid or sticky bits.
        file->KeepMode = existing.st_mode & 0777;
    }

    int fd = -1;
    if (!SafeFileAvoidUnnamed && ProcFdAvailable()) {
        fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        // Kernels and file systems without unnamed files answer one of these.
        if (fd < 0 && errno != EISDIR && errno != EOPNOTSUPP && errno != EINVAL) return Fail(file, errno);
        file->Unnamed = fd >= 0;
    }
    if (fd < 0) {
        // The named file is reached through its folder's descriptor, so that it is found and
        // removed even when the folder is moved meanwhile.
        file->FolderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (file->FolderFd < 0) return Fail(file, errno);
    }
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        std::string temporary = TemporaryName(folder, name);
        fd = openat(file->FolderFd, BaseName(temporary).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) file->Temporary = temporary;
        else if (errno != EEXIST) break;
    }
    if (fd < 0) {
        int error = errno;
        close(file->FolderFd);
        file->FolderFd = -1;
        return Fail(file, error);
    }
    // A replaced file keeps its permissions (a private file stays private).
    if (file->Replaces) fchmod(fd, file->KeepMode);
    file->Fd = fd;
    file->Written = file->WrittenBack = 0;
    file->Open = true;
    SafeFileStartBuffer(file);
    return true;
}

// Starts the disk writing the bytes written so far, without waiting for it, every so many
// bytes: the disk works while the encoder does, and the flush at the end has little left.
static const off_t kWriteBehind = 1 << 20;

bool SafeFileFailNotOpen(SafeFile* file) { return Fail(file, EBADF); }

bool SafeFileWriteOut(SafeFile* file, const unsigned char* bytes, size_t size) {
    while (size > 0) {
        ssize_t written = write(file->Fd, bytes, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return Fail(file, errno);
        }
        bytes += written;
        size -= (size_t)written;
        file->Written += written;
    }
    if (file->Written - file->WrittenBack >= kWriteBehind) {
        // Only a hint: where it is not supported the flush at the end does it all.
        sync_file_range(file->Fd, file->WrittenBack, file->Written - file->WrittenBack, SYNC_FILE_RANGE_WRITE);
        file->WrittenBack = file->Written;
    }
    return true;
}

// Makes the rename or link itself durable; a failure here no longer matters to the file.
static void SyncFolder(const std::string& target) {
    std::string folder, name;
    SplitPath(target, folder, name);
    int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

static bool FailAppeared(SafeFile* file) {
    snprintf(file->Reason, sizeof file->Reason, "%s", SafeFileAppearedReason);
    return false;
}

// Gives the complete unnamed file the target's name. A new name is linked directly; an
// existing file is replaced through a linked temporary name and a rename, since a link never
// replaces.
static bool LinkIntoPlace(SafeFile* file) {
    char procPath[64];
    snprintf(procPath, sizeof procPath, "/proc/self/fd/%d", file->Fd);
    if (linkat(AT_FDCWD, procPath, AT_FDCWD, file->Target.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
    if (errno != EEXIST) return Fail(file, errno);
    if (!file->Replaces) return FailAppeared(file);
    std::string folder, name;
    SplitPath(file->Target, folder, name);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temporary = TemporaryName(folder, name);
        if (linkat(AT_FDCWD, procPath, AT_FDCWD, temporary.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            if (errno == EEXIST) continue;
            return Fail(file, errno);
        }
        if (rename(temporary.c_str(), file->Target.c_str()) != 0) {
            int error = errno;
            unlink(temporary.c_str());
            return Fail(file, error);
        }
        return true;
    }
    return Fail(file, EEXIST);
}

// Gives the complete named file the target's name: a rename where replacing is agreed, else a
// rename that refuses to replace (or, where the file system has none, a link, which never does).
static bool RenameIntoPlace(SafeFile* file) {
    const std::string name = BaseName(file->Temporary);
    const char* temporary = name.c_str();
    if (file->Replaces) {
        if (renameat(file->FolderFd, temporary, AT_FDCWD, file->Target.c_str()) != 0) return Fail(file, errno);
    } else if (renameat2(file->FolderFd, temporary, AT_FDCWD, file->Target.c_str(), RENAME_NOREPLACE) != 0) {
        if (errno == EEXIST) return FailAppeared(file);
        if (errno != EINVAL && errno != ENOSYS) return Fail(file, errno);
        if (linkat(file->FolderFd, temporary, AT_FDCWD, file->Target.c_str(), 0) != 0)
            return errno == EEXIST ? FailAppeared(file) : Fail(file, errno);
        unlinkat(file->FolderFd, temporary, 0);
    }
    file->Temporary.clear();
    return true;
}

bool SafeFileCommit(SafeFile* file) {
    if (!file->Open) return Fail(file, EBADF);
    bool ok = SafeFileFlushBuffer(file) && (fsync(file->Fd) == 0 || Fail(file, errno));
    if (ok && file->Unnamed) {
        ok = LinkIntoPlace(file);
    } else if (ok) {
        int fd = file->Fd;
        file->Fd = -1;
        ok = (close(fd) == 0 || Fail(file, errno)) && RenameIntoPlace(file);
    }
    if (!ok) {
        SafeFileAbandon(file);
        return false;
    }
    Close(file);
    if (file->FolderFd >= 0) close(file->FolderFd);
    file->FolderFd = -1;
    SyncFolder(file->Target);
    return true;
}

void SafeFileAbandon(SafeFile* file) {
    Close(file);
    if (!file->Temporary.empty() && file->FolderFd >= 0) unlinkat(file->FolderFd, BaseName(file->Temporary).c_str(), 0);
    file->Temporary.clear();
    if (file->FolderFd >= 0) close(file->FolderFd);
    file->FolderFd = -1;
}
