// The command line's reading and answers: what starts the program, what answers without a
// window, and what is a usage error.
#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "app/command_line.h"

namespace {

// argv as main receives it: owned strings, a program name first, a null at the end.
struct Arguments {
    std::vector<std::string> Words;
    std::vector<char*> Pointers;
    explicit Arguments(std::vector<std::string> words) : Words(std::move(words)) {
        Words.insert(Words.begin(), "vellumry");
        for (std::string& word : Words) Pointers.push_back(&word[0]);
        Pointers.push_back(nullptr);
    }
    CommandLine Parse() { return ParseCommandLine(static_cast<int>(Words.size()), Pointers.data()); }
};

CommandLine Parse(std::vector<std::string> words) {
    static std::vector<Arguments> keep;  // the result points into argv
    keep.emplace_back(std::move(words));
    return keep.back().Parse();
}

// What AnswerCommandLine writes to each stream, and its status.
struct Answer {
    int Status;
    std::string Out, Err;
};

std::string Contents(FILE* file) {
    std::string text;
    rewind(file);
    char buffer[512];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    fclose(file);
    return text;
}

Answer AnswerFor(const CommandLine& line) {
    FILE* out = tmpfile();
    FILE* err = tmpfile();
    const int status = AnswerCommandLine(line, out, err);
    return Answer{status, Contents(out), Contents(err)};
}

}  // namespace

TEST(CommandLine, NoArgumentsIsThePlainStart) {
    const CommandLine line = Parse({});
    EXPECT_EQ(line.Action, COMMAND_LINE_RUN);
    EXPECT_EQ(line.Picture, nullptr);
    const Answer answer = AnswerFor(line);
    EXPECT_EQ(answer.Status, 0);
    EXPECT_EQ(answer.Out + answer.Err, "") << "a plain start prints nothing";
}

TEST(CommandLine, OnePictureIsTakenAsItIsSpelled) {
    for (const char* picture : {"cat.png", "/home/ann/My Pictures/été.jpg", "-", "C:\\photos\\x.bmp", "--"}) {
        // "--" alone ends the options; as the picture it must come after one.
        std::vector<std::string> words =
            std::string(picture) == "--" ? std::vector<std::string>{"--", "--"} : std::vector<std::string>{picture};
        const CommandLine line = Parse(words);
        EXPECT_EQ(line.Action, COMMAND_LINE_RUN) << picture;
        ASSERT_NE(line.Picture, nullptr) << picture;
        EXPECT_STREQ(line.Picture, picture);
    }
}

TEST(CommandLine, DoubleDashLetsAPictureBeginWithADash) {
    const CommandLine line = Parse({"--", "-sunset.png"});
    EXPECT_EQ(line.Action, COMMAND_LINE_RUN);
    ASSERT_NE(line.Picture, nullptr);
    EXPECT_STREQ(line.Picture, "-sunset.png");
    // Without it the same name is an unknown option.
    EXPECT_EQ(Parse({"-sunset.png"}).Action, COMMAND_LINE_USAGE_ERROR);
}

TEST(CommandLine, HelpAndVersionAnswerOnTheStandardOutput) {
    for (const char* help : {"--help", "-h"}) {
        const CommandLine line = Parse({help});
        EXPECT_EQ(line.Action, COMMAND_LINE_HELP) << help;
        const Answer answer = AnswerFor(line);
        EXPECT_EQ(answer.Status, 0);
        EXPECT_EQ(answer.Out, CommandLineUsage);
        EXPECT_EQ(answer.Err, "");
    }
    const Answer version = AnswerFor(Parse({"--version"}));
    EXPECT_EQ(version.Status, 0);
    EXPECT_EQ(version.Out, std::string("vellumry ") + VELLUMRY_VERSION + "\n");
    EXPECT_EQ(version.Err, "");
    EXPECT_EQ(std::string(ProgramVersion), VELLUMRY_VERSION);
}

TEST(CommandLine, HelpOrVersionWinsOverAPicture) {
    EXPECT_EQ(Parse({"cat.png", "--help"}).Action, COMMAND_LINE_HELP);
    EXPECT_EQ(Parse({"--version", "cat.png"}).Action, COMMAND_LINE_VERSION);
    EXPECT_EQ(Parse({"--version", "--help"}).Action, COMMAND_LINE_VERSION) << "the first wins";
}

TEST(CommandLine, MistakesAreUsageErrorsWithStatusTwo) {
    struct Case {
        std::vector<std::string> Words;
        const char* FirstLine;
    };
    const Case cases[] = {
        {{"--frobnicate"}, "vellumry: unknown option: --frobnicate\n"},
        {{"-x"}, "vellumry: unknown option: -x\n"},
        {{"--help=yes"}, "vellumry: unknown option: --help=yes\n"},
        {{"--Version"}, "vellumry: unknown option: --Version\n"},
        {{"a.png", "b.png"}, "vellumry: one picture at a time; also given: b.png\n"},
        {{""}, "vellumry: the picture's name is empty\n"},
        // A mistake before --help is reported rather than hidden by it.
        {{"--bogus", "--help"}, "vellumry: unknown option: --bogus\n"},
    };
    for (const Case& c : cases) {
        const CommandLine line = Parse(c.Words);
        EXPECT_EQ(line.Action, COMMAND_LINE_USAGE_ERROR) << c.FirstLine;
        const Answer answer = AnswerFor(line);
        EXPECT_EQ(answer.Status, 2);
        EXPECT_EQ(answer.Out, "") << "nothing on the standard output";
        EXPECT_EQ(answer.Err, std::string(c.FirstLine) + CommandLineUsage);
    }
}

TEST(CommandLine, NoSettingsGoesWithAPictureInEitherOrder) {
    EXPECT_FALSE(Parse({"cat.png"}).NoSettings);
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{"--no-settings", "cat.png"}, std::vector<std::string>{"cat.png", "--no-settings"}}) {
        const CommandLine line = Parse(words);
        EXPECT_EQ(line.Action, COMMAND_LINE_RUN);
        EXPECT_TRUE(line.NoSettings);
        EXPECT_STREQ(line.Picture, "cat.png");
    }
    // After "--" it is a picture's name.
    const CommandLine named = Parse({"--", "--no-settings"});
    EXPECT_FALSE(named.NoSettings);
    EXPECT_STREQ(named.Picture, "--no-settings");
}

TEST(CommandLine, PaintTakesItsOptionsAndManyPictures) {
    const CommandLine line = Parse({"--paint", "--opacity",   "0.25",     "--stroke=1", "--intensity",  "0",
                                    "--view",  "1366x768",    "--output", "out",        "--format=jpg", "--quality",
                                    "80",      "--overwrite", "--jobs",   "3",          "--look",       "Default",
                                    "--paper", "p.jpg",       "a.png",    "--",         "-b.jpg"});
    ASSERT_EQ(line.Action, COMMAND_LINE_PAINT) << (line.Problem ? line.Problem : "");
    const PaintOptions& paint = line.Paint;
    ASSERT_EQ(paint.Pictures.size(), 2u);
    EXPECT_STREQ(paint.Pictures[0], "a.png");
    EXPECT_STREQ(paint.Pictures[1], "-b.jpg");
    EXPECT_TRUE(paint.OpacityGiven && paint.StrokeGiven && paint.IntensityGiven);
    EXPECT_EQ(paint.Opacity, 0.25f);
    EXPECT_EQ(paint.Stroke, 1.0f);
    EXPECT_EQ(paint.Intensity, 0.0f);
    EXPECT_EQ(paint.ViewWidth, 1366);
    EXPECT_EQ(paint.ViewHeight, 768);
    EXPECT_STREQ(paint.OutputFolder, "out");
    EXPECT_EQ(paint.Format, PICTURE_JPEG);
    EXPECT_EQ(paint.Quality, 80);
    EXPECT_TRUE(paint.Overwrite);
    EXPECT_EQ(paint.Jobs, 3);
    EXPECT_STREQ(paint.Look, "Default");
    EXPECT_STREQ(paint.Paper, "p.jpg");
    EXPECT_EQ(AnswerFor(line).Status, 0);

    // The defaults: the window's first size, PNG at the export's JPEG quality, the machine's cores.
    const PaintOptions plain = Parse({"--paint", "a.png"}).Paint;
    EXPECT_EQ(plain.ViewWidth, 800);
    EXPECT_EQ(plain.ViewHeight, 600);
    EXPECT_EQ(plain.Format, PICTURE_PNG);
    EXPECT_EQ(plain.Quality, 92);
    EXPECT_EQ(plain.Jobs, 0);
    EXPECT_FALSE(plain.OpacityGiven || plain.StrokeGiven || plain.IntensityGiven || plain.Overwrite);
    EXPECT_EQ(plain.Look, nullptr);
    EXPECT_EQ(plain.OutputFolder, nullptr);
    EXPECT_EQ(plain.OutputFile, "");
}

TEST(CommandLine, PaintOneFileTakesItsFormatFromTheExtension) {
    const PaintOptions jpeg = Parse({"--paint", "-o", "out/x.JPEG", "a.png"}).Paint;
    EXPECT_EQ(jpeg.OutputFile, "out/x.JPEG");
    EXPECT_EQ(jpeg.Format, PICTURE_JPEG);
    const PaintOptions bare = Parse({"--paint", "a.png", "-o", "x"}).Paint;
    EXPECT_EQ(bare.OutputFile, "x.png") << "as the window's export, a name without an extension gets .png";
    EXPECT_EQ(bare.Format, PICTURE_PNG);
    EXPECT_EQ(Parse({"--paint", "--format", "png", "-o", "x.png", "a.png"}).Action, COMMAND_LINE_PAINT);
}

TEST(CommandLine, PaintMistakesAreUsageErrors) {
    struct Case {
        std::vector<std::string> Words;
        const char* FirstLine;
    };
    const Case cases[] = {
        {{"--paint"}, "vellumry: --paint needs at least one picture\n"},
        {{"--opacity", "0.5", "a.png"}, "vellumry: only with --paint: --opacity\n"},
        {{"--overwrite", "a.png"}, "vellumry: only with --paint: --overwrite\n"},
        {{"--paint", "--opacity", "1.5", "a.png"}, "vellumry: --opacity takes a number from 0 to 1: 1.5\n"},
        {{"--paint", "--stroke=-0.1", "a.png"}, "vellumry: --stroke takes a number from 0 to 1: -0.1\n"},
        {{"--paint", "--intensity", "nan", "a.png"}, "vellumry: --intensity takes a number from 0 to 1: nan\n"},
        {{"--paint", "--opacity", "0.5x", "a.png"}, "vellumry: --opacity takes a number from 0 to 1: 0.5x\n"},
        {{"--paint", "--view", "800", "a.png"},
         "vellumry: --view takes WIDTHxHEIGHT, each 1 to 32767, e.g. 800x600: 800\n"},
        {{"--paint", "--view", "0x600", "a.png"},
         "vellumry: --view takes WIDTHxHEIGHT, each 1 to 32767, e.g. 800x600: 0x600\n"},
        {{"--paint", "--view", "800x-6", "a.png"},
         "vellumry: --view takes WIDTHxHEIGHT, each 1 to 32767, e.g. 800x600: 800x-6\n"},
        {{"--paint", "--format", "gif", "a.png"}, "vellumry: --format takes png or jpg: gif\n"},
        {{"--paint", "--quality", "0", "a.png"}, "vellumry: --quality takes a whole number from 1 to 100: 0\n"},
        {{"--paint", "--quality", "92.5", "a.png"}, "vellumry: --quality takes a whole number from 1 to 100: 92.5\n"},
        {{"--paint", "--jobs", "0", "a.png"}, "vellumry: --jobs takes a whole number from 1 to 256: 0\n"},
        {{"--paint", "a.png", "--jobs"}, "vellumry: the option needs a value: --jobs\n"},
        {{"--paint", "-o", "x.png", "a.png", "b.png"},
         "vellumry: -o writes one picture; for several use --output DIR: x.png\n"},
        {{"--paint", "-o", "x.png", "--output", "d", "a.png"}, "vellumry: -o and --output do not go together: x.png\n"},
        {{"--paint", "-o", "x.gif", "a.png"}, "vellumry: -o takes a file ending in .png, .jpg or .jpeg: x.gif\n"},
        {{"--paint", "--format", "jpg", "-o", "x.png", "a.png"},
         "vellumry: --format disagrees with the extension of: x.png\n"},
        {{"--paint", "--look=", "a.png"}, "vellumry: --look needs a look's name or file: --look=\n"},
        {{"--paint", "--colour", "red", "a.png"}, "vellumry: unknown option: --colour\n"},
        {{"--paint", ""}, "vellumry: the picture's name is empty\n"},
        // A mistake before --help is still reported.
        {{"--paint", "--jobs", "x", "--help"}, "vellumry: --jobs takes a whole number from 1 to 256: x\n"},
    };
    for (const Case& c : cases) {
        const CommandLine line = Parse(c.Words);
        EXPECT_EQ(line.Action, COMMAND_LINE_USAGE_ERROR) << c.FirstLine;
        const Answer answer = AnswerFor(line);
        EXPECT_EQ(answer.Status, 2) << c.FirstLine;
        EXPECT_EQ(answer.Err, std::string(c.FirstLine) + CommandLineUsage);
    }
    EXPECT_EQ(Parse({"--paint", "a.png", "--help"}).Action, COMMAND_LINE_HELP);
}
