#include "serial/send_line.h"

#include <gtest/gtest.h>

#include "serial/send_view.h"

namespace wexal {
namespace {

TEST(SendLineTest, FilterLine) {
    struct Row {
        const char* line;
        const char* neverSend;
        bool cut;
        bool skip;
        const char* chars;
    };
    const Row rows[] = {
        {"%", "", true, true, ""},
        {"%%", "", true, false, ""},
        {"G0X1.(TOOL%)", "", true, false, "G0X1.(TOOL%)"},
        {"G0X1%", "", true, false, "G0X1"},
        {"G01X1.;COMMENT", "", true, false, "G01X1."},
        {"G01X1.'COMMENT", "", true, false, "G01X1."},
        {"G01X1.;COMMENT", "", false, false, "G01X1.;COMMENT"},
        {"N10(A;B)", "", true, false, "N10(A;B)"},
        {"N10(A)B;C", "", true, false, "N10(A)B"},
        {"N1\t(A\tB)", "", true, false, "N1(AB)"},
        {"N1BLOCKDELG0BLOCKDEL", "BLOCKDEL", true, false, "N1        G0        "},
        {"XBLOCKDEL", "BLOCKDEL", true, false, "X        "},
        // Longer than 29: 29 blanks.
        {"A0123456789012345678901234567890B", "0123456789012345678901234567890", true, false,
         "A                             B"},
        // A blanked occurrence that makes a new one is blanked too.
        {"AA ", "A ", true, false, "   "},
        {"G0  X1", "  ", true, false, "G0  X1"},
    };
    for (const Row& row : rows) {
        const LineToSend out = FilterLine(row.line, {row.neverSend, row.cut});
        EXPECT_EQ(out.skip, row.skip) << row.line;
        EXPECT_EQ(out.chars, row.chars) << row.line;
    }
}

TEST(SendLineTest, StartAndEndCharactersByType) {
    struct Row {
        const char* on;
        int type;
        std::string start;
        std::string end;
    };
    const Row rows[] = {
        {"Y", 1, "%\n", "\n%"},   {"Y", 2, "%%\n", "\n%%"}, {"Y", 3, "% *\n", "\n%\n"},
        {"Y", 4, "%", "\n%%\n"},  {"Y", 5, "%%", ""},       {"Y", 0, "", ""},
        {"N", 1, "\n", "\x14"},
    };
    for (const Row& row : rows) {
        Settings settings;
        settings.StartChar = row.on;
        settings.StartChar_Type = row.type;
        settings.EndChar = row.on;
        settings.EndChar_Type = row.type;
        EXPECT_EQ(StartCharacters(settings), row.start) << row.on << row.type;
        EXPECT_EQ(EndCharacters(settings), row.end) << row.on << row.type;
    }
    Settings settings;
    for (const int before : {0, 1, 2, 3}) {
        settings.Send_Before = before;
        EXPECT_EQ(LeaderCharacters(settings), before == 1 ? std::string(200, ' ') : "");
    }
}

TEST(SendLineTest, LineAccountingAndProgramEnds) {
    EXPECT_EQ(LineCount("O1000"), 7);
    EXPECT_EQ(LineEndCorrection(2), 0);
    EXPECT_EQ(LineEndCorrection(1), 1);
    EXPECT_EQ(LineEndCorrection(0), 0);
    for (const char* line : {"M99", "N10M02", "M2", "M20", "G0M30X1"}) EXPECT_TRUE(PausesAfter(line));
    for (const char* line : {"M9", "M03", "G02", "m30"}) EXPECT_FALSE(PausesAfter(line));
}

TEST(SendLineTest, ViewLinesAndTheirEnds) {
    const SendView view("A\r\nBB\nC\rD\r\n\r\nE");
    ASSERT_EQ(view.LineCount(), 6u);
    const std::pair<const char*, int> lines[] = {{"A", 2}, {"BB", 1}, {"C", 1},
                                                 {"D", 2}, {"", 2},   {"E", 0}};
    for (std::size_t i = 0; i < view.LineCount(); ++i) {
        EXPECT_EQ(view.Line(i), lines[i].first) << i;
        EXPECT_EQ(view.LineEndLength(i), lines[i].second) << i;
    }
    EXPECT_EQ(SendView("O1\n").LineCount(), 1u);
    EXPECT_TRUE(SendView("").empty());
    EXPECT_EQ(SendView("").LineCount(), 0u);
}

}  // namespace
}  // namespace wexal
