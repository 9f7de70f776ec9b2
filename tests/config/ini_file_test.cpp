#include "config/ini_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

#include "support/test_env.h"

namespace wexal {
namespace {

namespace fs = std::filesystem;

TEST(IniFile, SerializeReturnsTheParsedBytesUnchanged) {
    std::mt19937 random(42);
    std::string binary(4096, '\0');
    for (char& c : binary) c = static_cast<char>(random());
    const std::string inputs[] = {
        "",
        "[Main]\r\nLeft=10\r\nTop=10\r\n",
        "[Main]\nLeft=10\n; comment\n\ngarbage line\n[Setting]\nPort=COM1",
        "a\rb\r\nc\n\r\n\n\r",
        std::string("[Se\0tting]\nPo\0rt=\0\n", 19),
        binary,
    };
    for (const std::string& input : inputs) {
        EXPECT_EQ(IniFile::Parse(input).Serialize(), input);
    }
}

TEST(IniFile, NamesMatchWithoutCaseOrSurroundingBlanks) {
    const IniFile ini = IniFile::Parse(
        " [ setting ] \n"
        "port=COM2\n"
        "\tSpeed \t=  9600,7,E,1 \t\n"
        "O/:-Change=Y\n"
        "Empty=\n"
        "[Options]\n"
        "op1 = N\n");
    EXPECT_EQ(ini.Read("Setting", "Port"), "COM2");
    EXPECT_EQ(ini.Read("SETTING", "speed"), "9600,7,E,1");
    EXPECT_EQ(ini.Read(" Setting\t", " Port "), "COM2");
    EXPECT_EQ(ini.Read("Setting", "o/:-change"), "Y");
    EXPECT_EQ(ini.Read("Setting", "Empty"), "");
    EXPECT_EQ(ini.Read("options", "OP1"), "N");
    EXPECT_EQ(ini.Read("Options", "Port"), std::nullopt);
    EXPECT_EQ(ini.Read("Main", "Port"), std::nullopt);
}

TEST(IniFile, OnlyWellFormedLinesOfTheFirstMatchingSectionCount) {
    const IniFile ini = IniFile::Parse(
        "Port=COM9\n"  // before any section
        "[Setting]\n"
        ";Mask=*.TXT\n"
        "Mask\n"
        "=*.PRG\n"
        "Port=COM1\n"
        "PORT=COM2\n"
        "[Broken\n"
        "Code=Y\n"
        "[Setting]\n"
        "Port=COM3\n"
        "Signal=N\n");
    EXPECT_EQ(ini.Read("Setting", "Port"), "COM1");
    EXPECT_EQ(ini.Read("Setting", "Mask"), std::nullopt);
    EXPECT_EQ(ini.Read("Setting", "Code"), "Y");  // a header without "]" opens nothing
    EXPECT_EQ(ini.Read("Setting", "Signal"), std::nullopt);
}

TEST(IniFile, ValuesAreCp932OnDiskAndInvalidOnesReadAsMissing) {
    const IniFile ini =
        IniFile::Parse("[Setting]\nDirPath=/home/nc/\x8B\xE0\x8C\x5E\nBad=\x81\x20\n");
    EXPECT_EQ(ini.Read("Setting", "DirPath"), "/home/nc/金型");
    EXPECT_EQ(ini.Read("Setting", "Bad"), std::nullopt);

    IniFile edited = ini;
    ASSERT_TRUE(edited.Write("Setting", "SendMsg1", "ﾃｽﾄ送信"));
    EXPECT_NE(edited.Serialize().find("SendMsg1=\xC3\xBD\xC4\x91\x97\x90\x4D\n"),
              std::string::npos);
    EXPECT_EQ(edited.Read("Setting", "SendMsg1"), "ﾃｽﾄ送信");
}

TEST(IniFile, WritingAnExistingKeyReplacesOnlyItsValue) {
    IniFile ini = IniFile::Parse(
        "; Wexal\n"
        "[Setting]\n"
        "  port = COM2  \n"
        "garbage \x01\xFF\n"
        "Mask=  \n"
        "Code=N\n");
    ASSERT_TRUE(ini.Write("SETTING", "Port", "COM3"));
    ASSERT_TRUE(ini.Write("Setting", "Mask", "*.NC"));
    ASSERT_TRUE(ini.Write("Setting", "Code", "N"));
    EXPECT_EQ(ini.Serialize(),
              "; Wexal\n"
              "[Setting]\n"
              "  port = COM3\n"
              "garbage \x01\xFF\n"
              "Mask=*.NC\n"
              "Code=N\n");
}

TEST(IniFile, NewKeysFollowTheLastKeyOfTheirSectionAndNewSectionsGoLast) {
    IniFile ini = IniFile::Parse(
        "[Main]\n"
        "Left=1\n"
        "; about the next section\n"
        "\n"
        "[Setting]\n"
        "Port=COM1");
    ASSERT_TRUE(ini.Write("main", "Top", "2"));
    ASSERT_TRUE(ini.Write("Setting", "Speed", "9600,8,N,1"));
    ASSERT_TRUE(ini.Write("Options", "op1", "Y"));
    ASSERT_TRUE(ini.Write("Options", "op2", "N"));
    EXPECT_EQ(ini.Serialize(),
              "[Main]\n"
              "Left=1\n"
              "Top=2\n"
              "; about the next section\n"
              "\n"
              "[Setting]\n"
              "Port=COM1\n"
              "Speed=9600,8,N,1\n"
              "[Options]\n"
              "op1=Y\n"
              "op2=N\n");

    IniFile headerOnly = IniFile::Parse("[Main]");
    ASSERT_TRUE(headerOnly.Write("Main", "Top", "5"));
    EXPECT_EQ(headerOnly.Serialize(), "[Main]\nTop=5\n");
}

TEST(IniFile, AddedLinesUseTheFilesOwnLineEnding) {
    IniFile crlf = IniFile::Parse("[Main]\r\nLeft=1\r\n");
    ASSERT_TRUE(crlf.Write("Main", "Top", "2"));
    ASSERT_TRUE(crlf.Write("Setting", "Port", "COM1"));
    EXPECT_EQ(crlf.Serialize(), "[Main]\r\nLeft=1\r\nTop=2\r\n[Setting]\r\nPort=COM1\r\n");

    IniFile fresh;
    ASSERT_TRUE(fresh.Write("Main", "Top", "2"));
    EXPECT_EQ(fresh.Serialize(), "[Main]\nTop=2\n");
}

TEST(IniFile, RefusedWritesChangeNothing) {
    const std::string text = "[Setting]\nPort=COM1\n";
    IniFile ini = IniFile::Parse(text);
    EXPECT_FALSE(ini.Write("Setting", "Port", "😀"));
    EXPECT_FALSE(ini.Write("Setting", "Port", "COM1\nCode=Y"));
    EXPECT_FALSE(ini.Write("Setting", "Port", "\xFF"));
    EXPECT_FALSE(ini.Write("Setting", "", "x"));
    EXPECT_FALSE(ini.Write("Setting", "a=b", "x"));
    EXPECT_FALSE(ini.Write("Setting", ";Port", "x"));
    EXPECT_FALSE(ini.Write("Set]ting", "Port", "x"));
    EXPECT_EQ(ini.Serialize(), text);
}

TEST(IniFile, NulBytesAreOrdinaryBytes) {
    IniFile nulls = IniFile::Parse(std::string(1000, '\0'));
    EXPECT_EQ(nulls.Read("Setting", "Port"), std::nullopt);
    ASSERT_TRUE(nulls.Write("Setting", "Port", "COM1"));
    EXPECT_EQ(nulls.Read("Setting", "Port"), "COM1");
}

class IniFileDiskTest : public ::testing::Test {
protected:
    test::TempDir dir_;
};

TEST_F(IniFileDiskTest, LoadTreatsMissingOddAndOversizedFilesAsEmpty) {
    EXPECT_EQ(IniFile::Load(dir_ / "missing.ini").Serialize(), "");
    EXPECT_EQ(IniFile::Load(dir_.path()).Serialize(), "");

    const fs::path huge = dir_ / "huge.ini";
    test::WriteFileBytes(huge, "[Setting]\nPort=COM5\n");
    fs::resize_file(huge, IniFile::kMaxFileSize + 1);  // sparse, costs no disk
    EXPECT_EQ(IniFile::Load(huge).Read("Setting", "Port"), std::nullopt);

    fs::resize_file(huge, 64);
    EXPECT_EQ(IniFile::Load(huge).Read("Setting", "Port"), "COM5");
}

}  // namespace
}  // namespace wexal
