#include "serial/port_probe.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <memory>
#include <string>

#include "serial/net_serial_port.h"
#include "serial/port_names.h"
#include "serial/serial_port.h"

namespace wexal {

namespace {

// Well under the communication panel's wait for one port, so that a list with
// several network ports still opens at once; a server on the shop network
// answers a connect within milliseconds.
constexpr std::chrono::milliseconds kNetworkProbeLimit{200};

std::string UpperAscii(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

}  // namespace

bool IsPortUsable(int number, const Settings& settings,
                  const std::filesystem::path& programFolder) {
    if (number < kFirstPortNumber || number > kLastPortNumber) return false;

    const std::string device = ResolvePortDevice(number, programFolder);
    if (IsNetworkPortName(device)) {
        // A connect only: a whole negotiation would open the server's port for nothing.
        if (!CanConnect(device, kNetworkProbeLimit)) return false;
    } else {
        // A trial open takes the port exactly as a transfer would, then lets it go.
        const std::unique_ptr<SerialPort> port = CreateSerialPort(device);
        if (!port->Open(device)) return false;
        port->Close();
    }

    const std::string name = "COM" + std::to_string(number);
    return name != UpperAscii(settings.ModemePort1) && name != UpperAscii(settings.ModemePort2);
}

}  // namespace wexal
