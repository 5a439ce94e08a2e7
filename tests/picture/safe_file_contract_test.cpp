// What safe writing promises on every platform (picture/safe_file.h), built for Linux and for
// Windows alike: the file appears whole on the commit and not before, an existing file is
// replaced only then, one that appeared meanwhile is never replaced, and giving up or failing
// leaves the old file byte for byte and no temporary file. Each platform's own failures are in
// safe_file_test.cpp (Linux) and tests/windows/safe_file_win_tests.cpp.
#include "picture/safe_file.h"
#include "tests/picture/safe_file_fixture.h"

#ifdef _WIN32
INSTANTIATE_TEST_SUITE_P(Named, SafeFileTest, testing::Values(true));
#else
INSTANTIATE_TEST_SUITE_P(Unnamed, SafeFileTest, testing::Values(false));
INSTANTIATE_TEST_SUITE_P(Named, SafeFileTest, testing::Values(true));
#endif

TEST_P(SafeFileTest, ANewFileAppearsOnlyWhenCommittedAndWhole) {
    std::string bytes = SomeBytes(3 * 1024 * 1024 + 17);  // past the buffer
    SafeFile file;
    ASSERT_TRUE(SafeFileOpen(&file, target_.c_str())) << file.Reason;
    ASSERT_TRUE(SafeFileWrite(&file, bytes.data(), 1000));
    ASSERT_TRUE(SafeFileWrite(&file, bytes.data() + 1000, bytes.size() - 1000));
    EXPECT_EQ(ReadAll(target_), "<missing>");
    ASSERT_TRUE(SafeFileCommit(&file)) << file.Reason;
    EXPECT_EQ(ListFolder(dir_), std::vector<std::string>{kTargetName});
    EXPECT_TRUE(ReadAll(target_) == bytes);
}

TEST_P(SafeFileTest, ReplacesAnExistingFileOnlyOnCommit) {
    PlaceOldFile();
    std::string bytes = SomeBytes(5000);
    SafeFile file;
    ASSERT_TRUE(SafeFileOpen(&file, target_.c_str())) << file.Reason;
    ASSERT_TRUE(SafeFileWrite(&file, bytes.data(), bytes.size()));
    EXPECT_EQ(ReadAll(target_), kOldBytes);
    ASSERT_TRUE(SafeFileCommit(&file)) << file.Reason;
    EXPECT_EQ(ListFolder(dir_), std::vector<std::string>{kTargetName});
    EXPECT_TRUE(ReadAll(target_) == bytes);
}

// The person agreed to a new file; another program's file that took the name while the picture
// was being encoded is not theirs to lose.
TEST_P(SafeFileTest, AFileThatAppearedMeanwhileIsNotReplaced) {
    SafeFile file;
    ASSERT_TRUE(SafeFileOpen(&file, target_.c_str())) << file.Reason;
    ASSERT_TRUE(SafeFileWrite(&file, "new", 3));
    PlaceOldFile();
    EXPECT_FALSE(SafeFileCommit(&file));
    EXPECT_STREQ(file.Reason, "A file of that name appeared meanwhile");
    ExpectOnlyOldFile(dir_);
}

TEST_P(SafeFileTest, GivingUpLeavesTheOldFileAndNothingElse) {
    PlaceOldFile();
    std::string bytes = SomeBytes(2 * 1024 * 1024);
    SafeFile file;
    ASSERT_TRUE(SafeFileOpen(&file, target_.c_str()));
    ASSERT_TRUE(SafeFileWrite(&file, bytes.data(), bytes.size()));
    SafeFileAbandon(&file);
    ExpectOnlyOldFile(dir_);
    SafeFileAbandon(&file);  // twice is harmless
    EXPECT_FALSE(SafeFileWrite(&file, "x", 1));
    EXPECT_NE(file.Reason[0], '\0');
}

TEST_P(SafeFileTest, AMissingFolderIsRefusedAtOnce) {
    PlaceOldFile();
    SafeFile file;
    EXPECT_FALSE(SafeFileOpen(&file, PathIn(PathIn(dir_, "missing"), "x.png").c_str()));
    EXPECT_NE(file.Reason[0], '\0');
    ExpectOnlyOldFile(dir_);
}
