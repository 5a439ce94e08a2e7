// Look files on disk: what a saved look reads back as, what a damaged, empty, huge or foreign
// file comes to, the user's looks folder as listed and searched, and the configuration folder
// the environment names.
#include <stdlib.h>

#include <string>

#include "settings/config_folder.h"
#include "settings/look_file.h"
#include "tests/settings/settings_test_folder.h"

namespace {

class LookFileTest : public SettingsFolderTest {};

Look MorningFog() {
    Look look;
    look.Name = "Morning fog";
    look.Opacity = 0.8f;
    look.Stroke = 1.0f / 7;  // not a short decimal: the float must come back bit for bit
    look.Intensity = 0.6f;
    look.PaperPath = "/home/ann/papers/laid.jpg";
    return look;
}

void ExpectSameLook(const Look& expected, const Look& actual) {
    EXPECT_EQ(expected.Name, actual.Name);
    EXPECT_EQ(expected.Opacity, actual.Opacity);
    EXPECT_EQ(expected.Stroke, actual.Stroke);
    EXPECT_EQ(expected.Intensity, actual.Intensity);
    EXPECT_EQ(expected.PaperPath, actual.PaperPath);
}

TEST_F(LookFileTest, ASavedLookReadsBackExactlyAndIsReadableText) {
    std::string reason;
    Look fog = MorningFog();
    ASSERT_TRUE(WriteLookFile(UserLookPath(fog.Name), fog, &reason)) << reason;
    EXPECT_EQ(LooksFolder + "/Morning fog.json", UserLookPath(fog.Name));

    LookOutcome read = ReadLookFile(UserLookPath(fog.Name));
    ASSERT_TRUE(read.Done) << read.Reason;
    EXPECT_EQ("", read.Note);
    ExpectSameLook(fog, read.Value);

    // A person can read and edit it: short numbers, the marker first, one field a line.
    std::string text = Get("vellumry/looks/Morning fog.json");
    EXPECT_EQ(0u, text.find("{\n  \"vellumry-look\": 1,\n  \"name\": \"Morning fog\",")) << text;
    EXPECT_NE(std::string::npos, text.find("\"opacity\": 0.8,")) << text;

    // The built-in paper is written as null and read back as "".
    fog.PaperPath = "";
    ASSERT_TRUE(WriteLookFile(UserLookPath(fog.Name), fog, &reason)) << reason;
    EXPECT_NE(std::string::npos, Get("vellumry/looks/Morning fog.json").find("\"paper\": null"));
    ExpectSameLook(fog, ReadLookFile(UserLookPath(fog.Name)).Value);
}

TEST_F(LookFileTest, ValuesOutsideZeroToOneAreClampedWithANote) {
    Put("a.json", R"({"vellumry-look": 1, "opacity": 1.5, "stroke": -0.25, "intensity": 1e300})");
    LookOutcome read = ReadLookFile(Root + "/a.json");
    ASSERT_TRUE(read.Done) << read.Reason;
    EXPECT_EQ(1.0f, read.Value.Opacity);
    EXPECT_EQ(0.0f, read.Value.Stroke);
    EXPECT_EQ(1.0f, read.Value.Intensity);
    EXPECT_EQ("opacity 1.500 taken as 1.000; stroke -0.250 taken as 0.000; intensity out of range taken as 1.000",
              read.Note);
    // No name in the file: the file's name stands for it. A relative paper lies beside the look.
    EXPECT_EQ("a", read.Value.Name);
    Put("b.json", R"({"vellumry-look": 1, "opacity": 0, "stroke": 1, "intensity": 0.5, "paper": "laid.jpg",
                      "comment": "fields a newer program adds are ignored"})");
    read = ReadLookFile(Root + "/b.json");
    ASSERT_TRUE(read.Done) << read.Reason;
    EXPECT_EQ(Root + "/laid.jpg", read.Value.PaperPath);
    EXPECT_EQ("", read.Note);
}

TEST_F(LookFileTest, UnusableFilesGiveAReasonAndNoLook) {
    struct Case {
        const char* bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"", "The file is empty"},
        {" \n\t", "The file is empty"},
        {R"({"vellumry-look": 1, "opacity": 0.5,)", "The file is damaged (not valid JSON)"},
        {"\x89PNG\r\n\x1a\n\0\0\0\rIHDR", "The file is damaged (not valid JSON)"},
        {R"({"name": "x", "opacity": 1})", "Not a look file (no \"vellumry-look\" field)"},
        {R"([1, 2, 3])", "Not a look file (no \"vellumry-look\" field)"},
        {R"("vellumry-look")", "Not a look file (no \"vellumry-look\" field)"},
        {R"({"vellumry-look": "one"})", "The look's format version is not valid"},
        {R"({"vellumry-look": 2, "opacity": 1, "stroke": 1, "intensity": 1})",
         "The look was made by a newer version of Vellumry"},
        {R"({"vellumry-look": 1, "stroke": 1, "intensity": 1})", "The look has no \"opacity\" value"},
        {R"({"vellumry-look": 1, "opacity": "0.5", "stroke": 1, "intensity": 1})",
         "The look's \"opacity\" is not a number"},
        {R"({"vellumry-look": 1, "opacity": 1, "stroke": 1, "intensity": 1, "paper": 7})",
         "The look's \"paper\" is not text"},
        {"{\"vellumry-look\": 1, \"name\": \"\xff\", \"opacity\": 1, \"stroke\": 1, \"intensity\": 1}",
         "The file is damaged (not valid JSON)"},
    };
    for (const Case& c : cases) {
        Put("bad.json", std::string(c.bytes, c.bytes[0] == '\x89' ? 16 : strlen(c.bytes)));
        LookOutcome read = ReadLookFile(Root + "/bad.json");
        EXPECT_FALSE(read.Done) << c.bytes;
        EXPECT_EQ(c.reason, read.Reason) << c.bytes;
    }

    // Too large to be a look, and just under the limit but nested as deep as it can be.
    Put("huge.json", std::string(LookFileLimit + 1, ' '));
    EXPECT_EQ("The file is too large (more than 64 KiB)", ReadLookFile(Root + "/huge.json").Reason);
    Put("deep.json", std::string(LookFileLimit / 2, '[') + std::string(LookFileLimit / 2, ']'));
    EXPECT_EQ("Not a look file (no \"vellumry-look\" field)", ReadLookFile(Root + "/deep.json").Reason);

    EXPECT_EQ("No such file or directory", ReadLookFile(Root + "/none.json").Reason);
    EXPECT_EQ("Not a regular file", ReadLookFile(Root).Reason);
}

TEST_F(LookFileTest, TheUserLooksAreListedByNameWithTheUnusableLast) {
    std::string reason;
    for (const char* name : {"Zinc", "amber", "Birch"}) {
        Look look = MorningFog();
        look.Name = name;
        ASSERT_TRUE(WriteLookFile(UserLookPath(name), look, &reason)) << reason;
    }
    Put("vellumry/looks/broken.json", "{");
    Put("vellumry/looks/.hidden.json", "{");
    Put("vellumry/looks/notes.txt", "not a look");
    Put("vellumry/looks/folder.json/inside", "");

    std::vector<LookEntry> looks = ListUserLooks();
    ASSERT_EQ(4u, looks.size());
    EXPECT_EQ("Birch", looks[0].Outcome.Value.Name);
    EXPECT_EQ("Zinc", looks[1].Outcome.Value.Name);
    EXPECT_EQ("amber", looks[2].Outcome.Value.Name);
    EXPECT_EQ(LooksFolder + "/broken.json", looks[3].Path);
    EXPECT_FALSE(looks[3].Outcome.Done);

    // Deleting one leaves the others.
    ASSERT_TRUE(RemoveFile(looks[1].Path, &reason)) << reason;
    EXPECT_EQ(3u, ListUserLooks().size());
    EXPECT_FALSE(RemoveFile(looks[1].Path, &reason));
    EXPECT_EQ("No such file or directory", reason);
}

TEST_F(LookFileTest, ALookIsFoundByBuiltInNameUserNameOrPath) {
    LookOutcome found = FindLook("default");
    ASSERT_TRUE(found.Done);
    EXPECT_EQ("Default", found.Value.Name);
    EXPECT_EQ(1.0f, found.Value.Opacity);
    EXPECT_EQ(1.0f / 3, found.Value.Stroke);
    EXPECT_EQ(1.0f / 3, found.Value.Intensity);
    EXPECT_EQ("", found.Value.PaperPath);

    std::string reason;
    Look fog = MorningFog();
    fog.Name = "Fog: late";  // a name whose file name differs from it
    ASSERT_TRUE(WriteLookFile(UserLookPath(fog.Name), fog, &reason)) << reason;
    EXPECT_EQ(LooksFolder + "/Fog_ late.json", UserLookPath(fog.Name));
    ExpectSameLook(fog, FindLook("Fog: late").Value);

    Put("elsewhere/mine.json", R"({"vellumry-look": 1, "opacity": 0.5, "stroke": 0.5, "intensity": 0.5})");
    found = FindLook(Root + "/elsewhere/mine.json");
    ASSERT_TRUE(found.Done) << found.Reason;
    EXPECT_EQ("mine", found.Value.Name);

    EXPECT_EQ("There is no look of that name", FindLook("Nonesuch").Reason);
    EXPECT_EQ("No such file or directory", FindLook(Root + "/nonesuch.json").Reason);
}

TEST_F(LookFileTest, NamesAUserMayGiveALook) {
    std::string reason;
    EXPECT_TRUE(CheckLookName("Morning fog ☁", &reason));
    EXPECT_FALSE(CheckLookName("  ", &reason));
    EXPECT_EQ("A look needs a name", reason);
    EXPECT_FALSE(CheckLookName("BOLD STROKES", &reason));
    EXPECT_EQ("A built-in look has that name", reason);
    EXPECT_FALSE(CheckLookName("two\nlines", &reason));
    EXPECT_FALSE(CheckLookName(std::string(65, 'x'), &reason));
    EXPECT_EQ("_.._hidden_.json", LookFileName("/../hidden."));
    EXPECT_EQ("a_b_c_d_.json", LookFileName("a\\b*c?d|"));
}

TEST_F(LookFileTest, TheBuiltInLooksDifferAndStayInRange) {
    ASSERT_GE(BuiltInLookCount(), 4);
    EXPECT_EQ("Default", BuiltInLook(0).Name);
    for (int i = 0; i < BuiltInLookCount(); ++i) {
        const Look& look = BuiltInLook(i);
        EXPECT_EQ(&look, FindBuiltInLook(look.Name));
        EXPECT_EQ("", look.PaperPath);
        for (float value : {look.Opacity, look.Stroke, look.Intensity}) {
            EXPECT_TRUE(value >= 0.0f && value <= 1.0f) << look.Name;
        }
        for (int j = 0; j < i; ++j) {
            const Look& other = BuiltInLook(j);
            float apart = std::abs(look.Opacity - other.Opacity) + std::abs(look.Stroke - other.Stroke) +
                          std::abs(look.Intensity - other.Intensity);
            EXPECT_GT(apart, 0.3f) << look.Name << " is too near " << other.Name;
        }
    }
}

TEST_F(LookFileTest, WritingWhereAFileStandsInTheWayFails) {
    Put("vellumry", "a file where the configuration folder should be");
    std::string reason;
    EXPECT_FALSE(WriteLookFile(UserLookPath("Fog"), MorningFog(), &reason));
    EXPECT_EQ("A file stands where the folder should be", reason);
    EXPECT_EQ("a file where the configuration folder should be", Get("vellumry"));
}

TEST(ConfigFolder, FollowsXdgConfigHomeThenHome) {
    std::string home = getenv("HOME") ? getenv("HOME") : "";
    setenv("XDG_CONFIG_HOME", "/somewhere/config", 1);
    EXPECT_EQ("/somewhere/config/vellumry", ConfigFolder());
    // A relative XDG_CONFIG_HOME is not used (the base directory rules).
    setenv("XDG_CONFIG_HOME", "relative", 1);
    setenv("HOME", "/home/ann", 1);
    EXPECT_EQ("/home/ann/.config/vellumry", ConfigFolder());
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ("/home/ann/.config/vellumry", ConfigFolder());
    setenv("HOME", home.c_str(), 1);
}

}  // namespace
