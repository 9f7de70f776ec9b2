#pragma once

#include <chrono>
#include <optional>

namespace wexal {

// A wait that may be unlimited, measured from its start.
class Deadline {
public:
    explicit Deadline(std::optional<int> waitMs);
    // Milliseconds left: nullopt without limit, 0 once passed. Rounded up, so
    // a wait never ends a fraction of a millisecond early.
    std::optional<int> RemainingMs() const;

private:
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> end_;
};

}  // namespace wexal
