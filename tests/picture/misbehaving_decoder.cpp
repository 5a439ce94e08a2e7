// misbehaving_decoder: stands in for vellumry-decode in tests and goes wrong in the way the
// picture file (on fd 5, as the program hands it over) names in its first word: crash, abort,
// hang, linger (closes the result pipe and keeps running), silent (exits without an answer),
// exit3, oversized, outside (claims pixels beyond the shared memory), short (half a record),
// unscaled (answers pixels larger than the largest side it was given), garbled (a failure whose
// reason is raw bytes and control characters), mute (a failure with an empty reason), fork
// (starts a child that lingers and traces it, so that it cannot be reaped while the child
// lives, and then hangs; the word after "fork" names a file where it writes the child's pid
// once the child has taken hold).
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
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

#include "picture/image_decoder_protocol.h"

int main(int argc, char** argv) {
    struct rlimit none = {0, 0};
    setrlimit(RLIMIT_CORE, &none);
    char word[32] = "", pidFile[4096] = "";
    FILE* file = argc == 3 ? fdopen(DecoderPictureFd, "rb") : nullptr;
    if (!file || fscanf(file, "%31s", word) != 1) return 9;
    if (strcmp(word, "fork") == 0 && fscanf(file, "%4095s", pidFile) != 1) return 9;
    fclose(file);
    if (strcmp(word, "fork") == 0) return ForkAChildThatLingers(pidFile);
    const int largestSide = atoi(argv[2]);

    DecoderResult result;
    memset(&result, 0, sizeof result);
    result.Magic = DecoderResultMagic;
    result.Ok = 1;
    result.Width = result.Height = result.SourceWidth = result.SourceHeight = 16;
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
    if (strcmp(word, "garbled") == 0 || strcmp(word, "mute") == 0) {
        result.Ok = 0;
        if (strcmp(word, "garbled") == 0) memcpy(result.Reason, "END\xae PNG\n\x1b[31m \xff\xfe", 17);
    }
    size_t size = strcmp(word, "short") == 0 ? sizeof result / 2 : sizeof result;
    return write(DecoderResultFd, &result, size) == ssize_t(size) ? 0 : 8;
}
