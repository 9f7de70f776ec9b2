#include "files/list_row_format.h"

#include <gtest/gtest.h>

#include <string>

#include "support/list_test_support.h"
#include "platform/text_codec.h"

namespace wexal {
namespace {

std::string Blanks(std::size_t n) { return std::string(n, ' '); }

TEST(ListRowTest, ExampleRowByteForByte) {
    const RowLayout layout{2, true, false, false};
    const std::string row =
        FileRowText(layout, false, "o1234.nc", "O1234", "1520", "2005-03-04 12:34:56");
    EXPECT_EQ(row, " O1234   .nc      1520 05-03-04 12:34" + Blanks(26));
    ASSERT_EQ(row.size(), 63u);
    EXPECT_EQ(row.substr(1, 5), "O1234");             // bytes 2 to 6
    EXPECT_EQ(row.substr(9, 3), ".nc");               // bytes 10 to 12
    EXPECT_EQ(row.substr(18, 4), "1520");             // bytes 19 to 22
    EXPECT_EQ(row.substr(23, 14), "05-03-04 12:34");  // bytes 24 to 37
}

TEST(ListRowTest, RowsPerColumnCountAndFilter) {
    struct Case {
        int columns;
        bool allFiles;
        bool longNames;
        bool marked;
        const char* size;
        std::string row;
    };
    const std::string date = "2005-03-04 12:34:56";
    const Case cases[] = {
        {1, true, false, false, "1520", " O1234   .nc      1520 05-03-04 12:34" + Blanks(26)},
        {3, true, false, true, "1520", "*O1234   .nc      1520" + Blanks(27)},
        {4, true, false, false, "1520", " O1234   .nc" + Blanks(33)},
        {5, false, false, false, "1520", " O1234" + Blanks(36)},
        {2, false, false, false, "1520", " O1234            1520 05-03-04 12:34" + Blanks(23)},
        {2, true, false, false, "123456789", " O1234   .nc  ******** 05-03-04 12:34" + Blanks(30)},
        {2, true, false, false, "12345678", " O1234   .nc  12345678 05-03-04 12:34" + Blanks(30)},
        {2, true, true, false, "1520", " o1234.nc"},
        {2, false, true, true, "1520", "*o1234"},
    };
    for (const Case& c : cases) {
        const RowLayout layout{c.columns, c.allFiles, c.longNames, false};
        EXPECT_EQ(FileRowText(layout, c.marked, "o1234.nc", "O1234", c.size, date), c.row)
            << c.columns << " columns";
    }
}

TEST(ListRowTest, FolderAndParentRowsPerColumnCount) {
    const std::string date = "2021-11-30 08:05:00";
    struct Case {
        int columns;
        std::string folder;
        std::string parent;
    };
    const Case cases[] = {
        {1, " NCDATA          <DIR> 21-11-30 08:05" + Blanks(25),
         " ..              <DIR> 21-11-30 08:05"},
        {2, " NCDATA          <DIR> 21-11-30 08:05" + Blanks(25),
         " ..              <DIR> 21-11-30 08:05"},
        {3, " NCDATA          <DIR>" + Blanks(26), " ..              <DIR>"},
        {4, " <DIR>NCDATA" + Blanks(36), " .."},
        {5, " <DIR>NCDATA" + Blanks(36), " .."},
    };
    for (const Case& c : cases) {
        const RowLayout layout{c.columns, true, false, false};
        EXPECT_EQ(FolderRowText(layout, "ncdata", "NCDATA", date), c.folder) << c.columns;
        EXPECT_EQ(ParentRowText(c.columns, true, date), c.parent) << c.columns;
    }
    // <DIR> ends where the sizes end, at byte 22.
    EXPECT_EQ(ParentRowText(2, true, date).substr(17, 5), "<DIR>");
    // A folder whose time is unknown, and a folder that could not be listed.
    EXPECT_EQ(ParentRowText(2, true, ""), " ..              <DIR> ");
    EXPECT_EQ(ParentRowText(2, false, ""), " ..              <DIR>");
    EXPECT_EQ(FolderRowText({2, true, false, false}, "ncdata", "NCDATA", ""),
              " NCDATA          <DIR>" + Blanks(26));
    // op4: long name only, no <DIR> marker with 1 to 3 columns.
    EXPECT_EQ(FolderRowText({2, true, true, false}, "ncdata", "NCDATA", date), " ncdata");
    EXPECT_EQ(FolderRowText({4, true, true, false}, "ncdata", "NCDATA", date), " <DIR>ncdata");
}

TEST(ListRowTest, WideCharactersCountTwoBytes) {
    const RowLayout layout{2, true, false, false};
    const std::string row =
        FileRowText(layout, false, "金型加工用.NC", "金型加~1", "99", "2005-03-04 12:34:56");
    EXPECT_EQ(row, " 金型加~1.NC" + Blanks(8) + "99 05-03-04 12:34" + Blanks(27));
    EXPECT_EQ(Cp932Width(row), 64u);
    // The first 4 bytes of the extension, never half a character.
    const std::string cut =
        FileRowText(layout, false, "a.日本語", "A~1", "1", "2005-03-04 12:34:56");
    EXPECT_EQ(cut, " A~1" + Blanks(5) + ".日" + Blanks(9) + "1 05-03-04 12:34" + Blanks(21));
}

TEST(FormatFileSizeTest, BytesKilobytesMegabytes) {
    struct Case {
        std::uint64_t bytes;
        const char* text;
    };
    const Case cases[] = {
        {0, "0ﾊﾞｲﾄ"},
        {1000, "1000ﾊﾞｲﾄ"},
        {1023, "1023ﾊﾞｲﾄ"},
        {1024, "1.000KB"},
        {1536, "1.500KB"},
        {2621440, "2.500MB"},
        {123456789, "117.738MB"},
        {6000000000ull, "5722.046MB"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatFileSize(c.bytes), c.text) << c.bytes;
}

TEST(FormatModifiedTest, LocalTimeText) {
    const test::UtcZone utc;
    EXPECT_EQ(FormatModified(test::UtcTime(2005, 3, 4, 12, 34, 56)), "2005-03-04 12:34:56");
    EXPECT_EQ(FormatModified(0), "1970-01-01 00:00:00");
    const test::ScopedEnv tokyo("TZ", "Asia/Tokyo");
    ::tzset();
    EXPECT_EQ(FormatModified(test::UtcTime(2005, 3, 4, 12, 34, 56)), "2005-03-04 21:34:56");
}

TEST(FolderLineTest, PaddedAndCutTo67Bytes) {
    const std::string tail = "     ﾌｧｲﾙ数 :";
    EXPECT_EQ(FormatFolderLine("/nc", "*.NC", false, 12),
              " Path=/nc/*.NC" + Blanks(67 - 14) + tail + "12");
    EXPECT_EQ(FormatFolderLine("/nc", "*.NC", true, std::nullopt),
              " Path=/nc/*.*" + Blanks(67 - 13) + tail + "????");
    EXPECT_EQ(FormatFolderLine("/", "*.NC", true, 0), " Path=/*.*" + Blanks(67 - 10) + tail + "0");

    const std::string longFolder = "/" + std::string(100, 'd');
    EXPECT_EQ(FormatFolderLine(longFolder, "*.NC", true, 3),
              " Path=/" + std::string(60, 'd') + tail + "3");
    // A wide character across byte 67 is left out and a blank takes its place.
    const std::string wide = "/" + std::string(59, 'd') + "金型";
    EXPECT_EQ(FormatFolderLine(wide, "*.NC", true, 3),
              " Path=/" + std::string(59, 'd') + " " + tail + "3");
}

TEST(RowDetailsTest, ParentFolderAndFileTexts) {
    EXPECT_EQ(ParentRowDetails(), "　  一つ上のﾌｫﾙﾀﾞに移動(Enter)");
    EXPECT_EQ(FolderRowDetails("ncdata", "2021-11-30 08:05:00"),
              "　  ﾌｫﾙﾀﾞ詳細:<DIR>ncdata  日付 :2021-11-30 08:05:00");
    EXPECT_EQ(FileRowDetails("o1234.nc", 123456789, "2005-03-04 12:34:56"),
              "　　ﾌｧｲﾙ詳細 :o1234.nc  ｻｲｽﾞ :117.738MB  日付 :2005-03-04 12:34:56");
}

}  // namespace
}  // namespace wexal
