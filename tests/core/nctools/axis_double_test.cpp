#include "nctools/axis_double.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/scripted_messages.h"
#include "support/test_env.h"

namespace wexal {
namespace {

namespace fs = std::filesystem;

struct LineCase {
    const char* line;
    char axis;
    const char* doubled;  // nullptr: the number cannot be read
};

// The examples and edge cases of the doubling, axis by axis.
const LineCase kLines[] = {
    {"G01X10.5Y3.", 'X', "G01X21.0Y3."},
    {"X-1.25", 'X', "X-2.50"},
    {"X100", 'X', "X200"},
    {"X10.", 'X', "X20.0"},
    {"X.5", 'X', "X1.0"},
    {"G0X1.234Z5.", 'X', "G0X2.468Z5."},
    {"G0X1.234Z5.", 'Z', "G0X1.234Z10.0"},
    {"X10 Y20", 'X', "X20.00 Y20"},
    {"X10   Y20", 'X', "X20.00 Y20"},  // only one trailing blank stays out
    {"X1.X2.", 'X', "X2.0X2."},
    {"x1.0", 'X', "x1.0"},
    {"(MAX 5)", 'X', "(MAX10)"},
    {"X-", 'X', "X-"},
    {"G00", 'X', "G00"},
    {"XY1", 'X', "XY1"},
    {"X 10", 'X', "X20"},
    {"X9.99", 'X', "X19.98"},
    {"X-0.", 'X', "X0.0"},
    {"X0.0000005", 'X', "X0.0000010"},  // seven decimals stay seven
    {"X12345678901234567890.123456789", 'X', "X24691357802469135780.246913578"},
    {"I-.75J1.5", 'I', "I-1.50J1.5"},
    {"G2U4.5W-6.25", 'W', "G2U4.5W-12.50"},
    {"1-2X1-2", 'X', nullptr},
    {"(X AXIS)", 'X', nullptr},
    {"X.", 'X', nullptr},
    {"X1.2.3", 'X', nullptr},
    {"X- 5", 'X', nullptr},
};

TEST(AxisDoubleTest, DoublesTheFirstWordOfTheAxisInALine) {
    for (const LineCase& c : kLines) {
        std::string out = "kept:";
        std::string bad;
        const bool ok = DoubleAxisInLine(c.line, c.axis, out, &bad);
        if (c.doubled == nullptr) {
            EXPECT_FALSE(ok) << c.line;
            EXPECT_EQ(out, "kept:") << c.line;
            EXPECT_FALSE(bad.empty()) << c.line;
        } else {
            EXPECT_TRUE(ok) << c.line;
            EXPECT_EQ(out, std::string("kept:") + c.doubled) << c.line;
        }
    }
}

TEST(AxisDoubleTest, ConvertsEveryLineUpToTheLastAndEndsEachWithCrLf) {
    std::string out;
    const ToolResult result = DoubleAxis("%\nO1\r\nG0X1.\nM30\nX5", 'X', out);
    EXPECT_EQ(result.outcome, ToolOutcome::Done);
    EXPECT_EQ(out, "%\r\nO1\r\nG0X2.0\r\nM30\r\nX10\r\n");
}

TEST(AxisDoubleTest, AnUnreadableNumberStopsWithNothingConverted) {
    std::string out;
    const ToolResult result = DoubleAxis("X1.\n(X AXIS)\nX2.", 'X', out);
    EXPECT_EQ(result.outcome, ToolOutcome::Failed);
    EXPECT_NE(result.message.find("2行目"), std::string::npos) << result.message;
    EXPECT_TRUE(out.empty());
}

class CancelAt : public ToolProgress {
public:
    explicit CancelAt(std::size_t line) : line_(line) {}
    bool Step(std::size_t line) override {
        steps.push_back(line);
        return line < line_;
    }
    std::vector<std::size_t> steps;

private:
    std::size_t line_;
};

TEST(AxisDoubleTest, ReportsProgressAndStopsWhenCancelled) {
    std::string text;
    for (int i = 0; i < 3000; ++i) text += "X1.\n";
    std::string out;
    CancelAt all(1'000'000);
    EXPECT_EQ(DoubleAxis(text, 'X', out, &all).outcome, ToolOutcome::Done);
    EXPECT_EQ(all.steps, (std::vector<std::size_t>{1024, 2048, 3000}));
    CancelAt second(2048);
    EXPECT_EQ(DoubleAxis(text, 'X', out, &second).outcome, ToolOutcome::Cancelled);
    EXPECT_TRUE(out.empty());
}

class AxisDoubleFileTest : public ::testing::Test {
protected:
    test::TempDir dir_;
    test::ScriptedMessages messages_;
};

TEST_F(AxisDoubleFileTest, ReplacesAnEarlierOutputWithoutAsking) {
    test::WriteFileBytes(dir_ / "O1000.NC", "X1.\nX3\n");
    test::WriteFileBytes(dir_ / "O1000_2.NC", "old output\r\n");
    const ToolResult result =
        DoubleAxisIntoFile('X', dir_.path(), "O1000.NC", "O1000_2.NC", messages_);
    EXPECT_EQ(result.outcome, ToolOutcome::Done);
    EXPECT_EQ(test::ReadFileBytes(dir_ / "O1000_2.NC"), "X2.0\r\nX6\r\n");
    EXPECT_EQ(test::ReadFileBytes(dir_ / "O1000.NC"), "X1.\nX3\n");
}

TEST_F(AxisDoubleFileTest, NeverReplacesItsOwnSource) {
    test::WriteFileBytes(dir_ / "A.NC", "X1.\n");
    test::MakeSecondName("A.NC", dir_ / "A_2.NC");
    for (const char* output : {"A.NC", "A_2.NC"}) {
        const ToolResult result = DoubleAxisIntoFile('X', dir_.path(), "A.NC", output, messages_);
        EXPECT_EQ(result.outcome, ToolOutcome::Refused) << output;
        EXPECT_NE(result.message.find(output), std::string::npos) << result.message;
    }
    EXPECT_EQ(test::ReadFileBytes(dir_ / "A.NC"), "X1.\n");
}

TEST_F(AxisDoubleFileTest, AConversionErrorSavesNothingAndAFailedWriteNamesTheFile) {
    test::WriteFileBytes(dir_ / "A.NC", "X1-2\n");
    EXPECT_EQ(DoubleAxisIntoFile('X', dir_.path(), "A.NC", "A_2.NC", messages_).outcome,
              ToolOutcome::Failed);
    EXPECT_FALSE(fs::exists(dir_ / "A_2.NC"));

    test::WriteFileBytes(dir_ / "B_2.NC", "complete\r\n");
    fs::permissions(dir_ / "B_2.NC", fs::perms::owner_write, fs::perm_options::remove);
    test::WriteFileBytes(dir_ / "B.NC", "X1\n");
    const ToolResult result = DoubleAxisIntoFile('X', dir_.path(), "B.NC", "B_2.NC", messages_);
    EXPECT_EQ(result.outcome, ToolOutcome::Failed);
    EXPECT_NE(result.message.find((dir_ / "B_2.NC").string()), std::string::npos);
    EXPECT_EQ(test::ReadFileBytes(dir_ / "B_2.NC"), "complete\r\n");
}

}  // namespace
}  // namespace wexal
