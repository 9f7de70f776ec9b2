#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "serial/port_names.h"
#include "serial/rfc2217_codec.h"
#include "serial/serial_port.h"
#include "serial/socket_io.h"

namespace wexal {

// A serial port on the network: a device server or ser2net, reached over TCP
// with Telnet COM port control (RFC 2217) or as a raw byte stream.
//
// Flow control stays the program's own: the NC's XON and XOFF arrive as data.
// The server's UART sends at the line rate while TCP would take far more, so
// the output queue this port reports is the larger of what the line could
// not have sent yet at its rate and what the server has not yet acknowledged;
// with the byte writer's limit on that queue, an XOFF stops the output as
// soon as on a local port. The socket's own send buffer is kept at the
// kernel's minimum and Nagle's delay is off, so single bytes leave at once.
// Winsock does not tell what the server has not acknowledged: there the
// port's own unsent bytes stand for it.
//
// A server that goes away is noticed by TCP (keep-alive, a time-out on
// unacknowledged data), by output that makes no progress, and with RFC 2217
// by a question the server must answer after a quiet second.
class NetSerialPort final : public SerialPort {
public:
    using Clock = std::chrono::steady_clock;

    // The connection and, with RFC 2217, the negotiation must be done in this.
    static constexpr std::chrono::milliseconds kOpenLimit{3000};
    // A server that confirms no line setting within this fails the setting.
    static constexpr std::chrono::milliseconds kAnswerLimit{3000};
    // After the settings are confirmed, the wait for the answers that tell
    // whether the server drives modem lines and answers questions.
    static constexpr std::chrono::milliseconds kCapabilityLimit{500};
    // RFC 2217: a question after this much silence, the line lost when the
    // answer is not back this long after the question.
    static constexpr std::chrono::milliseconds kQuietBeforeQuestion{1000};
    static constexpr std::chrono::milliseconds kAnswerWait{2000};
    // Output the server has not acknowledged for this long: the line is lost.
    static constexpr std::chrono::milliseconds kStallLimit{5000};
    // Most bytes the port holds, received and not yet read plus not yet
    // sent. Once full, the socket is left unread and TCP holds the server
    // back: one that floods, or sends and never reads, cannot fill the memory.
    static constexpr std::size_t kBufferLimit = 256 * 1024;

    NetSerialPort() = default;
    ~NetSerialPort() override;
    NetSerialPort(const NetSerialPort&) = delete;
    NetSerialPort& operator=(const NetSerialPort&) = delete;

    Status Open(const std::string& device) override;
    bool IsOpen() const override { return socket_ != socket_io::kNoSocket; }
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
    std::string LostLineDetail() const override;

    // What the port holds now, received and to send; never above kBufferLimit.
    std::size_t Buffered() const { return input_.size() + output_.size(); }

private:
    bool Rfc2217() const { return address_.protocol == NetworkProtocol::Rfc2217; }
    Status Fail(const std::string& why);
    void Lose(const std::string& why);

    // Waits at most timeoutMs for input or, with output pending, for room;
    // takes what came and sends what it can.
    void Pump(int timeoutMs);
    void ReadAvailable();
    std::size_t ReadRoom() const;
    void DropReadInput();
    void FreeBuffers();
    void Flush();
    void Take(std::string_view bytes);
    void TakeComPort(const std::string& payload);
    void CheckHealth();
    std::optional<std::string> Answer(rfc2217::Command command, int nth = 0) const;
    int KernelQueued();
    int LineQueued(Clock::time_point now) const;
    bool HasInput() const { return inputPos_ < input_.size(); }

    socket_io::Socket socket_ = socket_io::kNoSocket;
    std::string device_;
    NetworkPortAddress address_;
    LineSettings record_;
    Timeouts timeouts_;

    rfc2217::Decoder decoder_;
    rfc2217::Negotiation negotiation_;
    std::string input_;  // data bytes received, from inputPos_ on not yet read
    std::size_t inputPos_ = 0;
    std::string output_;  // bytes the kernel has not taken yet
    std::uint64_t handedToKernel_ = 0;

    std::optional<ModemStatus> modem_;
    bool suspended_ = false;  // the server asked us to hold our output
    // The server's answers to SET commands, in the order they came.
    std::vector<std::pair<rfc2217::Command, std::string>> answers_;
    int openQuestions_ = 0;          // baud-rate questions of the liveness check not yet answered
    bool answersQuestions_ = false;  // it told the baud rate when asked: the liveness check works
    // It confirmed driving DTR, so its device has modem lines. ser2net in
    // front of a pseudo-terminal cannot and reports every line off; such a
    // port counts as having no modem lines, as the pseudo-terminal itself does.
    bool hasModemLines_ = false;

    Clock::duration byteTime_{};
    Clock::time_point lineFreeAt_{};
    Clock::time_point lastHeard_{};
    std::optional<Clock::time_point> questionAt_;
    std::uint64_t lastAcked_ = 0;
    Clock::time_point lastProgress_{};

    bool lost_ = false;
    std::string lostWhy_;
};

// Whether a TCP connection to the network port can be made within limit; the
// connection is closed again at once, nothing is negotiated.
bool CanConnect(const std::string& device, std::chrono::milliseconds limit);

}  // namespace wexal
