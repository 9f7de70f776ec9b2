#pragma once

#include <chrono>

namespace wexal::test {

// Time for fakes, counted from the clock's creation. A virtual clock moves
// only when told (waits jump ahead at once, so tests of minutes of line time
// run in microseconds); a real clock follows the steady clock and its waits
// sleep, for measurements of CPU use.
class FakeClock {
public:
    using Duration = std::chrono::nanoseconds;
    enum class Mode { Virtual, Real };

    explicit FakeClock(Mode mode = Mode::Virtual);

    Mode mode() const { return mode_; }
    Duration Now() const;
    // Virtual: moves time ahead. Real: sleeps that long.
    void Advance(Duration by);
    // Virtual: jumps to the time if it is ahead. Real: sleeps until then.
    void SleepUntil(Duration when);

private:
    Mode mode_;
    Duration virtualNow_{0};
    std::chrono::steady_clock::time_point start_;
};

}  // namespace wexal::test
