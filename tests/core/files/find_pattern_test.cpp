#include "files/find_pattern.h"

#include <gtest/gtest.h>

#include <string>

namespace wexal {
namespace {

TEST(FindPatternTest, PatternAndRefusalByAllFiles) {
    struct Case {
        const char* text;
        const char* allFiles;
        const char* pattern;  // nullptr: refused
    };
    const Case cases[] = {
        {"O12", "N", "/nc/O12*.NC"},    {"O12*", "N", "/nc/O12*.NC"},
        {"O12**", "N", "/nc/O12**.NC"}, {"*", "N", "/nc/*.NC"},
        {"O12", "Y", "/nc/O12"},        {"O12*.nc", "Y", "/nc/O12*.nc"},
        {"金型*", "N", "/nc/金型*.NC"}, {"a.nc", "N", nullptr},
        {"../x", "Y", nullptr},         {"a/b", "Y", nullptr},
        {"a?", "Y", nullptr},           {"a|b", "N", nullptr},
    };
    for (const Case& c : cases) {
        const auto refused = RefusedFindText(c.text, c.allFiles);
        EXPECT_EQ(refused.has_value(), c.pattern == nullptr) << c.text;
        if (refused) {
            EXPECT_EQ(refused->text, "この文字はファイル名に使えません。\n/:,;*?<>|.");
        } else {
            EXPECT_EQ(FindSearchPattern("/nc", c.text, c.allFiles, "*.NC"), c.pattern);
        }
    }
    EXPECT_TRUE(RefusedFindText(std::string("a\0b", 3), "Y"));
}

}  // namespace
}  // namespace wexal
