#include "revisions/program_diff.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <unordered_map>

#include "platform/text_lines.h"

namespace wexal {

namespace {

using Kind = DiffRun::Kind;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Myers' O(ND) shortest edit in linear space: the middle snake of each part
// splits it in two until a part has nothing in common. Lines are numbers
// here, one for every distinct compared text.
class Differ {
public:
    Differ(const std::vector<int>& a, const std::vector<int>& b, const std::function<bool()>& stop)
        : a_(a), b_(b), stop_(stop) {}

    bool Run(std::vector<DiffRun>& runs) {
        Diff(0, a_.size(), 0, b_.size());
        runs = std::move(runs_);
        return !stopped_;
    }

private:
    void Emit(Kind kind, std::size_t a, std::size_t b, std::size_t count) {
        if (count == 0) return;
        if (!runs_.empty() && runs_.back().kind == kind) {
            runs_.back().count += count;
            return;
        }
        runs_.push_back({kind, a, b, count});
    }

    bool Stopped() {
        if (!stopped_ && stop_ && (++steps_ & 0xFFF) == 0) stopped_ = stop_();
        return stopped_;
    }

    void Diff(std::size_t a0, std::size_t a1, std::size_t b0, std::size_t b1) {
        if (stopped_) return;
        std::size_t prefix = 0;
        while (a0 + prefix < a1 && b0 + prefix < b1 && a_[a0 + prefix] == b_[b0 + prefix]) ++prefix;
        Emit(Kind::Same, a0, b0, prefix);
        a0 += prefix;
        b0 += prefix;
        std::size_t suffix = 0;
        while (a1 - suffix > a0 && b1 - suffix > b0 && a_[a1 - suffix - 1] == b_[b1 - suffix - 1]) {
            ++suffix;
        }
        a1 -= suffix;
        b1 -= suffix;
        if (a0 == a1 || b0 == b1) {
            Emit(Kind::Removed, a0, b0, a1 - a0);
            Emit(Kind::Added, a1, b0, b1 - b0);
        } else {
            Bisect(a0, a1, b0, b1);
        }
        Emit(Kind::Same, a1, b1, suffix);
    }

    // Finds where the shortest edit of the part crosses its middle and
    // compares the two halves on their own.
    void Bisect(std::size_t a0, std::size_t a1, std::size_t b0, std::size_t b1) {
        const auto n = static_cast<std::int64_t>(a1 - a0);
        const auto m = static_cast<std::int64_t>(b1 - b0);
        const std::int64_t maxD = (n + m + 1) / 2;
        const std::int64_t offset = maxD;
        const std::int64_t length = 2 * maxD + 2;
        std::vector<std::int64_t> forward(static_cast<std::size_t>(length), -1);
        std::vector<std::int64_t> backward(static_cast<std::size_t>(length), -1);
        forward[static_cast<std::size_t>(offset + 1)] = 0;
        backward[static_cast<std::size_t>(offset + 1)] = 0;
        const std::int64_t delta = n - m;
        const bool front = (delta & 1) != 0;
        std::int64_t k1start = 0, k1end = 0, k2start = 0, k2end = 0;
        const auto A = [&](std::int64_t i) { return a_[a0 + static_cast<std::size_t>(i)]; };
        const auto B = [&](std::int64_t i) { return b_[b0 + static_cast<std::size_t>(i)]; };
        const auto at = [](std::vector<std::int64_t>& v, std::int64_t i) -> std::int64_t& {
            return v[static_cast<std::size_t>(i)];
        };
        for (std::int64_t d = 0; d < maxD; ++d) {
            for (std::int64_t k1 = -d + k1start; k1 <= d - k1end; k1 += 2) {
                if (Stopped()) return;
                const std::int64_t k1o = offset + k1;
                std::int64_t x1 = (k1 == -d || (k1 != d && at(forward, k1o - 1) < at(forward, k1o + 1)))
                                      ? at(forward, k1o + 1)
                                      : at(forward, k1o - 1) + 1;
                std::int64_t y1 = x1 - k1;
                while (x1 < n && y1 < m && A(x1) == B(y1)) {
                    ++x1;
                    ++y1;
                }
                at(forward, k1o) = x1;
                if (x1 > n) {
                    k1end += 2;
                } else if (y1 > m) {
                    k1start += 2;
                } else if (front) {
                    const std::int64_t k2o = offset + delta - k1;
                    if (k2o >= 0 && k2o < length && at(backward, k2o) != -1 &&
                        x1 >= n - at(backward, k2o)) {
                        return Split(a0, a1, b0, b1, x1, y1);
                    }
                }
            }
            for (std::int64_t k2 = -d + k2start; k2 <= d - k2end; k2 += 2) {
                if (Stopped()) return;
                const std::int64_t k2o = offset + k2;
                std::int64_t x2 = (k2 == -d || (k2 != d && at(backward, k2o - 1) < at(backward, k2o + 1)))
                                      ? at(backward, k2o + 1)
                                      : at(backward, k2o - 1) + 1;
                std::int64_t y2 = x2 - k2;
                while (x2 < n && y2 < m && A(n - x2 - 1) == B(m - y2 - 1)) {
                    ++x2;
                    ++y2;
                }
                at(backward, k2o) = x2;
                if (x2 > n) {
                    k2end += 2;
                } else if (y2 > m) {
                    k2start += 2;
                } else if (!front) {
                    const std::int64_t k1o = offset + delta - k2;
                    if (k1o >= 0 && k1o < length && at(forward, k1o) != -1) {
                        const std::int64_t x1 = at(forward, k1o);
                        const std::int64_t y1 = offset + x1 - k1o;
                        if (x1 >= n - x2) return Split(a0, a1, b0, b1, x1, y1);
                    }
                }
            }
        }
        // Nothing in common.
        Emit(Kind::Removed, a0, b0, a1 - a0);
        Emit(Kind::Added, a1, b0, b1 - b0);
    }

    void Split(std::size_t a0, std::size_t a1, std::size_t b0, std::size_t b1, std::int64_t x,
               std::int64_t y) {
        const std::size_t am = a0 + static_cast<std::size_t>(x);
        const std::size_t bm = b0 + static_cast<std::size_t>(y);
        Diff(a0, am, b0, bm);
        Diff(am, a1, bm, b1);
    }

    const std::vector<int>& a_;
    const std::vector<int>& b_;
    const std::function<bool()>& stop_;
    std::vector<DiffRun> runs_;
    std::uint64_t steps_ = 0;
    bool stopped_ = false;
};

// Between two runs of the same lines, the removed lines and the added lines
// each stand together: one removed run, then one added run.
std::vector<DiffRun> Tidy(const std::vector<DiffRun>& runs) {
    std::vector<DiffRun> tidy;
    for (std::size_t i = 0; i < runs.size();) {
        if (runs[i].kind == Kind::Same) {
            tidy.push_back(runs[i++]);
            continue;
        }
        DiffRun removed{Kind::Removed, runs[i].a, runs[i].b, 0};
        DiffRun added{Kind::Added, runs[i].a, runs[i].b, 0};
        bool anyAdded = false;
        for (; i < runs.size() && runs[i].kind != Kind::Same; ++i) {
            if (runs[i].kind == Kind::Removed) {
                removed.count += runs[i].count;
            } else {
                if (!anyAdded) added.b = runs[i].b;
                anyAdded = true;
                added.count += runs[i].count;
            }
        }
        added.a = removed.a + removed.count;
        if (removed.count > 0) tidy.push_back(removed);
        if (added.count > 0) tidy.push_back(added);
    }
    return tidy;
}

}  // namespace

ProgramLines SplitProgramLines(std::string_view bytes) {
    ProgramLines lines;
    for (std::size_t at = 0; at < bytes.size();) {
        const TextLine line = LineAt(bytes, at);
        lines.text.push_back(line.text);
        const std::size_t endAt = at + line.text.size();
        lines.ends.push_back(bytes.substr(endAt, line.end));
        at = line.next;
    }
    return lines;
}

std::string CompareKey(std::string_view line, const CompareOptions& options) {
    std::string key;
    key.reserve(line.size());
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (options.ignoreBlanks && IsBlank(c)) continue;
        // An N word: the letter and its digits (blanks between them too).
        if (options.ignoreN && (c == 'N' || c == 'n') &&
            (key.empty() || !std::isalpha(static_cast<unsigned char>(key.back())))) {
            std::size_t j = i + 1;
            while (j < line.size() && IsBlank(line[j])) ++j;
            if (j < line.size() && IsDigit(line[j])) {
                while (j < line.size() && IsDigit(line[j])) ++j;
                i = j - 1;
                continue;
            }
        }
        key += options.ignoreCase ? Upper(c) : c;
    }
    return key;
}

Comparison CompareLines(const std::vector<std::string_view>& a,
                        const std::vector<std::string_view>& b, const CompareOptions& options,
                        const std::function<bool()>& stop) {
    Comparison result;
    if (a.size() > kMostCompareLines || b.size() > kMostCompareLines) {
        result.error = kTooLongToCompare;
        return result;
    }
    // Every distinct compared text gets a number; equal numbers, equal lines.
    const bool exact = options == CompareOptions{};
    std::unordered_map<std::string, int> numbers;
    std::unordered_map<std::string_view, int> exactNumbers;
    // Numbering a million lines takes a while too: the stop is asked here as well.
    bool stopped = false;
    const auto numbered = [&](const std::vector<std::string_view>& lines) {
        std::vector<int> ids;
        ids.reserve(lines.size());
        for (std::string_view line : lines) {
            if (stop && (ids.size() & 0xFFF) == 0xFFF && (stopped || (stopped = stop()))) break;
            const auto next = static_cast<int>(exact ? exactNumbers.size() : numbers.size());
            ids.push_back(exact ? exactNumbers.try_emplace(line, next).first->second
                                : numbers.try_emplace(CompareKey(line, options), next).first->second);
        }
        return ids;
    };
    const std::vector<int> ia = numbered(a);
    const std::vector<int> ib = stopped ? std::vector<int>() : numbered(b);
    numbers.clear();
    exactNumbers.clear();
    std::vector<DiffRun> runs;
    if (stopped || !Differ(ia, ib, stop).Run(runs)) {
        result.error = kCompareStopped;
        return result;
    }
    result.runs = Tidy(runs);
    for (const DiffRun& run : result.runs) {
        if (run.kind == Kind::Added) result.added += run.count;
        if (run.kind == Kind::Removed) result.removed += run.count;
    }
    return result;
}

DiffCounts CountChanges(const Comparison& comparison) {
    DiffCounts counts;
    const std::vector<DiffRun>& runs = comparison.runs;
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (runs[i].kind == Kind::Added) counts.added += runs[i].count;
        if (runs[i].kind != Kind::Removed) continue;
        if (i + 1 < runs.size() && runs[i + 1].kind == Kind::Added) {
            const std::size_t both = std::min(runs[i].count, runs[i + 1].count);
            counts.changed += both;
            counts.removed += runs[i].count - both;
            counts.added += runs[i + 1].count - both;
            ++i;
        } else {
            counts.removed += runs[i].count;
        }
    }
    return counts;
}

std::string DiffCountsText(const DiffCounts& counts) {
    return "追加 " + std::to_string(counts.added) + " 行\u3000削除 " +
           std::to_string(counts.removed) + " 行\u3000変更 " + std::to_string(counts.changed) +
           " 行";
}

ChangedSpan ChangedPart(std::string_view a, std::string_view b) {
    std::size_t prefix = 0;
    while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix]) ++prefix;
    std::size_t suffix = 0;
    while (suffix < a.size() - prefix && suffix < b.size() - prefix &&
           a[a.size() - suffix - 1] == b[b.size() - suffix - 1]) {
        ++suffix;
    }
    return {prefix, a.size() - suffix, prefix, b.size() - suffix};
}

std::string UnifiedDiff(const ProgramLines& a, const ProgramLines& b,
                        const Comparison& comparison, std::string_view aLabel,
                        std::string_view bLabel) {
    constexpr std::size_t kContext = 3;
    const std::vector<DiffRun>& runs = comparison.runs;
    std::string out;
    const auto line = [&](char mark, std::string_view text, std::string_view end) {
        out += mark;
        out += text;
        if (end.empty()) {
            out += "\n\\ No newline at end of file\n";
        } else {
            out += end;
        }
    };
    const auto range = [](std::size_t start, std::size_t count) {
        // An empty range names the line before it.
        std::string text = std::to_string(count == 0 ? start : start + 1);
        if (count != 1) text += "," + std::to_string(count);
        return text;
    };
    for (std::size_t i = 0; i < runs.size();) {
        if (runs[i].kind == Kind::Same) {
            ++i;
            continue;
        }
        // A hunk: changes whose same lines between them are few enough to
        // be shown as context.
        std::size_t last = i;
        while (last + 1 < runs.size()) {
            const std::size_t next = last + 1;
            if (runs[next].kind != Kind::Same) {
                last = next;
            } else if (next + 1 < runs.size() && runs[next].count <= 2 * kContext) {
                last = next + 1;
            } else {
                break;
            }
        }
        const std::size_t before =
            i > 0 ? std::min(kContext, runs[i - 1].count) : 0;
        const std::size_t after =
            last + 1 < runs.size() ? std::min(kContext, runs[last + 1].count) : 0;
        const std::size_t aStart = runs[i].a - before;
        const std::size_t bStart = runs[i].b - before;
        const DiffRun& end = runs[last];
        const std::size_t aEnd =
            (end.kind == Kind::Added ? end.a : end.a + end.count) + after;
        const std::size_t bEnd =
            (end.kind == Kind::Removed ? end.b : end.b + end.count) + after;
        if (out.empty()) {
            out = "--- " + std::string(aLabel) + "\n+++ " + std::string(bLabel) + "\n";
        }
        out += "@@ -" + range(aStart, aEnd - aStart) + " +" + range(bStart, bEnd - bStart) +
               " @@\n";
        for (std::size_t k = 0; k < before; ++k) {
            line(' ', a.text[aStart + k], a.ends[aStart + k]);
        }
        for (std::size_t r = i; r <= last; ++r) {
            const DiffRun& run = runs[r];
            for (std::size_t k = 0; k < run.count; ++k) {
                if (run.kind == Kind::Added) {
                    line('+', b.text[run.b + k], b.ends[run.b + k]);
                } else {
                    line(run.kind == Kind::Same ? ' ' : '-', a.text[run.a + k], a.ends[run.a + k]);
                }
            }
        }
        for (std::size_t k = 0; k < after; ++k) {
            const std::size_t at = runs[last + 1].a + k;
            line(' ', a.text[at], a.ends[at]);
        }
        i = last + 1;
    }
    return out;
}

}  // namespace wexal
