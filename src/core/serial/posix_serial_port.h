#pragma once

#include <string>

#include "serial/serial_port.h"

namespace wexal {

// A terminal device (/dev/ttyS*, /dev/ttyUSB*, a pseudo-terminal). The
// descriptor stays non-blocking; every wait is a poll with the time-out the
// record asks for, so no call can hang on a vanished device.
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

private:
    Status SetControlLines(const LineSettings& settings);

    int fd_ = -1;
    bool exclusive_ = false;
    std::string device_;
    // Fields the kernel does not keep (XON/XOFF limits, DSR flow, NUL
    // discarding, DTR/RTS control) live here as last written.
    LineSettings record_;
    Timeouts timeouts_;
};

}  // namespace wexal
