#include "config/receive_argument.h"

#include <gtest/gtest.h>

#include <string>

#include "support/scripted_messages.h"
#include "support/test_env.h"

namespace wexal {
namespace {

using test::ScriptedMessages;
using test::TempDir;

TEST(ReceiveArgumentTest, TheFileIsInTheFolderOrWhereTheAbsolutePathSays) {
    TempDir dir;
    const std::string nc = (dir / "nc").string();
    const std::string home = (dir / "home").string();
    test::WriteFileBytes(dir / "EXIST.NC", "x");
    struct Row {
        std::string arg;
        bool answer;  // to the overwrite question, when asked
        std::string file;
        std::string dirPath;
        std::string mask;
        bool asked;
        const char* start;
    };
    const Row rows[] = {
        {"R=O2000.NC", false, home + "/O2000.NC", home, "*.NC", false, "Y"},
        {"r=" + nc + "/IN.TXT", false, nc + "/IN.TXT", nc, "*.TXT", false, "Y"},
        {"R=sub/IN", false, home + "/sub/IN", home + "/sub", "*", false, "Y"},
        {"R=" + dir.path().string() + "/EXIST.NC", true, dir.path().string() + "/EXIST.NC",
         dir.path().string(), "*.NC", true, "Y"},
        {"R=" + dir.path().string() + "/EXIST.NC", false, dir.path().string() + "/EXIST.NC",
         dir.path().string(), "*.NC", true, "N"},
    };
    for (const Row& row : rows) {
        Settings settings;
        settings.DirPath = home;
        AppState state;
        ScriptedMessages messages;
        messages.Answer(row.answer);
        ASSERT_TRUE(IsReceiveArgument(row.arg));
        ApplyReceiveArgument(row.arg, settings, state, messages);
        EXPECT_EQ(state.ReceiveOnStartFile, row.file) << row.arg;
        EXPECT_EQ(settings.DirPath, row.dirPath) << row.arg;
        EXPECT_EQ(settings.Mask, row.mask) << row.arg;
        EXPECT_EQ(state.ReceiveOnStart, row.start) << row.arg;
        ASSERT_EQ(messages.shown().size(), row.asked ? 1u : 0u) << row.arg;
        if (row.asked) {
            EXPECT_EQ(messages.shown()[0].text, "すでに" + row.file + "が有ります。\n上書きしますか？");
        }
    }
}

TEST(ReceiveArgumentTest, WindowsPathsAreRefusedWithAMessage) {
    for (const std::string arg : {"R=D:\\PRG\\A.NC", "R=C:A.NC", "R="}) {
        Settings settings;
        settings.DirPath = "/tmp";
        AppState state;
        ScriptedMessages messages;
        ApplyReceiveArgument(arg, settings, state, messages);
        EXPECT_EQ(state.ReceiveOnStart, "N") << arg;
        EXPECT_EQ(settings.DirPath, "/tmp") << arg;
        EXPECT_EQ(messages.shown().size(), 1u) << arg;
    }
    EXPECT_FALSE(IsReceiveArgument("COM1"));
}

TEST(ReceiveArgumentTest, FirstIdleTakesTheReceiveOnce) {
    AppState state;
    state.ReceiveOnStart = "Y";
    state.ReceiveOnStartFile = "/home/op/nc/IN.NC";
    state.ExitAfterTransfer = true;
    const std::optional<ReceiveRequest> request = TakeReceiveOnStart(state);
    ASSERT_TRUE(request);
    EXPECT_TRUE(request->named);
    EXPECT_EQ(request->target, "/home/op/nc/IN.NC");
    EXPECT_EQ(request->displayName, "IN.NC");
    EXPECT_TRUE(request->exitAfterTransfer);
    EXPECT_EQ(state.ReceiveOnStart, "N");
    EXPECT_FALSE(TakeReceiveOnStart(state));
}

}  // namespace
}  // namespace wexal
