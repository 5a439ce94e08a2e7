// bench_startup: time from process start to the first presented frame of the real program.
// Takes the monotonic clock, forks and execs the program with first_swap_probe preloaded, and
// reads back the moment its first SDL_GL_SwapWindow returned; then ends the program the
// orderly way (SIGTERM, which SDL turns into a quit request). The span covers exec, dynamic
// loading, SDL and window, the GL context and loader, the UI library, the shader compile and
// link, the decode of the embedded paper and the first frame (brush pass, UI, swap).
//   bench_startup [runs]     (needs a display: run under tests/support/with-xvfb.sh)
// Prints figures only; it judges nothing. Program and probe paths are fixed at build time.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

static double Now() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// One start of the program; the seconds to its first presented frame, or a negative value.
static double TimeOneStart(const char* folder) {
    int channel[2];
    if (pipe(channel) != 0) return -1;
    const double start = Now();
    const pid_t child = fork();
    if (child < 0) return -1;
    if (child == 0) {
        close(channel[0]);
        // Every start is a first start (nothing kept); the log is not what is measured here.
        if (chdir(folder) != 0) _exit(127);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        setenv("LD_PRELOAD", FIRST_SWAP_PROBE, 1);
        setenv("VELLUMRY_FIRST_SWAP_FD", std::to_string(channel[1]).c_str(), 1);
        execl(VELLUMRY_PROGRAM, VELLUMRY_PROGRAM, "--no-settings", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(channel[1]);
    double presented = -1;
    pollfd wait = {channel[0], POLLIN, 0};
    if (poll(&wait, 1, 60000) == 1) {
        char line[64] = {};
        if (read(channel[0], line, sizeof line - 1) > 0) presented = std::atof(line);
    }
    close(channel[0]);
    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    return presented > 0 ? presented - start : -1;
}

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    char folder[] = "/tmp/bench_startup.XXXXXX";
    if (!mkdtemp(folder)) return 1;
    TimeOneStart(folder);  // warm the file cache; not counted
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double seconds = TimeOneStart(folder);
        if (seconds < 0) {
            std::printf("Start-up: the program presented no frame (run %d)\n", i + 1);
            return 1;
        }
        times.push_back(seconds * 1000.0);
    }
    std::sort(times.begin(), times.end());
    std::printf("Start-up to the first presented frame (%d runs): median %.1f ms, min %.1f ms, max %.1f ms\n", runs,
                times[times.size() / 2], times.front(), times.back());
    rmdir(folder);
    return 0;
}
