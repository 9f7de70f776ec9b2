#include "config/entry_field.h"

#include <charconv>
#include <cstdint>

#include "platform/text_codec.h"

namespace wexal {

bool IsCharAllowed(char32_t c, std::string_view allowed) {
    const std::string encoded = Utf8OfChar(c);
    return c != 0 && !encoded.empty() && allowed.find(encoded) != std::string_view::npos;
}

bool FieldTakesChar(char32_t c, std::string_view allowed) {
    if (c == kBackspaceChar) return true;
    if (allowed.empty()) return c >= 0x20 && c != 0x7F;
    return IsCharAllowed(c, allowed);
}

std::string UpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

char32_t UpperAscii(char32_t c) { return c >= U'a' && c <= U'z' ? c - U'a' + U'A' : c; }

int NextInRing(int tag, int count) { return tag >= count ? 1 : tag + 1; }

int PreviousInRing(int tag, int count) { return tag <= 1 ? count : tag - 1; }

std::optional<int> ReadFieldNumber(std::string_view text) {
    std::int32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [last, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || last != end) return std::nullopt;
    return value;
}

}  // namespace wexal
