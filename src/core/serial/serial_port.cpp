#include "serial/serial_port.h"

#include "serial/net_serial_port.h"
#include "serial/port_names.h"
#ifdef _WIN32
#include "serial/win32/win32_serial_port.h"
#else
#include "serial/posix/posix_serial_port.h"
#endif

#include <algorithm>
#include <atomic>

namespace wexal {

IoStatus SerialPort::WriteBytes(const std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (const IoStatus status = WriteByte(bytes[i]); status != IoStatus::Ok) return status;
    }
    return IoStatus::Ok;
}

namespace {

std::atomic<bool> g_portWaitsInterrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

}  // namespace

void InterruptPortWaits() { g_portWaitsInterrupted.store(true); }

bool PortWaitsInterrupted() { return g_portWaitsInterrupted.load(); }

LineWait::LineWait(std::optional<int> limitMs, const SerialPort& port)
    : limitMs_(std::max(limitMs.value_or(kLongestWriteWaitMs), 0)),
      port_(port),
      start_(Clock::now()) {}

int LineWait::ElapsedMs() const {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count());
}

int LineWait::NextMs(int sliceMs) const {
    const int limit = port_.Ending() ? std::min(limitMs_, kEndingWaitMs) : limitMs_;
    const auto end = start_ + std::chrono::milliseconds(limit);
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now()).count();
    if (left <= 0) return 0;
    return static_cast<int>(std::min<long long>(left, std::max(sliceMs, 1)));
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
