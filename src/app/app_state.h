#pragma once

#include <string>

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
};

}  // namespace wexal
