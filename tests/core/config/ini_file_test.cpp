#include "config/ini_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

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

TEST(IniFile, RefusedNamesChangeNothing) {
    const std::string text = "[Setting]\nPort=COM1\n";
    IniFile ini = IniFile::Parse(text);
    EXPECT_FALSE(ini.Write("Setting", "", "x"));
    EXPECT_FALSE(ini.Write("Setting", "a=b", "x"));
    EXPECT_FALSE(ini.Write("Setting", ";Port", "x"));
    EXPECT_FALSE(ini.Write("Setting", "Po\nrt", "x"));
    EXPECT_FALSE(ini.Write("Set]ting", "Port", "x"));
    EXPECT_EQ(ini.Serialize(), text);

    IniFile utf16 = IniFile::Parse(std::string("\xFF\xFE[\0S\0]\0", 8));
    const std::string before = utf16.Serialize();
    EXPECT_FALSE(utf16.Write("S", "K\xFF", "x"));  // a UTF-16 file cannot hold the name
    EXPECT_EQ(utf16.Serialize(), before);
}

// Issue 5, item 8: "〜" came back as "～", "ü" and emoji could not be saved,
// folder names that are not UTF-8 were lost.
TEST(IniFile, EveryValueReadsBackExactlyAndCp932ValuesAreWrittenAsBefore) {
    const std::string marker(IniFile::kEscapeMarker);
    struct Case {
        std::string value;
        std::string stored;  // what follows "Key=" in a cp932 file
    };
    const std::vector<Case> cases = {
        {"COM1", "COM1"},
        {"C:\\NC\\100%", "C:\\NC\\100%"},
        {"ﾌｧｲﾙ", "\xCC\xA7\xB2\xD9"},
        {"/home/nc/日本語", "/home/nc/\x93\xFA\x96\x7B\x8C\xEA"},
        {"", ""},
        {"〜", marker + "%E3%80%9C"},  // cp932 0x8160 reads back as U+FF5E
        {"/home/nc/日本語〜", marker + "/home/nc/\x93\xFA\x96\x7B\x8C\xEA%E3%80%9C"},
        {"/home/Müller", marker + "/home/M%C3%BCller"},
        {"😀", marker + "%F0%9F%98%80"},
        {"\xff\xfe/abc", marker + "%FF%FE/abc"},
        {"¥", marker + "%C2%A5"},  // cp932 maps it to "\" one way only
        {marker, marker + "%25u8%25"},
        {marker + "x", marker + "%25u8%25x"},
        {" two  blanks ", marker + " two  blanks%20"},
        {"\tM30", marker + "%09M30"},
        {"line\r\nbreak", marker + "line%0D%0Abreak"},
        {std::string("nul\0", 4), std::string("nul\0", 4)},
    };
    for (const Case& c : cases) {
        IniFile ini = IniFile::Parse("[Setting]\nKey=old\n");
        ASSERT_TRUE(ini.Write("Setting", "Key", c.value)) << c.value;
        EXPECT_EQ(ini.Serialize(), "[Setting]\nKey=" + c.stored + "\n") << c.value;
        EXPECT_EQ(ini.Read("Setting", "Key"), c.value) << c.value;
        EXPECT_EQ(IniFile::Parse(ini.Serialize()).Read("Setting", "Key"), c.value) << c.value;
    }

    // The same in files of the other encodings, which hold all of Unicode.
    const std::string others[] = {"\xEF\xBB\xBF[S]\r\n", std::string("\xFF\xFE[\0S\0]\0", 8),
                                  std::string("\xFE\xFF\0[\0S\0]", 8)};
    for (const std::string& start : others) {
        for (const Case& c : cases) {
            IniFile ini = IniFile::Parse(start);
            ASSERT_TRUE(ini.Write("S", "Key", c.value)) << c.value;
            EXPECT_EQ(IniFile::Parse(ini.Serialize()).Read("S", "Key"), c.value) << c.value;
        }
    }

    // A stored form that is not one reads as missing, as invalid cp932 does.
    const IniFile bad =
        IniFile::Parse("[S]\na=" + marker + "%4\nb=" + marker + "%G0\nc=" + marker + "%41%42\n");
    EXPECT_EQ(bad.Read("S", "a"), std::nullopt);
    EXPECT_EQ(bad.Read("S", "b"), std::nullopt);
    EXPECT_EQ(bad.Read("S", "c"), "AB");
}

// Issue 5, item 9: a byte-order mark hid the first section, and a UTF-16
// file got ASCII lines with bare CR endings appended.
TEST(IniFile, ByteOrderMarksAndUtf16FilesKeepTheirEncoding) {
    // UTF-8 with its mark: the text is UTF-8, the mark stays.
    IniFile utf8 =
        IniFile::Parse("\xEF\xBB\xBF[Main]\r\nLeft=20\r\n[Setting]\r\nDirPath=/nc/金型\r\n");
    EXPECT_EQ(utf8.encoding(), IniFile::Encoding::Utf8Bom);
    EXPECT_EQ(utf8.Read("Main", "Left"), "20");
    EXPECT_EQ(utf8.Read("Setting", "DirPath"), "/nc/金型");
    ASSERT_TRUE(utf8.Write("Main", "Top", "30"));
    ASSERT_TRUE(utf8.Write("Setting", "DirPath", "/nc/金型〜"));
    ASSERT_TRUE(utf8.Write("Options", "op1", "Y"));
    EXPECT_EQ(utf8.Serialize(),
              "\xEF\xBB\xBF[Main]\r\nLeft=20\r\nTop=30\r\n[Setting]\r\nDirPath=/nc/金型〜\r\n"
              "[Options]\r\nop1=Y\r\n");

    // UTF-16 in both byte orders: read, edited and written as UTF-16 only.
    auto utf16 = [](std::u16string_view text, bool bigEndian) {
        std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
        for (char16_t unit : text) {
            const char high = static_cast<char>(unit >> 8);
            const char low = static_cast<char>(unit & 0xFF);
            bytes += bigEndian ? high : low;
            bytes += bigEndian ? low : high;
        }
        return bytes;
    };
    for (bool bigEndian : {false, true}) {
        const std::string original =
            utf16(u"; 設定\r\n[Setting]\r\nPort=COM2\r\nDirPath=/nc/金型\r\n", bigEndian);
        IniFile ini = IniFile::Parse(original);
        EXPECT_EQ(ini.Serialize(), original);
        EXPECT_EQ(ini.Read("Setting", "Port"), "COM2");
        EXPECT_EQ(ini.Read("Setting", "DirPath"), "/nc/金型");
        ASSERT_TRUE(ini.Write("Setting", "Port", "COM3"));
        ASSERT_TRUE(ini.Write("Setting", "Mask", "*.ＮＣ"));
        ASSERT_TRUE(ini.Write("Main", "Top", "10"));
        ASSERT_TRUE(ini.Write("Main", "Name", "\xFF"));
        EXPECT_EQ(ini.Serialize(),
                  utf16(u"; 設定\r\n[Setting]\r\nPort=COM3\r\nDirPath=/nc/金型\r\nMask=*.ＮＣ\r\n"
                        u"[Main]\r\nTop=10\r\nName=%u8%%FF\r\n",
                        bigEndian))
            << bigEndian;
    }

    // Odd bytes and unpaired surrogates survive an unedited parse.
    const std::string odd("\xFF\xFE[\0S\0]\0\n\0\x00\xD8k\0=\0\x01", 15);
    EXPECT_EQ(IniFile::Parse(odd).Serialize(), odd);
    IniFile edited = IniFile::Parse(odd);
    ASSERT_TRUE(edited.Write("S", "x", "1"));
    EXPECT_EQ(IniFile::Parse(edited.Serialize()).Read("S", "x"), "1");
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

TEST_F(IniFileDiskTest, LoadTellsAMissingFileFromOneThatCannotBeRead) {
    Status status = Status::Error("not set");
    EXPECT_EQ(IniFile::Load(dir_ / "missing.ini", &status).Serialize(), "");
    EXPECT_TRUE(status);
    EXPECT_EQ(IniFile::Load(dir_ / "missing" / "below.ini", &status).Serialize(), "");
    EXPECT_TRUE(status);

    EXPECT_EQ(IniFile::Load(dir_.path(), &status).Serialize(), "");
    EXPECT_FALSE(status);
    EXPECT_EQ(status.message,
              "ファイルを読み込めません。\n" + dir_.path().string() + "\nフォルダーです。");

    const fs::path huge = dir_ / "huge.ini";
    test::WriteFileBytes(huge, "[Setting]\nPort=COM5\n");
    fs::resize_file(huge, IniFile::kMaxFileSize + 1);  // sparse, costs no disk
    EXPECT_EQ(IniFile::Load(huge, &status).Read("Setting", "Port"), std::nullopt);
    EXPECT_FALSE(status);
    EXPECT_NE(status.message.find("ファイルが大きすぎます。"), std::string::npos);

    fs::resize_file(huge, 64);
    EXPECT_EQ(IniFile::Load(huge, &status).Read("Setting", "Port"), "COM5");
    EXPECT_TRUE(status);
}

}  // namespace
}  // namespace wexal
