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
