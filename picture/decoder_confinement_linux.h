// decoder_confinement_linux: shuts the decoder helper in once it holds what it needs, so that a
// picture file which takes over its code gains nothing by it.
//
//   // start-up: the arena mapped, the picture's FILE open, anything a decoder loads loaded
//   char why[160];
//   if (!ConfineDecoder(why, sizeof why)) refuse(why);   // "the kernel refused the filter (...)"
//   // from here on: decode, write the answer, exit
//
// What it sets, for good (children, had they been allowed, would inherit it all):
// - no new privileges (a set-user-id program gains nothing when run; seccomp needs this);
// - RLIMIT_FSIZE 0: no file can be written or grown, not even one reached by a handed-down fd;
//   SIGXFSZ is ignored, so such a write fails with EFBIG instead of ending the helper;
// - a seccomp filter that allows decoding and answering only: reading any fd it holds, writing
//   to the result pipe and to stderr, memory calls (mmap, mprotect, madvise, brk, ...), threads
//   (clone with CLONE_THREAD only; clone3 answers ENOSYS, so that the C library falls back to
//   clone, whose flags the filter can see), futexes, clocks, getrandom, signals to itself, exit.
//   Anything else (open, socket, connect, fork, exec, ptrace, kill of another process, ...)
//   kills the whole helper at once with SIGSYS, which the program reports as a failed decode.
//
// It does not close fds or drop what was opened before; whatever must be opened or loaded (a
// library's plugins, a profile file, the count of processors, which the C library reads from
// /sys) must come before this call. Linux only; the Windows helper is confined by the program
// that starts it (picture/decoder_token_win.h).
#pragma once
#include <cstddef>

// True once the helper is confined; false with the reason when any step failed (the helper
// must then not decode: it would run with the user's full rights).
bool ConfineDecoder(char* reason, size_t reasonSize);
