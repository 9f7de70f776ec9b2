#include "serial/tape_code.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace wexal {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes EncodeText(TapeCode code, const std::string& text) {
    Bytes out;
    for (const char c : text) {
        if (const auto byte = EncodeForWire(code, static_cast<std::uint8_t>(c))) {
            out.push_back(*byte);
        }
    }
    return out;
}

struct OutputCase {
    const char* name;
    TapeCode code;
    std::string text;
    Bytes wire;
};

TEST(TapeCodeTest, CharactersGoOnTheWireAsTheirCodeSays) {
    const std::vector<OutputCase> cases = {
        {"eia block, nothing for the semicolon",
         TapeCode::Eia,
         "N10G01X-1.5;",
         {0x45, 0x01, 0x20, 0x67, 0x20, 0x01, 0x37, 0x40, 0x01, 0x6B, 0x15}},
        {"eia lower case not sent", TapeCode::Eia, "o100", {0x01, 0x20, 0x20}},
        {"eia letters",
         TapeCode::Eia,
         "ABCDEFGHIJKLMNOPQRSTUVWXYZ",
         {0x61, 0x62, 0x73, 0x64, 0x75, 0x76, 0x67, 0x68, 0x79, 0x51, 0x52, 0x43, 0x54,
          0x45, 0x46, 0x57, 0x58, 0x49, 0x32, 0x23, 0x34, 0x25, 0x26, 0x37, 0x38, 0x29}},
        {"eia digits",
         TapeCode::Eia,
         "0123456789",
         {0x20, 0x01, 0x02, 0x13, 0x04, 0x15, 0x16, 0x07, 0x08, 0x19}},
        {"eia signs, space and end of block",
         TapeCode::Eia,
         "%()+-/.&, \n",
         {0x0B, 0x1A, 0x4A, 0x70, 0x40, 0x31, 0x6B, 0x0E, 0x3B, 0x10, 0x80}},
        {"eia colon shares O", TapeCode::Eia, ":O", {0x46, 0x46}},
        {"eia DC1 to DC4 unchanged", TapeCode::Eia, "\x11\x12\x13\x14", {0x11, 0x12, 0x13, 0x14}},
        {"eia has no code for these", TapeCode::Eia, "\r*=#;a\x7F\x80", {}},
        {"iso M30", TapeCode::Iso, "M30", {0x4D, 0x33, 0x30}},
        {"iso O1", TapeCode::Iso, "O1", {0xCF, 0xB1}},
        {"iso percent, X, LF, DC3", TapeCode::Iso, "%X\n\x13", {0xA5, 0xD8, 0x0A, 0x93}},
        {"iso shift-jis bytes unchanged", TapeCode::Iso, "\x83\x41\xFF", {0x83, 0x41, 0xFF}},
        {"ascii unchanged", TapeCode::Ascii, "o1;%\r\n", {'o', '1', ';', '%', '\r', '\n'}},
        {"unknown code unchanged", TapeCode::Unknown, "\x14%", {0x14, '%'}},
    };
    for (const OutputCase& c : cases) {
        EXPECT_EQ(EncodeText(c.code, c.text), c.wire) << c.name;
    }
}

struct InputCase {
    const char* name;
    TapeCode code;
    Bytes wire;
    Bytes chars;  // 0 where a byte yields no character
};

TEST(TapeCodeTest, BytesFromTheWireReadAsTheirCodeSays) {
    const std::vector<InputCase> cases = {
        {"eia block",
         TapeCode::Eia,
         {0x45, 0x01, 0x20, 0x67, 0x20, 0x01, 0x37, 0x40, 0x01, 0x6B, 0x15, 0x80},
         {'N', '1', '0', 'G', '0', '1', 'X', '-', '1', '.', '5', '\n'}},
        {"eia 0x46 is O, never colon", TapeCode::Eia, {0x46}, {'O'}},
        {"eia 0x13 is the digit 3", TapeCode::Eia, {0x13}, {'3'}},
        {"eia DC2, DC4 and space", TapeCode::Eia, {0x12, 0x14, 0x10}, {0x12, 0x14, ' '}},
        {"eia bytes without a character", TapeCode::Eia, {0x7F, 0x00, 0xFF, 0x03}, {0, 0, 0, 0}},
        {"iso drops the eighth bit",
         TapeCode::Iso,
         {0xA5, 0xCF, 0xB1, 0x30, 0x0A},
         {'%', 'O', '1', '0', '\n'}},
        {"ascii unchanged", TapeCode::Ascii, {0xA5, 0x7F}, {0xA5, 0x7F}},
    };
    for (const InputCase& c : cases) {
        Bytes got;
        for (const std::uint8_t b : c.wire) got.push_back(DecodeFromWire(c.code, b));
        EXPECT_EQ(got, c.chars) << c.name;
    }
}

TEST(TapeCodeTest, EveryEiaCodeReadsBackAsItsCharacterButColonAndDc3) {
    for (int c = 0; c < 0x80; ++c) {
        const auto code = EiaEncode(static_cast<std::uint8_t>(c));
        if (!code) continue;
        const std::uint8_t back = EiaDecode(*code);
        if (c == ':') {
            EXPECT_EQ(back, 'O');
        } else if (c == 0x13) {
            EXPECT_EQ(back, '3');
        } else {
            EXPECT_EQ(back, c) << "character " << c;
        }
    }
}

TEST(TapeCodeTest, IsoGivesEverySevenBitCharacterEvenParityAndReadsItBack) {
    for (int c = 0; c < 0x80; ++c) {
        const std::uint8_t wire = IsoEncode(static_cast<std::uint8_t>(c));
        EXPECT_EQ(std::popcount(wire) % 2, 0) << "character " << c;
        EXPECT_EQ(IsoDecode(wire), c);
    }
}

TEST(TapeCodeTest, FirstDataByteDecidesTheCode) {
    const struct {
        std::uint8_t byte;
        std::optional<TapeCode> code;
    } cases[] = {
        {0xA5, TapeCode::Iso}, {0x0B, TapeCode::Eia}, {0x0A, TapeCode::Iso}, {0x80, TapeCode::Eia},
        {0x00, std::nullopt},  {0x11, std::nullopt},  {0x12, std::nullopt},  {0x13, std::nullopt},
        {0x14, std::nullopt},  {0x93, std::nullopt},  {0x10, TapeCode::Eia}, {0xFF, TapeCode::Iso},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DetectTapeCode(c.byte), c.code) << "byte " << int(c.byte);
    }
}

TEST(TapeCodeTest, FlagsNameTheCode) {
    EXPECT_EQ(TapeCodeFromFlags(true, false), TapeCode::Iso);
    EXPECT_EQ(TapeCodeFromFlags(false, true), TapeCode::Eia);
    EXPECT_EQ(TapeCodeFromFlags(true, true), TapeCode::Ascii);
    EXPECT_EQ(TapeCodeFromFlags(false, false), TapeCode::Unknown);
    for (const TapeCode code : {TapeCode::Iso, TapeCode::Eia, TapeCode::Ascii, TapeCode::Unknown}) {
        EXPECT_EQ(TapeCodeFromFlags(IsoFlag(code), EiaFlag(code)), code);
    }
}

}  // namespace
}  // namespace wexal
