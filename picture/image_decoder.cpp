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

#include "picture/helper_location.h"
#include "picture/image_decoder_protocol.h"

extern char** environ;

const char* ImageDecoderPath = nullptr;
int ImageDecoderTimeLimitMs = 20000;
long long ImageDecoderMemoryLimit = 3LL << 30;

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

// The helper's fds 3 and 4 are dup2 targets; a source sitting on one of them could be
// overwritten by the other dup2 before it is copied, so sources live above them.
static int MoveAboveHelperFds(int fd) {
    if (fd < 0 || fd > DecoderResultFd) return fd;
    int moved = fcntl(fd, F_DUPFD_CLOEXEC, DecoderResultFd + 1);
    close(fd);
    return moved;
}

// Reads the helper's record until the pipe ends or the deadline passes. Returns false on time-out.
static bool ReadResult(int pipe, DecoderResult* result, size_t* got, long long deadline) {
    for (;;) {
        long long left = deadline - NowMs();
        if (left <= 0) return false;
        pollfd readable = {pipe, POLLIN, 0};
        int ready = poll(&readable, 1, left > INT_MAX ? INT_MAX : int(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) return false;
        char scratch[256];
        char* into = *got < sizeof *result ? reinterpret_cast<char*>(result) + *got : scratch;
        size_t room = *got < sizeof *result ? sizeof *result - *got : sizeof scratch;
        ssize_t n = read(pipe, into, room);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return true;  // end of the pipe: the helper is done or gone
        *got += size_t(n);
    }
}

// Waits until the helper exits or the deadline passes; kills it in the latter case. Always reaps.
static bool Reap(pid_t pid, int* status, long long deadline) {
    for (;;) {
        pid_t done = waitpid(pid, status, WNOHANG);
        if (done == pid) return true;
        if (done < 0 && errno != EINTR) return true;  // nothing left to reap
        if (NowMs() >= deadline) break;
        poll(nullptr, 0, 1);
    }
    kill(pid, SIGKILL);
    while (waitpid(pid, status, 0) < 0 && errno == EINTR) {
    }
    return false;
}

static bool Spawn(const char* helper, const char* path, int pixels, int results, pid_t* pid) {
    char limit[32];
    snprintf(limit, sizeof limit, "%lld", ImageDecoderMemoryLimit);
    char* argv[] = {const_cast<char*>(helper), limit, const_cast<char*>(path), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pixels, DecoderPixelFd);
    posix_spawn_file_actions_adddup2(&actions, results, DecoderResultFd);
    // Nothing else of ours (the display connection, other files) reaches the helper.
    posix_spawn_file_actions_addclosefrom_np(&actions, DecoderResultFd + 1);
    int error = posix_spawn(pid, helper, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    errno = error;
    return error == 0;
}

static bool RunHelper(const char* helper, const char* path, int pixels, DecodedPicture* picture, char* reason,
                      size_t reasonSize) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return Fail(reason, reasonSize, "could not start the decoder (%s)", strerror(errno));
    ends[0] = MoveAboveHelperFds(ends[0]);
    ends[1] = MoveAboveHelperFds(ends[1]);
    pid_t pid = 0;
    bool started = ends[0] >= 0 && ends[1] >= 0 && Spawn(helper, path, pixels, ends[1], &pid);
    int spawnError = errno;
    if (ends[1] >= 0) close(ends[1]);
    if (!started) {
        if (ends[0] >= 0) close(ends[0]);
        return Fail(reason, reasonSize, "could not start the decoder %s (%s)", helper, strerror(spawnError));
    }

    DecoderResult result;
    memset(&result, 0, sizeof result);
    size_t got = 0;
    long long deadline = NowMs() + ImageDecoderTimeLimitMs;
    bool inTime = ReadResult(ends[0], &result, &got, deadline);
    close(ends[0]);
    int status = 0;
    inTime = Reap(pid, &status, inTime ? deadline : 0) && inTime;

    if (!inTime || (WIFSIGNALED(status) && WTERMSIG(status) == SIGXCPU)) {
        return Fail(reason, reasonSize, "took too long (more than %g s)", ImageDecoderTimeLimitMs / 1000.0);
    }
    if (WIFSIGNALED(status)) return Fail(reason, reasonSize, "the decoder stopped (%s)", strsignal(WTERMSIG(status)));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return Fail(reason, reasonSize, "the decoder failed (exit status %d)", WEXITSTATUS(status));
    }
    if (got != sizeof result || result.magic != DecoderResultMagic) return Fail(reason, reasonSize, "the decoder gave no answer");
    if (!result.ok) {
        result.reason[sizeof result.reason - 1] = 0;
        return Fail(reason, reasonSize, "%s", result.reason[0] ? result.reason : "the decoder gave no reason");
    }

    // Trust nothing in the record that could make us read outside the shared memory.
    struct stat shared;
    int64_t bytes = int64_t(result.width) * result.height * 4;
    bool sane = result.ok == 1 && result.width > 0 && result.height > 0 &&
                int64_t(result.width) * result.height <= MaxPicturePixels && result.offset >= 0 &&
                fstat(pixels, &shared) == 0 && result.offset <= shared.st_size && bytes <= shared.st_size - result.offset;
    if (!sane) return Fail(reason, reasonSize, "the decoder's answer was malformed");

    long page = sysconf(_SC_PAGESIZE);
    int64_t start = result.offset / page * page;
    size_t length = size_t(result.offset - start + bytes);
    void* mapping = mmap(nullptr, length, PROT_READ, MAP_SHARED | MAP_POPULATE, pixels, off_t(start));
    if (mapping == MAP_FAILED) {
        return Fail(reason, reasonSize, "could not map the decoded picture (%s)", strerror(errno));
    }
    picture->pixels = static_cast<const unsigned char*>(mapping) + (result.offset - start);
    picture->width = result.width;
    picture->height = result.height;
    picture->mapping = mapping;
    picture->mappingSize = length;
    return true;
}

bool DecodePictureFile(const char* path, DecodedPicture* picture, char* reason, size_t reasonSize) {
    memset(picture, 0, sizeof *picture);
    if (reasonSize > 0) reason[0] = 0;
    char found[PATH_MAX];
    const char* helper = ImageDecoderPath;
    if (!helper) {
        // Beside the program in the build folder, under ../libexec/vellumry/ when installed.
        if (!FindHelperProgram("vellumry-decode", found, sizeof found)) {
            return Fail(reason, reasonSize, "could not find the decoder vellumry-decode");
        }
        helper = found;
    }
    int pixels = MoveAboveHelperFds(memfd_create("vellumry-picture", MFD_CLOEXEC));
    if (pixels < 0) return Fail(reason, reasonSize, "could not create shared memory (%s)", strerror(errno));
    bool ok = RunHelper(helper, path, pixels, picture, reason, reasonSize);
    close(pixels);  // a mapping keeps the pixels alive on its own
    return ok;
}

void ReleaseDecodedPicture(DecodedPicture* picture) {
    if (picture->mapping) munmap(picture->mapping, picture->mappingSize);
    memset(picture, 0, sizeof *picture);
}
