/* swap_counter: a preload library for the end-to-end tests. It wraps SDL_GL_SwapWindow and,
 * after each call, writes how many frames have been handed to the display so far, as
 * "<count>\n" at the start of the file named by VELLUMRY_SWAP_COUNT_FILE. A test reads it to
 * see that the window keeps presenting frames. The program itself is unchanged and knows
 * nothing of it. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

typedef void (*SwapWindowFunction)(void* window);

void SDL_GL_SwapWindow(void* window) {
    static SwapWindowFunction swap;
    static int file = -2;
    static unsigned long long count;
    if (!swap) swap = (SwapWindowFunction)dlsym(RTLD_NEXT, "SDL_GL_SwapWindow");
    swap(window);
    if (file == -2) {
        const char* path = getenv("VELLUMRY_SWAP_COUNT_FILE");
        file = path ? open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644) : -1;
    }
    if (file < 0) return;
    char line[32];
    /* Fixed width, so a shorter number never leaves digits of a longer one behind. */
    const int length = snprintf(line, sizeof line, "%020llu\n", ++count);
    if (pwrite(file, line, (size_t)length, 0) < 0) file = -1;
}
