#include "platform/program_folder.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cstdlib>
#include <system_error>

#include "platform/os_file.h"
#include "platform/path_rules.h"

namespace wexal {

namespace {

#ifndef _WIN32
const char* NonEmptyEnv(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}
#endif

// Failures are left to the first file operation in the folder, which reports
// them where the operator sees them.
std::filesystem::path Ensure(std::filesystem::path folder) {
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return folder;
}

#ifndef _WIN32
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

#endif

}  // namespace

#ifdef _WIN32
std::filesystem::path ExecutablePath() {
    std::wstring path(MAX_PATH, L'\0');
    while (true) {
        const DWORD length =
            GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

// Beside the executable, as on every Windows installation of the program.
std::filesystem::path ProgramFolderFor(const std::filesystem::path& executableFolder) {
    // The wide environment: getenv gives the ANSI code page's bytes.
    std::wstring home(32768, L'\0');
    const DWORD length =
        GetEnvironmentVariableW(L"WEXAL_HOME", home.data(), static_cast<DWORD>(home.size()));
    if (length > 0 && length < home.size()) {
        home.resize(length);
        return Ensure(home);
    }
    return executableFolder;
}
#else
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
    if (const char* home = NonEmptyEnv("WEXAL_HOME")) return Ensure(home);
    if (!executableFolder.empty() && !UnderUsr(executableFolder) &&
        access(executableFolder.c_str(), W_OK) == 0) {
        return executableFolder;
    }
    return Ensure(ConfigFolder());
}
#endif

std::filesystem::path ProgramFolder() { return ProgramFolderFor(ExecutablePath().parent_path()); }

std::filesystem::path ProgramFile(std::string_view name) {
    return ProgramFolder() / Utf8Path(name);
}

}  // namespace wexal
