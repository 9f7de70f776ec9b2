#pragma once

#include <filesystem>
#include <optional>
#include <string>

// The Windows builds run under Wine beside the Linux ones.
namespace wexal::test {

// Wine's loader and its server where they are installed.
std::optional<std::filesystem::path> WineProgram();
std::optional<std::filesystem::path> WineServer();
// A path as a Windows program under Wine names it: Z: is the root.
std::string AsWindowsPath(const std::filesystem::path& path);

}  // namespace wexal::test
