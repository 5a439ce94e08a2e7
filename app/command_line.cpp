#include "app/command_line.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "picture/export_name.h"

#ifndef VELLUMRY_VERSION
#error "VELLUMRY_VERSION is set by the build from the project's version"
#endif

const char* const ProgramVersion = VELLUMRY_VERSION;

const char* const CommandLineUsage =
    "Usage: vellumry [OPTION]... [PICTURE]\n"
    "  or:  vellumry --paint [OPTION]... PICTURE...\n"
    "Show a picture as if painted with a brush on textured paper.\n"
    "\n"
    "  -h, --help         print this help and exit\n"
    "      --version      print the version and exit\n"
    "      --no-settings  start with the default settings and save none\n"
    "\n"
    "PICTURE is imported at start-up, as with File > Import Texture. Without it the window\n"
    "opens empty: import a picture from the File menu (Ctrl + O) or drop one on the window.\n"
    "Put -- before a PICTURE whose name begins with -.\n"
    "\n"
    "With --paint, each PICTURE is painted and written without a window (no display needed),\n"
    "as File > Export Picture... writes it from a window of the --view size:\n"
    "      --look NAME|FILE   the look to paint with (default: Default): a built-in look,\n"
    "                         one saved in the window's Options, or a look file\n"
    "      --opacity X        brush opacity, 0 to 1, over the look's\n"
    "      --stroke X         brush stroke, 0 to 1, over the look's\n"
    "      --intensity X      filter intensity, 0 to 1, over the look's\n"
    "      --paper FILE       the paper to paint on, over the look's\n"
    "      --view WxH         the window the painting is seen in (default 800x600): the\n"
    "                         brush's reach follows the size the picture is drawn at there\n"
    "      --output DIR       write into DIR (default: beside each picture), as\n"
    "                         NAME-painted.png (or .jpg)\n"
    "  -o FILE                write the one PICTURE to FILE (.png, .jpg or .jpeg)\n"
    "      --format png|jpg   the files' format (default png)\n"
    "      --quality N        JPEG quality, 1 to 100 (default 92)\n"
    "      --overwrite        replace files that exist (otherwise their pictures are skipped)\n"
    "      --jobs N           pictures in flight at once (default: the machine's cores)\n"
    "      --verbose          also print the program's log\n"
    "One line per picture on the standard error, and a summary. Exit status: 0 when every\n"
    "picture was painted, 1 when any failed or was skipped, 2 for a mistake on the command\n"
    "line. Ctrl + C or SIGTERM stops the batch and leaves no partial file.\n";

namespace {

CommandLine Make(CommandLineAction action, const char* picture = nullptr, const char* problem = nullptr,
                 const char* argument = nullptr) {
    CommandLine line;
    line.Action = action;
    line.Picture = picture;
    line.Problem = problem;
    line.Argument = argument;
    return line;
}

bool ReadFraction(const char* text, float* value) {
    char* end = nullptr;
    const double number = strtod(text, &end);
    if (end == text || *end != 0 || !isfinite(number) || number < 0.0 || number > 1.0) return false;
    *value = float(number);
    return true;
}

bool ReadWhole(const char* text, int least, int most, int* value) {
    char* end = nullptr;
    if (*text < '0' || *text > '9') return false;
    const long number = strtol(text, &end, 10);
    if (*end != 0 || number < least || number > most) return false;
    *value = int(number);
    return true;
}

bool ReadView(const char* text, int* width, int* height) {
    const char* x = strchr(text, 'x');
    if (!x) return false;
    const std::string left(text, x - text);
    return ReadWhole(left.c_str(), 1, 32767, width) && ReadWhole(x + 1, 1, 32767, height);
}

bool ReadFormat(const char* text, PictureFormat* format) {
    if (strcmp(text, "png") == 0) *format = PICTURE_PNG;
    else if (strcmp(text, "jpg") == 0 || strcmp(text, "jpeg") == 0) *format = PICTURE_JPEG;
    else return false;
    return true;
}

// The painting options that take a value.
const char* const ValueOptions[] = {"--look",   "--opacity", "--stroke", "--intensity", "--paper", "--view",
                                    "--output", "-o",        "--format", "--quality",   "--jobs"};

// Whether the argument is a painting option that takes a value ("--name=value" or "--name
// value"); its name then.
bool IsValueOption(const char* argument, std::string* name) {
    const char* equals = strncmp(argument, "--", 2) == 0 ? strchr(argument, '=') : nullptr;
    *name = equals ? std::string(argument, equals - argument) : std::string(argument);
    for (const char* option : ValueOptions)
        if (*name == option) return true;
    return false;
}

// The option's value: after its "=", or the next argument (taken); null when there is none.
const char* OptionValue(const char* argument, int* index, int argc, char** argv) {
    const char* equals = strncmp(argument, "--", 2) == 0 ? strchr(argument, '=') : nullptr;
    if (equals) return equals + 1;
    if (*index + 1 >= argc || !argv[*index + 1]) return nullptr;
    return argv[++*index];
}

// Takes one painting option with its value; null when it is well-formed, else the problem.
const char* TakePaintOption(const std::string& name, const char* value, PaintOptions* paint, const char** outputFile,
                            bool* formatGiven) {
    if (name == "--look") {
        if (!*value) return "--look needs a look's name or file";
        paint->Look = value;
    } else if (name == "--paper") {
        if (!*value) return "--paper needs a file";
        paint->Paper = value;
    } else if (name == "--opacity") {
        if (!ReadFraction(value, &paint->Opacity)) return "--opacity takes a number from 0 to 1";
        paint->OpacityGiven = true;
    } else if (name == "--stroke") {
        if (!ReadFraction(value, &paint->Stroke)) return "--stroke takes a number from 0 to 1";
        paint->StrokeGiven = true;
    } else if (name == "--intensity") {
        if (!ReadFraction(value, &paint->Intensity)) return "--intensity takes a number from 0 to 1";
        paint->IntensityGiven = true;
    } else if (name == "--view") {
        if (!ReadView(value, &paint->ViewWidth, &paint->ViewHeight))
            return "--view takes WIDTHxHEIGHT, each 1 to 32767, e.g. 800x600";
    } else if (name == "--output") {
        if (!*value) return "--output needs a folder";
        paint->OutputFolder = value;
    } else if (name == "-o") {
        if (!*value) return "-o needs a file";
        *outputFile = value;
    } else if (name == "--format") {
        if (!ReadFormat(value, &paint->Format)) return "--format takes png or jpg";
        *formatGiven = true;
    } else if (name == "--quality") {
        if (!ReadWhole(value, 1, 100, &paint->Quality)) return "--quality takes a whole number from 1 to 100";
    } else if (name == "--jobs") {
        if (!ReadWhole(value, 1, 256, &paint->Jobs)) return "--jobs takes a whole number from 1 to 256";
    }
    return nullptr;
}

}  // namespace

CommandLine ParseCommandLine(int argc, char** argv) {
    const char* picture = nullptr;
    bool optionsEnded = false, noSettings = false, painting = false, formatGiven = false;
    const char* paintOption = nullptr;  // the first painting option, for a line without --paint
    const char* outputFile = nullptr;
    PaintOptions paint;
    std::vector<const char*> pictures;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (!argument) break;
        const bool isOption = !optionsEnded && argument[0] == '-' && argument[1] != 0;
        if (isOption) {
            std::string name;
            if (strcmp(argument, "--") == 0) {
                optionsEnded = true;
            } else if (strcmp(argument, "--help") == 0 || strcmp(argument, "-h") == 0) {
                return Make(COMMAND_LINE_HELP);
            } else if (strcmp(argument, "--version") == 0) {
                return Make(COMMAND_LINE_VERSION);
            } else if (strcmp(argument, "--no-settings") == 0) {
                noSettings = true;
            } else if (strcmp(argument, "--paint") == 0) {
                painting = true;
            } else if (strcmp(argument, "--overwrite") == 0 || strcmp(argument, "--verbose") == 0) {
                if (!paintOption) paintOption = argument;
                if (argument[2] == 'o') paint.Overwrite = true;
                else paint.Verbose = true;
            } else if (IsValueOption(argument, &name)) {
                if (!paintOption) paintOption = argument;
                const char* value = OptionValue(argument, &i, argc, argv);
                if (!value) return Make(COMMAND_LINE_USAGE_ERROR, nullptr, "the option needs a value", argument);
                if (const char* problem = TakePaintOption(name, value, &paint, &outputFile, &formatGiven))
                    return Make(COMMAND_LINE_USAGE_ERROR, nullptr, problem, *value ? value : argument);
            } else {
                return Make(COMMAND_LINE_USAGE_ERROR, nullptr, "unknown option", argument);
            }
            continue;
        }
        if (argument[0] == 0) return Make(COMMAND_LINE_USAGE_ERROR, nullptr, "the picture's name is empty");
        pictures.push_back(argument);
    }

    if (!painting) {
        if (paintOption) return Make(COMMAND_LINE_USAGE_ERROR, nullptr, "only with --paint", paintOption);
        if (pictures.size() > 1)
            return Make(COMMAND_LINE_USAGE_ERROR, nullptr, "one picture at a time; also given", pictures[1]);
        if (!pictures.empty()) picture = pictures[0];
        CommandLine line = Make(COMMAND_LINE_RUN, picture);
        line.NoSettings = noSettings;
        return line;
    }

    if (pictures.empty()) return Make(COMMAND_LINE_USAGE_ERROR, nullptr, "--paint needs at least one picture");
    if (outputFile) {
        if (pictures.size() > 1)
            return Make(COMMAND_LINE_USAGE_ERROR, nullptr, "-o writes one picture; for several use --output DIR",
                        outputFile);
        if (paint.OutputFolder)
            return Make(COMMAND_LINE_USAGE_ERROR, nullptr, "-o and --output do not go together", outputFile);
        // The extension picks the format, as in the window's export.
        ExportName target;
        std::string reason;
        if (!ResolveExportName(outputFile, &target, &reason))
            return Make(COMMAND_LINE_USAGE_ERROR, nullptr, "-o takes a file ending in .png, .jpg or .jpeg", outputFile);
        if (formatGiven && target.Format != paint.Format)
            return Make(COMMAND_LINE_USAGE_ERROR, nullptr, "--format disagrees with the extension of", outputFile);
        paint.OutputFile = target.Path;
        paint.Format = target.Format;
    }
    paint.Pictures = pictures;
    CommandLine line = Make(COMMAND_LINE_PAINT);
    line.NoSettings = noSettings;
    line.Paint = paint;
    return line;
}

int AnswerCommandLine(const CommandLine& line, FILE* out, FILE* err) {
    switch (line.Action) {
    case COMMAND_LINE_RUN:
    case COMMAND_LINE_PAINT: return 0;
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
