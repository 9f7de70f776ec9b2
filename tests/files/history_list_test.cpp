#include "files/history_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_env.h"

namespace wexal {
namespace {

using Entries = std::vector<std::string>;

Entries Numbered(int count) {
    Entries entries;
    for (int i = 1; i <= count; ++i) entries.push_back("E" + std::to_string(i));
    return entries;
}

TEST(HistoryListTest, ConfirmPutsInFrontDropsTheDuplicateAndKeepsTwenty) {
    struct Case {
        Entries before;
        std::string confirmed;
        Entries after;
    };
    Entries twentyNew = Numbered(19);
    twentyNew.insert(twentyNew.begin(), "NEW");
    Entries fifthFirst = Numbered(20);
    fifthFirst.erase(fifthFirst.begin() + 4);
    fifthFirst.insert(fifthFirst.begin(), "E5");
    const Case cases[] = {
        {{}, "/nc", {"/nc"}},
        {{"a", "b", "a"}, "a", {"a", "b", "a"}},  // only the first later duplicate goes
        {{"A"}, "a", {"a", "A"}},                 // case-sensitive
        {Numbered(20), "NEW", twentyNew},
        {Numbered(20), "E5", fifthFirst},
    };
    for (const Case& c : cases) {
        Entries entries = c.before;
        ConfirmHistoryEntry(entries, c.confirmed);
        EXPECT_EQ(entries, c.after) << c.confirmed;
    }
}

TEST(HistoryListTest, WritesCp932WithCrLfAndReadsAnyLineEnd) {
    test::TempDir dir;
    const auto path = dir / kNameHistoryFile;
    EXPECT_FALSE(ReadHistoryList(path).has_value());
    ASSERT_TRUE(WriteHistoryList(path, {"ﾌﾟﾛｸﾞﾗﾑ", "/home/nc/加工", "\xF0\x9F\x98\x80"}));
    EXPECT_EQ(test::ReadFileBytes(path), "\xCC\xDF\xDB\xB8\xDE\xD7\xD1\r\n/home/nc/\x89\xC1\x8D\x48\r\n");
    EXPECT_EQ(ReadHistoryList(path), (Entries{"ﾌﾟﾛｸﾞﾗﾑ", "/home/nc/加工"}));
    test::WriteFileBytes(path, "a\nb\rc\r\nd");
    EXPECT_EQ(ReadHistoryList(path), (Entries{"a", "b", "c", "d"}));
}

}  // namespace
}  // namespace wexal
