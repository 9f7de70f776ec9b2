#include "config/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/scripted_messages.h"
#include "support/test_env.h"

namespace wexal {
namespace {

using test::ScriptedMessages;

struct Args {
    Settings settings;
    AppState state;
    ScriptedMessages messages;
};

TEST(CommandLineTest, SendTakesAbsoluteAndRelativeNames) {
    test::TempDir dir;
    std::filesystem::create_directories(dir / "nc");
    test::WriteFileBytes(dir / "nc" / "O1000.NC", "O1000\r\n");
    test::WriteFileBytes(dir / "nc" / "PLAIN", "O1\r\n");
    const std::string nc = (dir / "nc").string();
    struct Row {
        std::string arg;
        std::string file;
        std::string mask;
        const char* sendOnStart;
    };
    const Row rows[] = {
        {"S=" + nc + "/O1000.NC", nc + "/O1000.NC", "*.NC", "Y"},
        {"S=O1000.NC", nc + "/O1000.NC", "*.NC", "Y"},
        {"s=O1000.NC", nc + "/O1000.NC", "*.NC", "Y"},
        {"S=PLAIN", nc + "/PLAIN", "*", "Y"},
        {"S=MISSING.TXT", nc + "/MISSING.TXT", "*.TXT", "N"},
    };
    for (const Row& row : rows) {
        Args run;
        run.settings.DirPath = nc;
        run.settings.Mask = "*.XX";
        CollectArguments({row.arg}, run.settings, run.state, run.messages);
        EXPECT_EQ(run.state.CommandLineMode, "Y") << row.arg;
        EXPECT_EQ(run.state.SendOnStartFile, row.file) << row.arg;
        EXPECT_EQ(run.state.SendOnStart, row.sendOnStart) << row.arg;
        EXPECT_EQ(run.settings.DirPath, nc) << row.arg;
        EXPECT_EQ(run.settings.Mask, row.mask) << row.arg;
        if (row.sendOnStart[0] == 'Y') {
            EXPECT_TRUE(run.messages.shown().empty()) << row.arg;
        } else {
            ASSERT_EQ(run.messages.shown().size(), 1u) << row.arg;
            EXPECT_EQ(run.messages.shown()[0].text, "送信データ\n" + row.file + "が見つかりません。");
            EXPECT_EQ(run.messages.shown()[0].icon, MessageIcon::Error);
            EXPECT_EQ(run.messages.shown()[0].kind, "yes");
            EXPECT_EQ(run.messages.shown()[0].caption, "確認");
        }
    }
}

TEST(CommandLineTest, SendTakesTheFolderOfTheFileForThisRun) {
    test::TempDir dir;
    test::WriteFileBytes(dir / "A.TXT", "O1\r\n");
    Args run;
    run.settings.DirPath = "/elsewhere";
    CollectArguments({"S=" + (dir / "A.TXT").string(), "END"}, run.settings, run.state,
                     run.messages);
    EXPECT_EQ(run.settings.DirPath, dir.path().string());
    EXPECT_EQ(run.settings.Mask, "*.TXT");
    EXPECT_EQ(run.state.SendOnStart, "Y");
    EXPECT_TRUE(run.state.ExitAfterTransfer);
}

TEST(CommandLineTest, ArgumentFormsKeepTheirOrder) {
    const auto none = [](const std::string&) { return PathKind::Missing; };
    struct Row {
        const char* arg;
        ArgumentForm form;
    };
    const Row rows[] = {
        {"END", ArgumentForm::End},         {"end", ArgumentForm::End},
        {"/END", ArgumentForm::End},        {"ENDS", ArgumentForm::End},
        {"THE END", ArgumentForm::None},    {":END", ArgumentForm::Folder},
        {",END", ArgumentForm::LineParameters},
        {"S=END", ArgumentForm::Send},      {"S=C:\\NC\\A.NC", ArgumentForm::Send},
        {"R=O2000.NC", ArgumentForm::Receive}, {"com2", ArgumentForm::Port},
        {"*.COM", ArgumentForm::Port},      {"*.TXT", ArgumentForm::Pattern},
        {"9600,7,E,2", ArgumentForm::LineParameters}, {"D:\\NEW|FOLDER", ArgumentForm::Folder},
        // Paths hold "/" here: a folder, or nothing yet, is a folder argument.
        {"/home/op/new|folder", ArgumentForm::Folder}, {"~/nc", ArgumentForm::Folder},
        // A keyword with its list slash is no path.
        {"/COM12", ArgumentForm::None},     {"/COM2", ArgumentForm::Port},
        {"/*.NC", ArgumentForm::Pattern},   {"/9600,8,N,1", ArgumentForm::LineParameters},
        {"S=", ArgumentForm::Send},         {"/", ArgumentForm::Folder},
        // A path whose first part only begins like a keyword is a path.
        {"/common/nc", ArgumentForm::Folder}, {"/end_mills", ArgumentForm::Folder},
        {"/comx/nc", ArgumentForm::Folder},   {"/COM2/nc", ArgumentForm::Folder},
        {"/*.NC/x", ArgumentForm::Folder},
    };
    for (const Row& row : rows) EXPECT_EQ(ClassifyArgument(row.arg, none), row.form) << row.arg;
    const auto file = [](const std::string&) { return PathKind::File; };
    EXPECT_EQ(ClassifyArgument("/home/op/PRG/A.NC", file), ArgumentForm::Import);
    // A FIFO or a device is neither a folder nor a file to import.
    const auto fifo = [](const std::string&) { return PathKind::Other; };
    EXPECT_EQ(ClassifyArgument("/tmp/pipe", fifo), ArgumentForm::None);
}

TEST(CommandLineTest, EveryFormActsForThisRun) {
    test::TempDir dir;
    std::filesystem::create_directories(dir / "in");
    test::WriteFileBytes(dir / "in" / "O5.TXT", "O5\r\n");
    test::WriteFileBytes(dir / "O2000.NC", "old");
    const std::string base = dir.path().string();
    Args run;
    run.messages.Answer(false);  // R= of an existing file: "No"
    CollectArguments({base + "/new|folder/", "com2", "*.txt", "9600,7,e,2", base + "/in/O5.TXT",
                      "/COM12", "END"},
                     run.settings, run.state, run.messages);
    EXPECT_EQ(run.state.CurrentFolder, base + "/new folder");
    EXPECT_EQ(run.settings.DirPath, base + "/new folder");
    EXPECT_EQ(run.settings.Port, "COM2");  // "/COM12" as a later argument is ignored
    EXPECT_EQ(run.settings.Speed, "9600,7,E,2");
    EXPECT_EQ(run.settings.Mask, "*.TXT");  // from the import, after the pattern
    EXPECT_TRUE(run.state.ExitAfterTransfer);
    // The import went into the folder of this run (which does not exist yet:
    // nothing is created for it).
    EXPECT_FALSE(std::filesystem::exists(dir / "new folder"));

    Args list;
    list.settings.DirPath = base;
    list.messages.Answer(false);
    CollectArguments({"/COM12 /R=O2000.NC /END"}, list.settings, list.state, list.messages);
    EXPECT_EQ(list.settings.Port, "COM12");
    ASSERT_EQ(list.messages.shown().size(), 1u);
    EXPECT_EQ(list.messages.shown()[0].text,
              "すでに" + base + "/O2000.NC" + "が有ります。\n上書きしますか？");
    EXPECT_EQ(list.state.ReceiveOnStart, "N");
    EXPECT_EQ(test::ReadFileBytes(dir / "O2000.NC"), "old");

    // A folder given as R= can take no program: said, and nothing starts.
    Args folder;
    CollectArguments({"R=" + base + "/in"}, folder.settings, folder.state, folder.messages);
    EXPECT_EQ(folder.state.ReceiveOnStart, "N");
    ASSERT_EQ(folder.messages.shown().size(), 1u);
    EXPECT_EQ(folder.messages.shown()[0].icon, MessageIcon::Error);
}

TEST(CommandLineTest, ImportCopiesIntoTheFolderOfThisRun) {
    test::TempDir dir;
    std::filesystem::create_directories(dir / "nc");
    test::WriteFileBytes(dir / "O7.NC", "O7\r\nM30\r\n");
    test::WriteFileBytes(dir / "nc" / "O7.NC", "older");
    Args run;
    CollectArguments({(dir / "nc").string(), (dir / "O7.NC").string()}, run.settings, run.state,
                     run.messages);
    EXPECT_EQ(test::ReadFileBytes(dir / "nc" / "O7.NC"), "O7\r\nM30\r\n");
    EXPECT_EQ(run.settings.Mask, "*.NC");
}

TEST(CommandLineTest, SlashListSplitsWherePartsBegin) {
    struct Row {
        std::vector<std::string> args;
        std::vector<std::string> parts;
    };
    const Row rows[] = {
        {{"/S=D:\\MY PRG\\A.NC /COM2 /END"}, {"S=D:\\MY PRG\\A.NC", "COM2", "END"}},
        {{"/S=D:\\MY", "PRG\\A.NC", "/COM2", "/END"}, {"S=D:\\MY PRG\\A.NC", "COM2", "END"}},
        {{"/S=/home/op/my nc/O1000.NC", "/END"}, {"S=/home/op/my nc/O1000.NC", "END"}},
    };
    for (const Row& row : rows) EXPECT_EQ(SplitSlashList(row.args), row.parts) << row.args[0];

    // A list needs a keyword after its first "/".
    test::TempDir dir;
    test::WriteFileBytes(dir / "O1.NC", "O1\r\n");
    Args run;
    run.settings.DirPath = dir.path().string();
    CollectArguments({"/S=O1.NC", "/END"}, run.settings, run.state, run.messages);
    EXPECT_EQ(run.state.SendOnStart, "Y");
    EXPECT_TRUE(run.state.ExitAfterTransfer);
}

TEST(CommandLineTest, NoArgumentsLeaveCommandLineModeOff) {
    Args run;
    run.state.SendOnStart = "Y";
    CollectArguments({}, run.settings, run.state, run.messages);
    EXPECT_EQ(run.state.CommandLineMode, "N");
    EXPECT_EQ(run.state.SendOnStart, "N");
    EXPECT_FALSE(run.state.ExitAfterTransfer);
}

}  // namespace
}  // namespace wexal
