#include "files/file_info.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/list_test_support.h"

namespace wexal {
namespace {

using test::UtcTime;

TEST(FileInfoTest, SizeLines) {
    const struct {
        std::uint64_t size;
        const char* line;
    } cases[] = {
        {500, "サイズ :　　500ﾊﾞｲﾄ"},
        {1023, "サイズ :　　1023ﾊﾞｲﾄ"},
        {2048, "サイズ :　　2.000KB (2,048ﾊﾞｲﾄ)"},
        {1048576, "サイズ :　　1024.000KB (1,048,576ﾊﾞｲﾄ)"},
        {3145728, "サイズ :　　3.000MB (3,145,728ﾊﾞｲﾄ)"},
        {1073741824, "サイズ :　　1024.000MB (1,073,741,824ﾊﾞｲﾄ)"},
        {1610612736, "サイズ :　　1.500GB (1,610,612,736ﾊﾞｲﾄ)"},
        {5497558138880, "サイズ :　　5120.000GB (5,497,558,138,880ﾊﾞｲﾄ)"},  // past 32 bits
    };
    for (const auto& c : cases) EXPECT_EQ(FileInfoSizeLine(c.size), c.line) << c.size;
}

TEST(FileInfoTest, FieldChecks) {
    const struct {
        int tag, low, high;
        const char* message;
    } cases[] = {
        {1, 1970, 9999, "年数は1970以降でお願いします。"},
        {2, 1, 12, "１から１２までしか入力出来ません"},
        {3, 1, 31, "１から３１までしか入力出来ません"},
        {4, 0, 23, "０から２３までしか入力出来ません"},
        {5, 0, 59, "０から５９までしか入力出来ません"},
        {6, 0, 59, "０から５９までしか入力出来ません"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(CheckTimeField(c.tag, std::to_string(c.low))) << c.tag;
        EXPECT_FALSE(CheckTimeField(c.tag, std::to_string(c.high))) << c.tag;
        for (const std::string& bad :
             {std::to_string(c.low - 1), std::to_string(c.high + 1), std::string()}) {
            EXPECT_EQ(CheckTimeField(c.tag, bad).value_or(""), c.message) << c.tag << " " << bad;
        }
    }
}

TEST(FileInfoTest, TimesThatDoNotExist) {
    int bad = 0;
    {
        test::UtcZone utc;
        EXPECT_EQ(TimeFieldsOf(UtcTime(2005, 3, 4, 12, 34, 56)),
                  (TimeFieldTexts{"2005", "03", "04", "12", "34", "56"}));
        EXPECT_EQ(LocalTimeOfFields({"2005", "02", "30", "12", "00", "00"}, &bad), std::nullopt);
        EXPECT_EQ(bad, 3);
    }
    {
        test::ScopedEnv berlin("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
        ::tzset();
        EXPECT_EQ(LocalTimeOfFields({"2021", "03", "28", "02", "30", "00"}, &bad), std::nullopt);
        EXPECT_EQ(bad, 4);  // the hour the clocks skip
        EXPECT_TRUE(LocalTimeOfFields({"2021", "03", "28", "03", "30", "00"}, &bad));
    }
    ::tzset();
}

TEST(FileInfoTest, EntriesAndChanges) {
    test::TempDir dir;
    const auto file = dir / ".hidden.nc";
    test::MakeFile(file, 3, UtcTime(2001, 1, 1, 0, 0, 0));
    ::chmod(file.c_str(), 0444);
    const EntryInfo info = ReadEntryInfo(file.string(), ".hidden.nc");
    EXPECT_TRUE(info.exists && info.readOnly && info.hidden && !info.isFolder);
    EXPECT_EQ(FallbackTypeText("README"), "ﾌｧｲﾙ");
    for (const char* name : {"O1000.NC", "o1000.nc", "PART.Tap", "a.b.ngc"}) {
        EXPECT_TRUE(IsNcProgramName(name)) << name;
    }
    for (const char* name : {"NC", "O1000.NC.bak", "climate.nc4", "O1000", "disc.iso"}) {
        EXPECT_FALSE(IsNcProgramName(name)) << name;
    }

    // The owner sets the time of a read-only file, then the attribute.
    struct stat before {
    }, after{};
    ::stat(file.c_str(), &before);
    ASSERT_TRUE(ApplyEntryChange(file.string(), {UtcTime(2005, 3, 4, 12, 34, 56), false}));
    ::stat(file.c_str(), &after);
    EXPECT_EQ(after.st_mtim.tv_sec, UtcTime(2005, 3, 4, 12, 34, 56));
    EXPECT_EQ(after.st_mtim.tv_nsec, 0);
    EXPECT_EQ(after.st_atim.tv_sec, before.st_atim.tv_sec);
    EXPECT_EQ(after.st_mode & 07777, 0644u);
    ::chmod(file.c_str(), 0666);
    ASSERT_TRUE(ApplyEntryChange(file.string(), {std::nullopt, true}));
    ::stat(file.c_str(), &after);
    EXPECT_EQ(after.st_mode & 07777, 0444u);
    EXPECT_TRUE(ApplyEntryChange((dir / "gone").string(), {UtcTime(2005, 1, 1, 0, 0, 0), true}));
}

}  // namespace
}  // namespace wexal
