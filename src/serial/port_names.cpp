#include "serial/port_names.h"

#include <charconv>
#include <cstdlib>

#include "config/ini_file.h"

namespace wexal {

std::optional<int> PortNumber(std::string_view port) {
    if (port.size() <= 3) return std::nullopt;
    const std::string_view digits = port.substr(3);
    int number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return number;
}

std::string ResolvePortDevice(int number, const std::filesystem::path& programFolder) {
    const std::string key = "COM" + std::to_string(number);
    if (const char* device = std::getenv(("WEXAL_" + key).c_str());
        device != nullptr && *device != '\0') {
        return device;
    }
    const std::optional<std::string> mapped =
        IniFile::Load(programFolder / "Ports.ini").Read("Ports", key);
    if (mapped && !mapped->empty()) return *mapped;
    return "/dev/ttyS" + std::to_string(number - 1);
}

}  // namespace wexal
