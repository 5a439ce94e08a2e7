// Writing a file safely on Windows, under Wine, beyond what every platform promises
// (tests/picture/safe_file_contract_test.cpp): a name Windows cannot hold, a target that cannot
// be replaced, a folder removed meanwhile and a writer killed while it encodes, each leaving no
// temporary file and the old file byte for byte.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

#include "picture/file_paths.h"
#include "picture/safe_file.h"
#include "tests/picture/safe_file_fixture.h"

namespace {

std::wstring Wide(const std::string& text) {
    std::wstring wide;
    Utf8ToWide(text, &wide);
    return wide;
}

}  // namespace

TEST_P(SafeFileTest, FailuresLeaveTheOldFileAndNoTemporaryFile) {
    PlaceOldFile();
    SafeFile file;
    // A name Windows cannot hold, refused before anything is encoded.
    EXPECT_FALSE(SafeFileOpen(&file, (dir_ + "\\a?b.png").c_str()));
    EXPECT_NE(file.Reason[0], '\0');
    // A file held open by another program (a viewer) is not replaced: the move fails at the end.
    HANDLE viewer =
        CreateFileW(Wide(target_).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(viewer, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SafeFileOpen(&file, target_.c_str())) << file.Reason;
    ASSERT_TRUE(SafeFileWrite(&file, "new", 3));
    EXPECT_FALSE(SafeFileCommit(&file));
    EXPECT_NE(file.Reason[0], '\0');
    CloseHandle(viewer);
    ExpectOnlyOldFile(dir_);
}

// Windows may refuse to remove a folder while a file in it is open; either way the end is
// whole: the file in place and nothing else, or a failure and no folder.
TEST_P(SafeFileTest, AFolderRemovedMeanwhileEndsWholeEitherWay) {
    std::string sub = dir_ + "\\sub";
    CreateDirectoryW(Wide(sub).c_str(), nullptr);
    SafeFile file;
    ASSERT_TRUE(SafeFileOpen(&file, (sub + "\\x.png").c_str())) << file.Reason;
    ASSERT_TRUE(SafeFileWrite(&file, "bytes", 5));
    RemoveFolder(sub);
    if (SafeFileCommit(&file)) {
        EXPECT_EQ(ListFolder(sub), std::vector<std::string>{"x.png"});
        EXPECT_EQ(ReadAll(sub + "\\x.png"), "bytes");
        RemoveFolder(sub);
    } else {
        EXPECT_NE(file.Reason[0], '\0');
        EXPECT_TRUE(ListFolder(dir_).empty());
    }
}

// A kill closes the writer's handles; the file marked delete-on-close must go with them.
TEST_P(SafeFileTest, AWriterKilledWhileEncodingLeavesTheOldFileAndNothingElse) {
    PlaceOldFile();
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string writer = self;
    writer = writer.substr(0, writer.rfind('\\') + 1) + "export_writer.exe";
    std::wstring command = L"\"" + Wide(writer) + L"\" --slow \"" + Wide(target_) + L"\" 2400 2400";

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process));
    CloseHandle(writeEnd);

    // Its first line: "half" once half the rows are encoded (a blocking read; ctest's time
    // limit guards a writer that never answers).
    std::string line;
    char ch;
    DWORD got = 0;
    while (ReadFile(readEnd, &ch, 1, &got, nullptr) && got == 1 && ch != '\n') line += ch;
    EXPECT_EQ(ListFolder(dir_).size(), 2u);  // the old file and the one being written
    TerminateProcess(process.hProcess, 9);
    WaitForSingleObject(process.hProcess, 60000);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(readEnd);
    EXPECT_EQ(line.substr(0, 4), "half");
    EXPECT_EQ(status, 9u) << "the writer ended before the kill";
    // The system removes the file when the last handle goes; poll a little for Wine's server.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (ListFolder(dir_).size() > 1 && std::chrono::steady_clock::now() < deadline) Sleep(20);
    ExpectOnlyOldFile(dir_);
}
