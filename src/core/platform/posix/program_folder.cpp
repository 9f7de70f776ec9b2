#include "platform/program_folder.h"

#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "platform/path_rules.h"

namespace wexal {

namespace {

const char* NonEmptyEnv(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

std::filesystem::path ConfigFolder() {
    // XDG says a relative XDG_CONFIG_HOME is invalid and is to be ignored.
    if (const char* config = NonEmptyEnv("XDG_CONFIG_HOME"); config != nullptr && *config == '/') {
        return std::filesystem::path(config) / "wexal";
    }
    return std::filesystem::path(PathRules::DefaultFolder()) / ".config" / "wexal";
}

// A package's files live under /usr, and nothing is ever written there.
bool UnderUsr(const std::filesystem::path& folder) {
    const std::filesystem::path normal = folder.lexically_normal();
    auto part = normal.begin();
    return part != normal.end() && *part == "/" && ++part != normal.end() && *part == "usr";
}

}  // namespace

std::filesystem::path ExecutablePath() {
    std::error_code error;
    std::string path = std::filesystem::read_symlink("/proc/self/exe", error).string();
    if (error) return {};
    // A binary replaced by a rebuild while running must keep its name, or a
    // second instance would take a different lock.
    constexpr std::string_view kDeleted = " (deleted)";
    if (path.ends_with(kDeleted)) path.resize(path.size() - kDeleted.size());
    return path;
}

std::filesystem::path ProgramFolderFor(const std::filesystem::path& executableFolder) {
    if (const char* home = NonEmptyEnv("WEXAL_HOME")) return EnsureProgramFolder(home);
    if (!executableFolder.empty() && !UnderUsr(executableFolder) &&
        access(executableFolder.c_str(), W_OK) == 0) {
        return executableFolder;
    }
    return EnsureProgramFolder(ConfigFolder());
}

}  // namespace wexal
