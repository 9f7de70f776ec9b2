#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace wexal {

// A program the NC punches to ask for one: its program-number line carries
// "(REQ name)" or "(DRIP name)", as in "O9999(REQ O1234)"; its own number
// means nothing.
struct RemoteRequest {
    bool drip = false;
    std::string name;  // as the NC wrote it
};

// nullopt: the line is an ordinary program-number line.
std::optional<RemoteRequest> ParseRemoteRequest(std::string_view programLine);

// The file a request names in the send folder: the name with the mask's
// extension when it has none. Empty with `why` set when the name is no plain
// file name (empty, a "/", "." or "..", a control character) and so never
// looked up.
std::string RequestedFileName(const std::string& name, const std::string& mask, std::string& why);

// Why the file at path cannot be sent without asking anyone ("" when it can):
// missing, not a regular file (links included), unreadable, empty, or
// starting with NUL (the loader would ask about its format).
std::string WhyNotSendable(const std::string& path);

}  // namespace wexal
