#include "dnc/refusal_limit.h"

#include <algorithm>

namespace wexal {

RepeatLimit::RepeatLimit(Clock::duration interval, std::size_t keysKept)
    : interval_(interval), keysKept_(std::max<std::size_t>(keysKept, 1)) {}

std::optional<long long> RepeatLimit::Admit(const std::string& key, Clock::time_point now) {
    const auto found = seen_.find(key);
    if (found == seen_.end()) {
        if (seen_.size() >= keysKept_) Forget(now);
        seen_.emplace(key, Seen{now, 0});
        return 0;
    }
    Seen& seen = found->second;
    // A clock that went back (it should not) counts as time passed, so that
    // nothing is held back for ever.
    if (now - seen.written < interval_ && now >= seen.written) {
        ++seen.held;
        return std::nullopt;
    }
    const long long held = seen.held;
    seen = Seen{now, 0};
    return held;
}

// Makes room among the keys: first those whose interval is over and that
// hold nothing back, then, if a flood of different texts left none such, the
// one written longest ago (its held count is lost, the least harm there).
void RepeatLimit::Forget(Clock::time_point now) {
    std::erase_if(seen_, [&](const auto& entry) {
        return entry.second.held == 0 && now - entry.second.written >= interval_;
    });
    while (seen_.size() >= keysKept_) {
        const auto oldest = std::min_element(seen_.begin(), seen_.end(), [](const auto& a, const auto& b) {
            return a.second.written < b.second.written;
        });
        seen_.erase(oldest);
    }
}

}  // namespace wexal
