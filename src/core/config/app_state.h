#pragma once

#include <string>

#include "config/run_outcome.h"

namespace wexal {

// Run-time state of the main window beside the settings.
struct AppState {
    std::string CurrentFolder;
    std::string CommandLineMode = "N";
    std::string SendOnStart = "N";
    std::string SendOnStartFile;
    std::string ReceiveOnStart = "N";
    std::string ReceiveOnStartFile;
    bool ExitAfterTransfer = false;
    int MarkedFileLimit = 100;
    // What the transfers of a command-line run came to: the exit status.
    RunOutcome Outcome;
};

}  // namespace wexal
