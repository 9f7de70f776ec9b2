#include "revisions/program_diff.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace wexal {
namespace {

std::vector<std::string_view> Lines(const ProgramLines& lines) { return lines.text; }

// The length of the longest common subsequence, the slow and sure way.
std::size_t Lcs(const std::vector<int>& a, const std::vector<int>& b) {
    std::vector<std::vector<std::size_t>> t(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            t[i][j] = a[i - 1] == b[j - 1] ? t[i - 1][j - 1] + 1 : std::max(t[i - 1][j], t[i][j - 1]);
        }
    }
    return t[a.size()][b.size()];
}

TEST(ProgramDiffTest, TheOptionsReadAProgramAsItsProgrammerDoes) {
    struct Case {
        const char* what;
        std::string a, b;
        CompareOptions options;
        DiffCounts counts;
    };
    const CompareOptions exact, blanks{true, false, false}, n{false, true, false},
        caseless{false, false, true}, all{true, true, true};
    const std::string master = "%\nO1000\nN10G01X10.Y5.F300\nN20G00Z50.\nM30\n%\n";
    const std::string punched = "%\r\nO1000\r\nN10 G01 X10. Y5. F300\r\nN20 G00 Z50.\r\nM30\r\n%\r\n";
    const std::string renumbered = "%\nO1000\nN100G01X10.Y5.F300\nN110G00Z50.\nM30\n%\n";
    const Case cases[] = {
        {"punched back: equal without blanks", master, punched, blanks, {0, 0, 0}},
        {"punched back: two lines changed exactly", master, punched, exact, {0, 0, 2}},
        {"CR LF against LF never counts", master, "%\r\nO1000\r\nN10G01X10.Y5.F300\r\nN20G00Z50.\r\nM30\r\n%",
         exact, {0, 0, 0}},
        {"renumbered N words", master, renumbered, n, {0, 0, 0}},
        {"renumbered, exactly", master, renumbered, exact, {0, 0, 2}},
        {"an N inside a comment stays", "(MAIN 1)\n", "(MAIN 2)\n", n, {0, 0, 1}},
        {"case", master, "%\no1000\nn10g01x10.y5.f300\nN20G00Z50.\nm30\n%\n", caseless,
         {0, 0, 0}},
        {"all three", master, "%\no1000\nn500 g01 x10. y5. f300\nn510 g00 z50.\nm30\n%\n", all,
         {0, 0, 0}},
        {"a line added, a feed changed and the next line removed", master,
         "%\nG04P1.\nO1000\nN10G01X10.Y5.F250\nM30\n%\n", exact, {1, 1, 1}},
    };
    for (const Case& c : cases) {
        const ProgramLines a = SplitProgramLines(c.a), b = SplitProgramLines(c.b);
        const Comparison comparison = CompareLines(Lines(a), Lines(b), c.options);
        EXPECT_EQ(CountChanges(comparison), c.counts) << c.what;
        EXPECT_EQ(comparison.equal(), c.counts == DiffCounts{}) << c.what;
    }
    EXPECT_EQ(DiffCountsText({3, 1, 2}), "追加 3 行　削除 1 行　変更 2 行");
    EXPECT_EQ(ChangedPart("N10G01X10.F300", "N10G01X10.F250"), (ChangedSpan{11, 13, 11, 13}));
}

TEST(ProgramDiffTest, TheEditIsAlwaysTheShortestAndRebuildsTheSecondProgram) {
    std::mt19937 random(31);
    for (int round = 0; round < 300; ++round) {
        std::vector<int> a(random() % 40), b(random() % 40);
        const int alphabet = 1 + static_cast<int>(random() % 6);
        for (int& x : a) x = static_cast<int>(random() % alphabet);
        for (int& x : b) x = static_cast<int>(random() % alphabet);
        std::vector<std::string> ta, tb;
        for (int x : a) ta.push_back("L" + std::to_string(x));
        for (int x : b) tb.push_back("L" + std::to_string(x));
        const std::vector<std::string_view> va(ta.begin(), ta.end()), vb(tb.begin(), tb.end());
        const Comparison c = CompareLines(va, vb, {});
        const std::size_t common = Lcs(a, b);
        ASSERT_EQ(c.removed, a.size() - common) << round;
        ASSERT_EQ(c.added, b.size() - common) << round;
        // Walking the runs over a gives b.
        std::vector<std::string_view> rebuilt;
        for (const DiffRun& run : c.runs) {
            for (std::size_t k = 0; k < run.count; ++k) {
                if (run.kind == DiffRun::Kind::Same) {
                    ASSERT_EQ(va[run.a + k], vb[run.b + k]);
                    rebuilt.push_back(va[run.a + k]);
                } else if (run.kind == DiffRun::Kind::Added) {
                    rebuilt.push_back(vb[run.b + k]);
                }
            }
        }
        ASSERT_EQ(rebuilt, vb) << round;
    }
}

TEST(ProgramDiffTest, ALongComparisonStopsWhenAskedAndTooLongIsSaid) {
    std::vector<std::string> ta, tb;
    for (int i = 0; i < 20000; ++i) {
        ta.push_back("A" + std::to_string(i));
        tb.push_back("B" + std::to_string(i));
    }
    const std::vector<std::string_view> va(ta.begin(), ta.end()), vb(tb.begin(), tb.end());
    // Interleaved, so there is a little in common and much to search.
    std::vector<std::string_view> mixed = va;
    for (std::size_t i = 0; i < mixed.size(); i += 7) mixed[i] = vb[i];
    int asked = 0;
    const Comparison stopped = CompareLines(va, mixed, {}, [&] { return ++asked > 3; });
    EXPECT_EQ(stopped.error, kCompareStopped);
    EXPECT_EQ(asked, 4);

    const std::vector<std::string_view> tooLong(kMostCompareLines + 1, "G01");
    EXPECT_EQ(CompareLines(tooLong, va, {}).error, kTooLongToCompare);
}

TEST(ProgramDiffTest, TheUnifiedDiffKeepsEachLinesOwnEnd) {
    const ProgramLines a = SplitProgramLines("%\r\nO1\r\nG01X1.\r\nG01X2.\r\nM30\r\n%");
    const ProgramLines b = SplitProgramLines("%\r\nO1\r\nG01X1.5\r\nG01X2.\r\nM30\r\nM99\n");
    const Comparison c = CompareLines(Lines(a), Lines(b), {});
    EXPECT_EQ(UnifiedDiff(a, b, c, "a.NC", "b.NC"),
              "--- a.NC\n+++ b.NC\n@@ -1,6 +1,6 @@\n %\r\n O1\r\n-G01X1.\r\n+G01X1.5\r\n"
              " G01X2.\r\n M30\r\n-%\n\\ No newline at end of file\n+M99\n");
    EXPECT_EQ(UnifiedDiff(a, a, CompareLines(Lines(a), Lines(a), {}), "a", "a"), "");
}

}  // namespace
}  // namespace wexal
