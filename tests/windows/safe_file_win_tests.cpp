// Writing a file safely on Windows, under Wine: UTF-8 paths through the wide calls, a replaced
// file, and failures (a missing folder, a target that cannot be replaced, a writer killed while
// it encodes) that leave no temporary file and the old file byte for byte.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "picture/safe_file.h"

namespace {

std::wstring Wide(const std::string& text) {
    int units = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide((size_t)units, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], units);
    wide.resize((size_t)units - 1);
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string text((size_t)bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &text[0], bytes, nullptr, nullptr);
    text.resize((size_t)bytes - 1);
    return text;
}

// A fresh folder with a non-ASCII name (beyond the Basic Multilingual Plane too).
std::string MakeFolder(const wchar_t* tag) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"vellumry \u00e9t\u00e9 \U0001F3A8 " + tag;
    CreateDirectoryW(folder.c_str(), nullptr);
    return Utf8(folder);
}

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW(Wide(folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") names.push_back(Utf8(name));
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadAll(const std::string& path) {
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<missing>";
    std::string bytes;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

void WriteAll(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, nullptr);
    CloseHandle(file);
}

void RemoveFolder(const std::string& folder) {
    for (const std::string& name : ListFolder(folder)) {
        std::wstring path = Wide(folder + "\\" + name);
        DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            RemoveFolder(folder + "\\" + name);
            continue;
        }
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
    }
    RemoveDirectoryW(Wide(folder).c_str());
}

const std::string kOld = "old picture\n";
const std::string kName = "caf\xC3\xA9-painted \xE6\x97\xA5.png";

std::string SomeBytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = (char)(i * 7 + i / 251);
    return bytes;
}

class SafeFileWin : public testing::Test {
protected:
    void SetUp() override {
        folder_ = MakeFolder(L"safe");
        RemoveFolder(folder_);  // whatever an earlier, interrupted run left
        folder_ = MakeFolder(L"safe");
        target_ = folder_ + "\\" + kName;
    }
    void TearDown() override { RemoveFolder(folder_); }
    void ExpectOnlyOld() {
        EXPECT_EQ(ListFolder(folder_), std::vector<std::string>{kName});
        EXPECT_EQ(ReadAll(target_), kOld);
    }
    std::string folder_, target_;
};

}  // namespace

TEST_F(SafeFileWin, ANewFileWithANonAsciiNameAppearsWholeOnCommit) {
    std::string bytes = SomeBytes(3 * 1024 * 1024 + 5);
    SafeFile file;
    ASSERT_TRUE(SafeFileOpen(&file, target_.c_str())) << file.reason;
    ASSERT_TRUE(SafeFileWrite(&file, bytes.data(), bytes.size()));
    EXPECT_EQ(ReadAll(target_), "<missing>");
    ASSERT_TRUE(SafeFileCommit(&file)) << file.reason;
    EXPECT_EQ(ListFolder(folder_), std::vector<std::string>{kName});
    EXPECT_TRUE(ReadAll(target_) == bytes);
}

TEST_F(SafeFileWin, ReplacesAnExistingFile) {
    WriteAll(target_, kOld);
    SafeFile file;
    ASSERT_TRUE(SafeFileOpen(&file, target_.c_str())) << file.reason;
    ASSERT_TRUE(SafeFileWrite(&file, "new", 3));
    EXPECT_EQ(ReadAll(target_), kOld);
    ASSERT_TRUE(SafeFileCommit(&file)) << file.reason;
    EXPECT_EQ(ListFolder(folder_), std::vector<std::string>{kName});
    EXPECT_EQ(ReadAll(target_), "new");
}

TEST_F(SafeFileWin, GivingUpLeavesTheOldFileAndNothingElse) {
    WriteAll(target_, kOld);
    std::string bytes = SomeBytes(2 * 1024 * 1024);
    SafeFile file;
    ASSERT_TRUE(SafeFileOpen(&file, target_.c_str()));
    ASSERT_TRUE(SafeFileWrite(&file, bytes.data(), bytes.size()));
    SafeFileAbandon(&file);
    ExpectOnlyOld();
}

TEST_F(SafeFileWin, FailuresLeaveTheOldFileAndNoTemporaryFile) {
    WriteAll(target_, kOld);
    SafeFile file;
    // A folder that is not there.
    EXPECT_FALSE(SafeFileOpen(&file, (folder_ + "\\missing\\x.png").c_str()));
    EXPECT_NE(file.reason[0], '\0');
    // A name Windows cannot hold, refused before anything is encoded.
    EXPECT_FALSE(SafeFileOpen(&file, (folder_ + "\\a?b.png").c_str()));
    EXPECT_NE(file.reason[0], '\0');
    // A file held open by another program (a viewer) is not replaced: the move fails at the end.
    HANDLE viewer = CreateFileW(Wide(target_).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(viewer, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SafeFileOpen(&file, target_.c_str())) << file.reason;
    ASSERT_TRUE(SafeFileWrite(&file, "new", 3));
    EXPECT_FALSE(SafeFileCommit(&file));
    EXPECT_NE(file.reason[0], '\0');
    CloseHandle(viewer);
    ExpectOnlyOld();
}

// Windows may refuse to remove a folder while a file in it is open; either way the end is
// whole: the file in place and nothing else, or a failure and no folder.
TEST_F(SafeFileWin, AFolderRemovedMeanwhileEndsWholeEitherWay) {
    std::string sub = folder_ + "\\sub";
    CreateDirectoryW(Wide(sub).c_str(), nullptr);
    SafeFile file;
    ASSERT_TRUE(SafeFileOpen(&file, (sub + "\\x.png").c_str())) << file.reason;
    ASSERT_TRUE(SafeFileWrite(&file, "bytes", 5));
    RemoveFolder(sub);
    if (SafeFileCommit(&file)) {
        EXPECT_EQ(ListFolder(sub), std::vector<std::string>{"x.png"});
        EXPECT_EQ(ReadAll(sub + "\\x.png"), "bytes");
        RemoveFolder(sub);
    } else {
        EXPECT_NE(file.reason[0], '\0');
        EXPECT_TRUE(ListFolder(folder_).empty());
    }
}

// A kill closes the writer's handles; the file marked delete-on-close must go with them.
TEST_F(SafeFileWin, AWriterKilledWhileEncodingLeavesTheOldFileAndNothingElse) {
    WriteAll(target_, kOld);
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
    EXPECT_EQ(ListFolder(folder_).size(), 2u);  // the old file and the one being written
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
    while (ListFolder(folder_).size() > 1 && std::chrono::steady_clock::now() < deadline) Sleep(20);
    ExpectOnlyOld();
}
