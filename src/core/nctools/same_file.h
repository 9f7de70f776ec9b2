#pragma once

#include <filesystem>

namespace wexal {

// a and b name the same file on disk (one file under two names, or a link
// that leads to it). Missing files are never the same.
bool IsSameFile(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace wexal
