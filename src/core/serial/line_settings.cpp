#include "serial/line_settings.h"

#include <algorithm>
#include <limits>

namespace wexal {

double BitsPerFrame(const LineSettings& settings) {
    double stop = 1.0;
    if (settings.stopBits == StopBits::OneAndHalf) stop = 1.5;
    if (settings.stopBits == StopBits::Two) stop = 2.0;
    const double parity = settings.parity == Parity::None ? 0.0 : 1.0;
    return 1.0 + settings.dataBits + parity + stop;
}

namespace {

int ClampedSum(std::uint32_t a, std::uint32_t b) {
    const std::uint64_t sum = std::uint64_t{a} + b;
    return static_cast<int>(std::min<std::uint64_t>(sum, std::numeric_limits<int>::max()));
}

}  // namespace

std::optional<int> OneByteReadWait(const Timeouts& timeouts) {
    if (timeouts.readTotalMultiplierMs == 0 && timeouts.readTotalConstantMs == 0) {
        if (timeouts.readIntervalMs == Timeouts::kReturnAtOnce) return 0;
        return std::nullopt;
    }
    return ClampedSum(timeouts.readTotalMultiplierMs, timeouts.readTotalConstantMs);
}

std::optional<int> OneByteWriteWait(const Timeouts& timeouts) {
    if (timeouts.writeTotalMultiplierMs == 0 && timeouts.writeTotalConstantMs == 0) {
        return std::nullopt;
    }
    return ClampedSum(timeouts.writeTotalMultiplierMs, timeouts.writeTotalConstantMs);
}

}  // namespace wexal
