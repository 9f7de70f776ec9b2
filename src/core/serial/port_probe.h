#pragma once

#include <filesystem>

#include "config/settings.h"

namespace wexal {

inline constexpr int kFirstPortNumber = 1;
inline constexpr int kLastPortNumber = 30;

// Whether COM<number> can be opened for exclusive use now and is not one of
// the ports reserved for a modem. The port is closed again before returning.
bool IsPortUsable(int number, const Settings& settings, const std::filesystem::path& programFolder);

}  // namespace wexal
