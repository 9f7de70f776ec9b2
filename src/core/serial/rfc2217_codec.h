#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "serial/line_settings.h"
#include "serial/serial_port.h"

// The client's side of Telnet with COM port control (RFC 854, 856, 858 and
// 2217): what goes on the connection and what comes back, without sockets.
namespace wexal::rfc2217 {

inline constexpr std::uint8_t kIac = 255;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kSe = 240;

inline constexpr std::uint8_t kBinary = 0;
inline constexpr std::uint8_t kSuppressGoAhead = 3;
inline constexpr std::uint8_t kComPortOption = 44;

// COM-PORT-OPTION commands as the client sends them; the server answers
// each with the same number plus kServerOffset.
enum class Command : std::uint8_t {
    Signature = 0,
    SetBaudRate = 1,
    SetDataSize = 2,
    SetParity = 3,
    SetStopSize = 4,
    SetControl = 5,
    NotifyLineState = 6,
    NotifyModemState = 7,
    FlowControlSuspend = 8,
    FlowControlResume = 9,
    SetLineStateMask = 10,
    SetModemStateMask = 11,
    PurgeData = 12,
};
inline constexpr std::uint8_t kServerOffset = 100;

// Values of SET-CONTROL.
inline constexpr std::uint8_t kNoOutboundFlow = 1;
inline constexpr std::uint8_t kDtrOn = 8;
inline constexpr std::uint8_t kDtrOff = 9;
inline constexpr std::uint8_t kRtsOn = 11;
inline constexpr std::uint8_t kRtsOff = 12;
inline constexpr std::uint8_t kNoInboundFlow = 14;
// Value of PURGE-DATA for both of the server's buffers.
inline constexpr std::uint8_t kPurgeBoth = 3;

// One data byte as it goes on the connection: IAC doubled.
std::string EncodeData(std::uint8_t byte);
// IAC verb option.
std::string OptionCommand(std::uint8_t verb, std::uint8_t option);
// IAC SB COM-PORT-OPTION command value IAC SE, with IAC in the value doubled.
std::string ComPortCommand(Command command, std::string_view value);

// The four settings a server confirms, each as its command's value.
struct LineRequest {
    Command command;
    std::string value;
};
// One and a half stop bits are asked for as two, as on a local port: a UART
// has them only with five data bits.
std::vector<LineRequest> LineRequests(const LineSettings& settings);

// DSR, CTS, RI and carrier detect from a NOTIFY-MODEMSTATE value.
ModemStatus DecodeModemState(std::uint8_t state);

// A command the server sent: an option verb, or a subnegotiation with its
// payload (IAC IAC undoubled, the closing IAC SE left off).
struct Received {
    std::uint8_t verb = 0;  // kWill, kWont, kDo, kDont or kSb
    std::uint8_t option = 0;
    std::string payload;
};

// Splits what the server sends into data and commands. Other Telnet commands
// (NOP, GA, ...) are dropped. A subnegotiation longer than any this client
// understands is dropped whole.
class Decoder {
public:
    void Feed(std::string_view bytes, std::string& data, std::vector<Received>& commands);

private:
    enum class State { Data, Iac, Verb, SbOption, Sb, SbIac };
    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    Received sub_;
    bool overlong_ = false;
};

// The client's options: BINARY and SUPPRESS-GO-AHEAD both ways, and
// COM-PORT-OPTION on its side. Every other option is refused once. A reply is
// sent only when a state changes, so two parties cannot loop.
class Negotiation {
public:
    // The requests that open the session.
    std::string Start();
    // The reply (possibly empty) to one option verb from the server.
    std::string Take(std::uint8_t verb, std::uint8_t option);

    // Everything this client needs has been agreed.
    bool Ready() const;
    // The server refused something this client needs: its name, else empty.
    std::string Refused() const;

private:
    struct Side {
        bool on = false;
        bool asked = false;
        bool refused = false;
        bool declined = false;  // an unwanted option, already answered
    };
    std::array<Side, 256> us_{};
    std::array<Side, 256> him_{};
};

}  // namespace wexal::rfc2217
