#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>

#include "serial/serial_port.h"

namespace wexal {

// A terminal device (/dev/ttyS*, /dev/ttyUSB*, a pseudo-terminal). The
// descriptor stays non-blocking; every wait is a poll with the time-out the
// record asks for, so no call can hang on a vanished device, and none on a
// line that takes nothing: see LineWait. A close waits for the output only
// while it moves.
//
// Input is read as it lies in the driver, many bytes to a read, and handed
// out one at a time. While it keeps coming, the reader lets it gather for a
// tenth of a second before it looks again, rather than waking for
// every byte; a wait never ends later than asked for.
class PosixSerialPort final : public SerialPort {
public:
    PosixSerialPort() = default;
    ~PosixSerialPort() override;
    PosixSerialPort(const PosixSerialPort&) = delete;
    PosixSerialPort& operator=(const PosixSerialPort&) = delete;

    Status Open(const std::string& device) override;
    bool IsOpen() const override { return fd_ >= 0; }
    void Close() override;

    std::optional<LineSettings> GetSettings() override;
    Status SetSettings(const LineSettings& settings) override;
    Timeouts GetTimeouts() const override { return timeouts_; }
    Status SetTimeouts(const Timeouts& timeouts) override;
    Status SetQueueSizes(int input, int output) override;
    Status Purge(PurgeQueues queues) override;
    std::optional<ModemStatus> GetModemStatus() override;
    QueueStatus GetQueueStatus() override;
    ReadResult ReadByteWithin(std::optional<int> waitMs) override;
    IoStatus WriteByte(std::uint8_t byte) override;
    IoStatus WriteBytes(const std::uint8_t* bytes, std::size_t count) override;
    // TIOCOUTQ leaves out what a pseudo-terminal, a FIFO or a USB adapter holds.
    bool ReportsWholeQueue() const override { return false; }

private:
    Status SetControlLines(const LineSettings& settings);
    void DrainOutput();
    std::optional<std::uint8_t> TakeBuffered();
    void DropBuffered() { inputNext_ = inputEnd_ = 0; }

    int fd_ = -1;
    bool exclusive_ = false;
    std::string device_;
    // Fields the kernel does not keep (XON/XOFF limits, DSR flow, NUL
    // discarding, DTR/RTS control) live here as last written.
    LineSettings record_;
    Timeouts timeouts_;
    // Read from the driver, not yet taken: input_[inputNext_, inputEnd_).
    std::array<std::uint8_t, 512> input_{};
    std::size_t inputNext_ = 0;
    std::size_t inputEnd_ = 0;
    // The last read found bytes and did not fill the buffer: more are coming.
    bool inputFlowing_ = false;
};

}  // namespace wexal
