#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace wexal {

// The number of a port name: the text after its first three characters as a
// decimal integer ("COM3" -> 3, "com12" -> 12); nullopt when that is no number.
std::optional<int> PortNumber(std::string_view port);

// The device behind COM<number>: $WEXAL_COM<number>, else key COM<number> of
// [Ports] in Ports.ini in the program folder, else /dev/ttyS<number - 1>.
std::string ResolvePortDevice(int number, const std::filesystem::path& programFolder);

}  // namespace wexal
