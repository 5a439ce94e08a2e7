// command_line: what the program is asked to do on its command line.
//
//   CommandLine line = ParseCommandLine(argc, argv);
//   if (line.Action != COMMAND_LINE_RUN) return AnswerCommandLine(line, stdout, stderr);
//   ...start up...
//   if (line.Picture) ImportPictureFile(line.Picture);
//
//   vellumry [PICTURE]      starts, and imports PICTURE as if chosen through "Import Texture"
//   vellumry --help | -h    prints the usage to the standard output, status 0
//   vellumry --version      prints "vellumry <version>" to the standard output, status 0
//   vellumry --no-settings [PICTURE]
//                           starts as on a first start and keeps nothing (no settings, looks'
//                           choice or window layout read or written)
//   anything else that begins with "-" (but "-" itself), a second picture, an empty name:
//                           one line saying why and the usage on the standard error, status 2
// "--" ends the options, so a picture whose name begins with "-" can be named after it. The
// first of --help and --version wins; a usage error found before them wins over them.
// Arguments are taken as they arrive (UTF-8; on Windows SDL2main converts the UTF-16 command
// line); nothing is opened or checked here, and a start without arguments is the plain start.
#pragma once
#include <stdio.h>

enum CommandLineAction { COMMAND_LINE_RUN, COMMAND_LINE_HELP, COMMAND_LINE_VERSION, COMMAND_LINE_USAGE_ERROR };

struct CommandLine {
    CommandLineAction Action;
    const char* Picture;   // Run: the picture to import at start-up (points into argv), or null
    const char* Problem;   // UsageError: what is wrong, e.g. "unknown option"
    const char* Argument;  // UsageError: the argument concerned (points into argv), or null
    bool NoSettings;       // Run: --no-settings, start with the defaults and write nothing
};

CommandLine ParseCommandLine(int argc, char** argv);

// Prints what Help, Version and UsageError ask for and returns the process's exit status
// (0, 0, 2). Prints nothing for Run and returns 0.
int AnswerCommandLine(const CommandLine& line, FILE* out, FILE* err);

// The program's version, from the build (the project's version in CMake).
extern const char* const ProgramVersion;
// The text --help prints.
extern const char* const CommandLineUsage;
