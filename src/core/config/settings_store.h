#pragma once

#include <filesystem>
#include <string>

#include "config/settings.h"
#include "platform/status.h"

namespace wexal {

struct SettingsFiles {
    std::filesystem::path mainIni;    // Wexal.INI: sections Main, Setting, Options
    std::filesystem::path outAppIni;  // OutApp_Sub.ini: section Application

    // Filled by Load for a file that exists but could not be read: why
    // ("ファイルを読み込めません。\n<path>\n<reason>"). The values in memory
    // are then defaults, not the operator's, so Save leaves that file alone,
    // even when it has become readable since.
    std::string mainIniUnread{};
    std::string outAppIniUnread{};
    // Set by the window once it has shown Load's report, so that Save does
    // not say it again at exit.
    bool unreadReported = false;
};

class IniFile;

// The only code that reads or writes the settings files.
class SettingsStore {
public:
    // Fills every field from the files; a missing file, section or key, an
    // integer that is not one, or a value that is not valid in the file's
    // text leaves the field's default. Values are not checked against their
    // allowed ranges. First removes the temporary files that a save killed
    // part-way left beside the files.
    //
    // A file that exists but cannot be read (no read permission, larger than
    // IniFile::kMaxFileSize, a folder, a device, a FIFO, a link to anything but
    // a regular file, an I/O error) gives defaults and is marked in `files`,
    // so that Save never replaces it. The returned error names each such
    // file; a window that shows it at start sets files.unreadReported, else
    // Save reports those files at exit: either way it is said once.
    static Status Load(Settings& s, SettingsFiles& files);

    // The Wexal.INI keys of an already loaded file, with Load's rules.
    static void ReadMain(const IniFile& ini, Settings& s);

    // Writes every key, also those at their default, into the existing files
    // (other lines and keys stay where they are). Each file is replaced as a
    // whole, so a failure leaves it as it was. Both files are attempted; the
    // message names each file that failed.
    //
    // Never replaced, and reported: a file that Load marked as unread (not
    // reported when files.unreadReported), a file that exists but cannot be
    // read now, a read-only file, and a link to anything but a regular file.
    static Status Save(const Settings& s, const SettingsFiles& files);
};

}  // namespace wexal
