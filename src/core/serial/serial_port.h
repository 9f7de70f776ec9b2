#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/status.h"
#include "serial/line_settings.h"

namespace wexal {

// Outcome of one byte's read or write. LineLost means the device is gone
// (unplugged adapter, closed pseudo-terminal, hang-up): no later call will
// succeed, and the transfer must end.
enum class IoStatus { Ok, TimedOut, LineLost, Failed };

struct ReadResult {
    IoStatus status = IoStatus::TimedOut;
    std::uint8_t byte = 0;
};

struct ModemStatus {
    bool cts = false;
    bool dsr = false;
    bool ring = false;
    bool rlsd = false;  // carrier detect

    bool operator==(const ModemStatus&) const = default;
};

struct QueueStatus {
    IoStatus status = IoStatus::Ok;
    int outputQueued = 0;  // bytes written but not yet on the wire
    int inputQueued = 0;   // bytes received but not yet read
};

enum class PurgeQueues { Input, Output, Both };

// One serial port, open for the length of one transfer. All calls come from
// one thread. Which backend runs is known only to CreateSerialPort.
class SerialPort {
public:
    virtual ~SerialPort() = default;

    // Opens the device for this process alone; a port held by another
    // program fails at once instead of waiting.
    virtual Status Open(const std::string& device) = 0;
    virtual bool IsOpen() const = 0;
    virtual void Close() = 0;

    // The line record as the driver holds it; nullopt when it cannot be read.
    virtual std::optional<LineSettings> GetSettings() = 0;
    // Also puts the line in raw mode: call it before the first read or write.
    virtual Status SetSettings(const LineSettings& settings) = 0;

    virtual Timeouts GetTimeouts() const = 0;
    virtual Status SetTimeouts(const Timeouts& timeouts) = 0;

    // A request only: a driver may keep buffers of its own size.
    virtual Status SetQueueSizes(int input, int output) = 0;
    virtual Status Purge(PurgeQueues queues) = 0;

    // nullopt when the device has no modem lines to report (a
    // pseudo-terminal) or the query fails: never taken as "all lines off".
    virtual std::optional<ModemStatus> GetModemStatus() = 0;
    virtual QueueStatus GetQueueStatus() = 0;

    // Waits at most waitMs (nullopt: without limit) for one byte. With
    // discardNul set, NUL bytes are dropped and the wait goes on.
    virtual ReadResult ReadByteWithin(std::optional<int> waitMs) = 0;
    // Waits as the time-out record says.
    ReadResult ReadByte() { return ReadByteWithin(OneByteReadWait(GetTimeouts())); }

    // Hands one byte to the driver, waiting as the time-out record says.
    virtual IoStatus WriteByte(std::uint8_t byte) = 0;
    // Hands the bytes to the driver in order, as few calls as the device
    // allows; Ok only when all of them were taken.
    virtual IoStatus WriteBytes(const std::uint8_t* bytes, std::size_t count);
    // The output queue GetQueueStatus reports holds every byte not yet on the
    // wire. A pseudo-terminal passes bytes on at once, and a UART's FIFO or an
    // adapter's own buffer is not counted either: such a port says false, and
    // the writer reckons the line's progress from its rate instead.
    virtual bool ReportsWholeQueue() const { return true; }

    // After LineLost: what the operator should know beyond "the line went
    // away", naming where the line ran when it was not a local device.
    virtual std::string LostLineDetail() const { return {}; }
};

// A closed port of the kind the device name asks for: a network port for
// rfc2217:// and tcp:// names, a terminal device for everything else.
std::unique_ptr<SerialPort> CreateSerialPort(const std::string& device);

}  // namespace wexal
