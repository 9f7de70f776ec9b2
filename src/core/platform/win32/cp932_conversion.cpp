#include "platform/cp932_conversion.h"

#include <windows.h>

#include <cerrno>
#include <cstdint>

#include "platform/text_codec.h"

namespace wexal::cp932 {
namespace {

// Code page 932 by number, so the files read the same whatever the system's
// ANSI code page is.
constexpr UINT kCp932 = 932;

bool IsLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Of the single bytes above ASCII only the half-width katakana are cp932;
// Windows also maps 0x80, 0xA0 and 0xFD..0xFF, which iconv refuses.
bool IsSingleByteKana(unsigned char b) { return b >= 0xA1 && b <= 0xDF; }

std::uint32_t DecodeUtf8(std::string_view ch) {
    const auto b = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(ch[i]));
    };
    switch (ch.size()) {
        case 1:
            return b(0);
        case 2:
            return (b(0) & 0x1F) << 6 | (b(1) & 0x3F);
        case 3:
            return (b(0) & 0x0F) << 12 | (b(1) & 0x3F) << 6 | (b(2) & 0x3F);
        default:
            return (b(0) & 0x07) << 18 | (b(1) & 0x3F) << 12 | (b(2) & 0x3F) << 6 | (b(3) & 0x3F);
    }
}

// Characters that cp932 converters take one way only: Windows calls them
// best fits and refuses them with WC_NO_BEST_FIT_CHARS, iconv maps them.
std::uint32_t OneWay(std::uint32_t cp) {
    switch (cp) {
        case 0x00A5:
            return 0x005C;
        case 0x203E:
            return 0x007E;
        case 0x2212:
            return 0xFF0D;
        case 0x2014:
            return 0x2015;
        case 0x2016:
            return 0x2225;
        case 0x301C:
            return 0xFF5E;
        case 0x00A2:
            return 0xFFE0;
        case 0x00A3:
            return 0xFFE1;
        case 0x00AC:
            return 0xFFE2;
        default:
            return cp;
    }
}

bool AppendUtf16AsUtf8(const wchar_t* units, int count, std::string& out) {
    char buffer[16];
    const int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, units, count, buffer,
                                         sizeof buffer, nullptr, nullptr);
    if (size <= 0) return false;
    out.append(buffer, static_cast<std::size_t>(size));
    return true;
}

}  // namespace

bool Available() { return IsValidCodePage(kCp932) != FALSE; }

// A character at a time: the conversion must stop exactly at the first
// sequence it cannot take, which a whole-buffer call does not tell.
int Decode(std::string_view& in, std::string& out) {
    while (!in.empty()) {
        const auto first = static_cast<unsigned char>(in[0]);
        if (first < 0x80) {
            out.push_back(static_cast<char>(first));
            in.remove_prefix(1);
            continue;
        }
        if (!IsLeadByte(first) && !IsSingleByteKana(first)) return EILSEQ;
        const int length = IsLeadByte(first) ? 2 : 1;
        if (in.size() < static_cast<std::size_t>(length)) return EINVAL;
        wchar_t units[2];
        const int count =
            MultiByteToWideChar(kCp932, MB_ERR_INVALID_CHARS, in.data(), length, units, 2);
        if (count <= 0 || !AppendUtf16AsUtf8(units, count, out)) return EILSEQ;
        in.remove_prefix(static_cast<std::size_t>(length));
    }
    return 0;
}

int Encode(std::string_view& in, std::string& out) {
    while (!in.empty()) {
        const std::size_t length = Utf8SequenceLength(in);
        if (length == 0) return EILSEQ;
        const std::uint32_t cp = OneWay(DecodeUtf8(in.substr(0, length)));
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
            in.remove_prefix(length);
            continue;
        }
        wchar_t units[2];
        int count = 1;
        if (cp >= 0x10000) {
            units[0] = static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
            units[1] = static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
            count = 2;
        } else {
            units[0] = static_cast<wchar_t>(cp);
        }
        char bytes[8];
        BOOL usedDefault = FALSE;
        const int size = WideCharToMultiByte(kCp932, WC_NO_BEST_FIT_CHARS, units, count, bytes,
                                             sizeof bytes, nullptr, &usedDefault);
        if (size <= 0 || usedDefault) return EILSEQ;
        if (size == 1 && !IsSingleByteKana(static_cast<unsigned char>(bytes[0]))) return EILSEQ;
        out.append(bytes, static_cast<std::size_t>(size));
        in.remove_prefix(length);
    }
    return 0;
}

}  // namespace wexal::cp932
