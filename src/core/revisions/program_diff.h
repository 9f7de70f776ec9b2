#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Two programs compared line by line the way an NC programmer reads them:
// optionally without blanks, without N words (sequence numbers the control
// renumbers) and without case. Line ends (CR LF, LF, CR) never count.
namespace wexal {

struct CompareOptions {
    bool ignoreBlanks = false;
    bool ignoreN = false;
    bool ignoreCase = false;
    friend bool operator==(const CompareOptions&, const CompareOptions&) = default;
};

// Programs longer than this are not compared: the window and the command line
// say so.
inline constexpr std::size_t kMostCompareLines = 1'000'000;
inline constexpr const char* kTooLongToCompare =
    "100万行を超えるプログラムは比較できません。";
inline constexpr const char* kCompareStopped = "比較を中止しました。";

// A program's lines with their line ends, as the comparison and the unified
// diff take them.
struct ProgramLines {
    std::vector<std::string_view> text;  // without the line end
    std::vector<std::string_view> ends;  // "\r\n", "\n", "\r" or "" (the last line)
};
ProgramLines SplitProgramLines(std::string_view bytes);

// What a line is compared as.
std::string CompareKey(std::string_view line, const CompareOptions& options);

// A run of lines: the same in both, only in the first (removed) or only in
// the second (added). `a` and `b` are where it starts in each program.
struct DiffRun {
    enum class Kind { Same, Removed, Added };
    Kind kind = Kind::Same;
    std::size_t a = 0;
    std::size_t b = 0;
    std::size_t count = 0;
    friend bool operator==(const DiffRun&, const DiffRun&) = default;
};

struct Comparison {
    std::vector<DiffRun> runs;  // in order; a Removed run comes before the Added run it meets
    std::size_t added = 0;
    std::size_t removed = 0;
    std::string error;  // too long, or stopped: nothing else is valid
    bool equal() const { return error.empty() && added == 0 && removed == 0; }
};

// The shortest edit from a to b (Myers' algorithm in linear space). `stop`
// is asked now and then; true ends the comparison with kCompareStopped.
Comparison CompareLines(const std::vector<std::string_view>& a,
                        const std::vector<std::string_view>& b, const CompareOptions& options,
                        const std::function<bool()>& stop = {});

// Added, removed and changed lines as the window counts them: a removed run
// met by an added run changes the lines they have in common.
struct DiffCounts {
    std::size_t added = 0;
    std::size_t removed = 0;
    std::size_t changed = 0;
    friend bool operator==(const DiffCounts&, const DiffCounts&) = default;
};
DiffCounts CountChanges(const Comparison& comparison);
// "追加 3 行　削除 1 行　変更 2 行"
std::string DiffCountsText(const DiffCounts& counts);

// The part of a changed line that differs from its counterpart: the bytes
// between their common beginning and common end, [begin, end) in each.
struct ChangedSpan {
    std::size_t aBegin = 0, aEnd = 0, bBegin = 0, bEnd = 0;
    friend bool operator==(const ChangedSpan&, const ChangedSpan&) = default;
};
ChangedSpan ChangedPart(std::string_view a, std::string_view b);

// A unified diff (as diff -u writes it, three lines of context) of a against
// b, each line with its own line end, so that patch turns a into b. "" when
// they are equal.
std::string UnifiedDiff(const ProgramLines& a, const ProgramLines& b,
                        const Comparison& comparison, std::string_view aLabel,
                        std::string_view bLabel);

}  // namespace wexal
