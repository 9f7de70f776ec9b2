#pragma once

#include <memory>
#include <string>

#include "config/settings.h"
#include "serial/serial_link.h"
#include "serial/tape_code.h"
#include "support/fake_clock.h"
#include "support/fake_serial_port.h"
#include "support/fake_transfer_host.h"

namespace wexal::test {

// Hands the link a port that forwards to one the test keeps, so its records
// outlive every OpenPort and ClosePort.
class ForwardingPort final : public SerialPort {
public:
    explicit ForwardingPort(SerialPort& target) : t_(target) {}
    Status Open(const std::string& device) override { return t_.Open(device); }
    bool IsOpen() const override { return t_.IsOpen(); }
    void Close() override { t_.Close(); }
    std::optional<LineSettings> GetSettings() override { return t_.GetSettings(); }
    Status SetSettings(const LineSettings& s) override { return t_.SetSettings(s); }
    Timeouts GetTimeouts() const override { return t_.GetTimeouts(); }
    Status SetTimeouts(const Timeouts& t) override { return t_.SetTimeouts(t); }
    Status SetQueueSizes(int in, int out) override { return t_.SetQueueSizes(in, out); }
    Status Purge(PurgeQueues q) override { return t_.Purge(q); }
    std::optional<ModemStatus> GetModemStatus() override { return t_.GetModemStatus(); }
    QueueStatus GetQueueStatus() override { return t_.GetQueueStatus(); }
    ReadResult ReadByteWithin(std::optional<int> w) override { return t_.ReadByteWithin(w); }
    IoStatus WriteByte(std::uint8_t b) override { return t_.WriteByte(b); }

private:
    SerialPort& t_;
};

// A serial link on the fake port, the fake window and the given messages.
struct LinkRig {
    explicit LinkRig(MessageService& messages, FakeClock::Mode mode = FakeClock::Mode::Virtual)
        : clock(mode), port(clock), host(clock) {
        link.env.settings = &settings;
        link.env.host = &host;
        link.env.messages = &messages;
        link.env.createPort = [this](const std::string&) {
            return std::make_unique<ForwardingPort>(port);
        };
    }

    // Opens for a send with the code flags as the send engine sets them, and
    // the NC letting data flow.
    bool OpenForSend(TapeCode code) {
        if (!OpenPort(link, TransferMode::Send)) return false;
        link.isoCode = code == TapeCode::Iso || code == TapeCode::Ascii;
        link.eiaCode = code == TapeCode::Eia || code == TapeCode::Ascii;
        link.abortRequested = false;
        link.canSend = true;
        link.bytesSinceCheck = 0;
        return true;
    }

    Settings settings;
    FakeClock clock;
    FakeSerialPort port;
    FakeTransferHost host;
    SerialLink link;
};

}  // namespace wexal::test
