#include "serial/serial_port.h"

#include "serial/net_serial_port.h"
#include "serial/port_names.h"
#ifdef _WIN32
#include "serial/win32/win32_serial_port.h"
#else
#include "serial/posix/posix_serial_port.h"
#endif

namespace wexal {

std::unique_ptr<SerialPort> CreateSerialPort(const std::string& device) {
    if (IsNetworkPortName(device)) return std::make_unique<NetSerialPort>();
#ifdef _WIN32
    return std::make_unique<Win32SerialPort>();
#else
    return std::make_unique<PosixSerialPort>();
#endif
}

}  // namespace wexal
