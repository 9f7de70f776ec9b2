#include "nc_tape.h"

#include <array>
#include <bit>
#include <utility>

namespace ncsim {
namespace {

constexpr unsigned char kDc1 = 0x11, kDc2 = 0x12, kDc3 = 0x13, kDc4 = 0x14;

// EIA RS-244: odd parity in channel 5, end of block in channel 8. Where two
// characters share a pattern the first one listed is what a reader gets back:
// 0x46 reads as "O", never ":", and 0x13 as the digit 3, not DC3.
constexpr std::pair<unsigned char, unsigned char> kEia[] = {
    {'0', 0x20},  {'1', 0x01},  {'2', 0x02},  {'3', 0x13},  {'4', 0x04}, {'5', 0x15}, {'6', 0x16},
    {'7', 0x07},  {'8', 0x08},  {'9', 0x19},  {'A', 0x61},  {'B', 0x62}, {'C', 0x73}, {'D', 0x64},
    {'E', 0x75},  {'F', 0x76},  {'G', 0x67},  {'H', 0x68},  {'I', 0x79}, {'J', 0x51}, {'K', 0x52},
    {'L', 0x43},  {'M', 0x54},  {'N', 0x45},  {'O', 0x46},  {'P', 0x57}, {'Q', 0x58}, {'R', 0x49},
    {'S', 0x32},  {'T', 0x23},  {'U', 0x34},  {'V', 0x25},  {'W', 0x26}, {'X', 0x37}, {'Y', 0x38},
    {'Z', 0x29},  {'%', 0x0B},  {'(', 0x1A},  {')', 0x4A},  {'+', 0x70}, {'-', 0x40}, {'/', 0x31},
    {'.', 0x6B},  {'&', 0x0E},  {',', 0x3B},  {'\n', 0x80}, {' ', 0x10}, {':', 0x46}, {kDc1, 0x11},
    {kDc2, 0x12}, {kDc3, 0x13}, {kDc4, 0x14},
};

struct EiaTables {
    std::array<int, 256> encode{};
    std::array<int, 256> decode{};
    EiaTables() {
        encode.fill(-1);
        decode.fill(-1);
        for (auto [ch, code] : kEia) {
            if (encode[ch] < 0) encode[ch] = code;
            if (decode[code] < 0) decode[code] = ch;
        }
    }
};

const EiaTables& Eia() {
    static const EiaTables tables;
    return tables;
}

}  // namespace

std::optional<TapeCode> ParseTapeCode(std::string_view name) {
    if (name == "iso") return TapeCode::Iso;
    if (name == "eia") return TapeCode::Eia;
    if (name == "ascii") return TapeCode::Ascii;
    if (name == "auto") return TapeCode::Auto;
    return std::nullopt;
}

const char* TapeCodeName(TapeCode code) {
    switch (code) {
        case TapeCode::Iso:
            return "iso";
        case TapeCode::Eia:
            return "eia";
        case TapeCode::Ascii:
            return "ascii";
        case TapeCode::Auto:
            break;
    }
    return "unknown";
}

bool HasEvenParity(unsigned char byte) { return std::popcount(byte) % 2 == 0; }

std::optional<unsigned char> Encode(TapeCode code, unsigned char c) {
    switch (code) {
        case TapeCode::Iso:
            // Shift-JIS bytes already use the eighth bit and go out as they are.
            if (c >= 0x80 || HasEvenParity(c)) return c;
            return static_cast<unsigned char>(c | 0x80);
        case TapeCode::Eia:
            if (int code_byte = Eia().encode[c]; code_byte >= 0) {
                return static_cast<unsigned char>(code_byte);
            }
            return std::nullopt;
        case TapeCode::Ascii:
            return c;
        case TapeCode::Auto:
            break;
    }
    return std::nullopt;
}

TapeDecoder::Result TapeDecoder::Feed(unsigned char byte) {
    Result result;
    if (code_ == TapeCode::Auto) {
        // Blank tape and the control codes look alike in every code.
        if (byte == 0x00) return result;
        if (byte == kDc1 || byte == kDc2 || byte == kDc3 || byte == kDc4) {
            result.ch = byte;
            return result;
        }
        if (byte == 0x93) {
            result.ch = kDc3;
            return result;
        }
        code_ = HasEvenParity(byte) ? TapeCode::Iso : TapeCode::Eia;
    }
    switch (code_) {
        case TapeCode::Iso:
            result.parityError = !HasEvenParity(byte);
            if ((byte & 0x7F) != 0) result.ch = static_cast<unsigned char>(byte & 0x7F);
            break;
        case TapeCode::Eia:
            if (int ch = Eia().decode[byte]; ch > 0) {
                result.ch = static_cast<unsigned char>(ch);
            } else if (byte != 0x00) {
                result.unknown = true;
            }
            break;
        case TapeCode::Ascii:
            if (byte != 0x00) result.ch = byte;
            break;
        case TapeCode::Auto:
            break;
    }
    return result;
}

}  // namespace ncsim
