// The settings file: what is written reads back whole; a damaged, foreign, newer or empty file
// gives the defaults and a reason; a good file with a bad field keeps the rest.
#include <string>

#include "settings/config_folder.h"
#include "settings/settings_file.h"
#include "tests/settings/settings_test_folder.h"

namespace {

class SettingsFileTest : public SettingsFolderTest {};

Settings Kept() {
    Settings settings;
    settings.CurrentLook = BuiltInLook(2);
    settings.CurrentLook.Opacity = 0.125f;
    settings.CurrentLook.PaperPath = "/home/ann/papers/laid.jpg";
    settings.OptionsShown = true;
    settings.TexturesShown = true;
    settings.Window = WindowPlace{true, 120, -30, 1024, 700, true};
    settings.ImportFolder = "/home/ann/trip";
    settings.PaperFolder = "/home/ann/papers";
    settings.ExportFolder = "/home/ann/painted";
    for (int i = 0; i < 10; ++i) settings.RecentPictures.push_back("/home/ann/trip/" + std::to_string(i) + ".jpg");
    return settings;
}

TEST_F(SettingsFileTest, WhatIsWrittenReadsBackWhole) {
    EXPECT_EQ(Root + "/vellumry/settings.json", SettingsFilePath());
    EXPECT_EQ(Root + "/vellumry/window-layout.ini", LayoutFilePath());
    SettingsOutcome first = ReadSettingsFile(SettingsFilePath());
    EXPECT_FALSE(first.Done);
    EXPECT_TRUE(first.Missing) << "a first start";
    EXPECT_TRUE(first.Value == Settings());

    std::string reason;
    ASSERT_TRUE(WriteSettingsFile(SettingsFilePath(), Kept(), &reason)) << reason;
    SettingsOutcome read = ReadSettingsFile(SettingsFilePath());
    ASSERT_TRUE(read.Done) << read.Reason;
    EXPECT_TRUE(read.Value == Kept()) << Get("vellumry/settings.json");
    EXPECT_EQ(0u, Get("vellumry/settings.json").find("{\n  \"vellumry-settings\": 1,"));
}

TEST_F(SettingsFileTest, AFileThatCannotBeUsedGivesTheDefaultsAndAReason) {
    struct Case {
        const char* text;
        const char* reason;
    };
    const Case cases[] = {
        {"", "The file is empty"},
        {"{\"vellumry-settings\": 1, ", "The file is damaged (not valid JSON)"},
        {"[]", "Not a settings file (no \"vellumry-settings\" field)"},
        {R"({"vellumry-look": 1})", "Not a settings file (no \"vellumry-settings\" field)"},
        {R"({"vellumry-settings": 2, "options-shown": true})",
         "The settings were written by a newer version of Vellumry"},
    };
    for (const Case& c : cases) {
        Put("vellumry/settings.json", c.text);
        SettingsOutcome read = ReadSettingsFile(SettingsFilePath());
        EXPECT_FALSE(read.Done) << c.text;
        EXPECT_FALSE(read.Missing) << c.text;
        EXPECT_EQ(c.reason, read.Reason) << c.text;
        EXPECT_TRUE(read.Value == Settings()) << c.text;
    }
    Put("vellumry/settings.json", std::string(SettingsFileLimit + 1, ' '));
    EXPECT_EQ("The file is too large (more than 1024 KiB)", ReadSettingsFile(SettingsFilePath()).Reason);
}

TEST_F(SettingsFileTest, ABadFieldKeepsItsDefaultAndTheRestIsUsed) {
    Put("vellumry/settings.json", R"({"vellumry-settings": 1,
        "look": {"name": "Mine", "opacity": 7, "stroke": 0.5, "intensity": 0.25, "paper": null},
        "options-shown": "yes", "textures-shown": true,
        "window": {"x": 10, "y": 20, "width": -5, "height": 300},
        "folders": {"import": 42, "export": "/out"},
        "recent": ["/a.jpg", "", 3, "/b.jpg", "/a.jpg"]})");
    SettingsOutcome read = ReadSettingsFile(SettingsFilePath());
    ASSERT_TRUE(read.Done) << read.Reason;
    EXPECT_EQ("Mine", read.Value.CurrentLook.Name);
    EXPECT_EQ(1.0f, read.Value.CurrentLook.Opacity) << "clamped";
    EXPECT_EQ(0.25f, read.Value.CurrentLook.Intensity);
    EXPECT_FALSE(read.Value.OptionsShown);
    EXPECT_TRUE(read.Value.TexturesShown);
    EXPECT_FALSE(read.Value.Window.Known) << "a window without a size is no place";
    EXPECT_EQ("", read.Value.ImportFolder);
    EXPECT_EQ("/out", read.Value.ExportFolder);
    EXPECT_EQ((std::vector<std::string>{"/a.jpg", "/b.jpg"}), read.Value.RecentPictures);

    // A look that does not read leaves the default look.
    Put("vellumry/settings.json", R"({"vellumry-settings": 1, "look": {"opacity": "much"}})");
    read = ReadSettingsFile(SettingsFilePath());
    ASSERT_TRUE(read.Done);
    EXPECT_EQ("Default", read.Value.CurrentLook.Name);
}

TEST_F(SettingsFileTest, TheRecentListKeepsTenNewestFirst) {
    std::vector<std::string> recent;
    for (int i = 0; i < 12; ++i) AddRecentPicture(&recent, "/p" + std::to_string(i));
    ASSERT_EQ(RecentLimit, recent.size());
    EXPECT_EQ("/p11", recent.front());
    EXPECT_EQ("/p2", recent.back());
    AddRecentPicture(&recent, "/p5");
    EXPECT_EQ("/p5", recent.front());
    EXPECT_EQ(RecentLimit, recent.size());
    EXPECT_EQ("/p11", recent[1]);
}

}  // namespace
