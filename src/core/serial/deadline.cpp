#include "serial/deadline.h"

#include <algorithm>

namespace wexal {

Deadline::Deadline(std::optional<int> waitMs) {
    if (waitMs) end_ = Clock::now() + std::chrono::milliseconds(std::max(*waitMs, 0));
}

std::optional<int> Deadline::RemainingMs() const {
    if (!end_) return std::nullopt;
    const auto left = *end_ - Clock::now();
    if (left <= left.zero()) return 0;
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

}  // namespace wexal
