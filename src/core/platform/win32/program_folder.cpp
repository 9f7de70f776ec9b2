#include "platform/program_folder.h"

#include <windows.h>

#include <string>

namespace wexal {

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
        return EnsureProgramFolder(home);
    }
    return executableFolder;
}

}  // namespace wexal
