#include "revisions/compare_rows.h"

#include <algorithm>

#include "platform/text_codec.h"

namespace wexal {

namespace {

using Kind = DiffRun::Kind;

constexpr std::size_t kTabColumns = 8;
constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr const char* kEllipsis = "\xE2\x80\xA6";      // …

bool IsCp932Lead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// The span widened to whole cp932 characters, so that neither half of a
// kanji is marked alone.
std::pair<std::size_t, std::size_t> WholeCharacters(std::string_view line, std::size_t begin,
                                                    std::size_t end) {
    if (begin >= end) return {begin, begin};
    std::size_t wideBegin = begin, wideEnd = end;
    for (std::size_t i = 0; i < line.size();) {
        const std::size_t length =
            IsCp932Lead(static_cast<unsigned char>(line[i])) && i + 1 < line.size() ? 2 : 1;
        if (i < begin && begin < i + length) wideBegin = i;
        if (i < end && end < i + length) wideEnd = i + length;
        i += length;
    }
    return {wideBegin, wideEnd};
}

// Appends raw bytes as drawn: decoded, a tab to the next stop, a control
// character as U+FFFD so that it is seen; column counts display columns.
void AppendShown(std::string& out, std::size_t& column, std::string_view raw) {
    const std::string decoded = Cp932ToUtf8Lossy(raw);
    std::string_view rest = decoded;
    while (!rest.empty()) {
        const std::size_t length = Utf8CharLength(rest);
        const std::string_view c = rest.substr(0, length);
        rest.remove_prefix(length);
        if (c == "\t") {
            const std::size_t blanks = kTabColumns - column % kTabColumns;
            out.append(blanks, ' ');
            column += blanks;
        } else if (length == 1 && (static_cast<unsigned char>(c[0]) < 0x20 || c[0] == 0x7F)) {
            out += kReplacement;
            column += 2;
        } else {
            out += c;
            column += Cp932Width(c);
        }
    }
}

// A line as drawn, with the changed bytes [begin, end) of the raw line as
// offsets into the drawn text.
void ShowLine(CompareCell& cell, std::string_view raw, std::size_t begin, std::size_t end) {
    const bool cut = raw.size() > kCompareShownBytes;
    if (cut) raw = raw.substr(0, kCompareShownBytes);
    begin = std::min(begin, raw.size());
    end = std::min(std::max(end, begin), raw.size());
    std::size_t column = 0;
    AppendShown(cell.text, column, raw.substr(0, begin));
    cell.changedBegin = cell.text.size();
    AppendShown(cell.text, column, raw.substr(begin, end - begin));
    cell.changedEnd = cell.text.size();
    AppendShown(cell.text, column, raw.substr(end));
    if (cut) cell.text += kEllipsis;
}

std::string PadLeft(const std::string& text, std::size_t columns) {
    return text.size() < columns ? std::string(columns - text.size(), ' ') + text : text;
}

const char* MarkOf(CompareRowKind kind) {
    switch (kind) {
        case CompareRowKind::Removed:
            return "-";
        case CompareRowKind::Added:
            return "+";
        case CompareRowKind::Changed:
            return "!";
        case CompareRowKind::Same:
            break;
    }
    return " ";
}

std::string OnOff(bool on) { return on ? "ON" : "OFF"; }

}  // namespace

CompareRows::CompareRows(const Comparison& comparison) {
    const std::vector<DiffRun>& runs = comparison.runs;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const DiffRun& run = runs[i];
        Block block{size_, run.a, run.b, 0, 0, run.kind == Kind::Same};
        if (run.kind == Kind::Same) {
            block.aCount = block.bCount = run.count;
        } else if (run.kind == Kind::Added) {
            block.bCount = run.count;
        } else {
            block.aCount = run.count;
            if (i + 1 < runs.size() && runs[i + 1].kind == Kind::Added) {
                block.bCount = runs[++i].count;
            }
        }
        if (!block.same) differences_.push_back(blocks_.size());
        size_ += std::max(block.aCount, block.bCount);
        blocks_.push_back(block);
    }
}

CompareRow CompareRows::At(std::size_t row) const {
    if (row >= size_) return {};
    const auto after = std::upper_bound(blocks_.begin(), blocks_.end(), row,
                                        [](std::size_t r, const Block& b) { return r < b.row; });
    const Block& block = *(after - 1);
    const std::size_t k = row - block.row;
    if (block.same) return {CompareRowKind::Same, block.a + k, block.b + k};
    if (k < std::min(block.aCount, block.bCount)) {
        return {CompareRowKind::Changed, block.a + k, block.b + k};
    }
    if (block.aCount > block.bCount) return {CompareRowKind::Removed, block.a + k, std::nullopt};
    return {CompareRowKind::Added, std::nullopt, block.b + k};
}

std::pair<std::size_t, std::size_t> CompareRows::DifferenceRows(std::size_t difference) const {
    const Block& block = blocks_[differences_[difference]];
    return {block.row, block.row + std::max(block.aCount, block.bCount)};
}

std::size_t CompareRows::DifferencesBefore(std::size_t row) const {
    const auto at = std::lower_bound(
        differences_.begin(), differences_.end(), row,
        [this](std::size_t block, std::size_t r) { return blocks_[block].row < r; });
    return static_cast<std::size_t>(at - differences_.begin());
}

std::string CompareCell::Drawn() const {
    if (filler) return {};
    return number + " " + mark + " " + text;
}

std::size_t NumberColumns(const ProgramLines& left, const ProgramLines& right) {
    return std::to_string(std::max<std::size_t>({left.text.size(), right.text.size(), 1})).size();
}

std::pair<CompareCell, CompareCell> CompareCells(const CompareRow& row, const ProgramLines& left,
                                                 const ProgramLines& right,
                                                 std::size_t numberColumns) {
    std::pair<CompareCell, CompareCell> cells;
    std::string_view leftLine, rightLine;
    if (row.left) leftLine = left.text.at(*row.left);
    if (row.right) rightLine = right.text.at(*row.right);
    ChangedSpan span;
    if (row.kind == CompareRowKind::Changed) {
        span = ChangedPart(leftLine, rightLine);
        std::tie(span.aBegin, span.aEnd) = WholeCharacters(leftLine, span.aBegin, span.aEnd);
        std::tie(span.bBegin, span.bEnd) = WholeCharacters(rightLine, span.bBegin, span.bEnd);
    }
    const auto fill = [&](CompareCell& cell, const std::optional<std::size_t>& line,
                          std::string_view raw, std::size_t begin, std::size_t end) {
        if (!line) return;
        cell.filler = false;
        cell.number = PadLeft(std::to_string(*line + 1), numberColumns);
        cell.mark = MarkOf(row.kind);
        ShowLine(cell, raw, begin, end);
    };
    fill(cells.first, row.left, leftLine, span.aBegin, span.aEnd);
    fill(cells.second, row.right, rightLine, span.bBegin, span.bEnd);
    return cells;
}

std::string CompareOptionsText(const CompareOptions& options) {
    return "空白無視 " + OnOff(options.ignoreBlanks) + "  N番号無視 " + OnOff(options.ignoreN) +
           "  大小無視 " + OnOff(options.ignoreCase);
}

std::string CompareStatusText(const DiffCounts& counts, std::size_t differences,
                              std::optional<std::size_t> current, const CompareOptions& options) {
    std::string where;
    if (differences == 0) {
        where = "違いはありません。";
    } else if (current) {
        where = "違い " + std::to_string(*current + 1) + "/" + std::to_string(differences);
    } else {
        where = "違い " + std::to_string(differences) + " か所";
    }
    return DiffCountsText(counts) + "\u3000" + where + "\u3000\u3000" + CompareOptionsText(options);
}

std::string CompareStateText(const std::string& state, const CompareOptions& options) {
    return state + "\u3000\u3000" + CompareOptionsText(options);
}

void CompareScroll::Reset(std::size_t rows, std::size_t visibleRows) {
    rows_ = rows;
    visible_ = std::max<std::size_t>(visibleRows, 1);
    top_ = 0;
    current_.reset();
}

void CompareScroll::SetVisibleRows(std::size_t visibleRows) {
    visible_ = std::max<std::size_t>(visibleRows, 1);
    top_ = std::min(top_, MostTop());
}

std::size_t CompareScroll::MostTop() const { return rows_ > visible_ ? rows_ - visible_ : 0; }

void CompareScroll::ScrollBy(long long rows) {
    if (rows < 0) {
        const auto up = static_cast<std::size_t>(-rows);
        top_ = top_ > up ? top_ - up : 0;
    } else {
        ScrollTo(top_ + static_cast<std::size_t>(rows));
    }
}

void CompareScroll::ToTop() { top_ = 0; }

void CompareScroll::ToEnd() { top_ = MostTop(); }

void CompareScroll::ScrollTo(std::size_t top) { top_ = std::min(top, MostTop()); }

bool CompareScroll::CurrentInSight(const CompareRows& rows) const {
    if (!current_ || *current_ >= rows.DifferenceCount()) return false;
    const std::size_t start = rows.DifferenceRows(*current_).first;
    return start >= top_ && start < top_ + visible_;
}

void CompareScroll::Show(const CompareRows& rows, std::size_t difference) {
    current_ = difference;
    const std::size_t start = rows.DifferenceRows(difference).first;
    ScrollTo(start - std::min(start, kContextRows));
}

bool CompareScroll::NextDifference(const CompareRows& rows) {
    const std::size_t count = rows.DifferenceCount();
    const std::size_t next =
        CurrentInSight(rows) ? *current_ + 1 : rows.DifferencesBefore(top_);
    if (next >= count) return false;
    Show(rows, next);
    return true;
}

bool CompareScroll::PreviousDifference(const CompareRows& rows) {
    // The one wanted is the last of these.
    const std::size_t before =
        CurrentInSight(rows) ? *current_ : rows.DifferencesBefore(top_ + visible_);
    if (before == 0) return false;
    Show(rows, before - 1);
    return true;
}

}  // namespace wexal
