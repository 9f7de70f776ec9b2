#include "files/delete_entries.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/error_text.h"
#include "support/scripted_messages.h"
#include "support/test_env.h"

namespace wexal {
namespace {

namespace fs = std::filesystem;

struct DeleteEntriesTest : ::testing::Test {
    test::TempDir dir;
    test::TempDir outside;
    test::ScriptedMessages messages;
    std::vector<std::string> trashed;
    bool trashWorks = true;

    MoveToTrash Trash() {
        return [this](const std::string& path) {
            trashed.push_back(path);
            return trashWorks;
        };
    }
};

TEST_F(DeleteEntriesTest, OneQuestionThenTheTrash) {
    test::WriteFileBytes(dir / "a.nc", "A");
    messages.Answer(true);
    const DeleteOutcome outcome = DeleteEntries(dir.path(), {{"a.nc", false}}, messages, Trash());
    EXPECT_FALSE(outcome.aborted);
    EXPECT_EQ(trashed, std::vector<std::string>{(dir / "a.nc").string()});
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, "「a.nc」をごみ箱に移動しますか？");
    EXPECT_EQ(messages.shown()[0].caption, "ファイルの削除");

    messages.Answer(false);
    EXPECT_TRUE(
        DeleteEntries(dir.path(), {{"a.nc", false}, {"b.nc", false}}, messages, Trash()).aborted);
    EXPECT_EQ(messages.shown().back().text, "2 個の項目をごみ箱に移動しますか？");
    EXPECT_EQ(trashed.size(), 1u);
}

TEST_F(DeleteEntriesTest, WithoutTrashAPermanentDeleteThatKeepsLinkTargets) {
    fs::create_directories(dir / "sub" / "deep");
    test::WriteFileBytes(dir / "sub" / "deep" / "x.nc", "X");
    test::WriteFileBytes(outside / "keep.nc", "K");
    fs::create_directory_symlink(outside.path(), dir / "sub" / "link");
    trashWorks = false;

    messages.Answer(true);
    messages.Answer(false);
    EXPECT_TRUE(DeleteEntries(dir.path(), {{"sub", true}}, messages, Trash()).aborted);
    EXPECT_TRUE(fs::exists(dir / "sub" / "deep" / "x.nc"));
    EXPECT_EQ(messages.shown().back().text,
              "ごみ箱が使えません。\nフォルダー「sub」とその中身を完全に削除しますか？\n("
              "元に戻せません)");

    messages.Answer(true);
    messages.Answer(true);
    const DeleteOutcome outcome = DeleteEntries(dir.path(), {{"sub", true}}, messages, Trash());
    EXPECT_FALSE(outcome.aborted);
    EXPECT_TRUE(outcome.failures.empty());
    EXPECT_FALSE(fs::exists(dir / "sub"));
    EXPECT_EQ(test::ReadFileBytes(outside / "keep.nc"), "K");
}

TEST_F(DeleteEntriesTest, AFailureNamesTheEntryAndTheReason) {
    test::WriteFileBytes(dir / "a.nc", "A");
    // The trash that fails after all: the entry is gone by the permanent delete.
    const MoveToTrash vanishing = [&](const std::string& path) {
        ::unlink(path.c_str());
        return false;
    };
    messages.Answer(true);
    messages.Answer(true);
    const DeleteOutcome outcome = DeleteEntries(dir.path(), {{"a.nc", false}}, messages, vanishing);
    EXPECT_FALSE(outcome.aborted);
    ASSERT_EQ(outcome.failures.size(), 1u);
    const auto& told = messages.shown().back();
    EXPECT_EQ(told.kind, "tell");
    EXPECT_EQ(told.text, "削除できませんでした。\n" + (dir / "a.nc").string() + " : " +
                             SystemErrorText(ENOENT));
}

}  // namespace
}  // namespace wexal
