#include "platform/text_lines.h"

#include <cstring>

namespace wexal {

TextLine LineAt(std::string_view text, std::size_t start) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) return {text.substr(start), text.size(), 0};
    const std::uint8_t endLength =
        text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1;
    return {text.substr(start, end - start), end + endLength, endLength};
}

std::size_t CountLines(std::string_view text) {
    std::size_t count = 0;
    ForEachLine(text, [&](std::string_view) {
        ++count;
        return true;
    });
    return count;
}

}  // namespace wexal
