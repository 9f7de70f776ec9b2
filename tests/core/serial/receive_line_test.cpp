#include "serial/receive_line.h"

#include <gtest/gtest.h>

#include <string>

namespace wexal {
namespace {

std::string Assemble(std::string_view text, bool cutSpaces) {
    LineAssembly line;
    for (const char c : text) PutCharIntoLine(line, static_cast<std::uint8_t>(c), cutSpaces);
    return line.buffer;
}

TEST(ReceiveLineTest, CharactersAreFilteredAndWordsSpaced) {
    struct Row {
        const char* in;
        bool cutSpaces;
        const char* out;
    };
    const Row rows[] = {
        {"G01X10.Y-5.(CUT A)", false, "G01 X10. Y-5.(CUT A)"},
        {"G01 X10.", false, "G01 X10."},
        {"N10G0", false, "N10 G0"},
        {"G01 X10. (CUT A)", true, "G01X10.(CUT A)"},
        // Lower case, TAB, flow-control and eighth-bit bytes never enter a line.
        {"g01x1.", false, "011."},
        {"G\t0\x11\x13\xC1" "1", false, "G01"},
        {"O1234(TEST)", false, "O1234(TEST)"},
        {"X1\"A\"", false, "X1 \"A\""},
        {"M30  ", false, "M30"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Assemble(row.in, row.cutSpaces), row.out) << row.in;
    }
}

TEST(ReceiveLineTest, StartCharactersAreThoseOfATapeStart) {
    for (const char c : std::string("%OP:LNG$\n")) EXPECT_TRUE(IsStartCharacter(c)) << c;
    for (const char c : std::string("XM1 \r\x14")) EXPECT_FALSE(IsStartCharacter(c)) << c;
    EXPECT_FALSE(IsStartCharacter(0));
}

TEST(ReceiveLineTest, ALineFeedFinishesTheLineAsItsContentAsks) {
    using Kind = LineEnd::Kind;
    struct Row {
        const char* buffer;
        bool percentSeen;
        bool colonChange;
        Kind kind;
        bool programNumber;
        bool keep;
        bool endsReceive;
        const char* text;
        const char* bufferAfter;
    };
    const Row rows[] = {
        {"%", false, false, Kind::FirstPercentDropped, false, false, false, "", ""},
        {"%O100", false, false, Kind::Finished, true, true, false, "O100", ""},
        {":100", true, false, Kind::Finished, true, true, false, "O100", ""},
        {"O100", true, true, Kind::Finished, true, true, false, ":100", ""},
        {"L20", true, true, Kind::Finished, true, true, false, "L20", ""},
        {"  G0 \t", true, false, Kind::Finished, false, true, false, "G0", ""},
        {"O", true, false, Kind::Continued, true, false, false, "O", "O"},
        {"O", true, true, Kind::Continued, true, false, false, ":", ":"},
        {"X&HE:", true, false, Kind::Finished, false, false, false, "X&HE:", ""},
        {"O&FW1", true, false, Kind::Finished, true, false, false, "O&FW1", ""},
        {":&FW", true, true, Kind::Finished, true, false, false, ":&FW", ""},
        {"%G1%", false, false, Kind::Finished, false, true, false, "G1%", ""},
    };
    for (const Row& row : rows) {
        LineAssembly line;
        line.buffer = row.buffer;
        line.percentSeen = row.percentSeen;
        line.wordStart = false;
        line.inComment = true;
        const LineEnd end = EndLine(line, row.colonChange);
        EXPECT_EQ(end.kind, row.kind) << row.buffer;
        EXPECT_EQ(end.programNumber, row.programNumber) << row.buffer;
        EXPECT_EQ(end.keep, row.keep) << row.buffer;
        EXPECT_EQ(end.endsReceive, row.endsReceive) << row.buffer;
        EXPECT_EQ(end.text, row.text) << row.buffer;
        EXPECT_EQ(line.buffer, row.bufferAfter) << row.buffer;
        if (row.kind != Kind::Continued) {
            EXPECT_TRUE(line.percentSeen) << row.buffer;
        }
        if (row.kind == Kind::Finished) {
            EXPECT_TRUE(line.wordStart) << row.buffer;
            EXPECT_FALSE(line.inComment) << row.buffer;
        }
    }
}

TEST(ReceiveLineTest, TheEndMarkKeepsALineOfThreeOrMore) {
    EXPECT_EQ(EndMarkLine("%"), std::nullopt);
    EXPECT_EQ(EndMarkLine("M%"), std::nullopt);
    EXPECT_EQ(EndMarkLine("M30%"), std::optional<std::string>("M30"));
    LineAssembly line;
    line.buffer = "M30%";
    EXPECT_FALSE(EndMarkReached(line));
    line.percentSeen = true;
    EXPECT_TRUE(EndMarkReached(line));
}

}  // namespace
}  // namespace wexal
