#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "config/app_state.h"
#include "config/settings.h"
#include "config/settings_store.h"
#include "platform/message_service.h"
#include "platform/status.h"

namespace wexal {

// Where this run keeps its files.
struct ProgramFiles {
    std::filesystem::path folder;
    SettingsFiles settings;
    std::filesystem::path log;  // the transfer log

    static ProgramFiles Locate();  // the program folder of this process
    static ProgramFiles In(const std::filesystem::path& folder);
};

// What the folder check has to tell the operator.
struct FolderCheckResult {
    // For the message line: the configured folder was not taken and the home
    // folder is used instead.
    std::optional<std::string> message;
};

// First show: the working folder and its check with the create question. A
// value that names no folder here, and a folder that could not be created,
// fall back to the home folder as "No" to the question does.
FolderCheckResult RunFolderCheck(Settings& settings, AppState& state, MessageService& messages);

// The text shown when the configured port cannot be opened, or nothing.
std::optional<std::string> PortCheckMessage(const Settings& settings,
                                            const std::filesystem::path& programFolder);
// The command line's transfer starts at once and the run ends after it: that
// transfer opens the port itself and says why it could not, so the check at
// the start would say the same thing a second time. Not so for a port kept
// for a modem, which the transfer would take.
bool PortCheckedByTransfer(const AppState& state, const Settings& settings);

// How many list columns and how wide the list is; an out-of-range
// ListColumn becomes 5 so that the next save corrects the file.
struct ListLayout {
    int columns;
    int width;
    bool letterHelpVisible;
};
ListLayout ApplyListColumnRule(Settings& settings);

// A volume chosen from the drive menu becomes the working and listed folder.
void ChooseDrive(Settings& settings, AppState& state, const std::string& mountPoint);

// Close query: saves both settings files unless the run has arguments.
Status SaveOnClose(const Settings& settings, const AppState& state, const ProgramFiles& files);

}  // namespace wexal
