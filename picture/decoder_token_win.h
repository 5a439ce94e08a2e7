// decoder_token_win: the token the Windows decoder helper runs with, so that a helper which a
// crafted file takes over gains little: the program's own token with every privilege dropped
// but the one to pass through folders, at low integrity, where it can write to nothing of the
// user's (files, registry keys and processes of medium integrity refuse it). With the job
// object it runs in (no child processes, a memory limit; picture/image_decoder_win.cpp) this
// is the Windows counterpart of the Linux helper's seccomp filter.
//
//   HANDLE token = DecoderToken();            // null: none could be made (said once in the log)
//   if (token) started = CreateProcessAsUserW(token, ...);
//   if (!started) { DropDecoderToken("starting the helper with it", GetLastError());
//                   started = CreateProcessW(...); }   // the job alone, as before
//
// The handles the helper inherits were opened by the program, so it reads the picture and
// writes its answer as before. Made once and kept for the program's life; main thread only.
// When a step fails (an older system, or a Windows layer whose token calls are stubs) one log
// line says which, and the helper runs with the program's own token, inside its job.
#pragma once
#include <windows.h>

HANDLE DecoderToken();
// Gives the token up for good after `step` failed with `error`, with the one log line.
void DropDecoderToken(const char* step, DWORD error);
