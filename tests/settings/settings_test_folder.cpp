#include "tests/settings/settings_test_folder.h"

#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "settings/config_folder.h"

void SettingsFolderTest::SetUp() {
    char pattern[] = "/tmp/vellumry-settings-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    Root = pattern;
    LooksFolder = Root + "/vellumry/looks";
    setenv("XDG_CONFIG_HOME", Root.c_str(), 1);
}

void SettingsFolderTest::TearDown() {
    unsetenv("XDG_CONFIG_HOME");
    std::string command = "chmod -R u+rwx '" + Root + "' && rm -rf '" + Root + "'";
    if (system(command.c_str()) != 0) ADD_FAILURE() << "could not remove " << Root;
}

void SettingsFolderTest::Put(const std::string& relative, const std::string& bytes) {
    std::string path = Root + "/" + relative, reason;
    ASSERT_TRUE(MakeFolders(FolderOfPath(path), &reason)) << reason;
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string SettingsFolderTest::Get(const std::string& relative) {
    std::ifstream file(Root + "/" + relative, std::ios::binary);
    if (!file) return "<missing>";
    std::stringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}
