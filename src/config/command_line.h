#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "config/settings.h"
#include "platform/message_service.h"

namespace wexal {

// Takes the program's arguments once, right after the settings are loaded.
// Any argument at all puts the run into command-line mode, which never
// writes the settings files. When the first argument begins with "/" and
// names nothing that exists, all of them form one "/"-separated list, so that
// names with blanks can be given; a "/" starts a new part only at the
// beginning or after a blank, so that absolute paths keep theirs.
void CollectArguments(const std::vector<std::string>& args, Settings& settings, AppState& state,
                      MessageService& messages);

// The forms an argument may take, in the order they are tested.
enum class ArgumentForm { Folder, Send, Receive, Port, Pattern, LineParameters, Import, End, None };

// Which form an argument fits first; fileExists answers for a path as given.
ArgumentForm ClassifyArgument(const std::string& arg,
                              const std::function<bool(const std::string&)>& fileExists);

// Applies one argument. Send ("S=<file>", absolute or relative to DirPath)
// and end ("END") act; the other forms are recognised, so that they keep
// their precedence, and left as they are.
void HandleArgument(const std::string& arg, Settings& settings, AppState& state,
                    MessageService& messages);

// The parts of a "/"-separated argument list, trimmed, in order.
std::vector<std::string> SplitSlashList(const std::vector<std::string>& args);

}  // namespace wexal
