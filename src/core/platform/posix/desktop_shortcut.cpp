#include "platform/desktop_shortcut.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

#include "platform/atomic_file.h"
#include "platform/text_codec.h"

namespace wexal {

namespace fs = std::filesystem;

namespace {

fs::path HomeFolder() {
    const char* home = std::getenv("HOME");
    return home != nullptr ? fs::path(home) : fs::path();
}

// The value of XDG_DESKTOP_DIR in a user-dirs.dirs line, or empty: the file
// holds shell assignments of "$HOME/..." or absolute paths in double quotes.
fs::path DesktopDirOfLine(std::string_view line, const fs::path& home) {
    constexpr std::string_view kKey = "XDG_DESKTOP_DIR=";
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.substr(0, kKey.size()) != kKey) return {};
    line.remove_prefix(kKey.size());
    if (line.size() < 2 || line.front() != '"') return {};
    const std::size_t close = line.find('"', 1);
    if (close == std::string_view::npos) return {};
    std::string value(line.substr(1, close - 1));
    // Backslash escapes of the shell's double quotes.
    std::string path;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) ++i;
        path += value[i];
    }
    constexpr std::string_view kHome = "$HOME";
    if (path.rfind(kHome, 0) == 0) {
        std::string rest = path.substr(kHome.size());
        if (!rest.empty() && rest.front() != '/') return {};
        while (!rest.empty() && rest.front() == '/') rest.erase(0, 1);
        return rest.empty() ? home : home / rest;
    }
    return path.front() == '/' ? fs::path(path) : fs::path();
}

// String escapes of a desktop entry value.
std::string EscapeValue(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace

fs::path DesktopFolder() {
    const fs::path home = HomeFolder();
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    const fs::path config =
        configHome != nullptr && configHome[0] == '/' ? fs::path(configHome) : home / ".config";
    fs::path desktop;
    std::ifstream dirs(config / "user-dirs.dirs");
    for (std::string line; std::getline(dirs, line);) {
        // The last assignment wins, as when the shell reads the file.
        if (fs::path found = DesktopDirOfLine(line, home); !found.empty()) desktop = found;
    }
    if (!desktop.empty()) return desktop;
    return home.empty() ? fs::path() : home / "Desktop";
}

std::string DesktopExecArgument(std::string_view argument) {
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
        if (c == '%') quoted += '%';
    }
    quoted += '"';
    return EscapeValue(quoted);
}

std::string DesktopEntryText(const fs::path& executable) {
    std::string text = "[Desktop Entry]\nType=Application\nVersion=1.0\n";
    text += "Name=" + EscapeValue(executable.stem().string()) + "\n";
    text += "Exec=" + DesktopExecArgument(executable.string()) + "\n";
    text += "Path=" + EscapeValue(executable.parent_path().string()) + "\n";
    text += "Terminal=false\nCategories=Utility;\n";
    return text;
}

bool CreateDesktopShortcut(const fs::path& executable, LauncherTrust& trust) {
    if (!executable.is_absolute() || !IsUtf8(executable.string())) return false;
    const fs::path folder = DesktopFolder();
    std::error_code error;
    if (folder.empty() || !fs::is_directory(folder, error)) return false;
    const fs::path launcher = folder / (executable.stem().string() + ".desktop");
    if (!WriteFileAtomically(launcher, DesktopEntryText(executable))) return false;
    // Desktops start only launchers that their owner may execute.
    if (::chmod(launcher.c_str(), 0755) != 0) return false;
    trust.MarkTrusted(launcher);
    return true;
}

}  // namespace wexal
