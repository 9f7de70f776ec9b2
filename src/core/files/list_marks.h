#pragma once

#include <set>
#include <vector>

namespace wexal {

// The marks of the file list. Two things are kept apart, as the list shows
// them: which rows show "*" (the rows' mark column) and the slots MarkedRows,
// which remember the marked rows in marking order. Work is bounded by the
// limit and the number of marked rows, never by the number of rows.
class ListMarks {
public:
    explicit ListMarks(int limit);

    int Limit() const { return limit_; }
    int MarkedCount() const { return count_; }
    // Slot i holds a row index or -1 when free; Limit() slots.
    const std::vector<int>& MarkedRows() const { return slots_; }
    bool IsMarked(int row) const { return shown_.count(row) != 0; }
    // Rows that show "*", in row order.
    const std::set<int>& ShownRows() const { return shown_; }

    // A marked row loses its mark and its slot; an unmarked one is marked
    // into the first free slot while fewer than Limit() are marked.
    void Toggle(int row);
    // Marks exactly the rows [first, last] that are at least firstFileRow,
    // the range cut to Limit() rows from first; every other row is unmarked.
    void MarkRange(int first, int last, int firstFileRow);
    // Every "*" goes, and the slots are cleared.
    void UnmarkAll();
    // Slots only: all free, count 0. The rows keep showing what they show.
    void ClearMarks();
    // Used slots moved to the front, in order.
    void CompactMarks();
    // The row's "*" only; its slot stays.
    void HideMark(int row) { shown_.erase(row); }

private:
    int limit_;
    int count_ = 0;
    std::vector<int> slots_;
    std::set<int> shown_;
};

}  // namespace wexal
