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

// A port on the network instead of a device: a serial device server or a
// ser2net port, reached as rfc2217://host:port (Telnet COM port control) or
// tcp://host:port (bytes as they are).
enum class NetworkProtocol { Rfc2217, RawTcp };

struct NetworkPortAddress {
    NetworkProtocol protocol = NetworkProtocol::RawTcp;
    std::string host;     // a name, an IPv4 address, or an IPv6 address without its brackets
    std::string service;  // the port number, 1 to 65535, as written

    bool operator==(const NetworkPortAddress&) const = default;
};

// Whether the device names a network port: it begins with "rfc2217://" or
// "tcp://", in any case. Such a name never opens as a device path.
bool IsNetworkPortName(std::string_view device);

// The parts of a network port name; nullopt when it is none or is malformed
// (no host, no port, a port out of range, an unclosed bracket, a path).
std::optional<NetworkPortAddress> ParseNetworkPortName(std::string_view device);

}  // namespace wexal
