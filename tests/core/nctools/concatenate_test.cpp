#include "nctools/concatenate.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/scripted_messages.h"
#include "support/test_env.h"

namespace wexal {
namespace {

namespace fs = std::filesystem;

TEST(ConcatenateTest, OutputNameTakesTheExtensionUnlessItHoldsIt) {
    struct Case {
        const char* typed;
        const char* name;
    };
    const Case cases[] = {
        {"ALL", "ALL.NC"}, {"ALL.NC", "ALL.NC"}, {"all.nc", "all.nc.NC"}, {"A.NCX", "A.NCX"}};
    for (const Case& c : cases) EXPECT_EQ(JoinOutputName(c.typed, ".NC"), c.name) << c.typed;
}

TEST(ConcatenateTest, EveryLineEndsInCrLf) {
    struct Case {
        const char* text;
        const char* out;
    };
    const Case cases[] = {
        {"", ""},
        {"a\r\nb\r\n", "a\r\nb\r\n"},
        {"a\r\n\r\n", "a\r\n\r\n"},
        {"a\nb", "a\r\nb\r\n"},
        {"a\r\nb", "a\r\nb\r\n"},
        {"a\r\nb\rc\r\n", "a\r\nb\r\nc\r\n"},
        {"a\r\nb\nc\r\n", "a\r\nb\r\nc\r\n"},
        {"a\r", "a\r\n"},
    };
    for (const Case& c : cases) {
        std::string out = "<";
        AppendLines(out, c.text);
        EXPECT_EQ(out, std::string("<") + c.out) << c.text;
    }
}

class ConcatenateFileTest : public ::testing::Test {
protected:
    test::TempDir dir_;
    test::ScriptedMessages messages_;
};

TEST_F(ConcatenateFileTest, JoinsInMarkingOrderWithCrLfAndInnerPercentLines) {
    test::WriteFileBytes(dir_ / "A.NC", "%\nO1\nG0\n%\n");
    test::WriteFileBytes(dir_ / "B.NC", "%\r\nO2\r\nG1\r\n%");
    std::vector<int> selected;
    const ToolResult result = JoinFiles(dir_.path(), {"B.NC", "A.NC"}, "ALL.NC", messages_,
                                        [&](int index) { selected.push_back(index); });
    EXPECT_EQ(result.outcome, ToolOutcome::Done);
    EXPECT_EQ(result.count, 2);
    EXPECT_EQ(selected, (std::vector<int>{0, 1}));
    EXPECT_EQ(test::ReadFileBytes(dir_ / "ALL.NC"),
              "%\r\nO2\r\nG1\r\n%\r\n%\r\nO1\r\nG0\r\n%\r\n");
    EXPECT_TRUE(messages_.shown().empty());
}

TEST_F(ConcatenateFileTest, TheOutputIsNeverOneOfTheInputs) {
    test::WriteFileBytes(dir_ / "A.NC", "O1\n");
    test::WriteFileBytes(dir_ / "B.NC", "O2\n");
    test::MakeSecondName("B.NC", dir_ / "LINK.NC");
    for (const char* output : {"B.NC", "LINK.NC"}) {
        const ToolResult result = JoinFiles(dir_.path(), {"B.NC", "A.NC"}, output, messages_);
        EXPECT_EQ(result.outcome, ToolOutcome::Refused) << output;
        EXPECT_EQ(result.message, "この結合ﾌｧｲﾙ名は選択したﾌｧｲﾙに存在します。");
    }
    EXPECT_EQ(test::ReadFileBytes(dir_ / "B.NC"), "O2\n");
}

TEST_F(ConcatenateFileTest, AnUnreadableInputOrAFailedWriteLeavesTheOldOutput) {
    test::WriteFileBytes(dir_ / "A.NC", "O1\n");
    test::WriteFileBytes(dir_ / "ALL.NC", "before\r\n");
    ToolResult result = JoinFiles(dir_.path(), {"A.NC", "GONE.NC"}, "ALL.NC", messages_);
    EXPECT_EQ(result.outcome, ToolOutcome::Failed);
    EXPECT_NE(result.message.find((dir_ / "GONE.NC").string()), std::string::npos);
    EXPECT_EQ(test::ReadFileBytes(dir_ / "ALL.NC"), "before\r\n");

    fs::permissions(dir_ / "ALL.NC", fs::perms::owner_write, fs::perm_options::remove);
    result = JoinFiles(dir_.path(), {"A.NC", "A.NC"}, "ALL.NC", messages_);
    EXPECT_EQ(result.outcome, ToolOutcome::Failed);
    EXPECT_NE(result.message.find((dir_ / "ALL.NC").string()), std::string::npos);
    EXPECT_EQ(test::ReadFileBytes(dir_ / "ALL.NC"), "before\r\n");
}

}  // namespace
}  // namespace wexal
