#pragma once

#include <optional>
#include <string_view>

namespace ncsim {

enum class TapeCode { Iso, Eia, Ascii, Auto };

std::optional<TapeCode> ParseTapeCode(std::string_view name);
const char* TapeCodeName(TapeCode code);

// Even number of one bits among all eight bits.
bool HasEvenParity(unsigned char byte);

// The byte that carries character c on the line; nothing when the code has no
// hole pattern for it (EIA lower case, CR, ";" and the like). Auto is no code
// to punch in and gives nothing.
std::optional<unsigned char> Encode(TapeCode code, unsigned char c);

// Reads a tape in one code; with Auto the first byte that can decide picks
// ISO or EIA by its parity, as a reader that was told nothing would.
class TapeDecoder {
public:
    explicit TapeDecoder(TapeCode code) : code_(code) {}

    struct Result {
        std::optional<unsigned char> ch;  // nothing: the byte means no character
        bool parityError = false;         // ISO byte with odd parity
        bool unknown = false;             // EIA pattern outside the table
    };
    Result Feed(unsigned char byte);

    // Auto until a byte decided.
    TapeCode code() const { return code_; }

private:
    TapeCode code_;
};

}  // namespace ncsim
