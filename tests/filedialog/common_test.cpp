// The portable routines: filter lists into pattern lists, bounded copies, UTF-8 counting,
// the error buffer, and the checks that stop the program on a caller's mistake.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "filedialog/nfd_common.h"

// malloc(SIZE_MAX) must come back null under AddressSanitizer too.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

// The regular expression that matches `text` literally.
std::string Literal(const std::string& text) {
    std::string out;
    for (char ch : text) {
        if (strchr("\\^$.|?*+()[]{}", ch)) out += '\\';
        out += ch;
    }
    return out;
}

std::string AssertMessage(const char* condition) {
    return Literal(std::string("nfd_common: assertion failed: ") + condition);
}

int Collect(void* context, size_t index, const char* patternList) {
    auto& lists = *static_cast<std::vector<std::string>*>(context);
    EXPECT_EQ(index, lists.size());
    lists.push_back(patternList);
    return 1;
}

std::vector<std::string> PatternLists(const char* filters) {
    std::vector<std::string> lists;
    EXPECT_EQ(NFDi_TranslateFilterList(filters, Collect, &lists), 1);
    EXPECT_EQ(lists.size(), NFDi_CountFilters(filters));
    return lists;
}

using Lists = std::vector<std::string>;

}  // namespace

TEST(FilterList, WorkedExamples) {
    EXPECT_EQ(PatternLists("png,jpg,tif,bmp"), (Lists{"*.png;*.jpg;*.tif;*.bmp"}));
    EXPECT_EQ(PatternLists("png;jpg"), (Lists{"*.png", "*.jpg"}));
    EXPECT_EQ(PatternLists("png,jpg;bmp"), (Lists{"*.png;*.jpg", "*.bmp"}));
    EXPECT_EQ(PatternLists("png;"), (Lists{"*.png", "*."}));
    EXPECT_EQ(PatternLists("png;;jpg"), (Lists{"*.png", "*.", "*.jpg"}));
    EXPECT_EQ(PatternLists("png,"), (Lists{"*.png;*."}));
    EXPECT_EQ(PatternLists(",png"), (Lists{"*.;*.png"}));
    EXPECT_EQ(PatternLists("png, jpg"), (Lists{"*.png;*. jpg"}));
    EXPECT_EQ(PatternLists(""), Lists{});
    EXPECT_EQ(PatternLists(nullptr), Lists{});
    // Dots and wildcards are ordinary bytes of an extension.
    EXPECT_EQ(PatternLists("tar.gz,*"), (Lists{"*.tar.gz;*.*"}));
}

TEST(FilterList, StopsWhenTheReceiverFails) {
    int calls = 0;
    auto stopAtSecond = [](void* context, size_t, const char*) -> int { return ++*static_cast<int*>(context) < 2; };
    EXPECT_EQ(NFDi_TranslateFilterList("a;b;c", stopAtSecond, &calls), 0);
    EXPECT_EQ(calls, 2);
}

TEST(FilterList, LongPatternListIsCutAt255Bytes) {
    std::string filters, full;
    for (int i = 0; i < 60; ++i) {
        filters += (i ? "," : "") + std::string("ext") + std::to_string(i);
        full += (i ? ";" : "") + std::string("*.ext") + std::to_string(i);
    }
    Lists lists = PatternLists((filters + ";png").c_str());
    ASSERT_EQ(lists.size(), 2u);
    EXPECT_EQ(lists[0], full.substr(0, 255));
    EXPECT_EQ(lists[1], "*.png");  // the cut does not leak into the next filter
}

TEST(FilterList, ExtensionOf252BytesFits) {
    std::string ext(252, 'x');
    EXPECT_EQ(PatternLists(ext.c_str()), Lists{"*." + ext});
}

TEST(FilterListDeathTest, ExtensionOver252BytesStopsWithoutOverrun) {
    // Longer than the 256-byte working buffer: must be caught, never written past it.
    for (size_t length : {253u, 255u, 256u, 4000u}) {
        std::string filters = "png," + std::string(length, 'x') + ";jpg";
        EXPECT_DEATH(PatternLists(filters.c_str()), AssertMessage("specBufLen > strlen(ext)+3")) << length;
    }
}

TEST(CopyBounded, CutsOnlyWhatDoesNotFit) {
    char dst[NFD_TEXT_CAPACITY + 8];
    std::string fits(255, 'a'), over(256, 'b');
    memset(dst, '#', sizeof dst);
    EXPECT_EQ(NFDi_CopyBounded(dst, fits.c_str(), NFD_TEXT_CAPACITY), 0);
    EXPECT_EQ(std::string(dst), fits);

    memset(dst, '#', sizeof dst);
    EXPECT_EQ(NFDi_CopyBounded(dst, over.c_str(), NFD_TEXT_CAPACITY), 1);
    EXPECT_EQ(std::string(dst), over.substr(0, 255));
    EXPECT_EQ(dst[NFD_TEXT_CAPACITY], '#');  // nothing written past the capacity

    EXPECT_EQ(NFDi_CopyBounded(dst, "x", 1), 1);
    EXPECT_EQ(dst[0], '\0');
    EXPECT_EQ(NFDi_CopyBounded(dst, "", 1), 0);
}

TEST(IsFilterBreak, OnlyTerminatorCommaAndSemicolon) {
    for (int ch = -128; ch < 128; ++ch) {
        bool expected = ch == 0 || ch == ',' || ch == ';';
        EXPECT_EQ(NFDi_IsFilterBreak((char)ch) != 0, expected) << ch;
    }
}

TEST(CountUtf8Chars, CountsLeadBytesAndSkipsAByteOrderMark) {
    EXPECT_EQ(NFDi_CountUtf8Chars("abc"), 3u);
    EXPECT_EQ(NFDi_CountUtf8Chars("\xEF\xBB\xBF"
                                  "abc"),
              3u);
    EXPECT_EQ(NFDi_CountUtf8Chars("\xEF\xBB\xBF"), 0u);
    EXPECT_EQ(NFDi_CountUtf8Chars("\xC3\xA9"), 1u);
    EXPECT_EQ(NFDi_CountUtf8Chars(""), 0u);
    EXPECT_EQ(NFDi_CountUtf8Chars("\xEF\xBB"), 1u);  // two bytes: no mark check, one lead byte
    EXPECT_EQ(NFDi_CountUtf8Chars("ab"), 2u);
    EXPECT_EQ(NFDi_CountUtf8Chars("a\xEF\xBB\xBF"), 2u);  // a mark later is a character
    EXPECT_EQ(NFDi_CountUtf8Chars("\xE6\x97\xA5\xF0\x9F\x98\x80z"), 3u);
}

TEST(ErrorBuffer, KeepsTheLatestMessageAndFailedAllocations) {
    ASSERT_NE(NFD_LastError(), nullptr);
    NFDi_RecordError("first failure.");
    EXPECT_STREQ(NFD_LastError(), "first failure.");
    std::string longest(255, 'm');
    NFDi_RecordError(longest.c_str());
    EXPECT_EQ(std::string(NFD_LastError()), longest);

    void* ok = NFDi_Malloc(16);
    ASSERT_NE(ok, nullptr);
    NFDi_FreeMemory(ok);
    EXPECT_EQ(std::string(NFD_LastError()), longest);  // success clears nothing

    EXPECT_EQ(NFDi_Malloc(SIZE_MAX), nullptr);
    EXPECT_STREQ(NFD_LastError(), "NFDi_Malloc failed.");
}

TEST(ErrorBufferDeathTest, EmptyBeforeAnyFailure) {
    // A fresh process (re-executed, not forked): nothing has failed there yet.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(exit(NFD_LastError()[0] == '\0' ? 7 : 8), testing::ExitedWithCode(7), "");
}

TEST(ErrorBufferDeathTest, MessageTooLongStops) {
    std::string tooLong(256, 'm');
    EXPECT_DEATH(NFDi_RecordError(tooLong.c_str()), AssertMessage("!bTruncate"));
}

class PathSet : public testing::Test {
protected:
    void SetUp() override {
        static const char paths[] = "/a\0/bb\0/ccc";
        Set.buffer = static_cast<char*>(NFDi_Malloc(sizeof paths));
        Set.offsets = static_cast<size_t*>(NFDi_Malloc(3 * sizeof(size_t)));
        memcpy(Set.buffer, paths, sizeof paths);
        Set.offsets[0] = 0;
        Set.offsets[1] = 3;
        Set.offsets[2] = 7;
        Set.count = 3;
    }
    void TearDown() override { NFD_PathSetRelease(&Set); }
    NFDPathSet Set;
};

TEST_F(PathSet, ReadsEveryPathUpToTheLast) {
    EXPECT_EQ(NFD_PathSetCount(&Set), 3u);
    EXPECT_STREQ(NFD_PathSetPath(&Set, 0), "/a");
    EXPECT_STREQ(NFD_PathSetPath(&Set, 2), "/ccc");
}

using PathSetDeathTest = PathSet;

TEST_F(PathSetDeathTest, PreconditionsStopWithTheirConditionText) {
    EXPECT_DEATH(NFD_PathSetPath(&Set, 3), AssertMessage("num < pathset->count"));
    EXPECT_DEATH(NFD_PathSetPath(&Set, (size_t)-1), AssertMessage("num < pathset->count"));
    EXPECT_DEATH(NFD_PathSetPath(nullptr, 0), AssertMessage("pathset"));
    EXPECT_DEATH(NFD_PathSetCount(nullptr), AssertMessage("pathset"));
    EXPECT_DEATH(NFD_PathSetRelease(nullptr), AssertMessage("pathset"));
    EXPECT_DEATH(NFDi_FreeMemory(nullptr), AssertMessage("ptr"));
    char dst[4];
    EXPECT_DEATH(NFDi_CopyBounded(dst, nullptr, sizeof dst), AssertMessage("src"));
    EXPECT_DEATH(NFDi_CopyBounded(nullptr, "x", 4), AssertMessage("dst"));
}
