// misbehaving_decoder: stands in for vellumry-decode in tests and goes wrong in the way the
// picture file (on fd 5, as the program hands it over) names in its first word: crash, abort,
// hang, linger (closes the result pipe and keeps running), silent (exits without an answer),
// exit3, oversized, outside (claims pixels beyond the shared memory), short (half a record),
// unscaled (answers pixels larger than the largest side it was given), garbled (a failure whose
// reason is raw bytes and control characters), mute (a failure with an empty reason), fork
// (starts a child that lingers and traces it, so that it cannot be reaped while the child
// lives, and then hangs; the word after "fork" names a file where it writes the child's pid
// once the child has taken hold), chatty (writes answers without end).
//
// Lying about the shared memory: shrink (answers good pixels and leaves a child holding the
// memory; the child waits for a byte on the named pipe the second word names, then shrinks the
// memory to nothing and writes "shrunk" or "refused" to the file the third word names),
// unsealable (answers good pixels in memory whose seals it has sealed).
//
// Taken over: open, connect and spawn shut themselves in as the real helper does, then try to
// create the file, connect to the Unix socket, or start a shell that creates the file, the
// second word names, and answer good pixels if they got that far; thread starts a thread
// after shutting itself in, as a decoder may, and answers good pixels.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

// The "fork" mode: the child traces its parent, which keeps the parent's end from being
// reported to the program until the child has gone too, as a debugger attached to it would.
static int ForkAChildThatLingers(const char* pidFile) {
    prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY);  // where Yama asks for it
    int ready[2];
    if (pipe(ready) != 0) return 8;
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0) return 8;
    if (child == 0) {
        ptrace(PTRACE_SEIZE, parent, nullptr, nullptr);  // tracing is not allowed everywhere
        char done = 1;
        if (write(ready[1], &done, 1) != 1) _exit(8);
        for (;;) pause();
    }
    char done = 0;
    if (read(ready[0], &done, 1) != 1) return 8;
    const std::string temporary = std::string(pidFile) + ".part";
    FILE* out = fopen(temporary.c_str(), "w");
    if (!out) return 8;
    fprintf(out, "%d\n", int(child));
    fclose(out);
    if (rename(temporary.c_str(), pidFile) != 0) return 8;
    for (;;) pause();
}

#include "picture/decoder_confinement_linux.h"
#include "picture/image_decoder_protocol.h"

static const int GoodSide = 16;

// The "shrink" mode's child: shrinks the memory once the program holds the pixels.
static void ShrinkWhenTold(const char* pipePath, const char* reportPath) {
    close(DecoderResultFd);  // the answer is the parent's; the program waits for its end
    int told = open(pipePath, O_RDONLY);
    char byte = 0;
    if (told < 0 || read(told, &byte, 1) != 1) _exit(8);
    const char* outcome = ftruncate(DecoderPixelFd, 0) == 0 ? "shrunk" : "refused";
    const std::string temporary = std::string(reportPath) + ".part";
    FILE* out = fopen(temporary.c_str(), "w");
    if (!out) _exit(8);
    fputs(outcome, out);
    fclose(out);
    _exit(rename(temporary.c_str(), reportPath) == 0 ? 0 : 8);
}

static void* Allocate(void*) {
    // Enough to take the thread's own arena.
    void* block = malloc(1 << 20);
    memset(block, 1, 1 << 20);
    free(block);
    return nullptr;
}

// What the taken-over modes try once shut in; false when they were not stopped and failed.
static bool TryWhatADecoderMayNot(const char* word, const char* path) {
    if (strcmp(word, "open") == 0) return open(path, O_WRONLY | O_CREAT | O_TRUNC, 0600) >= 0;
    if (strcmp(word, "connect") == 0) {
        int s = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        snprintf(address.sun_path, sizeof address.sun_path, "%s", path);
        return s >= 0 && connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    if (strcmp(word, "spawn") == 0) {
        const pid_t child = fork();
        if (child == 0) {
            const std::string command = std::string(": > '") + path + "'";
            execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            _exit(8);
        }
        int status = 0;
        return child > 0 && waitpid(child, &status, 0) == child;
    }
    pthread_t thread;
    return pthread_create(&thread, nullptr, Allocate, nullptr) == 0 && pthread_join(thread, nullptr) == 0;
}

int main(int argc, char** argv) {
    struct rlimit none = {0, 0};
    setrlimit(RLIMIT_CORE, &none);
    char word[32] = "", pidFile[4096] = "", second[4096] = "";
    FILE* file = argc == 3 ? fdopen(DecoderPictureFd, "rb") : nullptr;
    if (!file || fscanf(file, "%31s", word) != 1) return 9;
    if (strcmp(word, "fork") == 0 && fscanf(file, "%4095s", pidFile) != 1) return 9;
    if (strcmp(word, "shrink") == 0 && fscanf(file, "%4095s %4095s", second, pidFile) != 2) return 9;
    for (const char* named : {"open", "connect", "spawn"})
        if (strcmp(word, named) == 0 && fscanf(file, "%4095s", second) != 1) return 9;
    fclose(file);
    if (strcmp(word, "fork") == 0) return ForkAChildThatLingers(pidFile);
    const int largestSide = atoi(argv[2]);

    DecoderResult result;
    memset(&result, 0, sizeof result);
    result.Magic = DecoderResultMagic;
    result.Ok = 1;
    result.Width = result.Height = result.SourceWidth = result.SourceHeight = GoodSide;
    if (strcmp(word, "crash") == 0) raise(SIGSEGV);
    if (strcmp(word, "abort") == 0) raise(SIGABRT);
    if (strcmp(word, "hang") == 0)
        for (;;) pause();
    if (strcmp(word, "linger") == 0) {
        close(DecoderResultFd);
        for (;;) pause();
    }
    if (strcmp(word, "silent") == 0) return 0;
    if (strcmp(word, "exit3") == 0) return 3;
    if (strcmp(word, "oversized") == 0) result.Width = result.Height = 1 << 15;
    if (strcmp(word, "outside") == 0) result.Offset = 1 << 20;  // the shared memory is empty
    if (strcmp(word, "unscaled") == 0) {
        // Real pixels, in memory the program can map, but more of them than it asked for.
        result.Width = result.SourceWidth = largestSide + 1;
        result.Height = result.SourceHeight = 2;
        if (ftruncate(DecoderPixelFd, off_t(result.Width) * result.Height * 4) != 0) return 8;
    }
    const bool takenOver = strcmp(word, "open") == 0 || strcmp(word, "connect") == 0 || strcmp(word, "spawn") == 0 ||
                           strcmp(word, "thread") == 0;
    if (takenOver || strcmp(word, "shrink") == 0 || strcmp(word, "unsealable") == 0) {
        if (ftruncate(DecoderPixelFd, GoodSide * GoodSide * 4) != 0) return 8;
    }
    if (takenOver) {
        char refusal[160];
        if (!ConfineDecoder(refusal, sizeof refusal)) return 8;
        if (!TryWhatADecoderMayNot(word, second)) return 8;
    }
    if (strcmp(word, "shrink") == 0) {
        const pid_t child = fork();
        if (child < 0) return 8;
        if (child == 0) ShrinkWhenTold(second, pidFile);
    }
    if (strcmp(word, "unsealable") == 0 && fcntl(DecoderPixelFd, F_ADD_SEALS, F_SEAL_SEAL) != 0) return 8;
    if (strcmp(word, "chatty") == 0) {
        while (write(DecoderResultFd, &result, sizeof result) == ssize_t(sizeof result)) {}
        return 8;
    }
    if (strcmp(word, "garbled") == 0 || strcmp(word, "mute") == 0) {
        result.Ok = 0;
        if (strcmp(word, "garbled") == 0) memcpy(result.Reason, "END\xae PNG\n\x1b[31m \xff\xfe", 17);
    }
    if (strncmp(word, "early-", 6) == 0) {
        // Rows handed over early that lie: outside the memory, or fewer than it said before.
        if (ftruncate(DecoderPixelFd, GoodSide * GoodSide * 4) != 0) return 8;
        DecoderProgress progress;
        memset(&progress, 0, sizeof progress);
        progress.Magic = DecoderProgressMagic;
        progress.Width = progress.Height = GoodSide;
        progress.RowsDone = GoodSide / 2;
        if (strcmp(word, "early-outside") == 0) progress.Offset = 1 << 20;
        if (write(DecoderResultFd, &progress, sizeof progress) != ssize_t(sizeof progress)) return 8;
        progress.RowsDone = GoodSide / 4;
        if (write(DecoderResultFd, &progress, sizeof progress) != ssize_t(sizeof progress)) return 8;
    }
    size_t size = strcmp(word, "short") == 0 ? sizeof result / 2 : sizeof result;
    return write(DecoderResultFd, &result, size) == ssize_t(size) ? 0 : 8;
}
