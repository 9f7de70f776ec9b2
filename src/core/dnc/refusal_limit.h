#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <optional>
#include <string>

namespace wexal {

// Keeps a machine that repeats itself from filling the log: the same entry
// (a refusal, noise on the line, ...), named by a text of the caller's, goes
// through at most once per interval; the repeats held back in between are
// counted and handed to the next one that goes through, so nothing is lost
// from the count. Time is the caller's, so that tests need no sleeping.
class RepeatLimit {
public:
    using Clock = std::chrono::steady_clock;

    explicit RepeatLimit(Clock::duration interval = std::chrono::minutes(1),
                         std::size_t keysKept = 256);

    // nullopt: held back and counted. Otherwise the entry is written now,
    // with the number of repeats held back since the last one of this key.
    std::optional<long long> Admit(const std::string& key, Clock::time_point now);

    std::size_t keys() const { return seen_.size(); }

private:
    struct Seen {
        Clock::time_point written;
        long long held = 0;
    };
    void Forget(Clock::time_point now);

    Clock::duration interval_;
    std::size_t keysKept_;
    std::map<std::string, Seen> seen_;
};

}  // namespace wexal
