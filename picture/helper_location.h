// helper_location: where the program finds its helper executables (the picture decoder).
//
//   char helper[PATH_MAX];
//   if (FindHelperProgram("vellumry-decode", helper, sizeof helper)) start(helper);
//
// Installed, the program is <prefix>/bin/vellumry and its helpers live in
// <prefix>/libexec/vellumry/ (HelperDirFromProgram); in the build folder they sit beside the
// program. The running program's own file (/proc/self/exe) is the starting point, so neither
// PATH nor the working folder matters. Beside the program is tried first, then the installed
// place; a candidate counts only when it is an executable file. Linux only.
#pragma once
#include <stddef.h>

// Looks for `name` beside the running program, then in its installed helper folder. On success
// writes the full path into `path` (NUL-terminated) and answers true.
bool FindHelperProgram(const char* name, char* path, size_t size);

// The same from a given program path (the program's own file, absolute).
bool FindHelperFrom(const char* programPath, const char* name, char* path, size_t size);

// The helpers' folder relative to the installed program's folder, e.g. "../libexec/vellumry".
extern const char* const HelperDirFromProgram;
