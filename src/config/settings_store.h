#pragma once

#include <filesystem>

#include "config/settings.h"
#include "platform/status.h"

namespace wexal {

struct SettingsFiles {
    std::filesystem::path mainIni;    // Wexal.INI: sections Main, Setting, Options
    std::filesystem::path outAppIni;  // OutApp_Sub.ini: section Application
};

// The only code that reads or writes the settings files.
class SettingsStore {
public:
    // Fills every field from the files; a missing file, section or key, an
    // integer that is not one, or a value that is not valid cp932 leaves the
    // field's default. Values are not checked against their allowed ranges.
    static void Load(Settings& s, const SettingsFiles& files);

    // Writes every key, also those at their default, into the existing files
    // (other lines and keys stay where they are). Each file is replaced as a
    // whole, so a failure leaves it as it was. Both files are attempted; the
    // message names each file that failed.
    static Status Save(const Settings& s, const SettingsFiles& files);
};

}  // namespace wexal
