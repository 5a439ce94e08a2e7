// The Linux binding's own translations: file types as the desktop's choosers show them, and
// the file:// addresses that the portal answers with.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "filedialog/nfd_common.h"
#include "filedialog/nfd_linux.h"

namespace {

std::string Decode(const std::string& uri) {
    std::string path = "(refused)";
    NFDi_FileUriToPath(uri.c_str(), path);
    return path;
}

using Globs = std::vector<std::string>;

}  // namespace

TEST(FileTypes, MatchAnyLetterCaseAndEndWithAllFiles) {
    std::vector<NFDi_FileType> types;
    ASSERT_TRUE(NFDi_BuildFileTypes("png,jpg,tif,bmp", types));
    ASSERT_EQ(types.size(), 2u);
    EXPECT_EQ(types[0].name, "*.png;*.jpg;*.tif;*.bmp");
    EXPECT_EQ(types[0].globs, (Globs{"*.[pP][nN][gG]", "*.[jJ][pP][gG]", "*.[tT][iI][fF]", "*.[bB][mM][pP]"}));
    EXPECT_EQ(types[1].name, "*.*");
    EXPECT_EQ(types[1].globs, Globs{"*"});

    ASSERT_TRUE(NFDi_BuildFileTypes("png;;JPG", types));
    ASSERT_EQ(types.size(), 4u);
    EXPECT_EQ(types[1].globs, Globs{"*."});
    EXPECT_EQ(types[2].globs, Globs{"*.[jJ][pP][gG]"});

    ASSERT_TRUE(NFDi_BuildFileTypes("", types));
    EXPECT_TRUE(types.empty());
    ASSERT_TRUE(NFDi_BuildFileTypes(nullptr, types));
    EXPECT_TRUE(types.empty());
}

TEST(FileTypes, OtherBytesStayOrdinary) {
    // '[' would open a bracket expression; digits, '?', '*' and non-ASCII pass unchanged.
    EXPECT_EQ(NFDi_CaseInsensitiveGlob("*.a[1]"), "*.[aA][[]1]");
    EXPECT_EQ(NFDi_CaseInsensitiveGlob("*.mp3?*"), "*.[mM][pP]3?*");
    EXPECT_EQ(NFDi_CaseInsensitiveGlob("*.\xC3\xA9t\xC3\xA9"), "*.\xC3\xA9[tT]\xC3\xA9");
}

TEST(FileTypes, CutListLosesNoMoreThanAPartialCharacter) {
    // 60 extensions of two-byte characters: the 255-byte cut falls inside one of them.
    std::string filters;
    for (int i = 0; i < 60; ++i) filters += i ? ",\xC3\xA9\xC3\xA9" : "\xC3\xA9\xC3\xA9";
    std::vector<NFDi_FileType> types;
    ASSERT_TRUE(NFDi_BuildFileTypes(filters.c_str(), types));
    ASSERT_EQ(types.size(), 2u);
    EXPECT_EQ(types[0].name.size(), 254u);
    EXPECT_NE(types[0].name.find("*.\xC3\xA9\xC3\xA9;*.\xC3\xA9"), std::string::npos);
    for (const std::string& glob : types[0].globs) {
        EXPECT_NE(glob.back() & 0xC0, 0xC0) << "ends in a lead byte";
    }
    EXPECT_EQ(types[0].globs.back(), "*.");  // 251 bytes, ";", "*." and a lone lead byte
}

TEST(FileTypes, RefusesAListThatIsNotUtf8) {
    std::vector<NFDi_FileType> types;
    EXPECT_FALSE(NFDi_BuildFileTypes("png;\xFF\xFE", types));
    EXPECT_STREQ(NFD_LastError(), "The filter list is not valid UTF-8.");
}

TEST(FileUri, DecodesLocalAddresses) {
    EXPECT_EQ(Decode("file:///tmp/a.png"), "/tmp/a.png");
    EXPECT_EQ(Decode("file://localhost/tmp/a.png"), "/tmp/a.png");
    EXPECT_EQ(Decode("FILE://LocalHost/x"), "/x");
    EXPECT_EQ(Decode("file:///my%20pictures/%C3%89t%c3%a9%20%E6%97%A5.png"),
              "/my pictures/\xC3\x89t\xC3\xA9 \xE6\x97\xA5.png");
    EXPECT_EQ(Decode("file:///100%25%23%3F.png"), "/100%#?.png");
    char host[256] = {0};
    ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
    EXPECT_EQ(Decode(std::string("file://") + host + "/etc/x"), "/etc/x");
}

TEST(FileUri, RefusesWhatIsNotALocalPath) {
    for (const char* uri : {"http://example.org/a.png", "file:/tmp/a", "file://otherhost.invalid/a", "file://",
                            "file:///a%2Fb", "file:///a%2fb", "file:///a%00b", "file:///a%4", "file:///a%",
                            "file:///a%zz", "file:///a?b", "file:///a#b", "/tmp/a.png", "document:///a"}) {
        EXPECT_EQ(Decode(uri), "(refused)") << uri;
    }
}
