#include "files/list_marks.h"

#include <algorithm>

namespace wexal {

ListMarks::ListMarks(int limit) : limit_(limit < 0 ? 0 : limit), slots_(limit_, -1) {}

void ListMarks::Toggle(int row) {
    if (shown_.count(row) != 0) {
        shown_.erase(row);
        // A row marked before ClearMarks has no slot; the count is not its.
        auto slot = std::find(slots_.begin(), slots_.end(), row);
        if (slot != slots_.end()) {
            *slot = -1;
            --count_;
        }
        return;
    }
    if (count_ >= limit_) return;
    auto slot = std::find(slots_.begin(), slots_.end(), -1);
    if (slot == slots_.end()) return;
    *slot = row;
    ++count_;
    shown_.insert(row);
}

void ListMarks::MarkRange(int first, int last, int firstFileRow) {
    ClearMarks();
    shown_.clear();
    if (first > last) return;
    last = std::min(last, first + limit_ - 1);
    for (int row = std::max(first, firstFileRow); row <= last; ++row) {
        slots_[count_++] = row;
        shown_.insert(row);
    }
}

void ListMarks::UnmarkAll() {
    shown_.clear();
    ClearMarks();
}

void ListMarks::ClearMarks() {
    std::fill(slots_.begin(), slots_.end(), -1);
    count_ = 0;
}

void ListMarks::CompactMarks() {
    std::stable_partition(slots_.begin(), slots_.end(), [](int row) { return row != -1; });
}

}  // namespace wexal
