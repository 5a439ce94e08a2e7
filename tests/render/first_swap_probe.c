/* first_swap_probe: a preload library for bench_startup. It wraps SDL_GL_SwapWindow and, when
 * the first call has returned (the first frame handed to the display), writes the monotonic
 * clock as "seconds.nanoseconds\n" to the file descriptor named by VELLUMRY_FIRST_SWAP_FD.
 * The program itself is unchanged and knows nothing of it. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

typedef void (*SwapWindowFunction)(void* window);

void SDL_GL_SwapWindow(void* window) {
    static SwapWindowFunction swap;
    static int reported;
    if (!swap) swap = (SwapWindowFunction)dlsym(RTLD_NEXT, "SDL_GL_SwapWindow");
    swap(window);
    if (reported) return;
    reported = 1;
    const char* fd = getenv("VELLUMRY_FIRST_SWAP_FD");
    if (!fd) return;
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    char line[64];
    const int length = snprintf(line, sizeof line, "%lld.%09ld\n", (long long)now.tv_sec, now.tv_nsec);
    if (write(atoi(fd), line, (size_t)length) < 0) return;
    close(atoi(fd));
}
