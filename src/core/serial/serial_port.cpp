#include "serial/serial_port.h"

#include "serial/net_serial_port.h"
#include "serial/port_names.h"
#include "serial/posix/posix_serial_port.h"

namespace wexal {

std::unique_ptr<SerialPort> CreateSerialPort(const std::string& device) {
    if (IsNetworkPortName(device)) return std::make_unique<NetSerialPort>();
    return std::make_unique<PosixSerialPort>();
}

}  // namespace wexal
