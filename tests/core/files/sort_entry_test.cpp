#include "files/sort_entry.h"

#include <gtest/gtest.h>

#include <string>

#include "files/file_list_model.h"
#include "support/list_test_support.h"

namespace wexal {
namespace {

TEST(SortEntryTest, TypedCharacters) {
    const std::pair<char, std::optional<char>> cases[] = {
        {'N', 'N'},          {'s', 'S'},          {'t', 'T'},   {'-', '-'},
        {'u', 'U'},          {'D', 'D'},          {'\b', '\b'}, {'X', std::nullopt},
        {'1', std::nullopt}, {' ', std::nullopt}, {'n', 'N'},   {'A', std::nullopt},
    };
    for (const auto& [typed, taken] : cases) EXPECT_EQ(SortEntryChar(typed), taken) << typed;
}

TEST(SortEntryTest, EnterAppliesOnlyTheSixForms) {
    test::UtcZone utc;
    test::TempDir folder;
    test::MakeFile(folder / "A.NC", 10, 1000);
    test::MakeFile(folder / "B.NC", 30, 3000);
    test::MakeFile(folder / "C.NC", 20, 2000);
    Settings settings;
    settings.DirPath = folder.path().string();
    FileListModel list(settings);
    list.RefreshFileList();
    list.UserMoveCursor(2);  // B.NC
    EXPECT_EQ(SortEntryInitialText(settings), "N-D");
    EXPECT_EQ(SortEntryCurrentText(settings), "現ソート設定: N - D");

    struct Case {
        const char* text;
        SortEntryOutcome outcome;
        const char* fileSort;
        const char* sortMuki;
        const char* firstFile;
    };
    const Case cases[] = {
        {"", SortEntryOutcome::Ignore, "N", "D", "A.NC"},
        {"N", SortEntryOutcome::Refuse, "N", "D", "A.NC"},
        {"S-X", SortEntryOutcome::Refuse, "N", "D", "A.NC"},
        {"NSD", SortEntryOutcome::Refuse, "N", "D", "A.NC"},
        {"S-D", SortEntryOutcome::Apply, "S", "D", "B.NC"},
        {"t-u", SortEntryOutcome::Apply, "T", "U", "B.NC"},
        {"N-U", SortEntryOutcome::Apply, "N", "U", "C.NC"},
        {"S-U", SortEntryOutcome::Apply, "S", "U", "A.NC"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ApplySortEntry(c.text, settings, list), c.outcome) << c.text;
        EXPECT_EQ(settings.FileSort, c.fileSort) << c.text;
        EXPECT_EQ(settings.SortMuki, c.sortMuki) << c.text;
        EXPECT_EQ(list.FileNameOfRow(list.FirstFileRow()), c.firstFile) << c.text;
        EXPECT_EQ(list.FileNameOfRow(list.Cursor()), "B.NC") << c.text;
    }
}

}  // namespace
}  // namespace wexal
