#include "files/file_list_model.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/list_test_support.h"
#include "support/test_env.h"

namespace wexal {
namespace {

namespace fs = std::filesystem;
using test::MakeFile;
using test::SetModified;
using test::UtcTime;

class FileListModelTest : public ::testing::Test {
protected:
    FileListModelTest() {
        settings_.DirPath = folder_.path().string();
        settings_.AllFiles = "Y";
        settings_.ListColumn = 2;
        model_.SetRowsPerColumn(10);
    }

    fs::path Path(const std::string& name) const { return folder_ / name; }
    void File(const std::string& name, off_t size = 0, std::time_t modified = kSomeTime) {
        MakeFile(Path(name), size, modified);
    }
    void Folder(const std::string& name) { fs::create_directories(Path(name)); }

    // The names of the rows from FirstFileRow on, in list order.
    std::vector<std::string> FileNames() const {
        std::vector<std::string> names;
        for (int row = model_.FirstFileRow(); row < model_.RowCount(); ++row) {
            names.push_back(model_.FileNameOfRow(row));
        }
        return names;
    }
    int RowOf(const std::string& name) const {
        for (int row = 0; row < model_.RowCount(); ++row) {
            if (model_.FileNameOfRow(row) == name) return row;
        }
        return -1;
    }

    static constexpr std::time_t kSomeTime = 1600000000;
    test::UtcZone utc_;
    test::TempDir folder_;
    Settings settings_;
    FileListModel model_{settings_, 100};
};

TEST_F(FileListModelTest, ExampleRowOfTheListByteForByte) {
    File("o1234.nc", 1520, UtcTime(2005, 3, 4, 12, 34, 56));
    model_.RefreshFileList();
    ASSERT_EQ(model_.RowCount(), 2);
    EXPECT_EQ(model_.RowText(1), " O1234   .nc      1520 05-03-04 12:34" + std::string(26, ' '));
    EXPECT_EQ(model_.RowDetails(1),
              "　　ﾌｧｲﾙ詳細 :o1234.nc  ｻｲｽﾞ :1.484KB  日付 :2005-03-04 12:34:56");
}

TEST_F(FileListModelTest, ParentRowExceptAtTheRoot) {
    File("A.NC");
    Folder("SUB");
    SetModified(Path(""), UtcTime(2021, 11, 30, 8, 5, 0));
    model_.RefreshFileList();
    ASSERT_TRUE(model_.HasParentRow());
    EXPECT_EQ(model_.KindOfRow(0), RowKind::Parent);
    EXPECT_EQ(model_.RowText(0), " ..              <DIR> 21-11-30 08:05");
    EXPECT_EQ(model_.FileNameOfRow(0), "");
    EXPECT_EQ(model_.FirstFileRow(), 2);
    EXPECT_EQ(model_.DetailsLine(), "　  一つ上のﾌｫﾙﾀﾞに移動(Enter)");

    settings_.DirPath = "/";
    model_.RefreshFileList();
    EXPECT_FALSE(model_.HasParentRow());
    EXPECT_EQ(model_.ListedFolder(), "/");
    EXPECT_NE(model_.KindOfRow(0), RowKind::Parent);
}

TEST_F(FileListModelTest, MaskFilter) {
    for (const char* name : {"O1.nc", "O2.NC", "O3.NCX", "O4"}) File(name);
    Folder("DIR.NC");
    struct Case {
        const char* allFiles;
        const char* mask;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {"N", "*.NC", {"O1.nc", "O2.NC"}},
        {"N", "*", {"O4"}},
        {"Y", "*.NC", {"O1.nc", "O2.NC", "O3.NCX", "O4"}},
    };
    for (const Case& c : cases) {
        settings_.AllFiles = c.allFiles;
        settings_.Mask = c.mask;
        model_.RefreshFileList();
        EXPECT_EQ(FileNames(), c.files) << c.allFiles << " " << c.mask;
        EXPECT_EQ(model_.FolderCount(), 1);  // folders are never filtered
    }
    settings_.AllFiles = "N";
    settings_.Mask = "*.NC";
    model_.RefreshFileList();
    EXPECT_EQ(model_.RowText(model_.FirstFileRow()).substr(0, 6), " O1   ");
    EXPECT_NE(model_.FolderLine().find(" Path=" + settings_.DirPath + "/*.NC "), std::string::npos);
    EXPECT_EQ(model_.FolderLine().substr(model_.FolderLine().size() - 3), " :3");
}

TEST_F(FileListModelTest, SortKeysAndDirections) {
    File("b.nc", 300, UtcTime(2020, 1, 2, 0, 0, 0));
    File("A.nc", 100, UtcTime(2020, 1, 3, 0, 0, 0));
    File("C.nc", 200, UtcTime(2020, 1, 1, 0, 0, 0));
    File("a.nc", 100, UtcTime(2020, 1, 3, 0, 0, 0));
    File("big.nc", 123456789, UtcTime(2019, 1, 1, 0, 0, 0));
    Folder("zz");
    Folder("AA");
    struct Case {
        const char* sort;
        const char* direction;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {"N", "D", {"a.nc", "A.nc", "b.nc", "big.nc", "C.nc"}},
        {"N", "U", {"C.nc", "big.nc", "b.nc", "A.nc", "a.nc"}},
        {"S", "D", {"big.nc", "b.nc", "C.nc", "a.nc", "A.nc"}},
        {"S", "U", {"a.nc", "A.nc", "C.nc", "b.nc", "big.nc"}},
        {"T", "D", {"big.nc", "C.nc", "b.nc", "a.nc", "A.nc"}},
        {"T", "U", {"a.nc", "A.nc", "b.nc", "C.nc", "big.nc"}},
        {"X", "D", {"big.nc", "C.nc", "b.nc", "a.nc", "A.nc"}},  // keeps the previous key
    };
    for (const Case& c : cases) {
        settings_.FileSort = c.sort;
        settings_.SortMuki = c.direction;
        model_.RefreshFileList();
        EXPECT_EQ(FileNames(), c.files) << c.sort << "-" << c.direction;
        EXPECT_EQ(model_.FileNameOfRow(1), "AA");  // folders always by name, first
        EXPECT_EQ(model_.FileNameOfRow(2), "zz");
    }
    const int big = RowOf("big.nc");
    EXPECT_EQ(model_.RowText(big).substr(13, 10), " ******** ");  // bytes 15 to 22
    EXPECT_NE(model_.RowDetails(big).find("ｻｲｽﾞ :117.738MB"), std::string::npos);
}

TEST_F(FileListModelTest, FolderRowsPerColumnCount) {
    Folder("ncdata");
    File("O1.NC");
    SetModified(Path("ncdata"), UtcTime(2021, 11, 30, 8, 5, 0));
    const std::string pad = std::string(10, ' ');
    const std::pair<int, std::string> cases[] = {
        {1, " NCDATA" + pad + "<DIR> 21-11-30 08:05"},
        {2, " NCDATA" + pad + "<DIR> 21-11-30 08:05"},
        {3, " NCDATA" + pad + "<DIR>" + std::string(26, ' ')},
        {4, " <DIR>NCDATA" + std::string(36, ' ')},
        {5, " <DIR>NCDATA" + std::string(36, ' ')},
    };
    for (const auto& [columns, text] : cases) {
        settings_.ListColumn = columns;
        model_.RefreshFileList();
        EXPECT_EQ(model_.RowText(1).substr(0, text.size()), text) << columns;
        EXPECT_EQ(model_.ListColumns(), columns);
    }
    EXPECT_EQ(model_.RowText(0), " ..");
    EXPECT_EQ(model_.RowDetails(1), "　  ﾌｫﾙﾀﾞ詳細:<DIR>ncdata  日付 :2021-11-30 08:05:00");

    // A folder time of zero shows as nothing.
    SetModified(Path("ncdata"), 0);
    settings_.ListColumn = 2;
    model_.RefreshFileList();
    EXPECT_EQ(model_.ModifiedText(1), "");
    EXPECT_EQ(model_.RowText(1), " NCDATA" + pad + "<DIR>" + std::string(26, ' '));
    EXPECT_EQ(model_.RowDetails(1), "　  ﾌｫﾙﾀﾞ詳細:<DIR>ncdata  日付 :");
}

TEST_F(FileListModelTest, UpperCaseAndLongNamesOptions) {
    File("o1.nc");
    Folder("sub");
    settings_.op4 = "Y";
    settings_.op3 = "Y";
    model_.RefreshFileList();
    EXPECT_EQ(model_.RowText(1), " SUB");
    EXPECT_EQ(model_.RowText(2), " O1.NC");
    EXPECT_EQ(model_.FileNameOfRow(2), "o1.nc");  // commands still get the real name
    EXPECT_NE(model_.RowDetails(2).find(":o1.nc "), std::string::npos);
}

TEST_F(FileListModelTest, CursorStaysOnItsFileAfterRefreshAndSort) {
    Folder("SUB");
    for (const char* name : {"A.NC", "B.NC", "C.NC", "D.NC"}) File(name);
    for (const char* target : {"A.NC", "C.NC"}) {  // the first file row, and another
        settings_.FileSort = "N";
        settings_.SortMuki = "D";
        model_.RefreshFileList();
        model_.UserMoveCursor(RowOf(target));

        File("0NEW.NC");  // a new file before it moves it down one row
        model_.RefreshFileList(FileListModel::kKeepCursor);
        EXPECT_EQ(model_.FileNameOfRow(model_.Cursor()), target);
        EXPECT_EQ(model_.ReselectName(), target);

        settings_.SortMuki = "U";
        model_.RefreshFileList(FileListModel::kKeepCursor | FileListModel::kSortOnly);
        EXPECT_EQ(model_.FileNameOfRow(model_.Cursor()), target);
        EXPECT_NE(model_.DetailsLine().find(target), std::string::npos);
        fs::remove(Path("0NEW.NC"));
    }
    // Without keepCursor the cursor goes to row 0.
    model_.RefreshFileList();
    EXPECT_EQ(model_.Cursor(), 0);
}

TEST_F(FileListModelTest, CursorToRowZeroWhenItsFileVanished) {
    for (const char* name : {"A.NC", "B.NC", "C.NC"}) File(name);
    model_.RefreshFileList();
    model_.UserMoveCursor(RowOf("B.NC"));
    fs::rename(Path("B.NC"), Path("B2.NC"));
    model_.RefreshFileList(FileListModel::kKeepCursor);
    EXPECT_EQ(model_.Cursor(), 0);
    // A cursor on a folder row is not kept either.
    Folder("SUB");
    model_.RefreshFileList();
    model_.UserMoveCursor(RowOf("SUB"));
    model_.RefreshFileList(FileListModel::kKeepCursor);
    EXPECT_EQ(model_.Cursor(), 0);
}

TEST_F(FileListModelTest, ToggleStopsAtTheMarkLimit) {
    for (int i = 0; i < 105; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "F%03d.NC", i);
        File(name);
    }
    model_.RefreshFileList();
    model_.MoveCursor(model_.FirstFileRow());
    for (int i = 0; i < 105; ++i) EXPECT_TRUE(model_.ToggleMark());
    EXPECT_EQ(model_.MarkedCount(), 100);
    EXPECT_TRUE(model_.IsMarked(100));
    EXPECT_FALSE(model_.IsMarked(101));
    EXPECT_EQ(model_.Cursor(), 105);  // every toggle moved the cursor; the last row stays
    EXPECT_EQ(model_.AnchorRow(), 105);
    EXPECT_EQ(model_.RowText(1)[0], '*');
    EXPECT_EQ(model_.RowText(101)[0], ' ');

    // Unmarking frees a slot, which the next mark takes.
    model_.MoveCursor(5);
    model_.ToggleMark();
    EXPECT_EQ(model_.MarkedCount(), 99);
    EXPECT_EQ(model_.MarkedRows()[4], -1);
    model_.MoveCursor(103);
    model_.ToggleMark();
    EXPECT_EQ(model_.MarkedRows()[4], 103);

    model_.UnmarkAll();
    EXPECT_EQ(model_.MarkedCount(), 0);
    EXPECT_FALSE(model_.IsMarked(1));
    model_.MoveCursor(0);
    EXPECT_FALSE(model_.ToggleMark());  // the parent row is not a file
}

TEST_F(FileListModelTest, HomeMarksFilesWithinTheNextHundredRows) {
    Folder("D1");
    Folder("D2");
    for (int i = 0; i < 150; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "F%03d.NC", i);
        File(name);
    }
    model_.RefreshFileList();
    ASSERT_EQ(model_.FirstFileRow(), 3);
    struct Case {
        int cursor;
        int marked;
        int firstMarked;
        int lastMarked;
    };
    const Case cases[] = {
        {1, 98, 3, 100},      // on a folder row: files within rows 1..100
        {3, 100, 3, 102},     // on the first file row
        {100, 53, 100, 152},  // up to the end of the list
    };
    for (const Case& c : cases) {
        model_.MoveCursor(c.cursor);
        model_.MarkFromCursor();
        EXPECT_EQ(model_.MarkedCount(), c.marked) << c.cursor;
        EXPECT_EQ(model_.MarkedRows()[0], c.firstMarked);
        EXPECT_EQ(model_.MarkedRows()[static_cast<std::size_t>(c.marked - 1)], c.lastMarked);
        EXPECT_FALSE(model_.IsMarked(c.firstMarked - 1));
        EXPECT_FALSE(model_.IsMarked(c.lastMarked + 1));
    }
}

TEST_F(FileListModelTest, ShiftClickRangesCompactAndCollect) {
    Folder("D1");
    for (int i = 0; i < 8; ++i) File("F" + std::to_string(i) + ".NC");
    model_.RefreshFileList();  // rows: .., D1, F0..F7 (rows 2..9)
    model_.ClickRow(7, false);
    model_.ClickRow(1, true);  // back over the folder row to D1
    EXPECT_EQ(model_.AnchorRow(), 7);
    EXPECT_EQ(model_.Cursor(), 1);
    EXPECT_EQ(model_.MarkedCount(), 6);
    EXPECT_FALSE(model_.IsMarked(1));
    model_.ClickRow(9, true);  // a new range replaces the old one
    EXPECT_EQ(model_.MarkedCount(), 3);
    EXPECT_FALSE(model_.IsMarked(6));

    // Unmark the middle one; compact keeps the order.
    model_.MoveCursor(8);
    model_.ToggleMark();
    EXPECT_EQ(model_.MarkedRows()[1], -1);
    model_.CompactMarks();
    EXPECT_EQ(model_.MarkedRows()[0], 7);
    EXPECT_EQ(model_.MarkedRows()[1], 9);
    const std::vector<std::string> names = model_.CollectMarkedFiles();
    EXPECT_EQ(names, (std::vector<std::string>{"F5.NC", "F7.NC"}));
    EXPECT_FALSE(model_.IsMarked(7));
    EXPECT_EQ(model_.MarkedCount(), 2);  // the caller clears
    model_.ClearMarks();
    EXPECT_EQ(model_.MarkedCount(), 0);
    EXPECT_EQ(model_.MarkedRows()[0], -1);
}

TEST_F(FileListModelTest, PageMoves) {
    for (int i = 0; i < 49; ++i) File("F" + std::to_string(100 + i) + ".NC");
    model_.RefreshFileList();     // 50 rows with the parent row
    model_.SetRowsPerColumn(10);  // 2 columns: 20 rows a page
    struct Case {
        int from;
        bool down;
        int to;
        int reveal;
    };
    const Case cases[] = {
        {0, true, 20, 30},   {5, true, 20, 30},  {20, true, 40, -1}, {45, true, 49, -1},
        {45, false, 20, -1}, {25, false, 0, -1}, {5, false, 0, -1},
    };
    for (const Case& c : cases) {
        model_.MoveCursor(c.from);
        const int reveal = c.down ? model_.PageDown() : (model_.PageUp(), -1);
        EXPECT_EQ(model_.Cursor(), c.to) << c.from << (c.down ? " down" : " up");
        EXPECT_EQ(reveal, c.reveal) << c.from;
    }
    model_.SetRowsPerColumn(40);  // everything on one page
    model_.MoveCursor(3);
    EXPECT_EQ(model_.PageDown(), -1);
    EXPECT_EQ(model_.Cursor(), 49);
    model_.PageUp();
    EXPECT_EQ(model_.Cursor(), 0);
    model_.SetRowsPerColumn(0);  // never a page of no rows
    EXPECT_EQ(model_.PageSize(), 2);
}

TEST_F(FileListModelTest, NarrowingPatternAndSuspendedRefresh) {
    for (const char* name : {"O12.NC", "O123.NC", "O13.NC"}) File(name);
    model_.SetSearchPattern(settings_.DirPath + "/O12*.NC");
    model_.RefreshFileList(FileListModel::kKeepPattern);
    EXPECT_EQ(FileNames(), (std::vector<std::string>{"O12.NC", "O123.NC"}));
    EXPECT_NE(model_.FolderLine().find("/*.* "), std::string::npos);

    model_.SetSearchPattern(settings_.DirPath + "/X*");  // nothing matches
    model_.RefreshFileList(FileListModel::kKeepPattern);
    EXPECT_EQ(model_.RowCount(), 1);
    EXPECT_EQ(model_.RowText(0), " ..              <DIR>");
    EXPECT_EQ(model_.DetailsLine(), "");

    model_.SetRefreshSuspended(true);
    model_.RefreshFileList();
    EXPECT_EQ(model_.RowCount(), 1);
    model_.SetRefreshSuspended(false);
    model_.RefreshFileList();  // the full list is back
    EXPECT_EQ(model_.FileCount(), 3);
    EXPECT_EQ(model_.SearchPattern(), settings_.DirPath + "/*.*");

    model_.SetRefreshSuspended(true);
    settings_.SortMuki = "U";
    model_.RefreshFileList(FileListModel::kKeepCursor | FileListModel::kSortOnly);
    EXPECT_EQ(model_.FileNameOfRow(1), "O13.NC");
}

TEST_F(FileListModelTest, ReadingHookSeesTheSearchRow) {
    File("A.NC");
    std::vector<std::string> seen;
    model_.SetReadingHook([&] {
        seen.push_back(model_.RowText(0));
        seen.push_back(model_.FolderLine());
        seen.push_back(std::to_string(model_.RowCount()));
    });
    model_.RefreshFileList();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], " ﾌｧｲﾙ検索中!!");
    EXPECT_EQ(seen[1].substr(seen[1].size() - 4), "????");
    EXPECT_EQ(seen[2], "1");
    EXPECT_FALSE(model_.IsReading());
    EXPECT_EQ(model_.RowCount(), 2);
}

TEST_F(FileListModelTest, MissingFolderListsOnlyTheParentRow) {
    File("A.NC");
    model_.RefreshFileList();
    model_.MoveCursor(1);
    model_.ToggleMark();
    // The folder vanishes just as it is about to be read.
    model_.SetReadingHook([&] { fs::remove_all(folder_.path()); });
    model_.RefreshFileList(FileListModel::kKeepCursor);
    model_.SetReadingHook(nullptr);
    EXPECT_EQ(model_.RowCount(), 1);
    EXPECT_TRUE(model_.HasParentRow());
    EXPECT_EQ(model_.MarkedCount(), 0);
    EXPECT_EQ(model_.Cursor(), 0);
    EXPECT_EQ(model_.FolderLine().substr(model_.FolderLine().size() - 2), ":0");

    settings_.ListColumn = 5;
    settings_.DirPath = (folder_ / "not-a-folder").string();
    fs::create_directories(folder_.path());
    File("not-a-folder");
    model_.RefreshFileList();
    EXPECT_EQ(model_.RowCount(), 1);
    EXPECT_EQ(model_.RowText(0), " ..");
}

TEST_F(FileListModelTest, UnreadableFolderListsOnlyTheParentRow) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every folder";
    settings_.DirPath = (folder_ / "closed").string();
    Folder("closed");
    File("closed/A.NC");
    ::chmod(Path("closed").c_str(), 0);
    model_.RefreshFileList();
    ::chmod(Path("closed").c_str(), 0700);
    EXPECT_EQ(model_.RowCount(), 1);
}

TEST_F(FileListModelTest, HostileNamesAreListedAndActedOnExactly) {
    const std::vector<std::string> names = {
        std::string(251, 'L') + ".NC", "with blank.NC", "new\nline.NC", "-rf", "\xff\xfe.NC",
        "\x83\x65\x83\x58\x83\x67.NC", "金型.NC",
    };
    for (const std::string& name : names) File(name, 7);
    ASSERT_EQ(::symlink("nowhere", Path("dangling").c_str()), 0);
    ASSERT_EQ(::symlink("loop", Path("loop").c_str()), 0);
    Folder("realdir");
    ASSERT_EQ(::symlink("realdir", Path("dirlink").c_str()), 0);
    model_.RefreshFileList();

    EXPECT_EQ(model_.FolderCount(), 2);  // realdir and the link to it
    EXPECT_EQ(model_.KindOfRow(RowOf("dirlink")), RowKind::Folder);
    EXPECT_EQ(model_.FileCount(), static_cast<int>(names.size()) + 2);
    const int dangling = RowOf("dangling");
    ASSERT_GE(dangling, 0);
    EXPECT_EQ(model_.FileTable()[static_cast<std::size_t>(model_.FileIndexOfRow(dangling))].size,
              7u);  // the link's own size ("nowhere")
    for (const std::string& name : names) {
        const int row = RowOf(name);
        ASSERT_GE(row, 0) << name;
        struct stat info {};
        EXPECT_EQ(::lstat(model_.FullPathOfRow(row).c_str(), &info), 0) << name;
        EXPECT_EQ(info.st_size, 7);
        const std::string text = model_.RowText(row);
        EXPECT_EQ(text.find('\n'), std::string::npos);
        EXPECT_EQ(model_.RowDetails(row).find('\n'), std::string::npos);
    }
    // Short forms stay unique in the folder.
    std::set<std::string> bases;
    for (int row = 1; row < model_.RowCount(); ++row) {
        bases.insert(model_.RowText(row).substr(0, 12));
    }
    EXPECT_EQ(static_cast<int>(bases.size()), model_.RowCount() - 1);

    // Enter on the folder link lists the folder behind it.
    settings_.DirPath = model_.FullPathOfRow(RowOf("dirlink"));
    File("realdir/IN.NC");
    model_.RefreshFileList();
    EXPECT_EQ(FileNames(), (std::vector<std::string>{"IN.NC"}));
}

TEST_F(FileListModelTest, MemoryStaysSmallPerFile) {
    for (int i = 0; i < 2000; ++i) File("PROGRAM_" + std::to_string(i) + ".NC");
    model_.RefreshFileList();
    EXPECT_EQ(model_.FileCount(), 2000);
    EXPECT_LT(model_.MemoryBytes() / 2000, 150u);
}

}  // namespace
}  // namespace wexal
