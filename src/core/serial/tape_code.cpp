#include "serial/tape_code.h"

#include <array>
#include <bit>
#include <utility>

#include "serial/line_settings.h"

namespace wexal {

namespace {

constexpr std::uint8_t kLf = 0x0A;
constexpr std::uint8_t kEiaEndOfBlock = 0x80;

// Characters whose EIA code reads back as the same character.
// clang-format off
constexpr std::pair<char, std::uint8_t> kEiaPairs[] = {
    {'0', 0x20}, {'1', 0x01}, {'2', 0x02}, {'3', 0x13}, {'4', 0x04}, {'5', 0x15},
    {'6', 0x16}, {'7', 0x07}, {'8', 0x08}, {'9', 0x19}, {'A', 0x61}, {'B', 0x62},
    {'C', 0x73}, {'D', 0x64}, {'E', 0x75}, {'F', 0x76}, {'G', 0x67}, {'H', 0x68},
    {'I', 0x79}, {'J', 0x51}, {'K', 0x52}, {'L', 0x43}, {'M', 0x54}, {'N', 0x45},
    {'O', 0x46}, {'P', 0x57}, {'Q', 0x58}, {'R', 0x49}, {'S', 0x32}, {'T', 0x23},
    {'U', 0x34}, {'V', 0x25}, {'W', 0x26}, {'X', 0x37}, {'Y', 0x38}, {'Z', 0x29},
    {'%', 0x0B}, {'(', 0x1A}, {')', 0x4A}, {'+', 0x70}, {'-', 0x40}, {'/', 0x31},
    {'.', 0x6B}, {'&', 0x0E}, {',', 0x3B}, {' ', 0x10}, {char(kLf), kEiaEndOfBlock},
    {char(kDc1), kDc1}, {char(kDc2), kDc2}, {char(kDc4), kDc4},
};
// clang-format on

// 0 marks "no code": no character of the table is coded as 0x00.
constexpr std::array<std::uint8_t, 128> MakeEncodeTable() {
    std::array<std::uint8_t, 128> table{};
    for (const auto& [c, code] : kEiaPairs) table[static_cast<unsigned char>(c)] = code;
    // Encode-only entries: ':' shares 'O's code and DC3 shares '3's, so on
    // input those codes read as 'O' and '3'.
    table[':'] = 0x46;
    table[kDc3] = kDc3;
    return table;
}

constexpr std::array<std::uint8_t, 256> MakeDecodeTable() {
    std::array<std::uint8_t, 256> table{};
    for (const auto& [c, code] : kEiaPairs) table[code] = static_cast<std::uint8_t>(c);
    return table;
}

constexpr auto kEiaEncode = MakeEncodeTable();
constexpr auto kEiaDecode = MakeDecodeTable();

}  // namespace

TapeCode TapeCodeFromFlags(bool isoCode, bool eiaCode) {
    if (isoCode && eiaCode) return TapeCode::Ascii;
    if (isoCode) return TapeCode::Iso;
    if (eiaCode) return TapeCode::Eia;
    return TapeCode::Unknown;
}

bool IsoFlag(TapeCode code) { return code == TapeCode::Iso || code == TapeCode::Ascii; }
bool EiaFlag(TapeCode code) { return code == TapeCode::Eia || code == TapeCode::Ascii; }

std::uint8_t IsoEncode(std::uint8_t c) {
    if (c >= 0x80) return c;
    return std::popcount(c) % 2 == 1 ? static_cast<std::uint8_t>(c | 0x80) : c;
}

std::uint8_t IsoDecode(std::uint8_t b) { return static_cast<std::uint8_t>(b & 0x7F); }

std::optional<std::uint8_t> EiaEncode(std::uint8_t c) {
    if (c >= kEiaEncode.size() || kEiaEncode[c] == 0) return std::nullopt;
    return kEiaEncode[c];
}

std::uint8_t EiaDecode(std::uint8_t b) { return kEiaDecode[b]; }

std::optional<std::uint8_t> EncodeForWire(TapeCode code, std::uint8_t c) {
    switch (code) {
        case TapeCode::Iso:
            return IsoEncode(c);
        case TapeCode::Eia:
            return EiaEncode(c);
        case TapeCode::Ascii:
        case TapeCode::Unknown:
            break;
    }
    return c;
}

std::uint8_t DecodeFromWire(TapeCode code, std::uint8_t b) {
    switch (code) {
        case TapeCode::Iso:
            return IsoDecode(b);
        case TapeCode::Eia:
            return EiaDecode(b);
        case TapeCode::Ascii:
        case TapeCode::Unknown:
            break;
    }
    return b;
}

std::optional<TapeCode> DetectTapeCode(std::uint8_t b) {
    if (b == 0x00 || (b >= kDc1 && b <= kDc4) || b == kDc3WithParity) return std::nullopt;
    return std::popcount(b) % 2 == 1 ? TapeCode::Eia : TapeCode::Iso;
}

}  // namespace wexal
