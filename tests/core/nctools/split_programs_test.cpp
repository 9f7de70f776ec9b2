#include "nctools/split_programs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <algorithm>
#include <string>
#include <vector>

#include "nctools/concatenate.h"
#include "support/scripted_messages.h"
#include "support/test_env.h"

namespace wexal {
namespace {

namespace fs = std::filesystem;

constexpr const char* kTwoPrograms = "%\nO1000(A)\nG0X0\nM30\nO2000\nG1X1\nM30\n%\n";

struct Written {
    std::vector<std::pair<std::string, std::string>> writes;  // in order
    SplitWrite Writer() {
        return [this](const std::string& name, std::string_view bytes) {
            writes.emplace_back(name, std::string(bytes));
            return Status::Ok();
        };
    }
};

struct SplitCase {
    const char* title;
    const char* source;
    SplitOptions options;
    std::vector<std::pair<std::string, std::string>> files;  // in writing order
};

const SplitCase kCases[] = {
    {"both % options",
     kTwoPrograms,
     {true, true, false},
     {{"O1000.NC", "%\r\nO1000(A)\r\nG0X0\r\nM30\r\n%\r\n"},
      {"O2000.NC", "%\r\nO2000\r\nG1X1\r\nM30\r\n%\r\n"}}},
    {"serials",
     kTwoPrograms,
     {true, true, true},
     {{"O1000_001.NC", "%\r\nO1000(A)\r\nG0X0\r\nM30\r\n%\r\n"},
      {"O2000_002.NC", "%\r\nO2000\r\nG1X1\r\nM30\r\n%\r\n"}}},
    {"no options",
     kTwoPrograms,
     {},
     {{"O1000.NC", "O1000(A)\r\nG0X0\r\nM30\r\n"}, {"O2000.NC", "O2000\r\nG1X1\r\nM30\r\n"}}},
    {"colon number keeps its line", ":100\nG0\n", {}, {{"O100.NC", ":100\r\nG0\r\n"}}},
    {"subprogram", "L20\nM99\n", {true, false, false}, {{"L20.NC", "%\r\nL20\r\nM99\r\n"}}},
    {"comment before the first program",
     "(SHOP)\n%\nO1\nG0\n",
     {true, true, false},
     {{"O1.NC", "(SHOP)\r\n%\r\nO1\r\nG0\r\n%\r\n"}}},
    {"same number twice",
     "O1\nA\nO1\nB\n",
     {},
     {{"O1.NC", "O1\r\nA\r\n"}, {"O1.NC", "O1\r\nB\r\n"}}},
    {"empty lines stay, % lines go",
     "O1\n\nG0\n%X\n",
     {},
     {{"O1.NC", "O1\r\n\r\nG0\r\n"}}},
    {"CR LF source", "O7\r\nG0\r\n", {}, {{"O7.NC", "O7\r\nG0\r\n"}}},
    {"unsafe numbers",
     "O../../X\nA\nO1/2\nB\n:A*B\nC\n",
     {},
     {{"O..%2F..%2FX.NC", "O../../X\r\nA\r\n"},
      {"O1%2F2.NC", "O1/2\r\nB\r\n"},
      {"OA%2AB.NC", ":A*B\r\nC\r\n"}}},
};

TEST(SplitProgramsTest, WritesOneFilePerProgram) {
    for (const SplitCase& c : kCases) {
        Written written;
        std::vector<std::string> found;
        const ToolResult result = SplitPrograms(
            c.source, c.options, ".NC", written.Writer(),
            [&](std::string_view line, int index) {
                EXPECT_EQ(index, static_cast<int>(found.size())) << c.title;
                found.emplace_back(line);
            });
        EXPECT_EQ(result.outcome, ToolOutcome::Done) << c.title;
        EXPECT_EQ(result.count, static_cast<int>(c.files.size())) << c.title;
        EXPECT_EQ(written.writes, c.files) << c.title;
        std::vector<std::string> names;
        for (const auto& file : c.files) names.push_back(file.first);
        EXPECT_EQ(SplitFileNames(c.source, c.options, ".NC"), names) << c.title;
        EXPECT_EQ(found.size(), c.files.size()) << c.title;
    }
}

TEST(SplitProgramsTest, WithoutAProgramNumberNothingIsWritten) {
    Written written;
    const ToolResult result = SplitPrograms("%\nG0X0\nM30\n%\n", {true, true, true}, ".NC",
                                            written.Writer());
    EXPECT_EQ(result.outcome, ToolOutcome::NothingFound);
    EXPECT_TRUE(written.writes.empty());
}

TEST(SplitProgramsTest, AFailedWriteStopsTheSplit) {
    int calls = 0;
    const ToolResult result =
        SplitPrograms("O1\nO2\nO3\n", {}, ".NC", [&](const std::string& name, std::string_view) {
            ++calls;
            return name == "O2.NC" ? Status::Error("disk full " + name) : Status::Ok();
        });
    EXPECT_EQ(result.outcome, ToolOutcome::Failed);
    EXPECT_EQ(result.message, "disk full O2.NC");
    EXPECT_EQ(calls, 2);
}

TEST(SplitProgramsTest, SerialsGrowPastThreeDigits) {
    std::string source;
    for (int i = 1; i <= 1234; ++i) source += "O" + std::to_string(i) + "\n";
    const std::vector<std::string> names = SplitFileNames(source, {false, false, true}, ".NC");
    ASSERT_EQ(names.size(), 1234u);
    EXPECT_EQ(names[11], "O12_012.NC");
    EXPECT_EQ(names[1233], "O1234_1234.NC");
}

class SplitFolderTest : public ::testing::Test {
protected:
    test::TempDir dir_;
    test::TempDir outside_;
    test::ScriptedMessages messages_;
};

TEST_F(SplitFolderTest, ProgramNumbersNeverLeadOutOfTheDestination) {
    const fs::path dest = dir_ / "dest";
    fs::create_directories(dest / "O1");
    test::WriteFileBytes(outside_ / "victim", "keep\n");
    // A link under an output's name is replaced, never followed.
    fs::create_symlink(outside_ / "victim", dest / "O5.NC");
    test::WriteFileBytes(dir_ / "SRC.NC", "O../../X\nA\nO1/2\nB\nO5\nC\n");
    const ToolResult result = SplitIntoFolder(dir_ / "SRC.NC", {}, ".NC", dest, messages_);
    ASSERT_EQ(result.outcome, ToolOutcome::Done) << result.message;
    std::vector<std::string> entries;
    for (const auto& entry : fs::directory_iterator(dest)) {
        entries.push_back(entry.path().filename().string());
    }
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"O..%2F..%2FX.NC", "O1", "O1%2F2.NC", "O5.NC"}));
    EXPECT_TRUE(fs::is_empty(dest / "O1"));
    EXPECT_FALSE(fs::is_symlink(dest / "O5.NC"));
    EXPECT_EQ(test::ReadFileBytes(outside_ / "victim"), "keep\n");
    EXPECT_EQ(test::ReadFileBytes(dest / "O5.NC"), "O5\r\nC\r\n");
}

TEST_F(SplitFolderTest, TheSourceIsNeverAnOutput) {
    const std::string source = "O1000\nG0\nO2000\nG1\n";
    test::WriteFileBytes(dir_ / "O1000.NC", source);
    const ToolResult result = SplitIntoFolder(dir_ / "O1000.NC", {}, ".NC", dir_.path(), messages_);
    EXPECT_EQ(result.outcome, ToolOutcome::Refused);
    EXPECT_NE(result.message.find((dir_ / "O1000.NC").string()), std::string::npos);
    EXPECT_EQ(test::ReadFileBytes(dir_ / "O1000.NC"), source);
    EXPECT_FALSE(fs::exists(dir_ / "O2000.NC"));
}

TEST_F(SplitFolderTest, AFailedWriteKeepsCompleteFilesAndLeavesNoPart) {
    test::WriteFileBytes(dir_ / "O2.NC", "older O2\r\n");
    fs::permissions(dir_ / "O2.NC", fs::perms::owner_write, fs::perm_options::remove);
    test::WriteFileBytes(outside_ / "SRC.NC", "O1\nA\nO2\nB\nO3\nC\n");
    const ToolResult result =
        SplitIntoFolder(outside_ / "SRC.NC", {}, ".NC", dir_.path(), messages_);
    EXPECT_EQ(result.outcome, ToolOutcome::Failed);
    EXPECT_NE(result.message.find((dir_ / "O2.NC").string()), std::string::npos);
    EXPECT_EQ(test::ReadFileBytes(dir_ / "O1.NC"), "O1\r\nA\r\n");
    EXPECT_EQ(test::ReadFileBytes(dir_ / "O2.NC"), "older O2\r\n");
    EXPECT_FALSE(fs::exists(dir_ / "O3.NC"));
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir_.path())) ++entries;
    EXPECT_EQ(entries, 2);
}

TEST_F(SplitFolderTest, OptionsSurviveInTheirFile) {
    const fs::path ini = dir_ / kSplitOptionsFile;
    EXPECT_EQ(LoadSplitOptions(ini), SplitOptions{});
    ASSERT_TRUE(SaveSplitOptions(ini, {false, true, false}));
    EXPECT_EQ(test::ReadFileBytes(ini), "[Sub]\nF_Set=0\nB_Set=1\nN_Set=0\n");
    EXPECT_EQ(LoadSplitOptions(ini), (SplitOptions{false, true, false}));
    test::WriteFileBytes(ini, "[Sub]\r\nF_Set=-3\r\nB_Set=yes\r\nN_Set=0\r\n");
    EXPECT_EQ(LoadSplitOptions(ini), (SplitOptions{true, false, false}));
}

// Several real programs split and joined again give the source back, apart
// from the "%" lines that the options add.
TEST_F(SplitFolderTest, SplitThenJoinGivesTheProgramsBack) {
    const std::string source =
        "%\r\nO0100(FACE MILL)\r\nG90G54G0X0Y0\r\nS1200M3\r\nG1Z-0.5F200\r\nM30\r\n"
        ":0200(DRILL)\r\nG81X10.Y10.Z-5.R2.F100\r\nX20.\r\nG80\r\nM30\r\n"
        "O0300\r\nM98P9000\r\nM30\r\nL9000\r\nG0X0\r\nM99\r\n%\r\n";
    test::WriteFileBytes(outside_ / "SRC.NC", source);
    const ToolResult split =
        SplitIntoFolder(outside_ / "SRC.NC", {true, true, true}, ".NC", dir_.path(), messages_);
    ASSERT_EQ(split.outcome, ToolOutcome::Done);
    EXPECT_EQ(split.count, 4);
    const std::vector<std::string> parts = SplitFileNames(source, {true, true, true}, ".NC");
    test::ScriptedMessages messages;
    const ToolResult joined = JoinFiles(dir_.path(), parts, "ALL.NC", messages);
    ASSERT_EQ(joined.outcome, ToolOutcome::Done) << joined.message;
    auto withoutPercent = [](const std::string& text) {
        std::string kept;
        std::size_t at = 0;
        while (at < text.size()) {
            const std::size_t end = text.find("\r\n", at);
            const std::string line = text.substr(at, end - at);
            if (line != "%") kept += line + "\r\n";
            at = end + 2;
        }
        return kept;
    };
    const std::string all = test::ReadFileBytes(dir_ / "ALL.NC");
    EXPECT_EQ(withoutPercent(all), withoutPercent(source));
    EXPECT_EQ(all.substr(0, 3), "%\r\n");
}

}  // namespace
}  // namespace wexal
