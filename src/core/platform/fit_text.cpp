#include "platform/fit_text.h"

#include <vector>

#include "platform/text_codec.h"

namespace wexal {

namespace {

constexpr std::string_view kEllipsis = "…";

struct Char {
    std::string_view text;
    std::size_t width;
};

std::vector<Char> Chars(std::string_view text) {
    std::vector<Char> chars;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = Utf8CharLength(text.substr(at));
        const std::string_view one = text.substr(at, length);
        chars.push_back({one, Cp932Width(one)});
        at += length;
    }
    return chars;
}

// chars[from, to) keeps at most head columns from its start and tail columns
// from its end, with the ellipsis between.
std::string CutMiddle(const std::vector<Char>& chars, std::size_t from, std::size_t to,
                      std::size_t head, std::size_t tail) {
    std::size_t headEnd = from;
    for (std::size_t used = 0; headEnd < to && used + chars[headEnd].width <= head; ++headEnd) {
        used += chars[headEnd].width;
    }
    std::size_t tailStart = to;
    for (std::size_t used = 0; tailStart > headEnd && used + chars[tailStart - 1].width <= tail;
         --tailStart) {
        used += chars[tailStart - 1].width;
    }
    std::string out;
    for (std::size_t i = 0; i < headEnd; ++i) out += chars[i].text;
    out += kEllipsis;
    for (std::size_t i = tailStart; i < chars.size(); ++i) out += chars[i].text;
    return out;
}

}  // namespace

std::string FitMiddle(std::string_view text, std::size_t columns) {
    const std::size_t width = Cp932Width(text);
    if (width <= columns) return std::string(text);
    const std::vector<Char> chars = Chars(text);
    const std::size_t ellipsis = Cp932Width(kEllipsis);
    const std::size_t excess = width - columns + ellipsis;

    // The longest run of half-width characters without blanks.
    std::size_t bestFrom = 0, bestTo = 0;
    for (std::size_t from = 0; from < chars.size();) {
        std::size_t to = from;
        while (to < chars.size() && chars[to].width == 1 && chars[to].text != " ") ++to;
        if (to - from > bestTo - bestFrom) {
            bestFrom = from;
            bestTo = to;
        }
        from = to == from ? from + 1 : to;
    }
    const std::size_t run = bestTo - bestFrom;  // half-width: chars are columns
    if (run >= excess + 2) {
        const std::size_t keep = run - excess;
        std::string out;
        for (std::size_t i = 0; i < bestFrom; ++i) out += chars[i].text;
        std::vector<Char> rest(chars.begin() + static_cast<std::ptrdiff_t>(bestFrom),
                               chars.end());
        return out + CutMiddle(rest, 0, bestTo - bestFrom, (keep + 1) / 2, keep / 2);
    }
    if (columns < ellipsis) return std::string();
    const std::size_t keep = columns - ellipsis;
    return CutMiddle(chars, 0, chars.size(), (keep + 1) / 2, keep / 2);
}

}  // namespace wexal
