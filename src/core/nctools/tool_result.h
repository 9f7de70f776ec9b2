#pragma once

#include <string>

namespace wexal {

// How a run of an NC tool ended. The message is for the operator as it
// stands; Done and Cancelled carry none.
enum class ToolOutcome {
    Done,
    NothingFound,  // the split found no program-number line
    Refused,       // a check before anything was written said no
    Failed,        // a read, a conversion or a write failed; see message
    Cancelled,     // the operator stopped the run
};

struct ToolResult {
    ToolOutcome outcome = ToolOutcome::Done;
    std::string message;
    int count = 0;  // programs found (split), files joined (concatenation)
};

}  // namespace wexal
