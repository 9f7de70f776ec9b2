#include "files/file_names.h"

#include <gtest/gtest.h>

#include <string>

namespace wexal {
namespace {

int Sign(int v) { return (v > 0) - (v < 0); }

TEST(CompareNamesTest, LettersWithoutCaseFirstThenLowerCaseFirst) {
    struct Case {
        const char* a;
        const char* b;
        int sign;
    };
    const Case cases[] = {
        {"a", "b", -1},   {"A", "b", -1},        {"B", "a", 1},     {"abc", "ABC", -1},
        {"aB", "Ab", -1}, {"O1.NC", "o1.nc", 1}, {"ab", "abc", -1}, {"ABC", "abd", -1},
        {"_x", "a", -1},  {"9", "a", -1},        {"O10", "O2", -1}, {"same", "same", 0},
        {"\xff", "z", 1}, {"", "a", -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Sign(CompareNames(c.a, c.b)), c.sign) << c.a << " vs " << c.b;
        EXPECT_EQ(Sign(CompareNames(c.b, c.a)), -c.sign) << c.b << " vs " << c.a;
    }
}

TEST(MatchesPatternTest, StarQuestionMarkCaseAndTheDotStarRule) {
    struct Case {
        std::string name;
        const char* pattern;
        bool match;
    };
    const Case cases[] = {
        {"O12.NC", "O12*.NC", true},
        {"o123.nc", "O12*.NC", true},
        {"O13.NC", "O12*.NC", false},
        {"O12.NCX", "O12*.NC", false},
        {"README", "*.*", true},
        {"a.b.c", "*.*", true},
        {"O12", "O12.*", true},
        {"O12.NC", "O12.*", true},
        {"O12", "O12", true},
        {"O123", "O12", false},
        {"O1Xx", "O1?x", true},
        {"O1x", "O1?x", false},
        {"x", "", false},
        {"", "*", true},
        {std::string(200, 'a'), "*a*a*a*a*a*b", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MatchesPattern(c.name, c.pattern), c.match) << c.name << " ~ " << c.pattern;
    }
}

TEST(MatchesMaskTest, StarPlusExtensionWithoutCase) {
    struct Case {
        const char* name;
        const char* mask;
        bool match;
    };
    const Case cases[] = {
        {"O1.nc", "*.NC", true}, {"O2.NC", "*.NC", true},  {"O3.NCX", "*.NC", false},
        {"O4", "*.NC", false},   {"O4", "*", true},        {"O1.nc", "*", false},
        {".NC", "*.NC", true},   {"a.b.nc", "*.NC", true}, {"O1.NC", "", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MatchesMask(c.name, c.mask), c.match) << c.name << " ~ " << c.mask;
    }
}

TEST(DisplayNameTest, AnyBytesBecomeOneLineOfUtf8) {
    struct Case {
        std::string name;
        std::string shown;
    };
    const Case cases[] = {
        {"O1000.NC", "O1000.NC"},
        {"金型ﾌﾟﾛｸﾞﾗﾑ.NC", "金型ﾌﾟﾛｸﾞﾗﾑ.NC"},
        {"\x83\x65\x83\x58\x83\x67.NC", "テスト.NC"},  // cp932 from a Windows disk
        {"a\xff\xfe.nc", "a\xEF\xBF\xBD\xEF\xBF\xBD.nc"},
        {"line\nbreak\t.nc", "line?break?.nc"},
        {"-rf", "-rf"},
    };
    for (const Case& c : cases) EXPECT_EQ(DisplayName(c.name), c.shown);
}

TEST(UpperCaseListTextTest, AsciiAndFullWidthLettersOnly) {
    EXPECT_EQ(UpperCaseListText(" o1234.nc  05-03-04"), " O1234.NC  05-03-04");
    EXPECT_EQ(UpperCaseListText("ａｂｚ－ｶﾅ かな"), "ＡＢＺ－ｶﾅ かな");
    EXPECT_EQ(UpperCaseListText("\xEF\xBF\xBDx"), "\xEF\xBF\xBDX");
}

}  // namespace
}  // namespace wexal
