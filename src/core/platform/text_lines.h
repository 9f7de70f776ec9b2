#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace wexal {

// One line of a text: a line ends at CR LF, LF or a lone CR; text after the
// last line end is one more line. The view, the send and the NC tools all
// see the same lines.
struct TextLine {
    std::string_view text;  // without its line end
    std::size_t next = 0;   // where the following line starts
    std::uint8_t end = 0;   // 2 for CR LF, 1 for LF or CR, 0 for none
};

// The line that starts at start (< text.size()).
TextLine LineAt(std::string_view text, std::size_t start);

// Calls f(line) for every line in order; f returns false to stop early.
template <typename F>
void ForEachLine(std::string_view text, F&& f) {
    for (std::size_t at = 0; at < text.size();) {
        const TextLine line = LineAt(text, at);
        if (!f(line.text)) return;
        at = line.next;
    }
}

// Number of lines ForEachLine visits.
std::size_t CountLines(std::string_view text);

}  // namespace wexal
