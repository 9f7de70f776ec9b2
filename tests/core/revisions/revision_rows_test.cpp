#include "revisions/revision_rows.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "support/list_test_support.h"
#include "support/test_env.h"

namespace wexal {
namespace {

namespace fs = std::filesystem;

std::int64_t Ms(int year, int month, int day, int hour, int minute, int second, int ms) {
    return static_cast<std::int64_t>(test::UtcTime(year, month, day, hour, minute, second)) * 1000 +
           ms;
}

Revision Kept(const char* name, std::int64_t timeMs, const char* source, std::int64_t size,
              const char* problem = "") {
    Revision revision;
    revision.path = fs::path("/nc/.wexal-revisions/O1.NC") / name;
    revision.timeMs = timeMs;
    revision.source = source;
    revision.size = size;
    revision.problem = problem;
    return revision;
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
        {"UTC", Ms(2026, 12, 31, 23, 59, 59, 999), "2026/12/31 23:59:59.999"},
        {"UTC", 0, "1970/01/01 00:00:00.000"},
        {"UTC", -1, "1969/12/31 23:59:59.999"},
        {"Asia/Tokyo", Ms(2026, 12, 8, 3, 4, 5, 678), "2026/12/08 12:04:05.678"},
        {"Asia/Tokyo", Ms(2026, 12, 31, 15, 0, 0, 7), "2027/01/01 00:00:00.007"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", Ms(2026, 7, 1, 10, 0, 0, 0), "2026/07/01 12:00:00.000"},
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
         {{Kept("a", earlier, "Wexal", 56), Kept("b", earliest, "MC1", 7)}, ""},
         {"2026/12/08 12:04:05.678  現在のファイル  1234",
          "2026/12/08 09:00:00.001  Wexal             56",
          "2026/12/01 00:00:00.000  MC1                7"}},
        {"a wider source widens its column",
         {now, 5, ""},
         {{Kept("a", earlier, "LATHE-OKUMA-LB3", 100)}, ""},
         {"2026/12/08 12:04:05.678  現在のファイル     5",
          "2026/12/08 09:00:00.001  LATHE-OKUMA-LB3  100"}},
        {"an overlong source loses its middle",
         {now, 5, ""},
         {{Kept("a", earlier, "MACHINING-CENTRE-NUMBER-ONE", 1)}, ""},
         {"2026/12/08 12:04:05.678  現在のファイル        5",
          "2026/12/08 09:00:00.001  MACHINING…UMBER-ONE  1"}},
        {"a problem stands where the size would",
         {now, 30, ""},
         {{Kept("a", earlier, "Wexal", 4, "アクセスが拒否されました。")}, ""},
         {"2026/12/08 12:04:05.678  現在のファイル  30",
          "2026/12/08 09:00:00.001  Wexal           アクセスが拒否されました。"}},
        {"the folder cannot be read",
         {now, 30, ""},
         {{}, "版を残すフォルダ(.wexal-revisions)がフォルダではありません。"},
         {"2026/12/08 12:04:05.678  現在のファイル  30",
          "版を残すフォルダ(.wexal-revisions)がフォルダではありません。"}},
        {"the file itself is gone",
         {0, 0, "ファイルが見つかりません。"},
         {{Kept("a", earlier, "Wexal", 4)}, ""},
         {"                         現在のファイル  ファイルが見つかりません。",
          "2026/12/08 09:00:00.001  Wexal           4"}},
    };
    for (const Case& c : cases) {
        const std::vector<RevisionRow> rows = MakeRevisionRows("/nc/O1.NC", c.current, c.list);
        EXPECT_EQ(Texts(rows), c.texts) << c.what;
        ASSERT_FALSE(rows.empty()) << c.what;
        EXPECT_EQ(rows[0].kind, RevisionRowKind::Current) << c.what;
        EXPECT_EQ(rows[0].path, fs::path("/nc/O1.NC")) << c.what;
        for (std::size_t i = 0; i < c.list.revisions.size(); ++i) {
            EXPECT_EQ(rows[i + 1].path, c.list.revisions[i].path) << c.what;
            EXPECT_EQ(rows[i + 1].kind, c.list.revisions[i].problem.empty()
                                            ? RevisionRowKind::Revision
                                            : RevisionRowKind::Unreadable)
                << c.what;
        }
        if (c.list.revisions.empty()) {
            EXPECT_EQ(rows.back().kind, RevisionRowKind::Note) << c.what;
        }
    }
}

TEST(RevisionRows, WhatEachKeyDoesOnEachRow) {
    using K = RevisionKey;
    using R = RevisionRowKind;
    using A = RevisionAction;
    struct Case {
        K key;
        R row;
        A action;
    };
    const Case cases[] = {
        {K::Enter, R::Current, A::Show},         {K::Enter, R::Revision, A::Show},
        {K::Enter, R::Unreadable, A::Nothing},   {K::Enter, R::Note, A::Nothing},
        {K::Restore, R::Current, A::Nothing},    {K::Restore, R::Revision, A::AskRestore},
        {K::Restore, R::Unreadable, A::Nothing}, {K::Restore, R::Note, A::Nothing},
        {K::Escape, R::Current, A::Close},       {K::Escape, R::Note, A::Close},
        {K::Other, R::Revision, A::Nothing},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecideRevisionKey(c.key, c.row), c.action)
            << static_cast<int>(c.key) << " on " << static_cast<int>(c.row);
    }
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

// Two replacements through the store: the file's rows come from the disk,
// newest first, with the bytes each revision holds.
TEST(RevisionRows, ReadFromTheDisk) {
    const test::UtcZone utc;
    const test::TempDir dir;
    const fs::path file = dir / "O1.NC";
    test::WriteFileBytes(file, "one");
    ASSERT_TRUE(WriteFileAtomically(file, "second!", LinkMode::Follow, RevisionPolicyOf(50)));
    ASSERT_TRUE(WriteFileAtomically(file, "third3333", LinkMode::Follow, RevisionPolicyOf(50)));
    const RevisionList kept = ListRevisions(file);
    ASSERT_EQ(kept.revisions.size(), 2u);

    const std::vector<RevisionRow> rows = ReadRevisionRows(file);
    ASSERT_EQ(rows.size(), 3u);
    const RevisionRowKind kinds[] = {RevisionRowKind::Current, RevisionRowKind::Revision,
                                     RevisionRowKind::Revision};
    const char* ends[] = {"現在のファイル  9", "Wexal           7", "Wexal           3"};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].kind, kinds[i]) << i;
        EXPECT_TRUE(rows[i].text.ends_with(ends[i])) << rows[i].text;
    }
    EXPECT_EQ(rows[1].path, kept.revisions[0].path);
    EXPECT_EQ(rows[1].timeText, RevisionLocalTimeText(kept.revisions[0].timeMs));
    EXPECT_TRUE(rows[0].text.starts_with(rows[0].timeText + "  ")) << rows[0].text;
    EXPECT_EQ(test::ReadFileBytes(rows[2].path), "one");

    const CurrentFileState gone = ReadCurrentFile(dir / "GONE.NC");
    EXPECT_FALSE(gone.problem.empty());
    const std::vector<RevisionRow> none = ReadRevisionRows(dir / "GONE.NC");
    ASSERT_EQ(none.size(), 2u);
    EXPECT_TRUE(none[0].text.ends_with(gone.problem)) << none[0].text;
    EXPECT_EQ(none[1].text, kNoRevisions);
}

}  // namespace
}  // namespace wexal
