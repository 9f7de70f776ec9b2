#include "files/rename_entries.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

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
    const Case cases[] = {
        {"abc.nc", RenameChoice::Upper, "ABC.NC"},
        {"Def.nc", RenameChoice::Upper, "DEF.NC"},
        {"o1.NC", RenameChoice::Lower, "o1.nc"},
        {"oLD.nC", RenameChoice::Capitalize, "Old.nc"},
        {"oLD.nC", RenameChoice::Keep, "oLD.nC"},
        {"oLD.nC", RenameChoice::Individually, "oLD.nC"},
        {"1abc", RenameChoice::Capitalize, "1abc"},
        // UTF-8: the bytes of "Ä" and "ｱ" stay, ASCII around them changes.
        {"\xC3\x84x\xEF\xBD\xB1y.nc", RenameChoice::Upper, "\xC3\x84X\xEF\xBD\xB1Y.NC"},
        {"\xC3\xA4X.NC", RenameChoice::Capitalize, "\xC3\xA4x.nc"},
        // cp932 "ソ" is 83 5C, "ア" is 83 41: the trail byte 0x41 is no "A".
        {"\x83\x41"
         "a.nc",
         RenameChoice::Lower,
         "\x83\x41"
         "a.nc"},
        {"\x83\x41"
         "a.nc",
         RenameChoice::Upper,
         "\x83\x41"
         "A.NC"},
        {"\xFF"
         "a",
         RenameChoice::Upper,
         "\xFF"
         "A"},
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

    const RenameResult onto = RenameEntry(folder, "a.nc", "b.nc");
    EXPECT_EQ(onto.kind, RenameResult::Kind::InUse);
    EXPECT_EQ(onto.message, "すでにb.ncが有ります。名前を変更できません!!");
    EXPECT_EQ(ReadFileBytes(dir / "a.nc"), "A");
    EXPECT_EQ(ReadFileBytes(dir / "b.nc"), "B");
    // A folder of that name is not replaced either.
    EXPECT_EQ(RenameEntry(folder, "a.nc", "sub").kind, RenameResult::Kind::InUse);

    for (const char* bad : {"", ".", "..", "sub/a.nc", "../a.nc"}) {
        EXPECT_EQ(RenameEntry(folder, "a.nc", bad).kind, RenameResult::Kind::Invalid) << bad;
    }
    EXPECT_EQ(ReadFileBytes(dir / "a.nc"), "A");
    EXPECT_EQ(RenameEntry(folder, "gone.nc", "x.nc").kind, RenameResult::Kind::Failed);
    EXPECT_EQ(RenameEntry(folder, "a.nc", "a.nc").kind, RenameResult::Kind::Unchanged);
    // A hard link is another name for the file, and stays.
    ASSERT_EQ(::link((dir / "a.nc").c_str(), (dir / "A.NC").c_str()), 0);
    EXPECT_EQ(RenameEntry(folder, "a.nc", "A.NC").kind, RenameResult::Kind::InUse);
    EXPECT_EQ(RenameEntry(folder, "b.nc", "B.NC").kind, RenameResult::Kind::Renamed);
    EXPECT_EQ(ReadFileBytes(dir / "B.NC"), "B");
}

TEST(RenameEntriesTest, MarkedFilesInOrderWithAPauseAfterEach) {
    test::TempDir dir;
    for (const char* name : {"abc.nc", "Def.nc", "o1.NC", "ABC.nc"})
        WriteFileBytes(dir / name, name);
    std::vector<std::string> events;
    MarkedRenameHost host;
    host.moveCursor = [&](int row) { events.push_back("cursor " + std::to_string(row)); };
    host.showRenamed = [&](int row, const std::string& name) {
        events.push_back(std::to_string(row) + " " + name);
    };
    host.pause = [&] { events.push_back("pause"); };
    const std::vector<MarkedFile> files = {
        {3, "abc.nc"}, {1, "Def.nc"}, {2, "o1.NC"}, {4, "ABC.nc"}};

    const auto refused = RenameMarkedFiles(dir.path().string(), files, RenameChoice::Upper, host);
    const std::vector<std::string> expected = {"cursor 3", "3 ABC.NC", "pause",    "cursor 1",
                                               "1 DEF.NC", "pause",    "cursor 2", "2 O1.NC",
                                               "pause",    "cursor 4", "pause"};
    EXPECT_EQ(events, expected);
    ASSERT_EQ(refused.size(), 1u);  // ABC.nc would have replaced the renamed abc.nc
    EXPECT_EQ(RefusedRenamesLine(refused), "すでにABC.NCが有ります。名前を変更できません!!");
    EXPECT_EQ(ReadFileBytes(dir / "ABC.NC"), "abc.nc");
    EXPECT_EQ(ReadFileBytes(dir / "ABC.nc"), "ABC.nc");

    events.clear();
    host.askName = [&](const std::string& name) -> std::optional<std::string> {
        if (name == "DEF.NC") return std::nullopt;
        return "new_" + name;
    };
    const std::vector<MarkedFile> again = {{1, "DEF.NC"}, {2, "O1.NC"}};
    EXPECT_TRUE(
        RenameMarkedFiles(dir.path().string(), again, RenameChoice::Individually, host).empty());
    EXPECT_EQ(ReadFileBytes(dir / "DEF.NC"), "Def.nc");
    EXPECT_EQ(ReadFileBytes(dir / "new_O1.NC"), "o1.NC");
}

}  // namespace
}  // namespace wexal
