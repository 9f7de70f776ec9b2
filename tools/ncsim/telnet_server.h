#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ncsim {

// The server's side of Telnet with COM port control (RFC 2217), as a device
// server speaks it: written on its own, so that it checks the program's client.
class TelnetServer {
public:
    // What the server is told to do wrong, for tests of the client.
    struct Quirks {
        std::optional<std::uint32_t> answerBaud;  // answer every baud rate with this one
        bool answerControl = true;                // false: leave SET-CONTROL unanswered
    };

    // The options the server offers and asks for when a client connects.
    static std::string Greeting();
    // A data byte string as it goes on the connection: IAC doubled.
    static std::string EncodeData(std::string_view bytes);
    // NOTIFY-MODEMSTATE with the state byte (0x80 carrier, 0x20 DSR, 0x10 CTS).
    static std::string ModemState(std::uint8_t state);

    // Takes what the client sent: its data goes to data, the answers to reply.
    void Feed(std::string_view in, std::string& data, std::string& reply);

    // The line the client set, as "B,D,P,S" (parity N, O, E, M or S); empty
    // until it set one.
    std::string LineText() const;
    bool dtr() const { return dtr_; }
    bool rts() const { return rts_; }
    int purges() const { return purges_; }
    bool comPortAgreed() const { return comPort_; }

    Quirks quirks;

private:
    void Option(std::uint8_t verb, std::uint8_t option, std::string& reply);
    void ComPort(const std::string& payload, std::string& reply);

    enum class State { Data, Iac, Verb, SbOption, Sb, SbIac };
    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    std::uint8_t subOption_ = 0;
    std::string sub_;
    bool refusedWill_[256] = {};
    bool refusedDo_[256] = {};

    bool comPort_ = false;
    std::uint32_t baud_ = 0;
    int dataSize_ = 0;
    int parity_ = 0;
    int stopSize_ = 0;
    int outboundFlow_ = 1;
    int inboundFlow_ = 14;
    bool dtr_ = false;
    bool rts_ = false;
    int purges_ = 0;
    std::uint8_t modemMask_ = 0xFF;
};

}  // namespace ncsim
