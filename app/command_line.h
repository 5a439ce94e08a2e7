// command_line: what the program is asked to do on its command line.
//
//   CommandLine line = ParseCommandLine(argc, argv);
//   if (line.Action == COMMAND_LINE_PAINT) return PaintPictures(line.Paint, stderr);
//   if (line.Action != COMMAND_LINE_RUN) return AnswerCommandLine(line, stdout, stderr);
//   ...start up...
//   if (line.Picture) ImportPictureFile(line.Picture);
//
//   vellumry [PICTURE]      starts, and imports PICTURE as if chosen through "Import Texture"
//   vellumry --paint [OPTION]... PICTURE...
//                           paints the pictures without a window (app/paint_batch.h); the
//                           options below, each as "--name VALUE" or "--name=VALUE"
//   vellumry --help | -h    prints the usage to the standard output, status 0
//   vellumry --version      prints "vellumry <version>" to the standard output, status 0
//   vellumry --no-settings [PICTURE]
//                           starts as on a first start and keeps nothing (no settings, looks'
//                           choice or window layout read or written)
//   anything else that begins with "-" (but "-" itself), a second picture, an empty name:
//   anything else that begins with "-" (but "-" itself), a second picture without --paint, an
//   empty name, a painting option without --paint or with a value out of its range, no picture
//   after --paint, -o with several pictures or beside --output, -o whose extension is not one
//   of the export's or disagrees with --format:
//                           one line saying why and the usage on the standard error, status 2
// Painting options: --look NAME|FILE, --opacity X, --stroke X, --intensity X (0..1), --paper
// FILE, --view WxH (1..32767 a side; 800x600), --output DIR, -o FILE, --format png|jpg|jpeg,
// --quality N (1..100; 92), --overwrite, --jobs N (1..256; 0 until given: the machine's cores),
// --verbose. -o FILE takes its format from its extension as the window's export does (none:
// ".png" is added).
// "--" ends the options, so a picture whose name begins with "-" can be named after it. The
// first of --help and --version wins; a usage error found before them wins over them.
// Arguments are taken as they arrive (UTF-8; on Windows SDL2main converts the UTF-16 command
// line); nothing is opened or checked here, and a start without arguments is the plain start.
#pragma once
#include <stdio.h>

#include <string>
#include <vector>

#include "picture/png_jpeg_encoder.h"

enum CommandLineAction {
    COMMAND_LINE_RUN,
    COMMAND_LINE_PAINT,
    COMMAND_LINE_HELP,
    COMMAND_LINE_VERSION,
    COMMAND_LINE_USAGE_ERROR
};

// What --paint asks for. Names point into argv.
struct PaintOptions {
    std::vector<const char*> Pictures;
    const char* Look = nullptr;   // a look's name or file; null: the Default look
    const char* Paper = nullptr;  // a paper file over the look's paper; null: the look's
    float Opacity = 0.0f, Stroke = 0.0f, Intensity = 0.0f;
    bool OpacityGiven = false, StrokeGiven = false, IntensityGiven = false;
    int ViewWidth = 800, ViewHeight = 600;
    const char* OutputFolder = nullptr;  // null: beside each picture
    std::string OutputFile;              // -o, with ".png" added where it had no extension; "" when not given
    PictureFormat Format = PICTURE_PNG;
    int Quality = 92;
    bool Overwrite = false;
    int Jobs = 0;  // 0: the machine's cores
    bool Verbose = false;
};

struct CommandLine {
    CommandLineAction Action;
    const char* Picture;   // Run: the picture to import at start-up (points into argv), or null
    const char* Problem;   // UsageError: what is wrong, e.g. "unknown option"
    const char* Argument;  // UsageError: the argument concerned (points into argv), or null
    bool NoSettings;       // Run: --no-settings, start with the defaults and write nothing
    PaintOptions Paint;    // Paint: what to paint and how
};

CommandLine ParseCommandLine(int argc, char** argv);

// Prints what Help, Version and UsageError ask for and returns the process's exit status
// (0, 0, 2). Prints nothing for Run and Paint and returns 0.
int AnswerCommandLine(const CommandLine& line, FILE* out, FILE* err);

// The program's version, from the build (the project's version in CMake).
extern const char* const ProgramVersion;
// The text --help prints.
extern const char* const CommandLineUsage;
