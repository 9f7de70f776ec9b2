#include "config/startup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "files/key_dispatch.h"
#include "support/scripted_messages.h"
#include "support/test_env.h"

namespace wexal {
namespace {

TEST(FolderCheck, RootAndExistingFoldersAskNothing) {
    test::TempDir dir;
    for (const std::string& folder : {std::string("/"), dir.path().string()}) {
        Settings settings;
        AppState state;
        test::ScriptedMessages messages;
        settings.DirPath = folder;
        RunFolderCheck(settings, state, messages);
        EXPECT_TRUE(messages.shown().empty()) << folder;
        EXPECT_EQ(settings.DirPath, folder);
        EXPECT_EQ(state.CurrentFolder, folder);
    }
}

TEST(FolderCheck, EmptyOrWindowsDriveFolderTakesTheDefault) {
    test::TempDir home;
    test::ScopedEnv homeEnv("HOME", home.path().c_str());
    Settings settings;
    AppState state;
    test::ScriptedMessages messages;
    for (const char* stored : {"", "C:", "c:", "c:\\", "D:", "A:/"}) {
        settings.DirPath = stored;
        EXPECT_EQ(RunFolderCheck(settings, state, messages).message, std::nullopt) << stored;
        EXPECT_TRUE(messages.shown().empty()) << stored;
        EXPECT_EQ(settings.DirPath, home.path().string()) << stored;
        EXPECT_EQ(state.CurrentFolder, home.path().string()) << stored;
    }
}

// Runs in a scratch working folder, so that a folder made relative to the
// working folder would show.
class ScopedWorkingFolder {
public:
    explicit ScopedWorkingFolder(const std::filesystem::path& folder)
        : old_(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~ScopedWorkingFolder() { std::filesystem::current_path(old_); }
    ScopedWorkingFolder(const ScopedWorkingFolder&) = delete;
    ScopedWorkingFolder& operator=(const ScopedWorkingFolder&) = delete;

private:
    std::filesystem::path old_;
};

TEST(FolderCheck, FolderThatCannotBeHadFallsBackToHomeAndSaysSo) {
    test::TempDir home, work, scratch;
    test::ScopedEnv homeEnv("HOME", home.path().c_str());
    const ScopedWorkingFolder inScratch(scratch.path());
    test::WriteFileBytes(work / "FILE", "x");
    const std::string homeText = "ホームフォルダーを使います。";
    const std::string underFile = (work / "FILE" / "NC").string();
    const std::string missing = (work / "A" / "B").string();

    struct Row {
        std::string stored;
        std::optional<bool> answer;  // the create question, when it must come
        std::string folder;          // DirPath afterwards
        std::optional<std::string> message;
    };
    const std::string homeFolder = home.path().string();
    const std::vector<Row> rows = {
        {"D:\\NCDATA",
         {},
         homeFolder,
         "ディレクトリ「D:\\NCDATA」はこのＰＣでは使えません。" + homeText},
        {"C:\\NC\\DATA",
         {},
         homeFolder,
         "ディレクトリ「C:\\NC\\DATA」はこのＰＣでは使えません。" + homeText},
        {"NC/DATA", {}, homeFolder, "ディレクトリ「NC/DATA」はこのＰＣでは使えません。" + homeText},
        // Yes, but a file stands where a folder must go.
        {underFile, true, homeFolder,
         "ディレクトリ「" + underFile + "」を作成できません（フォルダーではありません）。" +
             homeText},
        {(work / "FILE").string(), true, homeFolder,
         "ディレクトリ「" + (work / "FILE").string() +
             "」を作成できません（フォルダーではありません）。" + homeText},
        {missing, false, homeFolder, std::nullopt},
        {missing, true, missing, std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stored);
        Settings settings;
        AppState state;
        test::ScriptedMessages messages;
        if (row.answer) messages.Answer(*row.answer);
        settings.DirPath = row.stored;
        const FolderCheckResult result = RunFolderCheck(settings, state, messages);
        EXPECT_EQ(result.message, row.message);
        EXPECT_EQ(settings.DirPath, row.folder);
        EXPECT_EQ(state.CurrentFolder, row.folder);
        EXPECT_EQ(messages.shown().size(), row.answer ? 1u : 0u);
        EXPECT_FALSE(messages.unanswered());
    }
    EXPECT_TRUE(std::filesystem::is_directory(missing));
    EXPECT_TRUE(std::filesystem::is_empty(scratch.path()));
}

TEST(FolderCheck, FolderWithoutWritePermissionFallsBackToHome) {
    if (geteuid() == 0) GTEST_SKIP() << "root may create folders in a read-only folder";
    test::TempDir home, work;
    test::ScopedEnv homeEnv("HOME", home.path().c_str());
    std::filesystem::permissions(
        work.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    Settings settings;
    AppState state;
    test::ScriptedMessages messages;
    messages.Answer(true);
    settings.DirPath = (work / "NC").string();
    const FolderCheckResult result = RunFolderCheck(settings, state, messages);
    std::filesystem::permissions(work.path(), std::filesystem::perms::owner_all);
    EXPECT_EQ(result.message,
              "ディレクトリ「" + (work / "NC").string() +
                  "」を作成できません（アクセス権がありません）。ホームフォルダーを使います。");
    EXPECT_EQ(settings.DirPath, home.path().string());
}

TEST(PortCheck, UnusablePortsNameThemselves) {
    test::TempDir program;
    test::PseudoTerminal pty;
    ASSERT_TRUE(pty.ok());
    test::ScopedEnv com2("WEXAL_COM2", pty.slave().c_str());
    Settings settings;

    settings.Port = "COM2";
    EXPECT_EQ(PortCheckMessage(settings, program.path()), std::nullopt);

    // A port without a number has nothing to probe.
    settings.Port = "COMX";
    EXPECT_EQ(
        PortCheckMessage(settings, program.path()),
        std::optional<std::string>("COMXのポートが使用不可です。\n通信設定をおこなってください。"));

    // A port reserved for a modem is never the NC's port.
    settings.Port = "COM2";
    settings.ModemePort1 = "com2";
    EXPECT_TRUE(PortCheckMessage(settings, program.path()).has_value());
}

TEST(ListColumns, OutOfRangeBecomesFive) {
    Settings settings;
    for (int stored : {-1, 0, 6, 9}) {
        settings.ListColumn = stored;
        ListLayout layout = ApplyListColumnRule(settings);
        EXPECT_EQ(layout.columns, 5);
        EXPECT_EQ(layout.width, 728);
        EXPECT_FALSE(layout.letterHelpVisible);
        EXPECT_EQ(settings.ListColumn, 5);
    }
    settings.ListColumn = 1;
    EXPECT_EQ(ApplyListColumnRule(settings).width, 616);
    EXPECT_EQ(settings.ListColumn, 1);
}

TEST(KeyDispatch, ShiftChangesTheFunctionKeys) {
    EXPECT_EQ(MapListKey(ListKey::F3, 0, false), ListCommand::Delete);
    EXPECT_EQ(MapListKey(ListKey::F3, 0, true), ListCommand::Move);
    EXPECT_EQ(MapListKey(ListKey::F4, 0, true), ListCommand::Join);
    EXPECT_EQ(MapListKey(ListKey::F5, 0, true), ListCommand::FolderBrowse);
    EXPECT_EQ(MapListKey(ListKey::F6, 0, true), ListCommand::None);
    EXPECT_EQ(MapListKey(ListKey::F7, 0, true), ListCommand::None);
    EXPECT_EQ(MapListKey(ListKey::F8, 0, true), ListCommand::TransferLog);
    EXPECT_EQ(MapListKey(ListKey::F9, 0, false), ListCommand::OpenAssociated);
    EXPECT_EQ(MapListKey(ListKey::F9, 0, true), ListCommand::Split);
    EXPECT_EQ(MapListKey(ListKey::F10, 0, true), ListCommand::Exit);
    EXPECT_EQ(MapListKey(ListKey::Letter, 'B', false), ListCommand::Split);
    EXPECT_EQ(MapListKey(ListKey::Letter, 'L', false), ListCommand::DriveMenu);
    EXPECT_EQ(MapListKey(ListKey::Letter, 'Q', false), ListCommand::None);
}

TEST(KeyDispatch, HelpLineClicksActLikeTheirKeys) {
    EXPECT_EQ(MapHelpLineClick(0, 5).key, ListKey::F1);
    EXPECT_EQ(MapHelpLineClick(144, 16).key, ListKey::F1);
    EXPECT_EQ(MapHelpLineClick(145, 16).key, ListKey::F2);
    EXPECT_EQ(MapHelpLineClick(600, 5).key, ListKey::F5);
    EXPECT_EQ(MapHelpLineClick(300, 17).key, ListKey::F8);
    HelpLineHit close = MapHelpLineClick(600, 20);
    EXPECT_TRUE(close.closeWindow);
    EXPECT_FALSE(MapHelpLineClick(549, 20).closeWindow);
    EXPECT_EQ(MapHelpLineClick(746, 5).key, ListKey::Other);
}

}  // namespace
}  // namespace wexal
