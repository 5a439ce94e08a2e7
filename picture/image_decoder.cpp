#include "picture/image_decoder.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "picture/decode_wait.h"
#include "picture/helper_location.h"
#include "picture/image_decoder_protocol.h"
#include "base/reason_text.h"

extern char** environ;

const char* ImageDecoderPath = nullptr;
int ImageDecoderTimeLimitMs = 20000;
long long ImageDecoderMemoryLimit = 3LL << 30;

struct PictureDecode {
    pid_t Helper;
    int Results;         // the result pipe's reading end (non-blocking); -1 once it has ended
    int Pixels;          // the shared memory
    long long Deadline;  // on the monotonic clock, in ms
    int LargestSide;
    DecoderResult Record;
    size_t Got;  // bytes of the record read so far
    // The rows handed over early (PeekDecodedRows): the last progress record and the pixels'
    // mapping, made at the first; Malformed when one broke the protocol.
    DecoderProgress Progress;
    void* EarlyMapping;
    size_t EarlyMappingSize;
    int64_t EarlyMappingStart;  // where the mapping starts in the shared memory
    const unsigned char* EarlyPixels;
    int64_t EarlyHandedBack;  // the end of the pixels' pages handed back so far
    bool Malformed;
};

static bool Fail(char* reason, size_t reasonSize, const char* format, ...) {
    va_list args;
    va_start(args, format);
    vsnprintf(reason, reasonSize, format, args);
    va_end(args);
    return false;
}

static long long NowMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000LL + now.tv_nsec / 1000000;
}

// The helper's fds 3, 4 and 5 are dup2 targets; a source sitting on one of them could be
// overwritten by another dup2 before it is copied, so sources live above them.
static int MoveAboveHelperFds(int fd) {
    if (fd < 0 || fd > DecoderPictureFd) return fd;
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, DecoderPictureFd + 1);
    close(fd);
    return moved;
}

// ---- Helpers that were killed and are still to be reaped (decode_wait.h) ----

bool HelperProcessGone(pid_t pid) {
    int status = 0;
    pid_t done;
    while ((done = waitpid(pid, &status, WNOHANG)) < 0 && errno == EINTR) {}
    return done != 0;  // ended, or not ours to wait for any more
}

// A child cannot be waited for with a time limit: a short pause between looks instead.
void AwaitHelperProcess(pid_t, int waitMs) { poll(nullptr, 0, waitMs < 1 ? waitMs : 1); }

// Kills the helper's whole process group, which it leads: whatever it started goes with it.
// The helper is not reaped yet, so its pid (the group's id) cannot have been reused.
static void EndHelper(pid_t pid) {
    if (kill(-pid, SIGKILL) != 0) kill(pid, SIGKILL);
    KeepEndedHelper(pid);
}

// ---- Opening the file ----

static const char* NotAFile(mode_t mode) {
    if (S_ISDIR(mode)) return "it is a folder, not a file";
    if (S_ISFIFO(mode)) return "it is a named pipe, not a file";
    if (S_ISSOCK(mode)) return "it is a socket, not a file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a file";
    return "it is not a regular file";
}

// Opens the picture once, without blocking (a named pipe would wait for a writer), and checks
// what it is. The helper decodes this very open file, so what was checked is what is decoded.
static int OpenPictureFile(const char* path, char* reason, size_t reasonSize) {
    int file = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat info;
    if (file < 0) {
        int error = errno;
        // A socket cannot be opened at all; what it is says more than "No such device or address".
        if (error == ENXIO && stat(path, &info) == 0 && !S_ISREG(info.st_mode)) {
            Fail(reason, reasonSize, "%s", NotAFile(info.st_mode));
        } else {
            Fail(reason, reasonSize, "%s", strerror(error));
        }
        return -1;
    }
    const char* refusal = nullptr;
    if (fstat(file, &info) != 0) refusal = strerror(errno);
    else if (!S_ISREG(info.st_mode)) refusal = NotAFile(info.st_mode);
    else if (info.st_size == 0) refusal = "the file is empty";
    if (refusal) {
        Fail(reason, reasonSize, "%s", refusal);
        close(file);
        return -1;
    }
    // A regular file never blocks; the helper gets an ordinary descriptor.
    fcntl(file, F_SETFL, fcntl(file, F_GETFL) & ~O_NONBLOCK);
    return MoveAboveHelperFds(file);
}

// ---- The decode ----

static bool Spawn(const char* helper, int largestSide, int file, int pixels, int results, pid_t* pid) {
    char limit[32], side[16];
    snprintf(limit, sizeof limit, "%lld", ImageDecoderMemoryLimit);
    snprintf(side, sizeof side, "%d", largestSide);
    char* argv[] = {const_cast<char*>(helper), limit, side, nullptr};
    // A process group of its own, so that ending it ends any process it started too.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pixels, DecoderPixelFd);
    posix_spawn_file_actions_adddup2(&actions, results, DecoderResultFd);
    posix_spawn_file_actions_adddup2(&actions, file, DecoderPictureFd);
    // Nothing else of ours (the display connection, other files) reaches the helper.
    posix_spawn_file_actions_addclosefrom_np(&actions, DecoderPictureFd + 1);
    int error = posix_spawn(pid, helper, &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    errno = error;
    return error == 0;
}

PictureDecode* StartPictureDecode(const char* path, int largestSide, char* reason, size_t reasonSize) {
    if (reasonSize > 0) reason[0] = 0;
    ReapEndedDecoders(0);
    char found[PATH_MAX];
    const char* helper = ImageDecoderPath;
    if (!helper) {
        // Beside the program in the build folder, under ../libexec/vellumry/ when installed.
        if (!FindHelperProgram("vellumry-decode", found, sizeof found)) {
            Fail(reason, reasonSize, "could not find the decoder vellumry-decode");
            return nullptr;
        }
        helper = found;
    }
    int file = OpenPictureFile(path, reason, reasonSize);
    if (file < 0) return nullptr;
    // Sealable, so that its size can be fixed before the answer is read (TakeAnswer).
    int pixels = MoveAboveHelperFds(memfd_create("vellumry-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    int ends[2] = {-1, -1};
    if (pixels < 0 || pipe2(ends, O_CLOEXEC) != 0) {
        Fail(reason, reasonSize, "could not start the decoder (%s)", strerror(errno));
        if (pixels >= 0) close(pixels);
        close(file);
        return nullptr;
    }
    ends[0] = MoveAboveHelperFds(ends[0]);
    ends[1] = MoveAboveHelperFds(ends[1]);
    pid_t pid = 0;
    bool started = ends[0] >= 0 && ends[1] >= 0 && Spawn(helper, largestSide, file, pixels, ends[1], &pid);
    int spawnError = errno;
    close(file);  // the helper has its own copy now
    if (ends[1] >= 0) close(ends[1]);
    if (!started) {
        if (ends[0] >= 0) close(ends[0]);
        close(pixels);
        Fail(reason, reasonSize, "could not start the decoder %s (%s)", helper, strerror(spawnError));
        return nullptr;
    }
    fcntl(ends[0], F_SETFL, fcntl(ends[0], F_GETFL) | O_NONBLOCK);
    PictureDecode* decode = new PictureDecode;
    memset(decode, 0, sizeof *decode);
    decode->Helper = pid;
    decode->Results = ends[0];
    decode->Pixels = pixels;
    decode->Deadline = NowMs() + ImageDecoderTimeLimitMs;
    decode->LargestSide = largestSide;
    return decode;
}

static void FreeDecode(PictureDecode* decode) {
    if (decode->EarlyMapping) munmap(decode->EarlyMapping, decode->EarlyMappingSize);
    if (decode->Results >= 0) close(decode->Results);
    if (decode->Pixels >= 0) close(decode->Pixels);  // unless a picture took it
    delete decode;
}

// Fixes the shared memory's size, so that pixels checked to lie inside it stay there: the
// helper, or a process it left behind with the memory open, could shrink it after the check, and
// reading the pixels would then fault (SIGBUS). The program made this memory itself, so the
// seals it reads back are the memory's own; one the helper has made unsealable (F_SEAL_SEAL)
// fails. True with the size, in bytes.
static bool SealSize(int shared, int64_t* size) {
    const int sizeSeals = F_SEAL_SHRINK | F_SEAL_GROW;
    fcntl(shared, F_ADD_SEALS, sizeSeals);
    const int seals = fcntl(shared, F_GET_SEALS);
    struct stat info;
    if (seals < 0 || (seals & sizeSeals) != sizeSeals || fstat(shared, &info) != 0) return false;
    *size = int64_t(info.st_size);
    return true;
}

static bool PixelsFit(int width, int height, int64_t offset, int largest, int64_t size) {
    const int64_t bytes = int64_t(width) * height * 4;
    return width > 0 && height > 0 && (largest <= 0 || (width <= largest && height <= largest)) &&
           int64_t(width) * height <= MaxPicturePixels && offset >= 0 && offset <= size && bytes <= size - offset;
}

// Maps read-only the part of the shared memory that holds `bytes` bytes at `offset`; null
// when it cannot. Not populated: the pages come in as the pixels are read.
static void* MapPixels(int shared, int64_t offset, int64_t bytes, const unsigned char** pixels, size_t* length,
                       int64_t* start) {
    const long page = sysconf(_SC_PAGESIZE);
    *start = offset / page * page;
    *length = size_t(offset - *start + bytes);
    void* mapping = mmap(nullptr, *length, PROT_READ, MAP_SHARED, shared, off_t(*start));
    if (mapping == MAP_FAILED) return nullptr;
    *pixels = static_cast<const unsigned char*>(mapping) + (offset - *start);
    return mapping;
}

// A progress record: the first maps the pixels (the memory's size sealed first); each must say
// what the first did, with no fewer rows. Anything else is a malformed answer.
static void TakeProgress(PictureDecode* decode, const DecoderProgress& progress) {
    const bool first = decode->EarlyMapping == nullptr;
    bool sane = progress.RowsDone >= 0 && progress.RowsDone <= progress.Height;
    if (!first) {
        const DecoderProgress& before = decode->Progress;
        sane = sane && progress.Width == before.Width && progress.Height == before.Height &&
               progress.Offset == before.Offset && progress.RowsDone >= before.RowsDone;
    } else {
        int64_t size = 0;
        sane = sane && SealSize(decode->Pixels, &size) &&
               PixelsFit(progress.Width, progress.Height, progress.Offset, decode->LargestSide, size);
        if (sane) {
            decode->EarlyMapping =
                MapPixels(decode->Pixels, progress.Offset, int64_t(progress.Width) * progress.Height * 4,
                          &decode->EarlyPixels, &decode->EarlyMappingSize, &decode->EarlyMappingStart);
            // Rows early are only a help: the answer comes whole all the same.
            if (!decode->EarlyMapping) return;
        }
    }
    if (!sane) {
        decode->Malformed = true;
        return;
    }
    decode->Progress = progress;
}

// Reads what the helper has written, until the pipe ends, `until` passes, the decode's time is
// up or the helper has written more than its answer: a malformed answer, which PollPictureDecode
// refuses (a helper that never stops writing would otherwise keep this loop reading for ever).
// Returns after a few progress records, so that their rows can be used meanwhile.
static void ReadRecord(PictureDecode* decode, long long until) {
    const size_t size = sizeof decode->Record;
    int progressRecords = 0;
    while (decode->Results >= 0 && decode->Got <= size && !decode->Malformed) {
        long long left = until - NowMs();
        pollfd readable = {decode->Results, POLLIN, 0};
        int ready = poll(&readable, 1, left <= 0 ? 0 : left > INT_MAX ? INT_MAX : int(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return;
        char beyond;  // a byte past the answer is all it takes to refuse it
        char* into = decode->Got < size ? reinterpret_cast<char*>(&decode->Record) + decode->Got : &beyond;
        size_t room = decode->Got < size ? size - decode->Got : 1;
        ssize_t n = read(decode->Results, into, room);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) {  // the end of the pipe: the helper is done or gone
            close(decode->Results);
            decode->Results = -1;
            return;
        }
        decode->Got += size_t(n);
        if (decode->Got == size && decode->Record.Magic == DecoderProgressMagic) {
            DecoderProgress progress;
            memcpy(&progress, &decode->Record, sizeof progress);
            memset(&decode->Record, 0, sizeof decode->Record);
            decode->Got = 0;
            TakeProgress(decode, progress);
            // What else has come is read now; no more waiting.
            until = NowMs();
            if (++progressRecords == 64) return;
        }
        if (NowMs() >= decode->Deadline) return;
    }
}

void HandBackEarlyRows(PictureDecode* decode, int rows) {
    const DecoderProgress& early = decode->Progress;
    if (!decode->EarlyMapping || decode->Malformed || rows <= 0) return;
    if (rows > early.RowsDone) rows = early.RowsDone;
    // Whole pages of the pixels only: what lies before them is the helper's, which still runs.
    const long page = sysconf(_SC_PAGESIZE);
    const int64_t first = (early.Offset + page - 1) / page * page;
    const int64_t end = (early.Offset + int64_t(rows) * early.Width * 4) / page * page;
    const int64_t from = decode->EarlyHandedBack > first ? decode->EarlyHandedBack : first;
    if (end <= from) return;
    fallocate(decode->Pixels, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, off_t(from), off_t(end - from));
    decode->EarlyHandedBack = end;
}

bool PeekDecodedRows(PictureDecode* decode, DecodedRows* rows) {
    memset(rows, 0, sizeof *rows);
    if (!decode->EarlyMapping || decode->Malformed || decode->Progress.RowsDone <= 0) return false;
    rows->Pixels = decode->EarlyPixels;
    rows->Width = decode->Progress.Width;
    rows->Height = decode->Progress.Height;
    rows->Rows = decode->Progress.RowsDone;
    return true;
}

// Judges an ended helper's status and record; maps the pixels when all is well.
static bool TakeAnswer(PictureDecode* decode, int status, DecodedPicture* picture, char* reason, size_t reasonSize) {
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU) {
        return Fail(reason, reasonSize, "took too long (more than %g s)", ImageDecoderTimeLimitMs / 1000.0);
    }
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGSYS) {
        // Its filter ended it: it tried to open, connect, start a process or the like.
        return Fail(reason, reasonSize, "the decoder stopped (it tried something a decoder may not do)");
    }
    if (WIFSIGNALED(status)) return Fail(reason, reasonSize, "the decoder stopped (%s)", strsignal(WTERMSIG(status)));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return Fail(reason, reasonSize, "the decoder failed (exit status %d)", WEXITSTATUS(status));
    }
    DecoderResult& result = decode->Record;
    if (decode->Got != sizeof result || result.Magic != DecoderResultMagic) {
        return Fail(reason, reasonSize, "the decoder gave no answer");
    }
    if (!result.Ok) {
        result.Reason[sizeof result.Reason - 1] = 0;
        CleanReasonText(result.Reason);
        return Fail(reason, reasonSize, "%s", result.Reason[0] ? result.Reason : "the decoder gave no reason");
    }

    // Trust nothing in the record that could make us read outside the shared memory, or leave
    // work the size of the file's claim to this thread: the pixels must already fit, in memory
    // whose size is sealed first.
    int64_t size = 0;
    bool sane = SealSize(decode->Pixels, &size) && result.Ok == 1 &&
                PixelsFit(result.Width, result.Height, result.Offset, decode->LargestSide, size) &&
                result.SourceWidth >= result.Width && result.SourceHeight >= result.Height;
    if (!sane) return Fail(reason, reasonSize, "the decoder's answer was malformed");

    // The pixels handed over early are these, already mapped. Otherwise not populated: the pages
    // come in as the upload reads them, a band a frame for a large picture, rather than all of
    // them in this call.
    int64_t start = 0;
    size_t length = 0;
    void* mapping = nullptr;
    const DecoderProgress& early = decode->Progress;
    if (decode->EarlyMapping && early.Width == result.Width && early.Height == result.Height &&
        early.Offset == result.Offset) {
        mapping = decode->EarlyMapping;
        length = decode->EarlyMappingSize;
        start = decode->EarlyMappingStart;
        picture->Pixels = decode->EarlyPixels;
        picture->RowsSeenEarlier = early.RowsDone;
        decode->EarlyMapping = nullptr;
    } else {
        mapping = MapPixels(decode->Pixels, result.Offset, int64_t(result.Width) * result.Height * 4, &picture->Pixels,
                            &length, &start);
        if (!mapping) return Fail(reason, reasonSize, "could not map the decoded picture (%s)", strerror(errno));
    }
    TakeAnswerFields(result, picture);
    picture->Mapping = mapping;
    picture->MappingSize = length;
    // The picture keeps the shared memory open, so that its rows can be handed back one band at
    // a time (ReleaseDecodedRows).
    picture->SharedFile = decode->Pixels;
    picture->SharedFileOffset = start;
    decode->Pixels = -1;
    return true;
}

DecodeState PollPictureDecode(PictureDecode* decode, int waitMs, DecodedPicture* picture, char* reason,
                              size_t reasonSize) {
    memset(picture, 0, sizeof *picture);
    if (reasonSize > 0) reason[0] = 0;
    ReapEndedDecoders(0);
    long long until = NowMs() + (waitMs > 0 ? waitMs : 0);
    if (until > decode->Deadline) until = decode->Deadline;

    ReadRecord(decode, until);
    if (decode->Got > sizeof decode->Record || decode->Malformed) {
        EndHelper(decode->Helper);
        FreeDecode(decode);
        Fail(reason, reasonSize, "the decoder's answer was malformed");
        return DECODE_FAILED;
    }
    // Once the pipe has ended the helper is exiting (or has closed it and lingers, which the
    // deadline settles).
    bool ended = false;
    int status = 0;
    while (decode->Results < 0) {
        pid_t done = waitpid(decode->Helper, &status, WNOHANG);
        if (done < 0 && errno == EINTR) continue;
        if (done != 0) {
            ended = true;
            if (done < 0) status = 0;  // already reaped by someone else: judge the record alone
            break;
        }
        if (NowMs() >= until) break;
        poll(nullptr, 0, 1);
    }
    if (!ended) {
        if (NowMs() < decode->Deadline) return DECODE_RUNNING;
        EndHelper(decode->Helper);
        FreeDecode(decode);
        Fail(reason, reasonSize, "took too long (more than %g s)", ImageDecoderTimeLimitMs / 1000.0);
        return DECODE_FAILED;
    }
    bool ok = TakeAnswer(decode, status, picture, reason, reasonSize);
    FreeDecode(decode);
    return ok ? DECODE_DONE : DECODE_FAILED;
}

void CancelPictureDecode(PictureDecode* decode) {
    if (!decode) return;
    EndHelper(decode->Helper);
    FreeDecode(decode);
}

void ReleaseDecodedPicture(DecodedPicture* picture) {
    if (picture->Mapping) {
        munmap(picture->Mapping, picture->MappingSize);
        close(picture->SharedFile);
    }
    memset(picture, 0, sizeof *picture);
}

void ReleaseDecodedRows(DecodedPicture* picture, int rows) {
    if (!picture->Mapping || rows <= 0) return;
    if (rows > picture->Height) rows = picture->Height;
    // Whole pages only, from the start of the mapping to the end of the last row handed back:
    // what lies before the pixels in the shared memory is the helper's and is not read either.
    const long page = sysconf(_SC_PAGESIZE);
    const unsigned char* first = static_cast<const unsigned char*>(picture->Mapping);
    const long long end = (picture->Pixels - first) + static_cast<long long>(rows) * picture->Width * 4;
    const long long length = end / page * page;
    // The pages are freed now, a band at a time, instead of all at once when the last
    // reference to the shared memory goes. A range already handed back is a hole already.
    if (length > 0) {
        fallocate(picture->SharedFile, FALLOC_FL_PUNCH_HOLE | FALLOC_FL_KEEP_SIZE, off_t(picture->SharedFileOffset),
                  off_t(length));
    }
}
