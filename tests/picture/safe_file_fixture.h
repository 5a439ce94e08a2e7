// The fixture of the safe-file tests on every platform: a fresh folder (with a non-ASCII name,
// beyond the Basic Multilingual Plane too) that holds the target, and the few file calls the
// tests check with, written with each platform's own calls. The parameter asks for a named
// temporary file where unnamed ones work (Linux; no difference on Windows).
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

// folder + the platform's separator + name.
std::string PathIn(const std::string& folder, const std::string& name);
// Every name in a folder, hidden ones too, sorted.
std::vector<std::string> ListFolder(const std::string& folder);
// A file's bytes; "<missing>" where there is none.
std::string ReadAll(const std::string& path);
void WriteAll(const std::string& path, const std::string& bytes);
void RemoveFolder(const std::string& folder);
// Bytes that differ from one position to the next, so a lost or doubled block shows.
std::string SomeBytes(size_t size);

extern const std::string kOldBytes;
extern const std::string kTargetName;  // "café-painted 日.png"

class SafeFileTest : public testing::TestWithParam<bool> {
protected:
    void SetUp() override;
    void TearDown() override;
    void PlaceOldFile() { WriteAll(target_, kOldBytes); }
    // The folder holds the old file alone, unchanged.
    void ExpectOnlyOldFile(const std::string& folder);

    std::string dir_, target_;
};
