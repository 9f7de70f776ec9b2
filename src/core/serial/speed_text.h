#pragma once

#include <array>
#include <string_view>

#include "serial/line_settings.h"

namespace wexal {

// The baud rates the communication panel offers; no other rate is opened.
inline constexpr std::array<int, 6> kOfferedBauds = {1200, 2400, 4800, 9600, 14400, 19200};

// The line format a speed text such as "9600,7,E,2" names.
struct LineFormat {
    int baud = 0;
    int dataBits = 0;
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;

    bool operator==(const LineFormat&) const = default;
};

enum class SpeedTextError {
    None,
    BaudNotOffered,  // the rate before the first comma is not one of kOfferedBauds
    Malformed,       // a field that must be a number is not one
};

struct SpeedTextResult {
    SpeedTextError error = SpeedTextError::None;
    LineFormat format;

    bool ok() const { return error == SpeedTextError::None; }
};

// Reads a speed text field by field: the rate up to the first comma; the data
// bits as the one digit after it; with 8 data bits never a parity, otherwise
// the first "N", else "E", else "O" in the text; the stop bits as the number
// from two characters after that parity letter to the end (1, 2, and any
// other number one and a half). With 8 data bits the parity letter still
// marks where the stop bits begin.
SpeedTextResult ParseSpeedText(std::string_view text);

// Copies the format into a line record, leaving its other fields alone.
void ApplyLineFormat(const LineFormat& format, LineSettings& settings);

}  // namespace wexal
