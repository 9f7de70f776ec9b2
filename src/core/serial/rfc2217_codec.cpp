#include "serial/rfc2217_codec.h"

namespace wexal::rfc2217 {

namespace {

// The longest subnegotiation a server sends this client is a signature text.
constexpr std::size_t kMaxSubnegotiation = 256;

bool WantedOnOurSide(std::uint8_t option) {
    return option == kBinary || option == kSuppressGoAhead || option == kComPortOption;
}

bool WantedOnHisSide(std::uint8_t option) {
    return option == kBinary || option == kSuppressGoAhead;
}

std::string Byte(std::uint8_t value) { return std::string(1, static_cast<char>(value)); }

}  // namespace

std::string EncodeData(std::uint8_t byte) {
    return byte == kIac ? std::string(2, static_cast<char>(kIac)) : Byte(byte);
}

std::string OptionCommand(std::uint8_t verb, std::uint8_t option) {
    return Byte(kIac) + Byte(verb) + Byte(option);
}

std::string ComPortCommand(Command command, std::string_view value) {
    std::string out =
        Byte(kIac) + Byte(kSb) + Byte(kComPortOption) + Byte(static_cast<std::uint8_t>(command));
    for (const char c : value) out += EncodeData(static_cast<std::uint8_t>(c));
    return out + Byte(kIac) + Byte(kSe);
}

std::vector<LineRequest> LineRequests(const LineSettings& settings) {
    const auto baud = static_cast<std::uint32_t>(settings.baud);
    std::string baudValue;
    for (int shift = 24; shift >= 0; shift -= 8) {
        baudValue += static_cast<char>((baud >> shift) & 0xFF);
    }
    std::uint8_t parity = 1;
    if (settings.parity == Parity::Odd) parity = 2;
    if (settings.parity == Parity::Even) parity = 3;
    const std::uint8_t stop = settings.stopBits == StopBits::One ? 1 : 2;
    return {{Command::SetBaudRate, baudValue},
            {Command::SetDataSize, Byte(static_cast<std::uint8_t>(settings.dataBits))},
            {Command::SetParity, Byte(parity)},
            {Command::SetStopSize, Byte(stop)}};
}

ModemStatus DecodeModemState(std::uint8_t state) {
    ModemStatus status;
    status.cts = (state & 0x10) != 0;
    status.dsr = (state & 0x20) != 0;
    status.ring = (state & 0x40) != 0;
    status.rlsd = (state & 0x80) != 0;
    return status;
}

void Decoder::Feed(std::string_view bytes, std::string& data, std::vector<Received>& commands) {
    for (const char c : bytes) {
        const auto byte = static_cast<std::uint8_t>(c);
        switch (state_) {
            case State::Data:
                if (byte == kIac) {
                    state_ = State::Iac;
                } else {
                    data += c;
                }
                break;
            case State::Iac:
                state_ = State::Data;
                if (byte == kIac) {
                    data += c;
                } else if (byte >= kWill && byte <= kDont) {
                    verb_ = byte;
                    state_ = State::Verb;
                } else if (byte == kSb) {
                    state_ = State::SbOption;
                }
                break;
            case State::Verb:
                commands.push_back({verb_, byte, {}});
                state_ = State::Data;
                break;
            case State::SbOption:
                sub_ = {kSb, byte, {}};
                overlong_ = false;
                state_ = State::Sb;
                break;
            case State::Sb:
                if (byte == kIac) {
                    state_ = State::SbIac;
                } else if (sub_.payload.size() < kMaxSubnegotiation) {
                    sub_.payload += c;
                } else {
                    overlong_ = true;
                }
                break;
            case State::SbIac:
                if (byte == kIac) {
                    if (sub_.payload.size() < kMaxSubnegotiation) {
                        sub_.payload += c;
                    } else {
                        overlong_ = true;
                    }
                    state_ = State::Sb;
                } else {
                    // IAC SE ends it; any other command after IAC ends it too
                    // (RFC 855 leaves that to the receiver).
                    if (!overlong_) commands.push_back(sub_);
                    state_ = State::Data;
                }
                break;
        }
    }
}

std::string Negotiation::Start() {
    std::string out;
    for (const std::uint8_t option : {kBinary, kSuppressGoAhead, kComPortOption}) {
        us_[option].asked = true;
        out += OptionCommand(kWill, option);
        if (WantedOnHisSide(option)) {
            him_[option].asked = true;
            out += OptionCommand(kDo, option);
        }
    }
    return out;
}

std::string Negotiation::Take(std::uint8_t verb, std::uint8_t option) {
    const bool about_us = verb == kDo || verb == kDont;
    const bool enable = verb == kDo || verb == kWill;
    Side& side = about_us ? us_[option] : him_[option];
    const bool wanted = about_us ? WantedOnOurSide(option) : WantedOnHisSide(option);
    const std::uint8_t yes = about_us ? kWill : kDo;
    const std::uint8_t no = about_us ? kWont : kDont;

    if (enable && wanted) {
        const bool reply = !side.on && !side.asked;
        side.on = true;
        side.asked = false;
        side.refused = false;
        return reply ? OptionCommand(yes, option) : std::string();
    }
    if (enable) {
        if (side.declined) return {};
        side.declined = true;
        return OptionCommand(no, option);
    }
    // A refusal: acknowledged only when it turns off what was on.
    const bool wasOn = side.on;
    if (wanted && (side.on || side.asked)) side.refused = true;
    side.on = false;
    side.asked = false;
    return wasOn ? OptionCommand(no, option) : std::string();
}

bool Negotiation::Ready() const {
    return us_[kComPortOption].on && us_[kBinary].on && him_[kBinary].on;
}

std::string Negotiation::Refused() const {
    if (us_[kComPortOption].refused) return "COM-PORT-OPTION";
    if (us_[kBinary].refused || him_[kBinary].refused) return "BINARY";
    return {};
}

}  // namespace wexal::rfc2217
