#pragma once

#include <cstdint>
#include <optional>

namespace wexal {

// The tape code in force, as the pair of flags isoCode / eiaCode gives it.
enum class TapeCode { Unknown, Iso, Eia, Ascii };

TapeCode TapeCodeFromFlags(bool isoCode, bool eiaCode);
bool IsoFlag(TapeCode code);
bool EiaFlag(TapeCode code);

// ISO 840: seven-bit characters with an even-parity eighth bit. Bytes of 0x80
// and above (Shift-JIS) go out unchanged; on input the eighth bit is dropped.
std::uint8_t IsoEncode(std::uint8_t c);
std::uint8_t IsoDecode(std::uint8_t b);

// EIA RS-244. nullopt: the character has no EIA code and is not sent.
std::optional<std::uint8_t> EiaEncode(std::uint8_t c);
// 0 when the byte has no EIA character.
std::uint8_t EiaDecode(std::uint8_t b);

// Encoding of one character for the wire in the given code; nullopt means
// nothing is written. Unknown and ASCII pass the character unchanged.
std::optional<std::uint8_t> EncodeForWire(TapeCode code, std::uint8_t c);
// Decoding of one data byte; 0 means no character. Unknown passes it unchanged.
std::uint8_t DecodeFromWire(TapeCode code, std::uint8_t b);

// The code a first received byte reveals: an odd number of one bits is EIA,
// an even number ISO. NUL, DC1 to DC4 and 0x93 reveal nothing (nullopt).
std::optional<TapeCode> DetectTapeCode(std::uint8_t b);

}  // namespace wexal
