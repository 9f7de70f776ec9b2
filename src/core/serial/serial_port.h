#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
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

// A write whose time-out record allows any wait still gives up when the line
// has taken nothing for this long: a peer that never reads, an adapter whose
// far end is gone, CTS held low.
inline constexpr int kLongestWriteWaitMs = 10000;
// Once the transfer or the program is ending, a write that the line holds up
// waits at most this long.
inline constexpr int kEndingWaitMs = 2000;
// The drain of the output at a close gives up when it has not moved for this
// long, and once the transfer is ending, after kEndingDrainMs in all: what
// the byte writer's queue and a DC4 take at 1200 baud.
inline constexpr int kDrainStallMs = 2000;
inline constexpr int kEndingDrainMs = 3000;

// The program is ending on a signal: every wait of every port that a line
// holds up is cut to kEndingWaitMs. Safe to call from a signal handler.
void InterruptPortWaits();
bool PortWaitsInterrupted();

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

    // Asked while a write or a close waits for a line that takes nothing:
    // true when the transfer is ending, which cuts the wait to kEndingWaitMs.
    void SetEndingCheck(std::function<bool()> ending) { ending_ = std::move(ending); }
    bool Ending() const { return PortWaitsInterrupted() || (ending_ && ending_()); }
    // How long the last WriteByte waited for the line to take its byte.
    int LastWriteWaitMs() const { return lastWriteWaitMs_; }

protected:
    int lastWriteWaitMs_ = 0;

private:
    std::function<bool()> ending_;
};

// One wait of a port for a line that takes nothing, looked at in slices: as
// long as asked (nullopt: kLongestWriteWaitMs), but no longer than
// kEndingWaitMs from its start once the port's transfer is ending.
class LineWait {
public:
    LineWait(std::optional<int> limitMs, const SerialPort& port);
    // Milliseconds to wait before looking again, at most sliceMs; 0 when the
    // wait is over.
    int NextMs(int sliceMs) const;
    int ElapsedMs() const;
    // The line moved: the wait starts anew.
    void Restart() { start_ = Clock::now(); }

private:
    using Clock = std::chrono::steady_clock;
    int limitMs_;
    const SerialPort& port_;
    Clock::time_point start_;
};

// A closed port of the kind the device name asks for: a network port for
// rfc2217:// and tcp:// names, a terminal device for everything else.
std::unique_ptr<SerialPort> CreateSerialPort(const std::string& device);

}  // namespace wexal
