#include "serial/send_time.h"

#include <cstdlib>

namespace wexal {

namespace {

// At least minDigits digits, zeros in front.
std::string Padded(std::int64_t value, int minDigits) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    if (static_cast<int>(digits.size()) < minDigits) {
        digits.insert(0, static_cast<std::size_t>(minDigits) - digits.size(), '0');
    }
    return value < 0 ? "-" + digits : digits;
}

}  // namespace

std::optional<std::int64_t> EstimateRemainingSeconds(std::int64_t totalBytes,
                                                     std::int64_t sentBytes,
                                                     std::int64_t lastSampleBytes) {
    const std::int64_t moved = sentBytes - lastSampleBytes;
    if (std::llabs(moved) <= 10) return std::nullopt;
    const std::int64_t perSecond = moved / 10;
    const std::int64_t seconds = (totalBytes - sentBytes) / perSecond;
    // A count that went backwards (a new file began between two ticks) or ran
    // past the size says nothing about the time left.
    return seconds < 0 ? 0 : seconds;
}

void TSendTime::Execute() {
    const std::int64_t sent = counters_.sentBytes;
    const std::optional<std::int64_t> seconds =
        EstimateRemainingSeconds(counters_.totalBytes, sent, counters_.lastSampleBytes);
    if (!seconds) return;
    counters_.remainingSeconds = *seconds;
    counters_.lastSampleBytes = sent;
}

std::string GroupedNumber(std::int64_t value) {
    const std::string digits = Padded(value < 0 ? -value : value, 1);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
        grouped += digits[i];
    }
    return value < 0 ? "-" + grouped : grouped;
}

std::string RemainingBytesText(std::int64_t bytes) {
    return "残り " + GroupedNumber(bytes) + "ﾊﾞｲﾄ";
}

std::string RemainingLine(std::int64_t bytes, std::int64_t seconds) {
    std::string time;
    if (seconds >= 3600) {
        time = Padded(seconds / 3600, 1) + "時" + Padded(seconds % 3600 / 60, 2) + "分";
    } else if (seconds >= 60) {
        time = Padded(seconds / 60, 1) + "分" + Padded(seconds % 60, 2) + "秒";
    } else {
        time = Padded(seconds, 1) + "秒";
    }
    return RemainingBytesText(bytes) + "(約 " + time + ")";
}

}  // namespace wexal
