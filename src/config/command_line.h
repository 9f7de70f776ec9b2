#pragma once

#include <string>
#include <vector>

#include "app/app_state.h"
#include "config/settings.h"
#include "platform/message_service.h"

namespace wexal {

// Takes the program's arguments once, right after the settings are loaded.
// Any argument at all puts the run into command-line mode, which never
// writes the settings files.
void CollectArguments(const std::vector<std::string>& args, Settings& settings, AppState& state,
                      MessageService& messages);

// Applies one argument. The argument forms (folder, send, receive, port,
// pattern, line parameters, import, end) plug in here.
void HandleArgument(const std::string& arg, Settings& settings, AppState& state,
                    MessageService& messages);

}  // namespace wexal
