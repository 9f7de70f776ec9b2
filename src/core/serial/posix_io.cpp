#include "serial/posix_io.h"

#include <cerrno>

namespace wexal::posix_io {

Deadline::Deadline(std::optional<int> waitMs) {
    if (waitMs) end_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(*waitMs);
}

int Deadline::RemainingMs() const {
    if (!end_) return -1;
    const auto left = *end_ - std::chrono::steady_clock::now();
    if (left <= left.zero()) return 0;
    // Round up, so a wait never ends a fraction of a millisecond early.
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

bool IsLineGone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EPIPE;
}

}  // namespace wexal::posix_io
