#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace wexal {

// The desktop launcher that stands in for a shell link: Wexal.desktop in the
// user's desktop folder, starting the running program.

// Asks the desktop to trust a launcher file (GNOME shows untrusted ones
// without starting them); the window layer implements it, tests fake it.
class LauncherTrust {
public:
    virtual ~LauncherTrust() = default;
    virtual void MarkTrusted(const std::filesystem::path& launcher) = 0;
};

// XDG_DESKTOP_DIR of $XDG_CONFIG_HOME/user-dirs.dirs (~/.config when unset),
// as xdg-user-dir reads it; ~/Desktop when the file names none.
std::filesystem::path DesktopFolder();

// One argument of an Exec line: quoted, with the characters the desktop
// entry format reserves escaped, "%" doubled and the string escapes applied.
std::string DesktopExecArgument(std::string_view argument);

// The launcher's text for an executable.
std::string DesktopEntryText(const std::filesystem::path& executable);

// Writes <desktop folder>/<executable stem>.desktop, replacing an existing
// one, executable, and asks trust to mark it trusted. false when nothing was
// written (no desktop folder, no absolute executable, a name that is not
// UTF-8, a write error); the caller reports nothing either way.
bool CreateDesktopShortcut(const std::filesystem::path& executable, LauncherTrust& trust);

}  // namespace wexal
