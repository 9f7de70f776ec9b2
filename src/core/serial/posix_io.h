#pragma once

#include <chrono>
#include <optional>

namespace wexal::posix_io {

// A wait that may be unlimited, measured from its start.
class Deadline {
public:
    explicit Deadline(std::optional<int> waitMs);
    // Milliseconds left for poll: -1 without limit, 0 once passed.
    int RemainingMs() const;

private:
    std::optional<std::chrono::steady_clock::time_point> end_;
};

// Errors that mean the device itself is gone rather than one call failing.
bool IsLineGone(int error);

}  // namespace wexal::posix_io
