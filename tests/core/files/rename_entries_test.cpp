#include "files/rename_entries.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "support/test_env.h"

namespace wexal {
namespace {

using test::ReadFileBytes;
using test::WriteFileBytes;

TEST(RenameEntriesTest, CaseChoicesChangeSingleByteLettersOnly) {
    struct Case {
        std::string name;
        RenameChoice choice;
        std::string expected;
    };
    // cp932 "ア" is 83 41: its trail byte is no "A".
    const std::string a = "\x83\x41";
    const Case cases[] = {
        {"abc.nc", RenameChoice::Upper, "ABC.NC"},
        {"o1.NC", RenameChoice::Lower, "o1.nc"},
        {"oLD.nC", RenameChoice::Capitalize, "Old.nc"},
        {"oLD.nC", RenameChoice::Keep, "oLD.nC"},
        // UTF-8: the bytes of "Ä" and "ｱ" stay, ASCII around them changes.
        {"\xC3\x84x\xEF\xBD\xB1y.nc", RenameChoice::Upper, "\xC3\x84X\xEF\xBD\xB1Y.NC"},
        {"\xC3\xA4X.NC", RenameChoice::Capitalize, "\xC3\xA4x.nc"},
        {a + "a.nc", RenameChoice::Lower, a + "a.nc"},
        {a + "a.nc", RenameChoice::Upper, a + "A.NC"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ApplyCaseChoice(c.name, c.choice), c.expected)
            << c.name << " choice " << static_cast<int>(c.choice);
    }
}

TEST(RenameEntriesTest, NeverReplacesAndRefusesNamesThatLeaveTheFolder) {
    test::TempDir dir;
    WriteFileBytes(dir / "a.nc", "A");
    WriteFileBytes(dir / "b.nc", "B");
    ::mkdir((dir / "sub").c_str(), 0755);
    const std::string folder = dir.path().string();

    // A folder of that name is not replaced either; a name with "/" would leave the folder.
    for (const char* bad : {"b.nc", "sub"}) {
        EXPECT_EQ(RenameEntry(folder, "a.nc", bad).kind, RenameResult::Kind::InUse) << bad;
    }
    for (const char* bad : {"", ".", "..", "sub/a.nc", "../a.nc"}) {
        EXPECT_EQ(RenameEntry(folder, "a.nc", bad).kind, RenameResult::Kind::Invalid) << bad;
    }
    EXPECT_EQ(ReadFileBytes(dir / "a.nc"), "A");
    EXPECT_EQ(ReadFileBytes(dir / "b.nc"), "B");
    // A hard link is another name for the file, and stays.
    ASSERT_EQ(::link((dir / "a.nc").c_str(), (dir / "A.NC").c_str()), 0);
    EXPECT_EQ(RenameEntry(folder, "a.nc", "A.NC").kind, RenameResult::Kind::InUse);
    EXPECT_EQ(RenameEntry(folder, "b.nc", "B.NC").kind, RenameResult::Kind::Renamed);
    EXPECT_EQ(ReadFileBytes(dir / "B.NC"), "B");
}

}  // namespace
}  // namespace wexal
