#include "programs/file_loader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "support/whole_file_loader.h"
#include "support/scripted_messages.h"
#include "support/test_env.h"

namespace wexal {
namespace {

namespace fs = std::filesystem;
using test::ScriptedMessages;

constexpr const char* kFormatQuestion =
    "ファイル形式が違います。\n"
    "そのまま読み込みは可能ですが、データの一部読み込めない可能性が有ります。\n"
    "読み込み開始は「はい(Y)」";

class FileLoaderTest : public ::testing::Test {
protected:
    void Write(const std::string& name, const std::string& bytes) {
        test::WriteFileBytes(folder_ / name, bytes);
    }
    ViewLoad Load(const std::string& name, std::int64_t limit = kViewCharLimit) {
        return LoadFileIntoView(folder_.path().string(), name, messages_, limit);
    }

    test::TempDir folder_;
    ScriptedMessages messages_;
};

TEST_F(FileLoaderTest, TextFileIsTakenWholeWithoutItsNuls) {
    const std::string program = "%\r\nO1000\r\nG01 X1.\r\n%\r\n";
    Write("O1000.NC", program);
    ViewLoad load = Load("O1000.NC");
    EXPECT_EQ(load.text, program);
    EXPECT_EQ(load.size, static_cast<std::int64_t>(program.size()));

    // Fill inside and at the end of a program goes; the program after it stays.
    Write("TAIL.NC", std::string("G01\nX1\0\0M30\n\0", 13));
    load = Load("TAIL.NC");
    EXPECT_EQ(load.text, "G01\nX1M30\n");
    EXPECT_EQ(load.size, 13);
    EXPECT_TRUE(messages_.shown().empty());
}

TEST_F(FileLoaderTest, EmptyFileAsksAndLoadsNothing) {
    Write("EMPTY.NC", "");
    messages_.Answer(true);
    const ViewLoad load = Load("EMPTY.NC");
    EXPECT_EQ(load.text, "");
    EXPECT_EQ(load.size, 0);

    ASSERT_EQ(messages_.shown().size(), 1u);
    const auto& box = messages_.shown()[0];
    EXPECT_EQ(box.kind, "yesno");
    EXPECT_EQ(box.text, kFormatQuestion);
    EXPECT_EQ(box.caption, DefaultCaption(MessageIcon::Warning));
    EXPECT_EQ(box.icon, MessageIcon::Warning);
    EXPECT_FALSE(messages_.unanswered());
}

TEST_F(FileLoaderTest, NulLedFileReadLineByLineAfterYes) {
    const std::string bytes =
        std::string("\0\0\0%\n", 5) + "O1000\n\nG01 X1.\r\n" + std::string(1200, 'A') + "\nM30\n";
    Write("TAPE.NC", bytes);
    messages_.Answer(true);
    const ViewLoad load = Load("TAPE.NC");

    const std::string expected = "%\nO1000\nG01 X1.\n" + std::string(500, 'A') + "\n" +
                                 std::string(500, 'A') + "\n" + std::string(200, 'A') + "\nM30";
    EXPECT_EQ(load.text, expected);
    EXPECT_EQ(load.size, static_cast<std::int64_t>(bytes.size()));
    EXPECT_EQ(messages_.shown().size(), 1u);
}

TEST_F(FileLoaderTest, LastLineAppearsOnceWithOrWithoutLineFeed) {
    Write("LF.NC", std::string("\0\nG01\nM30\n", 10));
    Write("NOLF.NC", std::string("\0\nG01\nM30", 9));
    messages_.Answer(true);
    messages_.Answer(true);
    EXPECT_EQ(Load("LF.NC").text, "G01\nM30");
    EXPECT_EQ(Load("NOLF.NC").text, "G01\nM30");
}

TEST_F(FileLoaderTest, LineByLineDropsTheCarriageReturnOfCrLf) {
    struct Row {
        std::string bytes;
        std::string text;
    };
    const Row rows[] = {
        {std::string("\0%\r\nO1\r\nM30\r\n", 13), "%\nO1\nM30"},
        // A line of exactly one piece before its CR LF leaves no piece holding the CR.
        {std::string("\0\r\n", 3) + std::string(500, 'A') + "\r\nB\r\n",
         std::string(500, 'A') + "\nB"},
        {std::string("\0\r\n", 3) + std::string(501, 'A') + "\r\n", std::string(500, 'A') + "\nA"},
        // A CR that ends no line is data, as in a file read as text.
        {std::string("\0G01\rX1\r\nM30\r", 13), "G01\rX1\nM30\r"},
        {std::string("\0\r\r\n", 4), "\r"},
    };
    for (const Row& row : rows) {
        Write("CRLF.NC", row.bytes);
        messages_.Answer(true);
        const ViewLoad load = Load("CRLF.NC");
        EXPECT_EQ(load.text, row.text);
        EXPECT_EQ(load.size, static_cast<std::int64_t>(row.bytes.size()));
    }
}

TEST_F(FileLoaderTest, LineOfExactlyOnePieceGivesNoEmptyPiece) {
    Write("EXACT.NC", std::string("\0\n", 2) + std::string(500, 'B') + "\nC\n");
    messages_.Answer(true);
    EXPECT_EQ(Load("EXACT.NC").text, std::string(500, 'B') + "\nC");
}

TEST_F(FileLoaderTest, NulLedFileWithNoKeepsTheViewEmptyButReportsTheSize) {
    Write("TAPE.NC", std::string("\0\0%\nO1\n", 7));
    messages_.Answer(false);
    const ViewLoad load = Load("TAPE.NC");
    EXPECT_EQ(load.text, "");
    EXPECT_EQ(load.size, 7);
}

TEST_F(FileLoaderTest, WhatCannotBeOpenedAsAFileLoadsNothingSilently) {
    EXPECT_EQ(Load("MISSING.NC").size, 0);
    fs::create_directory(folder_ / "SUB");
    EXPECT_EQ(Load("SUB").size, 0);
    // Opening a FIFO for reading would wait for a writer forever.
    ASSERT_EQ(mkfifo((folder_ / "PIPE").c_str(), 0600), 0);
    const ViewLoad load = Load("PIPE");
    EXPECT_EQ(load.text, "");
    EXPECT_EQ(load.size, 0);
    EXPECT_TRUE(messages_.shown().empty());
}

TEST_F(FileLoaderTest, FileBeyondTheViewLimitIsRefusedWithAMessage) {
    Write("TEN.NC", "0123456789");
    EXPECT_EQ(Load("TEN.NC", 10).text, "0123456789");
    Write("ELEVEN.NC", "0123456789A");
    const ViewLoad refused = Load("ELEVEN.NC", 10);
    EXPECT_EQ(refused.text, "");
    EXPECT_EQ(refused.size, 0);

    // A sparse file of one byte over the real limit costs no disk space.
    const fs::path big = folder_ / "BIG.NC";
    const int fd = open(big.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, kViewCharLimit + 1), 0);
    close(fd);
    EXPECT_EQ(Load("BIG.NC").size, 0);

    ASSERT_EQ(messages_.shown().size(), 2u);
    for (const auto& box : messages_.shown()) {
        EXPECT_EQ(box.kind, "tell");
        EXPECT_EQ(box.icon, MessageIcon::Error);
    }
    EXPECT_EQ(messages_.shown()[0].text,
              "ファイルが大きすぎるため読み込めません。\n" + (folder_ / "ELEVEN.NC").string());
    EXPECT_EQ(messages_.shown()[1].text,
              "ファイルが大きすぎるため読み込めません。\n" + big.string());
}

TEST_F(FileLoaderTest, CreateFolderPathCreatesEveryMissingLevel) {
    const fs::path deep = folder_ / "A" / "B" / "C";
    EXPECT_TRUE(CreateFolderPath(deep.string()));
    EXPECT_TRUE(fs::is_directory(deep));

    const fs::path withSeparator = folder_ / "X" / "Y";
    EXPECT_TRUE(CreateFolderPath(withSeparator.string() + "/"));
    EXPECT_TRUE(fs::is_directory(withSeparator));
    EXPECT_TRUE(CreateFolderPath(deep.string()));

    Write("FILE", "x");
    EXPECT_TRUE(CreateFolderPath((folder_ / "FILE" / "SUB").string()));
    EXPECT_FALSE(fs::exists(folder_ / "FILE" / "SUB"));
}

TEST_F(FileLoaderTest, CreateFolderPathRefusesWhatIsNoAbsolutePath) {
    const fs::path old = fs::current_path();
    fs::current_path(folder_.path());
    for (const char* path : {"C:", "C:\\", "D:\\NCDATA", "NC/DATA/"}) {
        int error = -1;
        EXPECT_FALSE(CreateFolderPath(path, &error)) << path;
        EXPECT_EQ(error, 0) << path;
    }
    fs::current_path(old);
    EXPECT_TRUE(fs::is_empty(folder_.path()));
}

TEST_F(FileLoaderTest, CreateFolderPathGivesTheReasonOfAFailure) {
    Write("FILE", "x");
    int error = 0;
    EXPECT_TRUE(CreateFolderPath((folder_ / "FILE" / "SUB" / "NC").string(), &error));
    EXPECT_EQ(error, ENOTDIR);
    EXPECT_TRUE(CreateFolderPath((folder_ / "FILE").string(), &error));
    EXPECT_EQ(error, ENOTDIR);
    EXPECT_TRUE(CreateFolderPath((folder_ / "OK" / "NC").string(), &error));
    EXPECT_EQ(error, 0);
    EXPECT_TRUE(fs::is_directory(folder_ / "OK" / "NC"));
}

TEST_F(FileLoaderTest, CreateFolderPathOfTheRootDoesNothing) {
    EXPECT_FALSE(CreateFolderPath("/"));
    EXPECT_FALSE(CreateFolderPath("//"));
    EXPECT_FALSE(CreateFolderPath(""));
}

}  // namespace
}  // namespace wexal
