#pragma once

#include <optional>
#include <string>

#include "config/app_state.h"
#include "config/settings.h"
#include "platform/message_service.h"
#include "serial/receive_engine.h"

namespace wexal {

// The receive argument: contains "R=" in any letter case.
bool IsReceiveArgument(const std::string& arg);

// Applies a receive argument ("R=IN.NC", "R=/home/op/nc/IN.NC"): the file is
// the rest after the first "R=", relative to DirPath unless it is an absolute
// path; DirPath becomes its folder and Mask "*" plus its extension. An
// existing file is replaced only after Yes, which a run that asks nobody
// takes unless KeepRevisions is 0; ReceiveOnStart says whether the
// receive starts on first idle. A Windows path (a "\" or a drive letter)
// names no file here and is refused with a message.
void ApplyReceiveArgument(const std::string& arg, Settings& settings, AppState& state,
                          MessageService& messages);

// FirstIdle: the request for the receive the arguments asked for, with
// ReceiveOnStart reset; nullopt when none was asked for.
std::optional<ReceiveRequest> TakeReceiveOnStart(AppState& state);

}  // namespace wexal
