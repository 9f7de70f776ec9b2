#include "files/input_line.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/scripted_messages.h"
#include "support/test_env.h"

namespace wexal {
namespace {

namespace fs = std::filesystem;
using test::ScriptedMessages;

TEST(CharCheck, ForbiddenSetsOfEveryMode) {
    Settings all;
    all.AllFiles = "Y";
    Settings masked;
    masked.AllFiles = "N";
    const std::string fileAll = "この文字はファイル名に使えません。\n/:,;*?<>|";
    const std::string fileNoDot = "この文字はファイル名に使えません。\n/:,;*?<>|.";
    const std::string folder = "この文字はディレクトリ名に使えません。\n/,;*?<>|";
    const std::string extension = "この文字は拡張子に使えません。\n/:,;?<>|";
    struct Row {
        InputMode mode;
        const Settings* settings;
        char32_t c;
        std::string refusal;  // empty: the character is taken
    };
    const Row rows[] = {
        {InputMode::ReceiveName, &all, U'*', fileAll},
        {InputMode::ReceiveName, &all, U'.', ""},
        {InputMode::ReceiveName, &masked, U'.', fileNoDot},
        {InputMode::CopyName, &masked, U'|', fileNoDot},
        {InputMode::CopyName, &all, U':', fileAll},
        {InputMode::CopyName, &all, U'A', ""},
        {InputMode::Folder, &all, U':', ""},
        {InputMode::Folder, &all, U'\\', ""},
        {InputMode::Folder, &all, U'/', ""},
        {InputMode::Folder, &all, U'?', folder},
        {InputMode::Extension, &all, U'*', extension},
        {InputMode::Extension, &all, U':', extension},
        {InputMode::Extension, &all, U'.', ""},
        {InputMode::Extension, &all, U'ｱ', ""},
        {InputMode::None, &all, U'*', ""},
        {InputMode::Folder, &all, U'\b', ""},
    };
    for (const Row& row : rows) {
        const auto box = RefusedInputLineChar(row.mode, *row.settings, row.c);
        const std::string where = std::string("mode ") + static_cast<char>(row.mode) + " char " +
                                  std::to_string(static_cast<unsigned>(row.c));
        if (row.refusal.empty()) {
            EXPECT_FALSE(box.has_value()) << where;
        } else {
            ASSERT_TRUE(box.has_value()) << where;
            EXPECT_EQ(*box, (BoxMessage{row.refusal, "確認", MessageIcon::Error})) << where;
        }
    }
}

TEST(CharCheck, PermittedMeansNotInTheSet) {
    EXPECT_FALSE(IsCharPermitted(U'<', "/:,;*?<>|"));
    EXPECT_TRUE(IsCharPermitted(U'a', "/:,;*?<>|"));
    EXPECT_FALSE(IsCharPermitted(U'ﾌ', "ｱﾌ"));
    EXPECT_TRUE(IsCharPermitted(U'ｱ', "ﾌ"));
    EXPECT_TRUE(IsCharPermitted(U'\0', "abc"));
    // The destination folder boxes take ":" and "/" although their message names them.
    EXPECT_FALSE(RefusedChar(kDestinationFolderRule, U':').has_value());
    EXPECT_FALSE(RefusedChar(kDestinationFolderRule, U'/').has_value());
    const auto dot = RefusedChar(kDestinationFolderRule, U'.');
    ASSERT_TRUE(dot.has_value());
    EXPECT_EQ(dot->text, "この文字はフォルダー名に使えません。\n/:,;*?<>|.");
}

TEST(InputLineOpening, TextsOfF5F6AndTheBrowser) {
    Settings settings;
    settings.DirPath = "/home/nc";
    settings.Mask = "*.NC";
    const InputLineOpening f5 = OpenFolderEntry(settings);
    EXPECT_EQ(f5.mode, InputMode::Folder);
    EXPECT_EQ(f5.messageLine, "現ﾃﾞｨﾚｸﾄﾘ /home/nc -->>>変更後 ");
    EXPECT_EQ(f5.text, "/home/nc");
    const InputLineOpening f6 = OpenExtensionEntry(settings);
    EXPECT_EQ(f6.mode, InputMode::Extension);
    EXPECT_EQ(f6.messageLine, "拡張子変更 *.NC -->>>");
    EXPECT_FALSE(f6.text.has_value());

    EXPECT_EQ(FolderBrowserCaption(settings), "現ﾃﾞｨﾚｸﾄﾘ /home/nc");
    EXPECT_EQ(OpenFolderEntryFromBrowser(settings, "/mnt/usb").text, "/mnt/usb");
    EXPECT_EQ(OpenFolderEntryFromBrowser(settings, std::nullopt).text, "/home/nc");
    EXPECT_EQ(OpenFolderEntryFromBrowser(settings, "").text, "/home/nc");
    EXPECT_EQ(OpenFolderEntryFromBrowser(settings, "/mnt/usb").mode, InputMode::Folder);
}

class InputLineTest : public ::testing::Test {
protected:
    InputLineOutcome Enter(InputMode mode, const std::string& text) {
        return InputLineEnter(mode, text, settings_, state_, messages_);
    }
    static void ExpectClosedAfterChange(const InputLineOutcome& outcome) {
        EXPECT_TRUE(outcome.clearText);
        EXPECT_TRUE(outcome.refreshList);
        EXPECT_TRUE(outcome.closeLine);
        ASSERT_TRUE(outcome.message.has_value());
        EXPECT_EQ(outcome.message->text, "");
        EXPECT_FALSE(outcome.message->red);
    }
    static void ExpectStaysOpen(const InputLineOutcome& outcome) {
        EXPECT_TRUE(outcome.clearText);
        EXPECT_FALSE(outcome.refreshList);
        EXPECT_FALSE(outcome.closeLine);
        EXPECT_FALSE(outcome.message.has_value());
    }

    test::TempDir root_;
    Settings settings_;
    AppState state_;
    ScriptedMessages messages_;
};

TEST_F(InputLineTest, ExtensionEntryFormsTheMask) {
    for (const char* typed : {"NC", ".NC", "*.NC"}) {
        settings_.Mask = "*.MIN";
        ExpectClosedAfterChange(Enter(InputMode::Extension, typed));
        EXPECT_EQ(settings_.Mask, "*.NC") << typed;
    }
    ExpectClosedAfterChange(Enter(InputMode::Extension, "tap"));
    EXPECT_EQ(settings_.Mask, "*.tap");
    EXPECT_TRUE(messages_.shown().empty());
}

TEST_F(InputLineTest, ExtensionEntryRefusesEveryFile) {
    settings_.Mask = "*.NC";
    for (const char* typed : {"*", "*.*", ".*", "*."}) {
        const std::size_t before = messages_.shown().size();
        ExpectStaysOpen(Enter(InputMode::Extension, typed));
        ASSERT_EQ(messages_.shown().size(), before + 1) << typed;
        const auto& box = messages_.shown().back();
        EXPECT_EQ(box.kind, "tell");
        EXPECT_EQ(box.text, std::string(typed) + "の拡張子設定は出来ません!!");
        EXPECT_EQ(box.icon, MessageIcon::None);
        EXPECT_EQ(settings_.Mask, "*.NC") << typed;
    }
}

TEST_F(InputLineTest, FolderEntryTakesAnExistingFolderWithOrWithoutClosingSeparator) {
    fs::create_directories(root_ / "NCDATA" / "sub");
    const std::string target = (root_ / "NCDATA").string();
    settings_.DirPath = root_.path().string();

    ExpectClosedAfterChange(Enter(InputMode::Folder, target + "/"));
    EXPECT_EQ(settings_.DirPath, target);
    EXPECT_EQ(state_.CurrentFolder, target);

    ExpectClosedAfterChange(Enter(InputMode::Folder, target + "/sub/../"));
    EXPECT_EQ(settings_.DirPath, target);

    ExpectClosedAfterChange(Enter(InputMode::Folder, "/"));
    EXPECT_EQ(settings_.DirPath, "/");
    EXPECT_TRUE(messages_.shown().empty());
}

TEST_F(InputLineTest, FolderEntryAsksBeforeCreating) {
    settings_.DirPath = root_.path().string();
    const std::string missing = (root_ / "x" / "y" / "z").string();

    messages_.Answer(false);
    ExpectClosedAfterChange(Enter(InputMode::Folder, missing));
    ASSERT_EQ(messages_.shown().size(), 1u);
    EXPECT_EQ(messages_.shown()[0].kind, "yesno");
    EXPECT_EQ(messages_.shown()[0].text,
              "ディレクトリが有りません。\n" + missing + "を作成しますか？");
    EXPECT_EQ(messages_.shown()[0].icon, MessageIcon::Warning);
    EXPECT_FALSE(fs::exists(root_ / "x"));
    EXPECT_EQ(settings_.DirPath, root_.path().string());

    messages_.Answer(true);
    ExpectClosedAfterChange(Enter(InputMode::Folder, missing + "/"));
    EXPECT_TRUE(fs::is_directory(missing));
    EXPECT_EQ(settings_.DirPath, missing);
    EXPECT_FALSE(messages_.unanswered());
}

TEST_F(InputLineTest, FolderThatCannotBeCreatedIsNotTaken) {
    test::WriteFileBytes(root_ / "plain", "x");
    settings_.DirPath = root_.path().string();
    const std::string below = (root_ / "plain" / "sub").string();
    messages_.Answer(true);
    ExpectClosedAfterChange(Enter(InputMode::Folder, below));
    EXPECT_EQ(settings_.DirPath, root_.path().string());
    ASSERT_EQ(messages_.shown().size(), 2u);
    EXPECT_EQ(messages_.shown()[1].kind, "tell");
    EXPECT_EQ(messages_.shown()[1].text.rfind("ディレクトリを作成できませんでした。\n" + below, 0),
              0u);
}

TEST_F(InputLineTest, BareWindowsDriveMeansTheHomeFolder) {
    fs::create_directories(root_ / "home");
    const std::string home = (root_ / "home").string();
    settings_.DirPath = root_.path().string();
    {
        test::ScopedEnv env("HOME", home.c_str());
        for (const char* typed : {"C:", "c:\\", "D:"}) {
            settings_.DirPath = root_.path().string();
            ExpectClosedAfterChange(Enter(InputMode::Folder, typed));
            EXPECT_EQ(settings_.DirPath, home) << typed;
        }
    }
    // A drive whose folder is not there changes nothing and asks nothing.
    const std::string gone = (root_ / "gone").string();
    test::ScopedEnv env("HOME", gone.c_str());
    settings_.DirPath = root_.path().string();
    ExpectClosedAfterChange(Enter(InputMode::Folder, "C:"));
    EXPECT_EQ(settings_.DirPath, root_.path().string());
    EXPECT_FALSE(fs::exists(gone));
    EXPECT_TRUE(messages_.shown().empty());
}

// Runs a block with the working folder moved into a fresh folder.
class ScopedWorkingFolder {
public:
    explicit ScopedWorkingFolder(const fs::path& folder) : old_(fs::current_path()) {
        fs::current_path(folder);
    }
    ~ScopedWorkingFolder() { fs::current_path(old_); }

private:
    fs::path old_;
};

TEST_F(InputLineTest, RelativeAndWindowsPathsAreRefusedNotCreated) {
    fs::create_directories(root_ / "cwd");
    ScopedWorkingFolder cwd(root_ / "cwd");
    settings_.DirPath = root_.path().string();
    for (const char* typed : {"NCDATA", "D:\\NCDATA", "D:\\NCDATA\\", "./x", "x\\y"}) {
        const std::size_t before = messages_.shown().size();
        ExpectStaysOpen(Enter(InputMode::Folder, typed));
        ASSERT_EQ(messages_.shown().size(), before + 1) << typed;
        const auto& box = messages_.shown().back();
        EXPECT_EQ(box.kind, "tell") << typed;
        EXPECT_EQ(box.caption, "確認");
        EXPECT_EQ(box.text.rfind(typed, 0), 0u) << typed;
        EXPECT_EQ(settings_.DirPath, root_.path().string());
    }
    EXPECT_TRUE(fs::is_empty(root_ / "cwd"));
    // An absolute path decides, as at start-up: "\" is then part of a name.
    const std::string named = (root_ / "a\\b").string();
    messages_.Answer(false);
    ExpectClosedAfterChange(Enter(InputMode::Folder, named));
    EXPECT_EQ(messages_.shown().back().text,
              "ディレクトリが有りません。\n" + named + "を作成しますか？");
    EXPECT_FALSE(messages_.unanswered());
}

TEST_F(InputLineTest, EmptyTextAndOtherModes) {
    settings_.DirPath = "/keep";
    settings_.Mask = "*.NC";
    for (InputMode mode : {InputMode::Folder, InputMode::Extension}) {
        const InputLineOutcome outcome = Enter(mode, "");
        EXPECT_FALSE(outcome.clearText || outcome.refreshList || outcome.closeLine);
        EXPECT_FALSE(outcome.message.has_value());
    }
    EXPECT_EQ(Enter(InputMode::ReceiveName, "O1000").handOn, InputMode::ReceiveName);
    EXPECT_EQ(Enter(InputMode::CopyName, "O2000").handOn, InputMode::CopyName);
    EXPECT_EQ(Enter(InputMode::Folder, "/").handOn, InputMode::None);
    EXPECT_EQ(settings_.Mask, "*.NC");
    EXPECT_TRUE(messages_.shown().empty());
}

TEST(InputLineKeys, EscAbortsAndF10Closes) {
    const InputLineOutcome esc = InputLineKeyDown(ListKey::Escape);
    EXPECT_TRUE(esc.clearText);
    ASSERT_TRUE(esc.message.has_value());
    EXPECT_EQ(esc.message->text, "操作中止!!");
    EXPECT_TRUE(esc.message->red);
    EXPECT_EQ(esc.timer1Ms, 1000);
    EXPECT_TRUE(esc.closeLine);
    EXPECT_FALSE(esc.refreshList);

    const InputLineOutcome list = AbortInput();
    EXPECT_FALSE(list.clearText);
    EXPECT_TRUE(list.closeLine);
    EXPECT_EQ(list.timer1Ms, 1000);

    EXPECT_TRUE(InputLineKeyDown(ListKey::F10).closeWindow);
    const InputLineOutcome other = InputLineKeyDown(ListKey::F5);
    EXPECT_FALSE(other.closeWindow || other.closeLine || other.clearText);
    EXPECT_FALSE(other.message.has_value());
}

}  // namespace
}  // namespace wexal
