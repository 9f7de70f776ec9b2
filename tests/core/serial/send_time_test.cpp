#include "serial/send_time.h"

#include <gtest/gtest.h>

namespace wexal {
namespace {

TEST(SendTimeTest, RemainingLineInItsThreeForms) {
    struct Row {
        std::int64_t bytes;
        std::int32_t seconds;
        const char* text;
    };
    const Row rows[] = {
        {12345, 3725, "残り 12,345ﾊﾞｲﾄ(約 1時02分)"},
        {12345, 3600, "残り 12,345ﾊﾞｲﾄ(約 1時00分)"},
        {1234567, 360000, "残り 1,234,567ﾊﾞｲﾄ(約 100時00分)"},
        {12345, 90, "残り 12,345ﾊﾞｲﾄ(約 1分30秒)"},
        {999, 3599, "残り 999ﾊﾞｲﾄ(約 59分59秒)"},
        {1000, 60, "残り 1,000ﾊﾞｲﾄ(約 1分00秒)"},
        {1, 59, "残り 1ﾊﾞｲﾄ(約 59秒)"},
        {0, 0, "残り 0ﾊﾞｲﾄ(約 0秒)"},
        {-1, 0, "残り -1ﾊﾞｲﾄ(約 0秒)"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(RemainingLine(row.bytes, row.seconds), row.text) << row.bytes << " " << row.seconds;
    }
    EXPECT_EQ(RemainingBytesText(123456789012), "残り 123,456,789,012ﾊﾞｲﾄ");
}

TEST(SendTimeTest, EstimateFromTheLastTenSeconds) {
    struct Row {
        std::int32_t total, sent, lastSample;
        std::optional<std::int32_t> seconds;
    };
    const Row rows[] = {
        {10000, 4800, 0, 10},        // 480 bytes a second, 5200 left
        {10000, 10, 0, std::nullopt},  // ten bytes say nothing
        {10000, 11, 0, 9989},
        {10000, 4800, 4800, std::nullopt},
        {10000, 0, 4800, 0},        // a new file between two ticks
        {100, 4800, 0, 0},          // counted past the size
    };
    for (const Row& row : rows) {
        EXPECT_EQ(EstimateRemainingSeconds(row.total, row.sent, row.lastSample), row.seconds)
            << row.total << " " << row.sent << " " << row.lastSample;
    }
}

TEST(SendTimeTest, TickKeepsTheEstimateUntilEnoughWentOut) {
    SendCounters counters{.totalBytes = 10000, .sentBytes = 4800, .lastSampleBytes = 0,
                          .remainingSeconds = 0};
    TSendTime(counters).Execute();
    EXPECT_EQ(counters.remainingSeconds, 10);
    EXPECT_EQ(counters.lastSampleBytes, 4800);
    counters.sentBytes = 4805;
    TSendTime(counters).Execute();
    EXPECT_EQ(counters.remainingSeconds, 10);
    EXPECT_EQ(counters.lastSampleBytes, 4800);
}

}  // namespace
}  // namespace wexal
