#pragma once

#include <string>
#include <utility>

namespace wexal {

// Outcome of an operation that crosses a layer: errors travel as values with a
// message the window can show as it stands.
struct Status {
    bool ok = true;
    std::string message;
    // The system's error number when the OS refused (0 otherwise), for a
    // caller that has advice of its own for some of them.
    int error = 0;

    static Status Ok() { return {}; }
    static Status Error(std::string text, int error = 0) { return {false, std::move(text), error}; }
    explicit operator bool() const { return ok; }
};

}  // namespace wexal
