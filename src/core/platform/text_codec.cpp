#include "platform/text_codec.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "platform/cp932_conversion.h"

namespace wexal {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// ASCII is the same in UTF-8 and cp932; most settings values are pure ASCII
// and skip the converter altogether.
bool IsAscii(std::string_view text) {
    for (unsigned char c : text) {
        if (c >= 0x80) return false;
    }
    return true;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendUnit(std::string& out, std::uint32_t unit, bool bigEndian) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    out.push_back(bigEndian ? high : low);
    out.push_back(bigEndian ? low : high);
}

}  // namespace

std::string OneLine(std::string_view text) {
    std::string out(text);
    std::replace(out.begin(), out.end(), '\n', ' ');
    return out;
}

std::string PrintableText(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    while (!text.empty()) {
        std::size_t length = Utf8SequenceLength(text);
        const auto first = static_cast<unsigned char>(text.front());
        unsigned code = first;
        bool escape = false;
        if (length == 0) {
            length = 1;
            escape = true;
        } else if (length == 1) {
            escape = first < 0x20 || first == 0x7F;
        } else if (length == 2 && first == 0xC2) {  // U+0080 to U+00BF
            code = static_cast<unsigned char>(text[1]);
            escape = code <= 0x9F;
        }
        if (escape) {
            out += "\\x";
            out += kHex[code >> 4];
            out += kHex[code & 0xF];
        } else {
            out.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    return out;
}

std::size_t Utf8SequenceLength(std::string_view text) {
    if (text.empty()) return 0;
    const auto b0 = static_cast<unsigned char>(text[0]);
    if (b0 < 0x80) return 1;
    std::size_t length = 0;
    std::uint32_t cp = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        cp = b0 & 0x1Fu;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        cp = b0 & 0x0Fu;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        cp = b0 & 0x07u;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if ((b & 0xC0u) != 0x80u) return 0;
        cp = (cp << 6) | (b & 0x3Fu);
    }
    if (length == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) return 0;
    if (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) return 0;
    return length;
}

bool IsUtf8(std::string_view text) {
    while (!text.empty()) {
        // ASCII runs are the common case.
        if (static_cast<unsigned char>(text.front()) < 0x80) {
            text.remove_prefix(1);
            continue;
        }
        const std::size_t length = Utf8SequenceLength(text);
        if (length == 0) return false;
        text.remove_prefix(length);
    }
    return true;
}

std::string Utf16ToWtf8(std::string_view bytes, bool bigEndian) {
    const std::size_t units = bytes.size() / 2;
    auto unitAt = [&](std::size_t i) -> std::uint32_t {
        const auto a = static_cast<unsigned char>(bytes[2 * i]);
        const auto b = static_cast<unsigned char>(bytes[2 * i + 1]);
        return bigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    std::string out;
    out.reserve(units + units / 2);
    for (std::size_t i = 0; i < units; ++i) {
        std::uint32_t unit = unitAt(i);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units) {
            const std::uint32_t next = unitAt(i + 1);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
                ++i;
            }
        }
        AppendUtf8(out, unit);
    }
    return out;
}

std::optional<std::string> Wtf8ToUtf16(std::string_view text, bool bigEndian) {
    std::string out;
    out.reserve(text.size() * 2);
    while (!text.empty()) {
        const auto b0 = static_cast<unsigned char>(text.front());
        if (b0 < 0x80) {
            AppendUnit(out, b0, bigEndian);
            text.remove_prefix(1);
            continue;
        }
        std::size_t length = Utf8SequenceLength(text);
        std::uint32_t cp = 0;
        if (length == 0) {
            // A surrogate on its own, as Utf16ToWtf8 writes it: ED A0..BF xx.
            if (text.size() < 3 || b0 != 0xED) return std::nullopt;
            const auto b1 = static_cast<unsigned char>(text[1]);
            const auto b2 = static_cast<unsigned char>(text[2]);
            if (b1 < 0xA0 || b1 > 0xBF || (b2 & 0xC0u) != 0x80u) return std::nullopt;
            length = 3;
            cp = 0xD000u | ((b1 & 0x3Fu) << 6) | (b2 & 0x3Fu);
        } else {
            cp = b0 & (length == 2 ? 0x1Fu : length == 3 ? 0x0Fu : 0x07u);
            for (std::size_t i = 1; i < length; ++i) {
                cp = (cp << 6) | (static_cast<unsigned char>(text[i]) & 0x3Fu);
            }
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            AppendUnit(out, 0xD800 + (cp >> 10), bigEndian);
            AppendUnit(out, 0xDC00 + (cp & 0x3FF), bigEndian);
        } else {
            AppendUnit(out, cp, bigEndian);
        }
        text.remove_prefix(length);
    }
    return out;
}

std::optional<std::string> Cp932ToUtf8(std::string_view bytes) {
    if (IsAscii(bytes)) return std::string(bytes);
    if (!cp932::Available()) return std::nullopt;
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    if (cp932::Decode(bytes, out) != 0) return std::nullopt;
    return out;
}

std::string Cp932ToUtf8Lossy(std::string_view bytes) {
    if (IsAscii(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    if (!cp932::Available()) {
        for (char c : bytes) {
            if (static_cast<unsigned char>(c) < 0x80) {
                out.push_back(c);
            } else {
                out.append(kReplacement);
            }
        }
        return out;
    }
    while (cp932::Decode(bytes, out) != 0) {
        out.append(kReplacement);
        bytes.remove_prefix(1);
    }
    return out;
}

std::optional<std::string> Utf8ToCp932(std::string_view utf8) {
    if (IsAscii(utf8)) return std::string(utf8);
    if (!cp932::Available()) return std::nullopt;
    std::string out;
    out.reserve(utf8.size());
    if (cp932::Encode(utf8, out) != 0) return std::nullopt;
    return out;
}

std::size_t Cp932Width(std::string_view utf8) {
    if (IsAscii(utf8)) return utf8.size();
    const bool available = cp932::Available();
    std::size_t width = 0;
    std::string encoded;
    while (!utf8.empty()) {
        encoded.clear();
        const int error = available ? cp932::Encode(utf8, encoded) : EILSEQ;
        width += encoded.size();
        if (error == 0) break;
        const std::size_t length = Utf8SequenceLength(utf8);
        if (length == 0) {
            width += 1;
            utf8.remove_prefix(1);
            continue;
        }
        if (!available) {
            // Without a converter only the one-byte ranges can be told apart:
            // ASCII and half-width katakana (U+FF61..U+FF9F, EF BD A1..EF BE 9F).
            const std::string_view ch = utf8.substr(0, length);
            const bool halfWidthKana = length == 3 && ch >= "\xEF\xBD\xA1" && ch <= "\xEF\xBE\x9F";
            width += (length == 1 || halfWidthKana) ? 1 : 2;
        } else {
            width += 2;
        }
        utf8.remove_prefix(length);
    }
    return width;
}

std::string Utf8OfChar(char32_t c) {
    std::string out;
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return out;
    AppendUtf8(out, c);
    return out;
}

std::size_t Utf8CharLength(std::string_view text) {
    const std::size_t length = Utf8SequenceLength(text);
    return length != 0 ? length : 1;
}

}  // namespace wexal
