#include "revisions/compare_rows.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "revisions/compare_programs.h"
#include "support/test_env.h"

namespace wexal {
namespace {

// A side as drawn, the changed characters in brackets.
std::string Shown(const CompareCell& cell) {
    std::string drawn = cell.Drawn();
    if (cell.changedEnd > cell.changedBegin) {
        const std::size_t text = drawn.size() - cell.text.size();
        drawn.insert(text + cell.changedEnd, "]");
        drawn.insert(text + cell.changedBegin, "[");
    }
    return drawn;
}

std::vector<std::string> RowsOf(const std::string& a, const std::string& b,
                                const CompareOptions& options, CompareRows* out = nullptr) {
    const ProgramLines left = SplitProgramLines(a), right = SplitProgramLines(b);
    const CompareRows rows(CompareLines(left.text, right.text, options));
    std::vector<std::string> shown;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const auto [l, rt] = CompareCells(rows.At(r), left, right, NumberColumns(left, right));
        shown.push_back(Shown(l) + "|" + Shown(rt));
    }
    if (out) *out = rows;
    return shown;
}

TEST(CompareRows, LinesSideBySide) {
    struct Case {
        const char* what;
        std::string a, b;
        CompareOptions options;
        std::vector<std::string> rows;
        std::vector<std::pair<std::size_t, std::size_t>> differences;
    };
    const CompareOptions exact, blanks{true, false, false};
    const std::string ten = "1\n2\n3\n4\n5\n6\n7\n8\n9\nA\n";
    const Case cases[] = {
        {"a line added, a feed changed and the next line removed",
         "O1\nG01X10.F300\nG00Z50.\nM30\n", "G04P1.\nO1\nG01X10.F250\nM30\n", exact,
         {"|1 + G04P1.", "1   O1|2   O1", "2 ! G01X10.F[30]0|3 ! G01X10.F[25]0", "3 - G00Z50.|",
          "4   M30|4   M30"},
         {{0, 1}, {2, 4}}},
        {"more removed than added: the rest opposite fillers", "A\nB\nC\nD\n", "A\nX\nD\n",
         exact, {"1   A|1   A", "2 ! [B]|2 ! [X]", "3 - C|", "4   D|3   D"}, {{1, 3}}},
        {"the numbers as wide as the longest program", ten, ten + "B\n", exact,
         {" 1   1| 1   1", " 2   2| 2   2", " 3   3| 3   3", " 4   4| 4   4", " 5   5| 5   5",
          " 6   6| 6   6", " 7   7| 7   7", " 8   8| 8   8", " 9   9| 9   9", "10   A|10   A",
          "|11 + B"},
         {{10, 11}}},
        {"a kanji is marked whole", "(\x8A\xDB)\n", "(\x8A\xDC)\n", exact,
         {"1 ! ([丸])|1 ! ([含])"}, {{0, 1}}},
        {"blanks ignored: the same", "G01 X1.\n", "G01X1.\n", blanks, {"1   G01 X1.|1   G01X1."},
         {}},
        {"tabs to stops of eight, a control character seen", "N1\tX1\x01\n", "N1\tX2\x01\n",
         exact, {"1 ! N1      X[1]\xEF\xBF\xBD|1 ! N1      X[2]\xEF\xBF\xBD"}, {{0, 1}}},
        {"nothing on either side", "", "", exact, {}, {}},
    };
    for (const Case& c : cases) {
        CompareRows rows;
        EXPECT_EQ(RowsOf(c.a, c.b, c.options, &rows), c.rows) << c.what;
        std::vector<std::pair<std::size_t, std::size_t>> differences;
        for (std::size_t d = 0; d < rows.DifferenceCount(); ++d) {
            differences.push_back(rows.DifferenceRows(d));
        }
        EXPECT_EQ(differences, c.differences) << c.what;
    }
    // A line past the shown bytes ends in an ellipsis.
    const std::string longLine(kCompareShownBytes + 5, 'X');
    const ProgramLines a = SplitProgramLines(longLine), b = SplitProgramLines("Y");
    const auto [cell, other] = CompareCells({CompareRowKind::Removed, 0, std::nullopt}, a, b, 1);
    EXPECT_EQ(cell.text, std::string(kCompareShownBytes, 'X') + "…");
    EXPECT_TRUE(other.filler);
    EXPECT_EQ(other.Drawn(), "");
}

// N, P and the scroll keys over 40 rows, 10 in sight, with differences on
// rows 2, 20-21 and 39.
TEST(CompareRows, ScrollAndDifferences) {
    std::string a, b;
    for (int i = 0; i < 40; ++i) {
        const std::string line = "L" + std::to_string(i) + "\n";
        a += line;
        b += (i == 2 || i == 20 || i == 38) ? "X" + line : line;
        if (i == 20) a += "R\n";
    }
    const ProgramLines left = SplitProgramLines(a), right = SplitProgramLines(b);
    const CompareRows rows(CompareLines(left.text, right.text, {}));
    ASSERT_EQ(rows.size(), 41u);
    ASSERT_EQ(rows.DifferenceCount(), 3u);
    EXPECT_EQ(rows.DifferenceRows(1), (std::pair<std::size_t, std::size_t>{20, 22}));
    EXPECT_EQ(rows.At(21), (CompareRow{CompareRowKind::Removed, 21, std::nullopt}));

    enum Key { Next, Previous, Down, PageDown, PageUp, Home, End };
    struct Step {
        Key key;
        bool moved;
        std::size_t top;
        std::optional<std::size_t> current;
    };
    const Step steps[] = {
        {Previous, true, 0, 0},       // from the rows in sight: the one on row 2
        {Next, true, 17, 1},          // three rows of context above it
        {Next, true, 31, 2},          // the end of the rows: no further down
        {Next, false, 31, 2},
        {Previous, true, 17, 1},
        {Home, true, 0, 1},           // out of sight: N starts from the top row
        {Next, true, 0, 0},
        {PageDown, true, 10, 0},
        {Next, true, 17, 1},          // the first from the rows in sight
        {Down, true, 18, 1},
        {End, true, 31, 1},
        {Previous, true, 31, 2},      // the last one in sight
        {PageUp, true, 21, 2},
        {Previous, true, 17, 1},
    };
    CompareScroll scroll;
    scroll.Reset(rows.size(), 10);
    int n = 0;
    for (const Step& step : steps) {
        bool moved = true;
        switch (step.key) {
            case Next: moved = scroll.NextDifference(rows); break;
            case Previous: moved = scroll.PreviousDifference(rows); break;
            case Down: scroll.ScrollBy(1); break;
            case PageDown: scroll.ScrollBy(10); break;
            case PageUp: scroll.ScrollBy(-10); break;
            case Home: scroll.ToTop(); break;
            case End: scroll.ToEnd(); break;
        }
        EXPECT_EQ(moved, step.moved) << "step " << n;
        EXPECT_EQ(scroll.top(), step.top) << "step " << n;
        EXPECT_EQ(scroll.current(), step.current) << "step " << n;
        ++n;
    }
    scroll.ScrollBy(-100);
    EXPECT_EQ(scroll.top(), 0u);
    scroll.SetVisibleRows(50);
    scroll.ToEnd();
    EXPECT_EQ(scroll.top(), 0u);
}

TEST(ComparePrograms, ReadAndCompared) {
    const test::TempDir dir;
    const auto file = [&](const char* name, const std::string& bytes) {
        test::WriteFileBytes(dir / name, bytes);
        return dir / name;
    };
    const auto left = file("A.NC", "O1\nG01 X1.\nM30\n");
    const auto right = file("B.NC", "O1\nG01X1.\nM30\n");
    const auto tooLong = file("LONG.NC", std::string(kMostCompareLines, '\n') + "M30");
    const auto justRight = file("MAX.NC", std::string(kMostCompareLines, '\n'));
    const auto missing = dir / "GONE.NC";
    struct Case {
        std::filesystem::path a, b;
        std::string error;
        bool fileError;
        DiffCounts counts;
    };
    const Case cases[] = {
        {left, right, "", false, {0, 0, 1}},
        {left, tooLong, kTooLongToCompare, true, {}},
        {missing, right,
         "ファイルを読み込めません。\n" + missing.string() + "\nファイルまたはフォルダーが見つかりません。",
         true, {}},
        {justRight, justRight, "", false, {}},
    };
    for (const Case& c : cases) {
        const CompareOutcome outcome = ComparePrograms(c.a, nullptr, c.b, nullptr, {}, {});
        EXPECT_EQ(outcome.comparison.error, c.error) << c.b;
        EXPECT_EQ(outcome.fileError, c.fileError) << c.b;
        EXPECT_EQ(outcome.counts, c.counts) << c.b;
    }
    // A second run takes the programs it is given and reads nothing.
    const CompareOutcome first = ComparePrograms(left, nullptr, right, nullptr, {}, {});
    std::filesystem::remove(left);
    const CompareOutcome again =
        ComparePrograms(left, first.left, right, first.right, {true, false, false}, {});
    EXPECT_TRUE(again.comparison.equal());
    EXPECT_EQ(again.rows.size(), 3u);
    // A stop asked before anything was read.
    const CompareOutcome stopped =
        ComparePrograms(right, nullptr, right, nullptr, {}, [] { return true; });
    EXPECT_EQ(stopped.comparison.error, kCompareStopped);
    EXPECT_FALSE(stopped.fileError);
}

}  // namespace
}  // namespace wexal
