#pragma once

#include <string>
#include <utility>

namespace wexal {

// Outcome of an operation that crosses a layer: errors travel as values with a
// message the window can show as it stands.
struct Status {
    bool ok = true;
    std::string message;

    static Status Ok() { return {}; }
    static Status Error(std::string text) { return {false, std::move(text)}; }
    explicit operator bool() const { return ok; }
};

}  // namespace wexal
