#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace wexal {

// The running executable as the kernel knows it (empty when it cannot be had).
std::filesystem::path ExecutablePath();
// Where settings, log and history files live: $WEXAL_HOME when set, else the
// executable's folder when it is writable (a portable install) and not under
// /usr (an installed package, whose folder is root's to write but never ours),
// else $XDG_CONFIG_HOME/wexal (~/.config/wexal). Created when missing.
std::filesystem::path ProgramFolder();
// The same choice for a given executable folder; ProgramFolder() passes the
// running executable's.
std::filesystem::path ProgramFolderFor(const std::filesystem::path& executableFolder);
std::filesystem::path ProgramFile(std::string_view name);
// The folder, created when missing. A failure is left to the first file
// operation in it, which reports it where the operator sees it.
std::filesystem::path EnsureProgramFolder(std::filesystem::path folder);

}  // namespace wexal
