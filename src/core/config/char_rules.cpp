#include "config/char_rules.h"

#include <string>

namespace wexal {

namespace {

constexpr char32_t kBackspace = 0x08;

// UTF-8 form of a code point; empty for a value that is no character.
std::string EncodeUtf8(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        if (c >= 0xD800 && c <= 0xDFFF) return {};
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c <= 0x10FFFF) {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

}  // namespace

bool IsCharPermitted(char32_t c, std::string_view forbidden) {
    const std::string encoded = EncodeUtf8(c);
    if (encoded.empty()) return true;
    return forbidden.find(encoded) == std::string_view::npos;
}

std::optional<BoxMessage> RefusedChar(const CharRule& rule, char32_t c) {
    if (c == kBackspace || IsCharPermitted(c, rule.forbidden)) return std::nullopt;
    return BoxMessage{std::string(rule.message), kInputErrorCaption, MessageIcon::Error};
}

}  // namespace wexal
