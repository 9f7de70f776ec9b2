#include "serial/serial_port.h"

#include "serial/net_serial_port.h"
#include "serial/port_names.h"
#ifdef _WIN32
#include "serial/win32/win32_serial_port.h"
#else
#include "serial/posix/posix_serial_port.h"
#endif

namespace wexal {

IoStatus SerialPort::WriteBytes(const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (const IoStatus status = WriteByte(bytes[i]); status != IoStatus::Ok) return status;
    }
    return IoStatus::Ok;
}

std::unique_ptr<SerialPort> CreateSerialPort(const std::string& device) {
    if (IsNetworkPortName(device)) return std::make_unique<NetSerialPort>();
#ifdef _WIN32
    return std::make_unique<Win32SerialPort>();
#else
    return std::make_unique<PosixSerialPort>();
#endif
}

}  // namespace wexal
