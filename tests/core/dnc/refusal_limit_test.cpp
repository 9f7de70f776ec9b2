#include "dnc/refusal_limit.h"

#include <gtest/gtest.h>

#include <vector>

namespace wexal {
namespace {

using namespace std::chrono_literals;

TEST(RepeatLimitTest, OnceAnIntervalPerTextWithTheRepeatsHeldBackInTheNext) {
    constexpr long long kHeld = -1;
    struct Step {
        const char* key;
        std::chrono::milliseconds at;
        long long expected;  // repeats handed on, or kHeld
    };
    const struct {
        const char* name;
        std::size_t keysKept;
        std::vector<Step> steps;
    } cases[] = {
        {"held within the minute, counted in the next", 256,
         {{"A", 0ms, 0}, {"A", 1ms, kHeld}, {"A", 30s, kHeld}, {"A", 59999ms, kHeld}, {"A", 60s, 3},
          {"A", 61s, kHeld}, {"A", 200s, 1}, {"A", 300s, 0}}},
        {"texts apart", 256,
         {{"A", 0ms, 0}, {"B", 1s, 0}, {"A", 2s, kHeld}, {"B", 3s, kHeld}, {"B", 61s, 1}, {"A", 62s, 1}}},
        {"a clock gone back holds nothing for ever", 256,
         {{"A", 100s, 0}, {"A", 101s, kHeld}, {"A", 5s, 1}, {"A", 6s, kHeld}}},
        {"many texts: the newest kept", 2,
         {{"A", 0ms, 0}, {"B", 1s, 0}, {"B", 2s, kHeld}, {"C", 3s, 0}, {"A", 4s, 0}, {"C", 5s, kHeld}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RepeatLimit limit(60s, c.keysKept);
        const RepeatLimit::Clock::time_point origin{};
        for (const Step& step : c.steps) {
            SCOPED_TRACE(std::string(step.key) + " at " + std::to_string(step.at.count()) + " ms");
            const std::optional<long long> got = limit.Admit(step.key, origin + step.at);
            EXPECT_EQ(got.value_or(kHeld), step.expected);
            EXPECT_LE(limit.keys(), c.keysKept);
        }
    }
}

}  // namespace
}  // namespace wexal
