// The shell dialog binding's own routines under Wine: file types as the dialog receives them,
// the starting-folder rules against the real shell, path sets from selections, the text
// conversions, and COM initialisation when the thread already has it. Nothing here shows a
// dialog (the operations that are called fail before Show); tests/windows/dialog_test.py
// drives the real one.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "com_doubles.h"
#include "filedialog/nfd_common.h"
#include "filedialog/nfd_win.h"

namespace {

const HRESULT ChangedMode = RPC_E_CHANGED_MODE;

// A path the shell refuses to parse (an empty long-path prefix), rather than one it cannot find.
const char Unparsable[] = "\\\\?\\";

// COM on the test's main thread, as the program has it once SDL is up.
class ComOnThread : public ::testing::Environment {
public:
    void SetUp() override { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    void TearDown() override { CoUninitialize(); }
};
[[maybe_unused]] const auto* const Com = ::testing::AddGlobalTestEnvironment(new ComOnThread);

std::wstring Wide(const wchar_t* text) { return text; }

// ---- File types ----

struct FilterCase {
    const char* Filters;
    std::vector<std::wstring> Specs;  // what SetFileTypes receives, all-files entry included
};

TEST(FileTypes, FilterListsBecomeTheEntriesHandedToTheDialog) {
    const FilterCase cases[] = {
        {"png,jpg,tif,bmp", {L"*.png;*.jpg;*.tif;*.bmp", L"*.*"}},
        {"png;jpg", {L"*.png", L"*.jpg", L"*.*"}},
        {"png,jpg;bmp", {L"*.png;*.jpg", L"*.bmp", L"*.*"}},
        {"png;", {L"*.png", L"*.", L"*.*"}},
        {"png;;jpg", {L"*.png", L"*.", L"*.jpg", L"*.*"}},
        {"png,", {L"*.png;*.", L"*.*"}},
        {",png", {L"*.;*.png", L"*.*"}},
        {"png, jpg", {L"*.png;*. jpg", L"*.*"}},
        // Extensions are UTF-8 and arrive as UTF-16, characters beyond U+FFFF included.
        {"caf\xC3\xA9;\xF0\x9F\x98\x80", {L"*.caf\u00e9", L"*.\U0001F600", L"*.*"}},
    };
    for (const FilterCase& c : cases) {
        FakeFileDialog dialog;
        EXPECT_TRUE(NFDi_ApplyFilterList(&dialog, c.Filters)) << c.Filters;
        ASSERT_EQ(dialog.SetFileTypesCalls, 1) << c.Filters;
        ASSERT_EQ(dialog.FileTypes.size(), c.Specs.size()) << c.Filters;
        for (size_t i = 0; i < c.Specs.size(); ++i) {
            EXPECT_EQ(dialog.FileTypes[i].Patterns, c.Specs[i]) << c.Filters << " entry " << i;
            EXPECT_EQ(dialog.FileTypes[i].Name, L"") << c.Filters << " entry " << i;
        }
        EXPECT_EQ(dialog.OtherCalls, 0);
    }
}

TEST(FileTypes, NullOrEmptyListSetsNoFileTypesAtAll) {
    FakeFileDialog dialog;
    EXPECT_TRUE(NFDi_ApplyFilterList(&dialog, nullptr));
    EXPECT_TRUE(NFDi_ApplyFilterList(&dialog, ""));
    EXPECT_EQ(dialog.SetFileTypesCalls, 0);
    EXPECT_EQ(dialog.OtherCalls, 0);
}

TEST(FileTypes, APatternListLongerThanTheBufferIsCutAt255Bytes) {
    // 60 extensions of 3 letters: 60 * 6 - 1 = 359 bytes of patterns.
    std::string filters;
    for (int i = 0; i < 60; ++i) filters += (i ? "," : "") + std::string("a") + char('a' + i % 26) + "z";
    FakeFileDialog dialog;
    ASSERT_TRUE(NFDi_ApplyFilterList(&dialog, filters.c_str()));
    ASSERT_EQ(dialog.FileTypes.size(), 2u);
    EXPECT_EQ(dialog.FileTypes[0].Patterns.size(), 255u);
    EXPECT_EQ(dialog.FileTypes[0].Patterns.substr(0, 13), L"*.aaz;*.abz;*");
    EXPECT_EQ(dialog.FileTypes[1].Patterns, L"*.*");
}

// ---- Starting folder, against the real shell ----

class DefaultPath : public ::testing::Test {
protected:
    void SetUp() override {
        NFDi_RecordError("earlier message");
        wchar_t temp[MAX_PATH];
        ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
        Folder = std::wstring(temp) + L"vellumry \u00e9t\u00e9 \U0001F600";
        CreateDirectoryW(Folder.c_str(), nullptr);
        ASSERT_NE(GetFileAttributesW(Folder.c_str()), INVALID_FILE_ATTRIBUTES);
    }
    void TearDown() override { RemoveDirectoryW(Folder.c_str()); }

    static std::string Utf8(const std::wstring& text) {
        char out[4 * MAX_PATH];
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out, sizeof out, nullptr, nullptr);
        return out;
    }
    // A drive letter that names no drive.
    static std::string MissingDrive() {
        DWORD drives = GetLogicalDrives();
        for (int letter = 'Q'; letter <= 'Y'; ++letter)
            if (!(drives & (1u << (letter - 'A')))) return std::string(1, char(letter)) + ":\\pictures";
        return "";
    }
    std::wstring Folder;
};

TEST_F(DefaultPath, NullOrEmptyLeavesTheFolderToThePlatform) {
    FakeFileDialog dialog;
    EXPECT_TRUE(SetDefaultPath(&dialog, nullptr));
    EXPECT_TRUE(SetDefaultPath(&dialog, ""));
    EXPECT_EQ(dialog.SetFolderCalls, 0);
}

TEST_F(DefaultPath, AnExistingFolderIsWhereTheDialogOpens) {
    FakeFileDialog dialog;
    EXPECT_TRUE(SetDefaultPath(&dialog, Utf8(Folder).c_str()));
    EXPECT_EQ(dialog.SetFolderCalls, 1);
    EXPECT_EQ(dialog.Folder, Folder);
    EXPECT_STREQ(NFD_LastError(), "earlier message");
}

TEST_F(DefaultPath, MissingFoldersAndDrivesAreSkippedNotFailed) {
    std::string missingDrive = MissingDrive();
    ASSERT_FALSE(missingDrive.empty());
    const std::string paths[] = {
        Utf8(Folder) + "\\not there",
        Utf8(Folder) + "\\not there\\nor here",
        missingDrive,
    };
    for (const std::string& path : paths) {
        FakeFileDialog dialog;
        EXPECT_TRUE(SetDefaultPath(&dialog, path.c_str())) << path << ": " << NFD_LastError();
        EXPECT_EQ(dialog.SetFolderCalls, 0) << path;
        EXPECT_STREQ(NFD_LastError(), "earlier message") << path;
    }
}

TEST_F(DefaultPath, AnUnparsablePathFails) {
    FakeFileDialog dialog;
    EXPECT_FALSE(SetDefaultPath(&dialog, Unparsable));
    EXPECT_EQ(dialog.SetFolderCalls, 0);
    EXPECT_STREQ(NFD_LastError(), "Error creating ShellItem");
}

TEST_F(DefaultPath, TheOperationsReportAnUnparsablePathWithTheirOwnMessages) {
    char* chosen = nullptr;
    EXPECT_EQ(NFD_OpenFile("png", Unparsable, &chosen), NFD_RESULT_ERROR);
    EXPECT_STREQ(NFD_LastError(), "Error creating ShellItem");
    EXPECT_EQ(chosen, nullptr);
    NFDi_RecordError("earlier message");
    EXPECT_EQ(NFD_ChooseFolder(Unparsable, &chosen), NFD_RESULT_ERROR);
    EXPECT_STREQ(NFD_LastError(), "SetDefaultPath failed.");
    EXPECT_EQ(chosen, nullptr);
}

TEST(DefaultName, ANameWithAFolderInItIsRefusedBeforeTheDialogShows) {
    for (const char* name : {"sub\\x.png", "sub/x.png", "..", "C:\\x.png"}) {
        char* chosen = nullptr;
        NFDi_RecordError("earlier message");
        EXPECT_EQ(NFD_SaveFileAs("png", nullptr, name, &chosen), NFD_RESULT_ERROR) << name;
        EXPECT_STREQ(NFD_LastError(), "The suggested file name is not a plain file name.");
        EXPECT_EQ(chosen, nullptr);
    }
}

// ---- Path sets ----

class PathSets : public ::testing::Test {
protected:
    void SetUp() override { NFDi_RecordError("earlier message"); }
    // Every item the binding took from the array was given back.
    void ExpectAllReleased() {
        for (size_t i = 0; i < Items.size(); ++i) EXPECT_EQ(Items[i].Refs, 1u) << "item " << i;
        EXPECT_EQ(Array.Refs, 1u);
    }
    void Select(std::initializer_list<const wchar_t*> names) {
        Items.resize(names.size());
        size_t i = 0;
        for (const wchar_t* name : names) {
            Items[i].Name = name;
            Array.Items.push_back(&Items[i]);
            ++i;
        }
    }
    std::vector<FakeShellItem> Items;
    FakeShellItemArray Array;
};

TEST_F(PathSets, ThreeFilesArriveInSelectionOrderAsUtf8) {
    Select({L"Z:\\p\\b.png", L"Z:\\p\\caf\u00e9.png", L"Z:\\p\\\U0001F600.jpg"});
    NFDPathSet set;
    ASSERT_TRUE(NFDi_FillPathSet(&Array, &set)) << NFD_LastError();
    ASSERT_EQ(NFD_PathSetCount(&set), 3u);
    EXPECT_EQ(set.offsets[0], 0u);
    EXPECT_STREQ(NFD_PathSetPath(&set, 0), "Z:\\p\\b.png");
    EXPECT_STREQ(NFD_PathSetPath(&set, 1), "Z:\\p\\caf\xC3\xA9.png");
    EXPECT_STREQ(NFD_PathSetPath(&set, 2), "Z:\\p\\\xF0\x9F\x98\x80.jpg");
    // Back to back: each path starts right after the previous one's terminator.
    EXPECT_EQ(set.offsets[1], std::strlen("Z:\\p\\b.png") + 1);
    EXPECT_EQ(set.offsets[2], set.offsets[1] + std::strlen("Z:\\p\\caf\xC3\xA9.png") + 1);
    NFD_PathSetRelease(&set);
    ExpectAllReleased();
}

TEST_F(PathSets, ItemsWithoutAFileSystemPathAreLeftOut) {
    Select({L"::{control panel}", L"Z:\\a.png", L"::{network}", L"Z:\\b.png"});
    Items[0].FileSystem = false;
    Items[2].FileSystem = false;
    NFDPathSet set;
    ASSERT_TRUE(NFDi_FillPathSet(&Array, &set));
    ASSERT_EQ(NFD_PathSetCount(&set), 2u);  // every entry has a path
    EXPECT_STREQ(NFD_PathSetPath(&set, 0), "Z:\\a.png");
    EXPECT_STREQ(NFD_PathSetPath(&set, 1), "Z:\\b.png");
    EXPECT_EQ(Items[0].DisplayNameCalls, 0);
    NFD_PathSetRelease(&set);
    ExpectAllReleased();
}

TEST_F(PathSets, FailuresLeaveNothingBehind) {
    struct Case {
        const char* What;
        void (*Arrange)(std::vector<FakeShellItem>&, FakeShellItemArray&);
    };
    const Case cases[] = {
        {"no file-system item",
         [](std::vector<FakeShellItem>& i, FakeShellItemArray&) {
             for (FakeShellItem& item : i) item.FileSystem = false;
         }},
        {"no item at all", [](std::vector<FakeShellItem>&, FakeShellItemArray& a) { a.Items.clear(); }},
        {"count fails", [](std::vector<FakeShellItem>&, FakeShellItemArray& a) { a.FailCount = true; }},
        {"an item is missing", [](std::vector<FakeShellItem>&, FakeShellItemArray& a) { a.FailItemAt = 1; }},
        {"attributes fail", [](std::vector<FakeShellItem>& i, FakeShellItemArray&) { i[1].FailAttributes = true; }},
        {"display name fails", [](std::vector<FakeShellItem>& i, FakeShellItemArray&) { i[1].FailDisplayName = true; }},
        {"a path grows between the passes",
         [](std::vector<FakeShellItem>& i, FakeShellItemArray&) {
             i[1].LaterName = L"Z:\\a much longer name than the first pass measured.png";
         }},
    };
    for (const Case& c : cases) {
        Items.clear();
        Array = FakeShellItemArray();
        Select({L"Z:\\a.png", L"Z:\\b.png"});
        c.Arrange(Items, Array);
        NFDPathSet set;
        std::memset(&set, 0xAB, sizeof set);
        NFDPathSet before = set;
        NFDi_RecordError("earlier message");
        EXPECT_FALSE(NFDi_FillPathSet(&Array, &set)) << c.What;
        EXPECT_STREQ(NFD_LastError(), "Error allocating pathset.") << c.What;
        EXPECT_EQ(std::memcmp(&set, &before, sizeof set), 0) << c.What << ": the record was written";
        for (size_t i = 0; i < Items.size(); ++i) EXPECT_EQ(Items[i].Refs, 1u) << c.What << ", item " << i;
    }
}

// ---- Text conversions ----

struct TextCase {
    const char* Utf8;
    const wchar_t* Utf16;
};

const TextCase TextCases[] = {
    {"Z:\\pictures\\a.png", L"Z:\\pictures\\a.png"},
    {"caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC", L"caf\u00e9 \u65e5\u672c"},
    {"\xF0\x9F\x98\x80 smile \xF0\x90\x8D\x88", L"\U0001F600 smile \U00010348"},
};

TEST(TextConversion, Utf8AndUtf16RoundTrip) {
    for (const TextCase& c : TextCases) {
        wchar_t* wide = nullptr;
        NFDi_Utf8ToWide(c.Utf8, &wide);
        ASSERT_NE(wide, nullptr);
        EXPECT_EQ(Wide(wide), Wide(c.Utf16)) << c.Utf8;
        NFDi_FreeMemory(wide);

        char* utf8 = nullptr;
        NFDi_WideToUtf8(c.Utf16, &utf8);
        ASSERT_NE(utf8, nullptr);
        EXPECT_STREQ(utf8, c.Utf8);
        NFDi_FreeMemory(utf8);

        // Room for the path set: bytes, terminator and one to spare; the bytes written
        // include the terminator.
        size_t bytes = std::strlen(c.Utf8);
        EXPECT_EQ(NFDi_Utf8SizeOfWide(c.Utf16), static_cast<int>(bytes + 2));
        std::string into(bytes + 2, '\x7f');
        EXPECT_EQ(NFDi_WideToUtf8Into(c.Utf16, &into[0]), static_cast<int>(bytes + 1));
        EXPECT_STREQ(into.c_str(), c.Utf8);
        EXPECT_EQ(into[bytes + 1], '\x7f');
    }
}

TEST(TextConversion, ALeadingByteOrderMarkIsKeptAndDoesNotStopTheProgram) {
    wchar_t* wide = nullptr;
    NFDi_Utf8ToWide(
        "\xEF\xBB\xBF"
        "abc",
        &wide);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(Wide(wide), Wide(L"\uFEFF"
                               L"abc"));
    NFDi_FreeMemory(wide);

    wide = nullptr;
    NFDi_Utf8ToWide("\xEF\xBB\xBF", &wide);
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(Wide(wide), Wide(L"\uFEFF"));
    NFDi_FreeMemory(wide);
}

TEST(TextConversion, MalformedBytesBecomeReplacementCharacters) {
    const char* malformed[] = {
        "\x80"
        "abc",
        "ab\xC3", "\xED\xA0\x80", "\xFF\xFE", "a\xF0\x9F\x98"};
    for (const char* text : malformed) {
        wchar_t* wide = nullptr;
        NFDi_Utf8ToWide(text, &wide);
        ASSERT_NE(wide, nullptr);
        EXPECT_NE(Wide(wide).find(L'\uFFFD'), std::wstring::npos);
        NFDi_FreeMemory(wide);
    }
    // A lone surrogate from the platform side becomes U+FFFD as well.
    char* utf8 = nullptr;
    const wchar_t lone[] = {L'a', wchar_t(0xD800), L'b', 0};
    NFDi_WideToUtf8(lone, &utf8);
    ASSERT_NE(utf8, nullptr);
    EXPECT_STREQ(utf8,
                 "a\xEF\xBF\xBD"
                 "b");
    NFDi_FreeMemory(utf8);
}

// ---- COM initialisation already done by the caller ----

// CoInitializeEx's answer for `model` now, undone again when it succeeded.
HRESULT ProbeCom(DWORD model) {
    HRESULT result = CoInitializeEx(nullptr, model);
    if (SUCCEEDED(result)) CoUninitialize();
    return result;
}

// Runs `body` on a thread of its own, so each case starts with no COM at all.
template <typename Body>
void OnFreshThread(Body body) {
    std::thread thread(body);
    thread.join();
}

TEST(ComState, InitialisedInTheSameModelWorksAndIsLeftAsFound) {
    OnFreshThread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        char* chosen = nullptr;
        // Fails at the starting folder: past COM, the dialog's creation and the file types.
        EXPECT_EQ(NFD_OpenFile("png,jpg", Unparsable, &chosen), NFD_RESULT_ERROR);
        EXPECT_STREQ(NFD_LastError(), "Error creating ShellItem");
        EXPECT_EQ(NFD_ChooseFolder(Unparsable, &chosen), NFD_RESULT_ERROR);
        EXPECT_STREQ(NFD_LastError(), "SetDefaultPath failed.");
        // Still initialised once, in the same model: our own CoUninitialize ends it.
        EXPECT_EQ(ProbeCom(COINIT_APARTMENTTHREADED), S_FALSE);
        CoUninitialize();
        EXPECT_EQ(ProbeCom(COINIT_MULTITHREADED), S_OK);
    });
}

TEST(ComState, InitialisedInAnotherModelFailsAndUninitialisesNothing) {
    OnFreshThread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        char* chosen = nullptr;
        NFDPathSet set;
        EXPECT_EQ(NFD_OpenFile("png", nullptr, &chosen), NFD_RESULT_ERROR);
        EXPECT_STREQ(NFD_LastError(), "Could not initialize COM.");
        NFDi_RecordError("earlier message");
        EXPECT_EQ(NFD_SaveFile("png", nullptr, &chosen), NFD_RESULT_ERROR);
        EXPECT_STREQ(NFD_LastError(), "Could not initialize COM.");
        NFDi_RecordError("earlier message");
        EXPECT_EQ(NFD_OpenFiles("png", nullptr, &set), NFD_RESULT_ERROR);
        EXPECT_STREQ(NFD_LastError(), "Could not initialize COM.");
        EXPECT_EQ(NFD_ChooseFolder(nullptr, &chosen), NFD_RESULT_ERROR);
        EXPECT_STREQ(NFD_LastError(), "CoInitializeEx failed.");
        EXPECT_EQ(chosen, nullptr);
        // The caller's multithreaded COM is untouched.
        EXPECT_EQ(ProbeCom(COINIT_APARTMENTTHREADED), ChangedMode);
        EXPECT_EQ(ProbeCom(COINIT_MULTITHREADED), S_FALSE);
        CoUninitialize();
        EXPECT_EQ(ProbeCom(COINIT_APARTMENTTHREADED), S_OK);
    });
}

TEST(ComState, NotInitialisedBeforeMeansNotInitialisedAfter) {
    OnFreshThread([] {
        char* chosen = nullptr;
        EXPECT_EQ(NFD_OpenFile(nullptr, Unparsable, &chosen), NFD_RESULT_ERROR);
        EXPECT_EQ(NFD_ChooseFolder(Unparsable, &chosen), NFD_RESULT_ERROR);
        EXPECT_EQ(ProbeCom(COINIT_MULTITHREADED), S_OK);
    });
}

}  // namespace
