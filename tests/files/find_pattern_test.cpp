#include "files/find_pattern.h"

#include <gtest/gtest.h>

#include <string>

#include "files/file_names.h"
#include "platform/path_rules.h"

namespace wexal {
namespace {

TEST(FindPatternTest, PatternByAllFilesAndMask) {
    struct Case {
        const char* text;
        const char* allFiles;
        const char* mask;
        const char* pattern;
    };
    const Case cases[] = {
        {"O12", "N", "*.NC", "/nc/O12*.NC"},     {"O12*", "N", "*.NC", "/nc/O12*.NC"},
        {"O12**", "N", "*.NC", "/nc/O12**.NC"},  // only one closing "*" goes
        {"*", "N", "*.TXT", "/nc/*.TXT"},        {"O12", "Y", "*.NC", "/nc/O12"},
        {"O12*.nc", "Y", "*.NC", "/nc/O12*.nc"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindSearchPattern("/nc", c.text, c.allFiles, c.mask), c.pattern) << c.text;
    }
    EXPECT_EQ(FindSearchPattern("/", "O1", "N", "*.NC"), "/O1*.NC");
    // The narrowing takes O12 and O1234 but not O1 or O120.TXT, in any case.
    const std::string name = PathRules::FileName(FindSearchPattern("/nc", "o12", "N", "*.NC"));
    EXPECT_TRUE(MatchesPattern("O12.NC", name));
    EXPECT_TRUE(MatchesPattern("o1234.nc", name));
    EXPECT_FALSE(MatchesPattern("O1.NC", name));
    EXPECT_FALSE(MatchesPattern("O120.TXT", name));
}

TEST(FindPatternTest, RefusedCharactersByAllFiles) {
    const std::string message = "この文字はファイル名に使えません。\n/:,;*?<>|.";
    for (const char* text : {"a/b", "../x", "a?", "a:b", "a|b", "x<", "a.nc"}) {
        const auto refused = RefusedFindText(text, "N");
        ASSERT_TRUE(refused) << text;
        EXPECT_EQ(refused->text, message);
        EXPECT_EQ(refused->caption, "確認");
    }
    EXPECT_FALSE(RefusedFindText("O12*", "N"));
    EXPECT_FALSE(RefusedFindText("O12*.NC", "Y"));
    EXPECT_TRUE(RefusedFindText("a/b", "Y"));
    EXPECT_TRUE(RefusedFindText(std::string("a\0b", 3), "Y"));
    EXPECT_FALSE(RefusedFindText("金型*", "N"));
}

}  // namespace
}  // namespace wexal
