// The streamed program of the view and the send against the whole-file
// loader it replaces: the same lines with the same ends for every kind of
// file, and the line index's lookups across blocks.
#include "programs/program_text.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/text_lines.h"
#include "programs/file_loader.h"
#include "support/scripted_messages.h"
#include "support/test_env.h"
#include "support/whole_file_loader.h"

namespace wexal {
namespace {

using test::ScriptedMessages;

struct ExpectedLine {
    std::string text;
    int end = 0;
    bool operator==(const ExpectedLine&) const = default;
};

// The lines the old view held: the whole-file loader's text, cut by LineAt.
std::vector<ExpectedLine> OldLines(const std::string& text) {
    std::vector<ExpectedLine> lines;
    for (std::size_t at = 0; at < text.size();) {
        const TextLine line = LineAt(text, at);
        lines.push_back({std::string(line.text), line.end});
        at = line.next;
    }
    return lines;
}

// Every line of a program, read on from the start as the send reads them.
std::vector<ExpectedLine> StreamedLines(const ProgramText& program, bool watch) {
    std::vector<ExpectedLine> lines;
    if (program.empty()) return lines;
    LineScanner scanner(program.file(), program.reading(), SourcePoint{}, 4096, watch);
    while (true) {
        std::string text;
        const LineScanner::Result result = scanner.Next(&text);
        if (result != LineScanner::Result::Line) {
            EXPECT_EQ(result, LineScanner::Result::End);
            break;
        }
        lines.push_back({text, scanner.endLength()});
    }
    return lines;
}

// The same through the index, a few lines at a time from every line.
std::vector<ExpectedLine> IndexedLines(const ProgramText& program, std::size_t step) {
    std::vector<ExpectedLine> lines;
    const std::size_t count = program.WaitIndexed();
    for (std::size_t first = 0; first < count; first += step) {
        for (const ProgramText::Line& line : program.Lines(first, step, std::string::npos)) {
            lines.push_back({line.text, line.end});
        }
    }
    return lines;
}

std::string Repeat(const std::string& piece, std::size_t times) {
    std::string text;
    for (std::size_t i = 0; i < times; ++i) text += piece;
    return text;
}

class ProgramTextTest : public ::testing::Test {
protected:
    ProgramLoad Load(const std::string& name, const std::string& bytes, bool yes) {
        test::WriteFileBytes(folder_ / name, bytes);
        messages_.Answer(yes);
        ProgramLoad load = LoadProgram(folder_.path().string(), name, messages_);
        return load;
    }
    std::string OldText(const std::string& name, bool yes) {
        messages_.Answer(yes);
        return LoadFileIntoView(folder_.path().string(), name, messages_).text;
    }

    test::TempDir folder_;
    ScriptedMessages messages_;
};

struct Case {
    const char* what;
    std::string bytes;
};

std::vector<Case> Cases() {
    const std::string nul(1, '\0');
    const std::string longLine = Repeat("G01X1.Y2.", 30'000);  // 300 KB, past every block
    return {
        {"CR LF", "%\r\nO1000\r\nG0X1.\r\nM30\r\n%\r\n"},
        {"LF", "%\nO1000\nG0X1.\nM30\n%\n"},
        {"lone CR", "%\rO1000\rG0X1.\rM30\r%\r"},
        {"mixed ends", "A\r\nBB\nC\rD\r\n\r\nE"},
        {"NULs inside", "O1\r\nG0" + nul + nul + "X1\r\nM30\r" + nul + "\n" + nul + "%" + nul},
        {"CR and LF apart across NULs", "O1\r" + Repeat(nul, 70'000) + "\nM30\r\n"},
        {"a line longer than a read block", "%\r\n" + longLine + "\r\nM30\r\n"},
        {"long line without end", "%\n" + longLine},
        {"last line without its end", "O1\r\nM30"},
        {"empty lines", "O1\r\n\r\n\n\r\rM30\r\n"},
        {"CR at a block's end", Repeat("x", 4095) + "\r\n" + Repeat("y", 4095) + "\rZ\n"},
        {"CR LF at every offset of a 64 KB block", Repeat("N1G0\r\n", 30'000)},
        {"only a CR", "\r"},
        {"ends on CR", "O1\r"},
    };
}

std::vector<Case> NulLedCases() {
    const std::string nul(1, '\0');
    return {
        {"NUL then CR LF lines", nul + "%\r\nO1\r\nG0X1.\r\n%\r\n"},
        {"NUL then LF lines", nul + nul + "O1\nM30\n"},
        {"lines longer than a piece", nul + Repeat("A", 1234) + "\r\n" + Repeat("B", 500) +
                                          "\r\n" + Repeat("C", 501) + "\n" + Repeat("D", 1000)},
        {"CR at a piece's end", nul + Repeat("A", 499) + "\r" + Repeat("B", 10) + "\n" +
                                    Repeat("C", 500) + "\r\n" + "E\r\r\n"},
        {"NUL inside pieces", nul + "O1" + nul + "\r\n" + Repeat(nul, 600) + "\n" + "A" +
                                  Repeat(nul, 499) + "B\r" + nul + "\nC"},
        {"lone CR inside a line", nul + "A\rB\r\nC\r"},
        {"empty lines", nul + "\n\r\n\nO1\n\n"},
        {"a line of many blocks", nul + Repeat("N1G0X1.", 100'000) + "\r\nM30\r\n"},
        {"last line without its end", nul + "O1\r\nM30"},
    };
}

TEST_F(ProgramTextTest, LinesAreTheOnesTheWholeFileLoaderGave) {
    for (const Case& c : Cases()) {
        const ProgramLoad load = Load("P.NC", c.bytes, true);
        ASSERT_NE(load.program, nullptr) << c.what;
        EXPECT_EQ(load.size, static_cast<std::int64_t>(c.bytes.size())) << c.what;
        const std::vector<ExpectedLine> expected = OldLines(OldText("P.NC", true));
        EXPECT_EQ(StreamedLines(*load.program, true), expected) << c.what;
        EXPECT_EQ(IndexedLines(*load.program, 3), expected) << c.what;
        EXPECT_EQ(load.program->WaitIndexed(), expected.size()) << c.what;
    }
}

TEST_F(ProgramTextTest, AFileThatStartsWithNulIsReadLineByLineAsBefore) {
    for (const Case& c : NulLedCases()) {
        const ProgramLoad load = Load("P.NC", c.bytes, true);
        const std::vector<ExpectedLine> expected = OldLines(OldText("P.NC", true));
        ASSERT_NE(load.program, nullptr) << c.what;
        EXPECT_EQ(load.program->reading(), ProgramReading::LineByLine) << c.what;
        EXPECT_EQ(StreamedLines(*load.program, true), expected) << c.what;
        EXPECT_EQ(IndexedLines(*load.program, 2), expected) << c.what;
    }
}

TEST_F(ProgramTextTest, EmptyFilesAndNoAnswersShowNothing) {
    const std::string nul(1, '\0');
    // Empty: the question, and nothing whatever the answer.
    for (const bool yes : {true, false}) {
        const ProgramLoad load = Load("E.NC", "", yes);
        EXPECT_EQ(load.program, nullptr);
        EXPECT_EQ(load.size, 0);
    }
    // NUL-led with No: nothing to show, but the size.
    const ProgramLoad no = Load("N.NC", nul + "O1\n", false);
    EXPECT_EQ(no.program, nullptr);
    EXPECT_EQ(no.size, 4);
    // Nothing but fill, with Yes: no text.
    EXPECT_EQ(Load("F.NC", Repeat(nul, 5000), true).program, nullptr);
    ASSERT_EQ(messages_.shown().size(), 4u);
    // A missing file: its reason, no question.
    const ProgramLoad gone = LoadProgram(folder_.path().string(), "GONE.NC", messages_);
    EXPECT_EQ(gone.program, nullptr);
    EXPECT_FALSE(gone.problem.empty());
    EXPECT_EQ(messages_.shown().size(), 4u);
}

// A program of several index blocks: line i through the index at its start,
// its middle and its end, the same as read from the start, also right after
// a line of hundreds of kilobytes.
TEST_F(ProgramTextTest, TheIndexFindsAnyLineOfAMultiBlockFile) {
    std::string bytes;
    std::vector<std::string> lines;
    for (int n = 0; n < 200'000; ++n) {
        std::string line = "N" + std::to_string(n) + "G01X" + std::to_string(n % 997) + ".5";
        if (n == 100'000) line += Repeat("Y", 300'000);
        lines.push_back(line);
        bytes += line + (n % 3 == 0 ? "\r\n" : "\n");
    }
    ASSERT_GT(bytes.size(), 3u << 20);  // three index blocks and more
    const ProgramLoad load = Load("BIG.NC", bytes, true);
    ASSERT_NE(load.program, nullptr);
    const ProgramText& program = *load.program;
    ASSERT_EQ(program.WaitIndexed(), lines.size());
    // One start every 256 lines (and after the long line), not one a line.
    EXPECT_LT(program.CheckpointCount(), lines.size() / 200);
    for (const std::size_t first : {std::size_t{0}, std::size_t{1}, std::size_t{255},
                                    std::size_t{256}, std::size_t{99'999}, std::size_t{100'000},
                                    std::size_t{100'001}, std::size_t{123'457},
                                    lines.size() - 3, lines.size() - 1}) {
        const auto got = program.Lines(first, 3, 64);
        ASSERT_FALSE(got.empty()) << first;
        for (std::size_t i = 0; i < got.size(); ++i) {
            const std::string& whole = lines[first + i];
            EXPECT_EQ(got[i].text, whole.substr(0, 64)) << first + i;
            EXPECT_EQ(got[i].cut, whole.size() > 64) << first + i;
        }
        EXPECT_EQ(got.size(), std::min<std::size_t>(3, lines.size() - first)) << first;
    }
    EXPECT_TRUE(program.Lines(lines.size(), 3, 64).empty());
}

TEST_F(ProgramTextTest, TheFileStaysTheOneOpened) {
    const ProgramLoad load = Load("O1.NC", "O1\r\nM30\r\n", true);
    ASSERT_NE(load.program, nullptr);
    // Replaced by a new file under its name: the open file goes on as it was.
    test::WriteFileBytes(folder_ / "NEW.NC", "CHANGED\r\n");
    test::RenameOverOpenFile(folder_ / "NEW.NC", folder_ / "O1.NC");
    EXPECT_TRUE(load.program->file().Unchanged());
    EXPECT_EQ(StreamedLines(*load.program, true),
              (std::vector<ExpectedLine>{{"O1", 2}, {"M30", 2}}));
    // The name gone: still the same content, and known as deleted.
    std::filesystem::remove(folder_ / "O1.NC");
    if (!test::RunningUnderWine()) {
        EXPECT_TRUE(load.program->file().Deleted());
    }
    EXPECT_EQ(load.program->Lines(1, 1, 100).at(0).text, "M30");
}

TEST_F(ProgramTextTest, AChangeInPlaceStopsAWatchedReading) {
    const std::string bytes = Repeat("N1G01X1.Y1.\r\n", 2000);
    // Cut, grown, and rewritten with the same size at another time.
    const std::function<void(const std::filesystem::path&)> changes[] = {
        [](const std::filesystem::path& path) { std::filesystem::resize_file(path, 100); },
        [](const std::filesystem::path& path) {
            std::ofstream(path, std::ios::binary | std::ios::app) << "M30\r\n";
        },
        [&bytes](const std::filesystem::path& path) {
            test::WriteFileBytes(path, std::string(bytes.size(), 'Z'));
            test::SetModifiedTime(
                path, std::chrono::seconds(1'000'000'000) + std::chrono::nanoseconds(500));
        },
    };
    for (const auto& change : changes) {
        const ProgramLoad load = Load("O1.NC", bytes, true);
        ASSERT_NE(load.program, nullptr);
        LineScanner scanner(load.program->file(), load.program->reading(), SourcePoint{}, 4096,
                            true);
        std::string line;
        ASSERT_EQ(scanner.Next(&line), LineScanner::Result::Line);
        EXPECT_EQ(line, "N1G01X1.Y1.");
        change(folder_ / "O1.NC");
        LineScanner::Result result = LineScanner::Result::Line;
        std::size_t more = 0;
        while (result == LineScanner::Result::Line) {
            line.clear();
            result = scanner.Next(&line);
            // Nothing of the new content is ever given out.
            if (result == LineScanner::Result::Line) {
                EXPECT_EQ(line, "N1G01X1.Y1.");
            }
            ++more;
        }
        EXPECT_EQ(result, LineScanner::Result::Failed);
        EXPECT_EQ(scanner.failure(), ReadFailure::Changed);
        EXPECT_LE(more, 4096u / 13 + 2);
    }
}

}  // namespace
}  // namespace wexal
