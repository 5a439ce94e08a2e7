// The fixture of the settings tests: a fresh folder that stands in for the configuration
// folder's parent (XDG_CONFIG_HOME points at it for the test), and the plain file calls the
// tests check with.
#pragma once
#include <gtest/gtest.h>

#include <string>

class SettingsFolderTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Writes bytes to a path under the test's folder, making the folders on the way.
    void Put(const std::string& relative, const std::string& bytes);
    // The bytes of a file under the test's folder; "<missing>" where there is none.
    std::string Get(const std::string& relative);

    std::string Root;         // the test's folder (XDG_CONFIG_HOME)
    std::string LooksFolder;  // Root/vellumry/looks
};
