#include "serial/speed_text.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace wexal {

namespace {

std::optional<int> WholeInteger(std::string_view text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [last, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || last != end) return std::nullopt;
    return value;
}

SpeedTextResult Malformed() { return {SpeedTextError::Malformed, {}}; }

}  // namespace

SpeedTextResult ParseSpeedText(std::string_view text) {
    const std::size_t comma = text.find(',');
    const std::optional<int> baud = WholeInteger(text.substr(0, comma));
    if (!baud) return Malformed();
    if (std::find(kOfferedBauds.begin(), kOfferedBauds.end(), *baud) == kOfferedBauds.end()) {
        return {SpeedTextError::BaudNotOffered, {}};
    }
    if (comma == std::string_view::npos || comma + 1 >= text.size()) return Malformed();
    const std::optional<int> dataBits = WholeInteger(text.substr(comma + 1, 1));
    if (!dataBits) return Malformed();

    LineFormat format;
    format.baud = *baud;
    format.dataBits = *dataBits;
    std::size_t letter = text.find('N');
    if (letter != std::string_view::npos) {
        format.parity = Parity::None;
    } else if (letter = text.find('E'); letter != std::string_view::npos) {
        format.parity = Parity::Even;
    } else {
        letter = text.find('O');
        format.parity = Parity::Odd;
    }
    if (format.dataBits == 8) format.parity = Parity::None;
    if (letter == std::string_view::npos || letter + 2 > text.size()) return Malformed();

    const std::optional<int> stop = WholeInteger(text.substr(letter + 2));
    if (!stop) return Malformed();
    format.stopBits = *stop == 1   ? StopBits::One
                      : *stop == 2 ? StopBits::Two
                                   : StopBits::OneAndHalf;
    return {SpeedTextError::None, format};
}

void ApplyLineFormat(const LineFormat& format, LineSettings& settings) {
    settings.baud = format.baud;
    settings.dataBits = format.dataBits;
    settings.parity = format.parity;
    settings.stopBits = format.stopBits;
}

}  // namespace wexal
