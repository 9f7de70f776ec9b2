#include "files/key_dispatch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/test_env.h"

namespace wexal {
namespace {

namespace fs = std::filesystem;

TEST(KeyTable, EveryKeyReachesItsCommand) {
    struct Row {
        ListKey key;
        char letter;
        bool shift;
        ListCommand command;
    };
    const Row rows[] = {
        {ListKey::Escape, 0, false, ListCommand::Abort},
        {ListKey::Space, 0, false, ListCommand::Refresh},
        {ListKey::PageUp, 0, false, ListCommand::PageUp},
        {ListKey::PageDown, 0, false, ListCommand::PageDown},
        {ListKey::End, 0, false, ListCommand::UnmarkAll},
        {ListKey::Home, 0, false, ListCommand::MarkFromCursor},
        {ListKey::Letter, 'B', false, ListCommand::Split},
        {ListKey::F9, 0, true, ListCommand::Split},
        {ListKey::Letter, 'C', false, ListCommand::Copy},
        {ListKey::F4, 0, false, ListCommand::Copy},
        {ListKey::Letter, 'D', false, ListCommand::Delete},
        {ListKey::F3, 0, false, ListCommand::Delete},
        {ListKey::Letter, 'E', false, ListCommand::Editor},
        {ListKey::Letter, 'F', false, ListCommand::Find},
        {ListKey::Letter, 'G', false, ListCommand::EditorSettings},
        {ListKey::Letter, 'H', false, ListCommand::AxisDouble},
        {ListKey::Letter, 'I', false, ListCommand::FileInfo},
        {ListKey::Letter, 'K', false, ListCommand::Join},
        {ListKey::F4, 0, true, ListCommand::Join},
        {ListKey::Letter, 'L', false, ListCommand::DriveMenu},
        {ListKey::Separator, 0, false, ListCommand::DriveMenu},
        {ListKey::Letter, 'M', false, ListCommand::Move},
        {ListKey::F3, 0, true, ListCommand::Move},
        {ListKey::Letter, 'O', false, ListCommand::Options},
        {ListKey::Letter, 'P', false, ListCommand::Plot},
        {ListKey::Letter, 'R', false, ListCommand::Rename},
        {ListKey::Letter, 'S', true, ListCommand::SortType},
        {ListKey::Letter, 'T', false, ListCommand::ToTop},
        {ListKey::Letter, 'U', false, ListCommand::Revisions},
        {ListKey::Letter, 'V', false, ListCommand::View},
        {ListKey::Letter, 'W', false, ListCommand::Compare},
        {ListKey::F8, 0, false, ListCommand::View},
        {ListKey::Letter, 'X', false, ListCommand::OpenAssociated},
        {ListKey::F9, 0, false, ListCommand::OpenAssociated},
        {ListKey::Letter, 'Y', false, ListCommand::ExtAppSettings},
        {ListKey::Letter, 'Z', false, ListCommand::ToBottom},
        {ListKey::F1, 0, false, ListCommand::Send},
        {ListKey::F1, 0, true, ListCommand::Send},
        {ListKey::F2, 0, false, ListCommand::Receive},
        {ListKey::F2, 0, true, ListCommand::Receive},
        {ListKey::F5, 0, false, ListCommand::FolderEntry},
        {ListKey::F5, 0, true, ListCommand::FolderBrowse},
        {ListKey::F6, 0, false, ListCommand::Extension},
        {ListKey::F6, 0, true, ListCommand::None},
        {ListKey::F7, 0, false, ListCommand::CommSettings},
        {ListKey::F7, 0, true, ListCommand::None},
        {ListKey::F8, 0, true, ListCommand::TransferLog},
        {ListKey::F10, 0, false, ListCommand::Exit},
        {ListKey::F10, 0, true, ListCommand::Exit},
        {ListKey::Letter, 'A', false, ListCommand::None},
        {ListKey::Letter, 'Q', false, ListCommand::None},
        {ListKey::Enter, 0, false, ListCommand::None},
        {ListKey::Other, 0, false, ListCommand::None},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(MapListKey(row.key, row.letter, row.shift), row.command)
            << "key " << static_cast<int>(row.key) << " letter " << row.letter << " shift "
            << row.shift;
    }
}

TEST(KeyTable, ArrowKeysMoveByRowAndByColumn) {
    struct Row {
        ListKey key;
        int cursor;
        int expected;
    };
    // 50 rows, 21 rows a column.
    const Row rows[] = {
        {ListKey::Down, 0, 1},  {ListKey::Down, 49, 49}, {ListKey::Up, 5, 4},
        {ListKey::Up, 0, 0},    {ListKey::Right, 3, 24}, {ListKey::Right, 30, 30},
        {ListKey::Left, 24, 3}, {ListKey::Left, 20, 20},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ArrowKeyRow(row.key, row.cursor, 21, 50), row.expected)
            << static_cast<int>(row.key) << " from " << row.cursor;
        EXPECT_EQ(MapListKey(row.key, 0, false), ListCommand::None);
    }
    EXPECT_EQ(ArrowKeyRow(ListKey::PageDown, 0, 21, 50), std::nullopt);
    EXPECT_EQ(ArrowKeyRow(ListKey::Down, 0, 21, 0), 0);
}

TEST(KeyTable, HelpLineBandsActLikeTheirKeys) {
    struct Row {
        int x, y;
        ListKey key;
        bool close;
    };
    const Row rows[] = {
        {0, 0, ListKey::F1, false},       {144, 16, ListKey::F1, false},
        {145, 16, ListKey::F2, false},    {279, 3, ListKey::F2, false},
        {280, 3, ListKey::F3, false},     {414, 3, ListKey::F3, false},
        {415, 3, ListKey::F4, false},     {549, 3, ListKey::F4, false},
        {550, 3, ListKey::F5, false},     {745, 3, ListKey::F5, false},
        {746, 3, ListKey::Other, false},  {10, 17, ListKey::F6, false},
        {200, 30, ListKey::F7, false},    {300, 20, ListKey::F8, false},
        {549, 20, ListKey::F9, false},    {550, 20, ListKey::Other, true},
        {600, 20, ListKey::Other, true},  {745, 20, ListKey::Other, true},
        {746, 20, ListKey::Other, false}, {-1, 5, ListKey::Other, false},
    };
    for (const Row& row : rows) {
        const HelpLineHit hit = MapHelpLineClick(row.x, row.y);
        EXPECT_EQ(hit.key, row.key) << row.x << "," << row.y;
        EXPECT_EQ(hit.closeWindow, row.close) << row.x << "," << row.y;
    }
    // The lower line at x = 300 is F8, which opens the file view.
    EXPECT_EQ(MapListKey(MapHelpLineClick(300, 20).key, 0, false), ListCommand::View);
}

TEST(CommandCheck, PreconditionsOfTheKeyTable) {
    constexpr auto P = CommandGate::Proceed;
    constexpr auto N = CommandGate::Nothing;
    constexpr auto B = CommandGate::MessageBox;
    constexpr auto L = CommandGate::MessageLine;
    using R = RowKind;
    using C = ListCommand;
    struct Row {
        ListCommand command;
        RowKind row;
        int marked;
        CommandGate gate;
        bool onMarks;
    };
    const Row rows[] = {
        {C::Send, R::File, 0, P, false},
        {C::Send, R::File, 3, P, true},
        {C::Send, R::Folder, 3, N, false},
        {C::Send, R::Parent, 0, N, false},
        {C::Send, R::None, 0, N, false},
        {C::Receive, R::None, 0, P, false},
        {C::Split, R::File, 0, P, false},
        {C::Split, R::Folder, 0, N, false},
        {C::AxisDouble, R::Parent, 0, N, false},
        {C::AxisDouble, R::File, 2, P, false},
        {C::OpenAssociated, R::None, 0, N, false},
        {C::View, R::Folder, 0, N, false},
        {C::View, R::File, 0, P, false},
        {C::Plot, R::File, 2, P, false},
        {C::Plot, R::Folder, 0, N, false},
        {C::Plot, R::Parent, 0, N, false},
        {C::Revisions, R::File, 2, P, false},
        {C::Revisions, R::Folder, 0, N, false},
        {C::Revisions, R::Parent, 0, N, false},
        {C::Revisions, R::None, 0, N, false},
        {C::Compare, R::File, 0, P, false},
        {C::Compare, R::File, 2, P, true},
        {C::Compare, R::Parent, 2, P, true},
        {C::Compare, R::File, 1, B, false},
        {C::Compare, R::File, 3, B, false},
        {C::Compare, R::Folder, 0, N, false},
        {C::Compare, R::None, 0, N, false},
        {C::Editor, R::File, 0, P, false},
        {C::Editor, R::Folder, 0, B, false},
        {C::Editor, R::Parent, 0, B, false},
        {C::Editor, R::None, 0, B, false},
        {C::FileInfo, R::Parent, 0, N, false},
        {C::FileInfo, R::Folder, 0, P, false},
        {C::FileInfo, R::File, 0, P, false},
        {C::FileInfo, R::None, 0, N, false},
        {C::Join, R::File, 0, N, false},
        {C::Join, R::File, 1, P, true},
        {C::Join, R::Parent, 2, P, true},
        {C::Copy, R::Parent, 0, N, false},
        {C::Copy, R::Parent, 2, P, true},
        {C::Copy, R::Folder, 0, P, false},
        {C::Move, R::None, 0, N, false},
        {C::Move, R::File, 0, P, false},
        {C::Delete, R::None, 0, L, false},
        {C::Delete, R::Parent, 0, N, false},
        {C::Delete, R::Parent, 1, P, true},
        {C::Delete, R::Folder, 0, P, false},
        {C::Rename, R::Parent, 2, N, false},
        {C::Rename, R::None, 0, N, false},
        {C::Rename, R::Folder, 0, P, false},
        {C::Rename, R::File, 2, P, true},
        {C::ToTop, R::None, 0, P, false},
        {C::FolderEntry, R::Parent, 0, P, false},
        {C::None, R::File, 0, N, false},
    };
    for (const Row& row : rows) {
        const CommandCheck check = CheckCommand(row.command, row.row, row.marked, false);
        const std::string where = "command " + std::to_string(static_cast<int>(row.command)) +
                                  " row " + std::to_string(static_cast<int>(row.row)) + " marked " +
                                  std::to_string(row.marked);
        EXPECT_EQ(check.gate, row.gate) << where;
        EXPECT_EQ(check.onMarkedFiles, row.onMarks) << where;
    }

    const CommandCheck editor = CheckCommand(C::Editor, R::Folder, 0, false);
    EXPECT_EQ(editor.box, (BoxMessage{"ﾌｧｲﾙを選択して下さい。\n(複数のﾌｧｲﾙ選択は不可です。)",
                                      "確認", MessageIcon::Error}));
    EXPECT_EQ(CheckCommand(C::Delete, R::None, 0, false).line, "ファイルを選択してください。!!");
}

TEST(CommandCheck, ShiftOfSendAndReceiveEndsTheProgramAfterwards) {
    EXPECT_EQ(CheckCommand(ListCommand::Send, RowKind::File, 0, true).exitAfterTransfer, true);
    EXPECT_EQ(CheckCommand(ListCommand::Send, RowKind::File, 0, false).exitAfterTransfer, false);
    EXPECT_EQ(CheckCommand(ListCommand::Receive, RowKind::None, 0, true).exitAfterTransfer, true);
    EXPECT_EQ(CheckCommand(ListCommand::Receive, RowKind::File, 0, false).exitAfterTransfer, false);
    // A send that does not start leaves ExitAfterTransfer alone.
    EXPECT_FALSE(CheckCommand(ListCommand::Send, RowKind::Folder, 0, true).exitAfterTransfer);
    EXPECT_FALSE(CheckCommand(ListCommand::Copy, RowKind::File, 0, true).exitAfterTransfer);
}

TEST(CommandCheck, JoinNeedsTwoCollectedFiles) {
    const CommandCheck check = CheckCommand(ListCommand::Join, RowKind::File, 1, false);
    EXPECT_EQ(check.gate, CommandGate::Proceed);
    const auto refusal = JoinRefusal(1);
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(*refusal,
              (BoxMessage{"選択されたﾌｧｲﾙが複数ありません。", "確認", MessageIcon::Error}));
    EXPECT_TRUE(JoinRefusal(0).has_value());
    EXPECT_FALSE(JoinRefusal(2).has_value());
}

TEST(CommandCheck, DoubledNameTakesTheMaskExtension) {
    struct Row {
        const char* file;
        const char* mask;
        const char* name;
    };
    const Row rows[] = {
        {"O1000.NC", "*.NC", "O1000_2.NC"},  {"o1234.nc", "*.NC", "o1234_2.NC"},
        {"a.b.txt", "*.NC", "a.b_2.NC"},     {"O2000", "*.NC", "O2000_2.NC"},
        {"O3000.NC", "*", "O3000_2"},        {"O4000.NC", "", "O4000_2"},
        {"部品.NC", "＊.MIN", "部品_2.MIN"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ProposeDoubledName(row.file, row.mask), row.name) << row.file;
    }
}

TEST(ListEnter, RowsDecideWhereEnterGoes) {
    test::TempDir root;
    const std::string base = root.path().string();
    fs::create_directories(root / "a" / "b");

    ListEnter down = DecideListEnter(base, RowKind::Folder, "a");
    ASSERT_EQ(down.action, ListEnterAction::ChangeFolder);
    EXPECT_EQ(down.newDirPath, base + "/a");
    down = DecideListEnter(down.newDirPath, RowKind::Folder, "b");
    ASSERT_EQ(down.action, ListEnterAction::ChangeFolder);
    EXPECT_EQ(down.newDirPath, base + "/a/b");
    EXPECT_TRUE(fs::is_directory(down.newDirPath));

    // Two levels down, the parent row leads back one level at a time.
    ListEnter up = DecideListEnter(down.newDirPath, RowKind::Parent, "");
    ASSERT_EQ(up.action, ListEnterAction::ChangeFolder);
    EXPECT_EQ(up.newDirPath, base + "/a");
    up = DecideListEnter(up.newDirPath, RowKind::Parent, "");
    EXPECT_EQ(up.newDirPath, base);
    EXPECT_EQ(DecideListEnter("/a", RowKind::Parent, "").newDirPath, "/");

    EXPECT_EQ(DecideListEnter(base, RowKind::File, "").action, ListEnterAction::ToggleMark);
    EXPECT_EQ(DecideListEnter(base, RowKind::None, "").action, ListEnterAction::Nothing);
    // A value without any separator stays where it is.
    EXPECT_EQ(DecideListEnter("D:\\NCDATA", RowKind::Parent, "").action, ListEnterAction::Nothing);
}

}  // namespace
}  // namespace wexal
