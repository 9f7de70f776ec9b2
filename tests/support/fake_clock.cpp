#include "support/fake_clock.h"

#include <thread>

namespace wexal::test {

FakeClock::FakeClock(Mode mode) : mode_(mode), start_(std::chrono::steady_clock::now()) {}

FakeClock::Duration FakeClock::Now() const {
    if (mode_ == Mode::Virtual) return virtualNow_;
    return std::chrono::duration_cast<Duration>(std::chrono::steady_clock::now() - start_);
}

void FakeClock::Advance(Duration by) {
    if (by <= Duration::zero()) return;
    if (mode_ == Mode::Virtual) {
        virtualNow_ += by;
    } else {
        std::this_thread::sleep_for(by);
    }
}

void FakeClock::SleepUntil(Duration when) {
    if (mode_ == Mode::Virtual) {
        if (when > virtualNow_) virtualNow_ = when;
    } else {
        std::this_thread::sleep_until(start_ + when);
    }
}

}  // namespace wexal::test
