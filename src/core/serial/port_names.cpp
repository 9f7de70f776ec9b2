#include "serial/port_names.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>

#include "config/ini_file.h"

namespace wexal {

namespace {

constexpr std::string_view kRfc2217Scheme = "rfc2217://";
constexpr std::string_view kTcpScheme = "tcp://";

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

bool IsPortNumberText(std::string_view text) {
    if (text.empty() || text.size() > 5) return false;
    int number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() && end == text.data() + text.size() && number >= 1 &&
           number <= 65535;
}

bool IsHostText(std::string_view host) {
    return !host.empty() && std::none_of(host.begin(), host.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u <= 0x20 || u == 0x7F || c == '/' || c == '[' || c == ']' || c == '@';
    });
}

}  // namespace

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
#ifdef _WIN32
    // The device namespace reaches every port, COM10 and above included.
    return "\\\\.\\" + key;
#else
    return "/dev/ttyS" + std::to_string(number - 1);
#endif
}

bool IsNetworkPortName(std::string_view device) {
    return StartsWithNoCase(device, kRfc2217Scheme) || StartsWithNoCase(device, kTcpScheme);
}

std::optional<NetworkPortAddress> ParseNetworkPortName(std::string_view device) {
    NetworkPortAddress address;
    std::string_view rest;
    if (StartsWithNoCase(device, kRfc2217Scheme)) {
        address.protocol = NetworkProtocol::Rfc2217;
        rest = device.substr(kRfc2217Scheme.size());
    } else if (StartsWithNoCase(device, kTcpScheme)) {
        address.protocol = NetworkProtocol::RawTcp;
        rest = device.substr(kTcpScheme.size());
    } else {
        return std::nullopt;
    }
    // A slash after the port is tolerated as written by habit ("tcp://host:4001/").
    if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);

    std::string_view host;
    std::string_view service;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos || close + 1 >= rest.size() || rest[close + 1] != ':') {
            return std::nullopt;
        }
        host = rest.substr(1, close - 1);
        service = rest.substr(close + 2);
        if (host.find(':') == std::string_view::npos) return std::nullopt;
    } else {
        const std::size_t colon = rest.rfind(':');
        if (colon == std::string_view::npos) return std::nullopt;
        host = rest.substr(0, colon);
        service = rest.substr(colon + 1);
        // An IPv6 address has to be bracketed, or its last group would be taken for the port.
        if (host.find(':') != std::string_view::npos) return std::nullopt;
    }
    if (!IsHostText(host) || !IsPortNumberText(service)) return std::nullopt;
    address.host = std::string(host);
    address.service = std::string(service);
    return address;
}

}  // namespace wexal
