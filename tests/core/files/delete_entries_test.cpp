#include "files/delete_entries.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "platform/error_text.h"
#include "support/scripted_messages.h"
#include "support/test_env.h"

namespace wexal {
namespace {

namespace fs = std::filesystem;

// The window's key sequences show the questions; here what the permanent
// delete may and may not touch.
TEST(DeleteEntriesTest, PermanentDeleteKeepsLinkTargetsAndNamesFailures) {
    test::TempDir dir;
    test::TempDir outside;
    fs::create_directories(dir / "sub" / "deep");
    test::WriteFileBytes(outside / "keep.nc", "K");
    fs::create_directory_symlink(outside.path(), dir / "sub" / "link");
    test::WriteFileBytes(dir / "a.nc", "A");
    test::ScriptedMessages messages;
    // A trash that fails after the entry went: the permanent delete finds nothing.
    const MoveToTrash noTrash = [](const std::string& path) {
        if (path.ends_with("a.nc")) ::unlink(path.c_str());
        return false;
    };
    for (bool answer : {true, true}) messages.Answer(answer);
    const DeleteOutcome outcome =
        DeleteEntries(dir.path(), {{"sub", true}, {"a.nc", false}}, messages, noTrash);
    EXPECT_FALSE(outcome.aborted);
    EXPECT_FALSE(fs::exists(dir / "sub"));
    EXPECT_EQ(test::ReadFileBytes(outside / "keep.nc"), "K");
    ASSERT_EQ(messages.shown().size(), 3u);
    EXPECT_EQ(messages.shown()[1].text,
              "ごみ箱が使えません。\n2 個の項目を完全に削除しますか？\n(元に戻せません)");
    EXPECT_EQ(messages.shown()[2].text, "削除できませんでした。\n" + (dir / "a.nc").string() +
                                            " : " + SystemErrorText(ENOENT));

    // No to the second question when the trash took nothing: nothing changed.
    test::WriteFileBytes(dir / "b.nc", "B");
    messages.Answer(true);
    messages.Answer(false);
    EXPECT_TRUE(DeleteEntries(dir.path(), {{"b.nc", false}}, messages, noTrash).aborted);
    EXPECT_TRUE(fs::exists(dir / "b.nc"));
}

}  // namespace
}  // namespace wexal
