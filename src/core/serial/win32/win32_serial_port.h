#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "serial/serial_port.h"

namespace wexal {

// A Win32 communications device (\\.\COM1, \\.\COM12). The handle is opened
// for overlapped I/O and every wait is the backend's own: a read or write is
// started, waited for at most as long as asked, and cancelled when that
// passes, so no call can hang on a vanished device; a write never waits
// longer than LineWait allows, and a close drains only output that moves. The driver's own time-out
// record stays at "no time-outs" for that reason (Wine does not keep to its
// rules for overlapped reads); the record the caller sets is kept here and
// turned into waits, as on POSIX.
//
// Input is read as it lies in the driver, as many bytes as it holds to a
// read, and handed out one at a time. While it keeps coming, the reader lets
// it gather for a tenth of a second before it looks again. A wait never ends
// later than asked for, except by the moment a driver takes to hand over
// bytes that it has said it holds.
//
// <windows.h> stays in the .cpp: its macros do not reach the files that
// create ports.
class Win32SerialPort final : public SerialPort {
public:
    Win32SerialPort();
    ~Win32SerialPort() override;
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    Status Open(const std::string& device) override;
    bool IsOpen() const override { return handle_ != nullptr; }
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
    // The OVERLAPPED record, its event and the buffers a read or write uses:
    // memory the driver writes to until the operation has completed.
    struct Io;
    // How one read or write ended.
    struct Transfer;
    // Reads into io_->input or writes io_->output, waiting at most waitMs
    // (nullopt: without limit), or as lineWait says when one is given, and
    // cancelling the operation when that passes.
    Transfer Run(bool write, unsigned long size, std::optional<unsigned long> waitMs,
                 const LineWait* lineWait = nullptr);
    void DrainOutput();
    std::optional<std::uint8_t> TakeBuffered();
    void DropBuffered() { inputNext_ = inputEnd_ = 0; }
    // A failed call's Status, with the errno that the POSIX backend would give.
    Status Failure(unsigned long win32Error) const;

    void* handle_ = nullptr;  // the open device, nullptr when closed
    std::unique_ptr<Io> io_;
    // A cancelled operation that the driver never completed: io_ is still the
    // driver's, and the line counts as lost until Close.
    bool ioStuck_ = false;
    // A named object that this process holds while the port is open, so that
    // a second opening fails at once also where the driver would share the
    // device (Wine on a Linux terminal).
    void* portClaim_ = nullptr;
    std::string device_;
    // The line record as last written. The driver is asked again for the
    // fields every driver keeps (rate, frame, XON/XOFF characters and
    // switches); the others are kept here, as a driver that emulates a port
    // (Wine) may not give them back.
    LineSettings record_;
    Timeouts timeouts_;
    // Read from the driver, not yet taken: io_->input[inputNext_, inputEnd_).
    std::size_t inputNext_ = 0;
    std::size_t inputEnd_ = 0;
    // The last read found bytes and did not fill the buffer: more are coming.
    bool inputFlowing_ = false;
};

}  // namespace wexal
