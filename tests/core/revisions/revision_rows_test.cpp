#include "revisions/revision_rows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/list_test_support.h"
#include "support/test_env.h"

namespace wexal {
namespace {

namespace fs = std::filesystem;

std::int64_t Ms(int year, int month, int day, int hour, int minute, int second, int ms) {
    return static_cast<std::int64_t>(test::UtcTime(year, month, day, hour, minute, second)) * 1000 +
           ms;
}

Revision Kept(std::int64_t timeMs, const char* source, std::int64_t size,
              const char* problem = "") {
    return {fs::path("/nc/.wexal-revisions/O1.NC") / source, timeMs, 1, source, size, problem};
}

std::vector<std::string> Texts(const std::vector<RevisionRow>& rows) {
    std::vector<std::string> texts;
    for (const RevisionRow& row : rows) texts.push_back(row.text);
    return texts;
}

TEST(RevisionRows, LocalTimeOfTheProcess) {
    struct Case {
        const char* zone;
        std::int64_t timeMs;
        const char* text;
    };
    const Case cases[] = {
        {"UTC", Ms(2026, 12, 8, 3, 4, 5, 678), "2026/12/08 03:04:05.678"},
        {"UTC", -1, "1969/12/31 23:59:59.999"},
        {"Asia/Tokyo", Ms(2026, 12, 31, 15, 0, 0, 7), "2027/01/01 00:00:00.007"},
    };
    for (const Case& c : cases) {
        const test::ScopedEnv zone("TZ", c.zone);
        ::tzset();
        EXPECT_EQ(RevisionLocalTimeText(c.timeMs), c.text) << c.zone << " " << c.timeMs;
    }
    ::tzset();
}

TEST(RevisionRows, ColumnsLineUp) {
    const test::UtcZone utc;
    const std::int64_t now = Ms(2026, 12, 8, 12, 4, 5, 678);
    const std::int64_t earlier = Ms(2026, 12, 8, 9, 0, 0, 1);
    const std::int64_t earliest = Ms(2026, 12, 1, 0, 0, 0, 0);
    struct Case {
        const char* what;
        CurrentFileState current;
        RevisionList list;
        std::vector<std::string> texts;
    };
    const Case cases[] = {
        {"no revisions",
         {now, 12, ""},
         {},
         {"2026/12/08 12:04:05.678  現在のファイル  12", "版はありません。"}},
        {"sizes right-aligned under the widest",
         {now, 1234, ""},
         {{Kept(earlier, "Wexal", 56), Kept(earliest, "MC1", 7)}, ""},
         {"2026/12/08 12:04:05.678  現在のファイル  1234",
          "2026/12/08 09:00:00.001  Wexal             56",
          "2026/12/01 00:00:00.000  MC1                7"}},
        {"a wider source widens its column, an overlong one loses its middle",
         {now, 5, ""},
         {{Kept(earlier, "MACHINING-CENTRE-NUMBER-ONE", 1)}, ""},
         {"2026/12/08 12:04:05.678  現在のファイル        5",
          "2026/12/08 09:00:00.001  MACHINING…UMBER-ONE  1"}},
        {"a problem stands where the size would",
         {now, 30, ""},
         {{Kept(earlier, "Wexal", 4, "アクセスが拒否されました。")}, ""},
         {"2026/12/08 12:04:05.678  現在のファイル  30",
          "2026/12/08 09:00:00.001  Wexal           アクセスが拒否されました。"}},
        {"the file itself is gone: no time, the reason for the size",
         {0, 0, "ファイルが見つかりません。"},
         {{Kept(earlier, "Wexal", 4)}, ""},
         {"                         現在のファイル  ファイルが見つかりません。",
          "2026/12/08 09:00:00.001  Wexal           4"}},
        {"the folder cannot be read",
         {now, 30, ""},
         {{}, "版を残すフォルダ(.wexal-revisions)がフォルダではありません。"},
         {"2026/12/08 12:04:05.678  現在のファイル  30",
          "版を残すフォルダ(.wexal-revisions)がフォルダではありません。"}},
    };
    for (const Case& c : cases) {
        const std::vector<RevisionRow> rows = MakeRevisionRows("/nc/O1.NC", c.current, c.list);
        EXPECT_EQ(Texts(rows), c.texts) << c.what;
        ASSERT_EQ(rows.size(), c.texts.size()) << c.what;
        EXPECT_EQ(rows[0].kind, RevisionRowKind::Current) << c.what;
        EXPECT_EQ(rows[0].path, fs::path("/nc/O1.NC")) << c.what;
        for (std::size_t i = 0; i < c.list.revisions.size(); ++i) {
            const Revision& kept = c.list.revisions[i];
            EXPECT_EQ(rows[i + 1].path, kept.path) << c.what;
            EXPECT_EQ(rows[i + 1].kind, kept.problem.empty() ? RevisionRowKind::Revision
                                                             : RevisionRowKind::Unreadable);
        }
        EXPECT_EQ(rows.back().kind == RevisionRowKind::Note, c.list.revisions.empty()) << c.what;
    }
}

TEST(RevisionRows, TheQuestionAndTheCaptionNameTheRow) {
    RevisionRow row;
    row.kind = RevisionRowKind::Revision;
    row.timeText = "2026/12/08 12:04:05.678";
    row.source = "MC1";
    EXPECT_EQ(
        RestoreQuestion(row),
        "この版に戻しますか？\n2026/12/08 12:04:05.678  MC1\n今のファイルは版として残ります。");
    row.kind = RevisionRowKind::Current;
    row.source = "";
    EXPECT_EQ(RevisionCaption(row), "2026/12/08 12:04:05.678  現在のファイル");
}

}  // namespace
}  // namespace wexal
