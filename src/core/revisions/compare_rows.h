#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "revisions/program_diff.h"

// Two compared programs side by side, as the comparison window shows them:
// which line of each stands on every display row, where the differences
// begin, what a row reads as drawn, and the status line. The window only
// paints what this says and moves through it.
namespace wexal {

inline constexpr const char* kComparing = "比較中…";
inline constexpr const char* kNoRevisionToCompare = "このファイルには版がありません。";

enum class CompareRowKind {
    Same,     // a line in both
    Removed,  // a line of the left only; a filler on the right
    Added,    // a line of the right only; a filler on the left
    Changed,  // a removed line opposite the added line that took its place
};

struct CompareRow {
    CompareRowKind kind = CompareRowKind::Same;
    std::optional<std::size_t> left;   // line index on each side; none: a filler
    std::optional<std::size_t> right;
    friend bool operator==(const CompareRow&, const CompareRow&) = default;
};

// The display rows of a comparison, worked out from its runs on demand, so
// that a million lines cost a few bytes per difference rather than per row.
class CompareRows {
public:
    CompareRows() = default;
    explicit CompareRows(const Comparison& comparison);

    std::size_t size() const { return size_; }
    CompareRow At(std::size_t row) const;

    // A difference is a removed and an added run that meet, or either alone:
    // its display rows [first, second).
    std::size_t DifferenceCount() const { return differences_.size(); }
    std::pair<std::size_t, std::size_t> DifferenceRows(std::size_t difference) const;
    // How many differences begin before a row.
    std::size_t DifferencesBefore(std::size_t row) const;

private:
    struct Block {
        std::size_t row = 0;     // first display row
        std::size_t a = 0, b = 0;  // first line on each side
        std::size_t aCount = 0, bCount = 0;
        bool same = true;
    };
    std::vector<Block> blocks_;
    std::vector<std::size_t> differences_;  // indexes into blocks_
    std::size_t size_ = 0;
};

// One side of a row as drawn: "<number> <mark> <text>", the number right
// aligned, the mark "-" removed, "+" added, "!" changed, " " the same; a
// filler draws nothing. The text is cp932 decoded, tabs to stops of eight,
// cut after kCompareShownBytes bytes with "…".
struct CompareCell {
    bool filler = true;
    std::string number;
    std::string mark;
    std::string text;
    // The characters of a changed line that differ from the other side, as
    // byte offsets into text; equal when nothing is marked.
    std::size_t changedBegin = 0, changedEnd = 0;
    std::string Drawn() const;
};
inline constexpr std::size_t kCompareShownBytes = 4096;

// Both cells of a row. numberColumns is the width of the line numbers,
// NumberColumns of the two programs.
std::pair<CompareCell, CompareCell> CompareCells(const CompareRow& row, const ProgramLines& left,
                                                 const ProgramLines& right,
                                                 std::size_t numberColumns);
std::size_t NumberColumns(const ProgramLines& left, const ProgramLines& right);

// "空白無視 ON  N番号無視 OFF  大小無視 OFF"
std::string CompareOptionsText(const CompareOptions& options);
// The counts, where the shown difference stands ("違い 2/5", or "違い 5 か所"
// before one is chosen; "違いはありません。" for none), and the options.
std::string CompareStatusText(const DiffCounts& counts, std::size_t differences,
                              std::optional<std::size_t> current, const CompareOptions& options);
// While a comparison runs, or after it stopped or failed: the word and the options.
std::string CompareStateText(const std::string& state, const CompareOptions& options);

// Where the window stands in the rows: the top row and the difference on show.
// N puts the next difference kContextRows below the top, so the lines
// before it stay in sight.
class CompareScroll {
public:
    static constexpr std::size_t kContextRows = 3;

    // A fresh comparison: top row, no difference chosen.
    void Reset(std::size_t rows, std::size_t visibleRows);
    // The window's height changed.
    void SetVisibleRows(std::size_t visibleRows);

    std::size_t top() const { return top_; }
    std::optional<std::size_t> current() const { return current_; }

    void ScrollBy(long long rows);  // Up/Down one row, PageUp/PageDown a page
    void ToTop();
    void ToEnd();
    void ScrollTo(std::size_t top);
    // N and P: from the difference on show when it is in sight, else from
    // the rows in sight. False, and nothing moved, when there is no further one.
    bool NextDifference(const CompareRows& rows);
    bool PreviousDifference(const CompareRows& rows);
    std::size_t visibleRows() const { return visible_; }

private:
    std::size_t MostTop() const;
    bool CurrentInSight(const CompareRows& rows) const;
    void Show(const CompareRows& rows, std::size_t difference);

    std::size_t rows_ = 0;
    std::size_t visible_ = 1;
    std::size_t top_ = 0;
    std::optional<std::size_t> current_;
};

}  // namespace wexal
