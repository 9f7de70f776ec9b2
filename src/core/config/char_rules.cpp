#include "config/char_rules.h"

#include <string>

#include "platform/text_codec.h"

namespace wexal {

namespace {

constexpr char32_t kBackspace = 0x08;

}  // namespace

bool IsCharPermitted(char32_t c, std::string_view forbidden) {
    const std::string encoded = Utf8OfChar(c);
    if (encoded.empty()) return true;
    return forbidden.find(encoded) == std::string_view::npos;
}

std::optional<BoxMessage> RefusedChar(const CharRule& rule, char32_t c) {
    if (c == kBackspace || IsCharPermitted(c, rule.forbidden)) return std::nullopt;
    return BoxMessage{std::string(rule.message), kInputErrorCaption, MessageIcon::Error};
}

}  // namespace wexal
