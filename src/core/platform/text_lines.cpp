#include "platform/text_lines.h"

#include <cstring>

#include <cstring>

namespace wexal {

TextLine LineAt(std::string_view text, std::size_t start) {
    // Two memchr calls instead of find_first_of, which tests the set byte by
    // byte: lines are short and programs are long.
    const char* const first = text.data() + start;
    const char* const last = text.data() + text.size();
    const auto* feed = static_cast<const char*>(std::memchr(first, '\n', last - first));
    const char* const limit = feed != nullptr ? feed : last;
    const auto* ret = static_cast<const char*>(std::memchr(first, '\r', limit - first));
    const char* const end = ret != nullptr ? ret : feed;
    if (end == nullptr) return {text.substr(start), text.size(), 0};
    const std::size_t at = static_cast<std::size_t>(end - text.data());
    const std::uint8_t endLength = *end == '\r' && end + 1 < last && end[1] == '\n' ? 2 : 1;
    return {text.substr(start, at - start), at + endLength, endLength};
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
