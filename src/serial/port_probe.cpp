#include "serial/port_probe.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <string>

#include "serial/port_names.h"
#include "serial/serial_port.h"

namespace wexal {

namespace {

std::string UpperAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

}  // namespace

bool IsPortUsable(int number, const Settings& settings,
                  const std::filesystem::path& programFolder) {
    if (number < kFirstPortNumber || number > kLastPortNumber) return false;

    // A trial open takes the port exactly as a transfer would, then lets it go.
    const std::unique_ptr<SerialPort> port = CreateSerialPort();
    if (!port->Open(ResolvePortDevice(number, programFolder))) return false;
    port->Close();

    const std::string name = "COM" + std::to_string(number);
    return name != UpperAscii(settings.ModemePort1) && name != UpperAscii(settings.ModemePort2);
}

}  // namespace wexal
