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

// The file a request names: the name with the mask's extension when it has
// none. Empty with `why` set when the name is no plain file name. Only
// half-width letters, digits, ".", "-" and "_" make one, and no "." first:
// a name with anything else is refused as it stands, never turned into
// another name that might be another program.
std::string RequestedFileName(const std::string& name, const std::string& mask, std::string& why);

// The file of `folder` that `fileName` names when the case of ASCII letters
// is not looked at: NCs punch capitals only, programs are often saved in
// lower case. Empty with `why` set when there is none, or when two files
// differ only in case (sending either might send the wrong program).
std::string FindRequestedFile(const std::string& folder, const std::string& fileName,
                              std::string& why);

// Why the file at path cannot be sent without asking anyone ("" when it can):
// missing, not a regular file (links included), unreadable, empty, or
// starting with NUL (the loader would ask about its format).
std::string WhyNotSendable(const std::string& path);

}  // namespace wexal
