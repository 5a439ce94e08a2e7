#include "app/command_line.h"

#include <string.h>

#ifndef VELLUMRY_VERSION
#error "VELLUMRY_VERSION is set by the build from the project's version"
#endif

const char* const ProgramVersion = VELLUMRY_VERSION;

const char* const CommandLineUsage =
    "Usage: vellumry [OPTION]... [PICTURE]\n"
    "Show a picture as if painted with a brush on textured paper.\n"
    "\n"
    "  -h, --help         print this help and exit\n"
    "      --version      print the version and exit\n"
    "      --no-settings  start with the default settings and save none\n"
    "\n"
    "PICTURE is imported at start-up, as with File > Import Texture. Without it the window\n"
    "opens empty: import a picture from the File menu (Ctrl + O) or drop one on the window.\n"
    "Put -- before a PICTURE whose name begins with -.\n";

namespace {

CommandLine Make(CommandLineAction action, const char* picture = nullptr, const char* problem = nullptr,
                 const char* argument = nullptr) {
    return CommandLine{action, picture, problem, argument, false};
}

}  // namespace

CommandLine ParseCommandLine(int argc, char** argv) {
    const char* picture = nullptr;
    bool optionsEnded = false, noSettings = false;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (!argument) break;
        const bool isOption = !optionsEnded && argument[0] == '-' && argument[1] != 0;
        if (isOption) {
            if (strcmp(argument, "--") == 0) {
                optionsEnded = true;
            } else if (strcmp(argument, "--help") == 0 || strcmp(argument, "-h") == 0) {
                return Make(COMMAND_LINE_HELP);
            } else if (strcmp(argument, "--version") == 0) {
                return Make(COMMAND_LINE_VERSION);
            } else if (strcmp(argument, "--no-settings") == 0) {
                noSettings = true;
            } else {
                return Make(COMMAND_LINE_USAGE_ERROR, nullptr, "unknown option", argument);
            }
            continue;
        }
        if (argument[0] == 0) return Make(COMMAND_LINE_USAGE_ERROR, nullptr, "the picture's name is empty");
        if (picture) return Make(COMMAND_LINE_USAGE_ERROR, nullptr, "one picture at a time; also given", argument);
        picture = argument;
    }
    CommandLine line = Make(COMMAND_LINE_RUN, picture);
    line.NoSettings = noSettings;
    return line;
}

int AnswerCommandLine(const CommandLine& line, FILE* out, FILE* err) {
    switch (line.Action) {
    case COMMAND_LINE_RUN: return 0;
    case COMMAND_LINE_HELP: fputs(CommandLineUsage, out); return 0;
    case COMMAND_LINE_VERSION: fprintf(out, "vellumry %s\n", ProgramVersion); return 0;
    case COMMAND_LINE_USAGE_ERROR:
        if (line.Argument) {
            fprintf(err, "vellumry: %s: %s\n", line.Problem, line.Argument);
        } else {
            fprintf(err, "vellumry: %s\n", line.Problem);
        }
        fputs(CommandLineUsage, err);
        return 2;
    }
    return 2;
}
