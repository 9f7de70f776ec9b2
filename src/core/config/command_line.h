#pragma once

#include <functional>
#include <string>
#include <vector>

#include "config/app_state.h"
#include "config/settings.h"
#include "platform/message_service.h"

namespace wexal {

// Takes the program's arguments once, right after the settings are loaded.
// Any argument at all puts the run into command-line mode, which never
// writes the settings files. When the first argument is a keyword with a
// leading "/" ("/S=...", "/COM2", "/END", "/*.NC", "/9600,8,N,2"), all of
// them form one "/"-separated list, so that names with blanks can be given;
// a "/" starts a new part only at the beginning or after a blank, so that
// absolute paths keep theirs.
void CollectArguments(const std::vector<std::string>& args, Settings& settings, AppState& state,
                      MessageService& messages);

// An argument asks for a transfer ("S=..." or "R=..." in any case, also
// inside a "/"-list): such a run must not end silently when it cannot start.
bool AsksForTransfer(const std::vector<std::string>& args);

// What a path names, for telling the argument forms apart.
enum class PathKind { Missing, File, Folder, Other };
PathKind KindOfPath(const std::string& path);

// The forms an argument may take, in the order they are tested.
enum class ArgumentForm { Folder, Send, Receive, Port, Pattern, LineParameters, Import, End, None };

// Which form an argument fits first; kindOf answers for a path as given.
// Paths hold no drive colon here, so the folder and import forms are told by
// a "/" (or a leading "~"; a ":" still counts, for values written for
// Windows): a folder or nothing that exists is a folder argument, a regular
// file an import. A keyword with a leading "/" ("/COM12", "/END") is never a
// path: it is a part of a "/"-separated list.
ArgumentForm ClassifyArgument(const std::string& arg,
                              const std::function<PathKind(const std::string&)>& kindOf);

// Applies one argument: folder ("|" stands for a blank), send and receive
// ("S=<file>", "R=<file>", absolute or relative to DirPath), port, pattern,
// line parameters (upper-cased), import (copied into the folder) and end.
void HandleArgument(const std::string& arg, Settings& settings, AppState& state,
                    MessageService& messages);

// The parts of a "/"-separated argument list, trimmed, in order.
std::vector<std::string> SplitSlashList(const std::vector<std::string>& args);

}  // namespace wexal
