#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace wexal {

// The byte counters of the file being sent. Timer2's tick reads the first
// three and writes the last two; the send engine writes them after every line.
// 64-bit, so that a program of gigabytes counts right (the design's were 32).
struct SendCounters {
    std::int64_t totalBytes = 0;
    std::int64_t sentBytes = 0;
    std::int64_t lastSampleBytes = 0;
    std::int64_t remainingSeconds = 0;  // 0 until the first estimate
};

// The seconds still needed at the rate of the last ten seconds, or nullopt
// when at most ten bytes went out since the last sample (the estimate then
// keeps its value). Never negative.
std::optional<std::int64_t> EstimateRemainingSeconds(std::int64_t totalBytes,
                                                     std::int64_t sentBytes,
                                                     std::int64_t lastSampleBytes);

// The estimate of one Timer2 tick (every 10 s during a send): the window's
// Timer2Timer runs it on the counters of the send in progress.
class TSendTime {
public:
    explicit TSendTime(SendCounters& counters) : counters_(counters) {}
    void Execute();

private:
    SendCounters& counters_;
};

// A count with thousands separators and at least one digit ("12,345").
std::string GroupedNumber(std::int64_t value);
// "残り 12,345ﾊﾞｲﾄ", as the remaining line reads before the estimate matters.
std::string RemainingBytesText(std::int64_t bytes);
// The remaining line under the transfer view: the bytes and the estimate,
// "残り 12,345ﾊﾞｲﾄ(約 1時02分)", "(約 1分30秒)" or "(約 0秒)".
std::string RemainingLine(std::int64_t bytes, std::int64_t seconds);

}  // namespace wexal
