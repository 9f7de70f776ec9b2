#include "support/wine.h"

#include <algorithm>
#include <initializer_list>

namespace wexal::test {
namespace {

std::optional<std::filesystem::path> Installed(std::initializer_list<const char*> candidates) {
    for (const char* path : candidates) {
        if (std::filesystem::exists(path)) return std::filesystem::path(path);
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::filesystem::path> WineProgram() {
    return Installed({"/usr/lib/wine/wine64", "/usr/bin/wine64", "/usr/bin/wine"});
}

std::optional<std::filesystem::path> WineServer() {
    return Installed({"/usr/lib/wine/wineserver", "/usr/bin/wineserver"});
}

std::string AsWindowsPath(const std::filesystem::path& path) {
    std::string text = "Z:" + path.string();
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

}  // namespace wexal::test
