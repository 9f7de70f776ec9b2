#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace wexal {

// The words of a command line: split at blanks and tabs. A stretch in double
// or single quotes keeps its blanks and loses its quotes ("" is an empty
// word); an unclosed quote runs to the end. There are no escapes, so a
// backslash stays what it is.
std::vector<std::string> SplitCommandLine(std::string_view line);

// The file a program name stands for: a name with a "/" as it stands, any
// other in the folders of PATH, as a shell would find it. nullopt when there
// is no such file or it is a folder.
std::optional<std::string> FindProgram(std::string_view program);

// Starts argv[0] with exactly these arguments, directly and never through a
// shell, and returns at once. The program is found as FindProgram finds it.
// It runs in a session of its own (closing this program or its terminal does
// not end it), with default signal handling, and inherits no descriptor but
// 0 to 2. It is reaped when it ends, so no zombie is left; nothing waits for
// it. The error names the program and says why it did not start.
Status StartProgram(const std::vector<std::string>& argv, pid_t* started = nullptr);

// Opens a document with the desktop's association (xdg-open); the document
// is never run itself, even when its execute bit is set.
Status OpenWithAssociation(const std::string& path);

// Starts a program with its arguments. Without arguments a program file
// (executable) is started and anything else opened with the desktop's
// association, as double-clicking it would.
Status LaunchProgram(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace wexal
