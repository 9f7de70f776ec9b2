#include "telnet_server.h"

#include <initializer_list>

namespace ncsim {
namespace {

constexpr unsigned char IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240;
constexpr unsigned char BINARY = 0, SGA = 3, COM_PORT = 44;
constexpr unsigned char kAnswer = 100;

std::string Bytes(std::initializer_list<unsigned char> bytes) {
    return std::string(bytes.begin(), bytes.end());
}

std::string Sub(unsigned char command, std::string_view value) {
    return Bytes({IAC, SB, COM_PORT, command}) + TelnetServer::EncodeData(value) + Bytes({IAC, SE});
}

std::string Byte(int value) { return std::string(1, static_cast<char>(value)); }

}  // namespace

std::string TelnetServer::Greeting() {
    return Bytes(
        {IAC, WILL, BINARY, IAC, DO, BINARY, IAC, WILL, SGA, IAC, DO, SGA, IAC, DO, COM_PORT});
}

std::string TelnetServer::EncodeData(std::string_view bytes) {
    std::string out;
    for (char c : bytes) {
        out += c;
        if (static_cast<unsigned char>(c) == IAC) out += c;
    }
    return out;
}

std::string TelnetServer::ModemState(std::uint8_t state) { return Sub(kAnswer + 7, Byte(state)); }

void TelnetServer::Feed(std::string_view in, std::string& data, std::string& reply) {
    for (char c : in) {
        const auto byte = static_cast<unsigned char>(c);
        switch (state_) {
            case State::Data:
                if (byte == IAC) {
                    state_ = State::Iac;
                } else {
                    data += c;
                }
                break;
            case State::Iac:
                state_ = State::Data;
                if (byte == IAC) {
                    data += c;
                } else if (byte >= WILL && byte <= DONT) {
                    verb_ = byte;
                    state_ = State::Verb;
                } else if (byte == SB) {
                    state_ = State::SbOption;
                }
                break;
            case State::Verb:
                Option(verb_, byte, reply);
                state_ = State::Data;
                break;
            case State::SbOption:
                subOption_ = byte;
                sub_.clear();
                state_ = State::Sb;
                break;
            case State::Sb:
                if (byte == IAC) {
                    state_ = State::SbIac;
                } else if (sub_.size() < 64) {
                    sub_ += c;
                }
                break;
            case State::SbIac:
                if (byte == IAC) {
                    if (sub_.size() < 64) sub_ += c;
                    state_ = State::Sb;
                    break;
                }
                if (subOption_ == COM_PORT) ComPort(sub_, reply);
                state_ = State::Data;
                break;
        }
    }
}

// The greeting already offered BINARY and SGA and asked for them and for
// COM-PORT-OPTION: agreement needs no answer, anything else is refused once.
void TelnetServer::Option(std::uint8_t verb, std::uint8_t option, std::string& reply) {
    const bool wanted = option == BINARY || option == SGA || (verb == WILL && option == COM_PORT);
    if (verb == WILL) {
        if (option == COM_PORT) comPort_ = true;
        if (!wanted && !refusedWill_[option]) {
            refusedWill_[option] = true;
            reply += Bytes({IAC, DONT, option});
        }
    } else if (verb == DO) {
        if (!wanted && !refusedDo_[option]) {
            refusedDo_[option] = true;
            reply += Bytes({IAC, WONT, option});
        }
    } else if (verb == WONT && option == COM_PORT) {
        comPort_ = false;
    }
}

void TelnetServer::ComPort(const std::string& payload, std::string& reply) {
    if (payload.empty()) return;
    const auto command = static_cast<unsigned char>(payload[0]);
    const std::string value = payload.substr(1);
    const int first = value.empty() ? 0 : static_cast<unsigned char>(value[0]);
    const unsigned char answer = static_cast<unsigned char>(command + kAnswer);
    switch (command) {
        case 0:
            reply += Sub(answer, "ncsim");
            break;
        case 1: {
            if (value.size() != 4) return;
            std::uint32_t baud = 0;
            for (char c : value) baud = (baud << 8) | static_cast<unsigned char>(c);
            if (baud != 0) baud_ = quirks.answerBaud.value_or(baud);
            std::string out;
            for (int shift = 24; shift >= 0; shift -= 8) out += Byte((baud_ >> shift) & 0xFF);
            reply += Sub(answer, out);
            break;
        }
        case 2:
        case 3:
        case 4: {
            int& field = command == 2 ? dataSize_ : command == 3 ? parity_ : stopSize_;
            if (first != 0) field = first;
            reply += Sub(answer, Byte(field));
            break;
        }
        case 5: {
            if (!quirks.answerControl) return;
            int state = first;
            if (first == 0) state = outboundFlow_;
            if (first >= 1 && first <= 3) outboundFlow_ = first;
            if (first == 7) state = dtr_ ? 8 : 9;
            if (first == 8 || first == 9) dtr_ = first == 8;
            if (first == 10) state = rts_ ? 11 : 12;
            if (first == 11 || first == 12) rts_ = first == 11;
            if (first == 13) state = inboundFlow_;
            if (first >= 14 && first <= 16) inboundFlow_ = first;
            reply += Sub(answer, Byte(state));
            break;
        }
        case 10:
            reply += Sub(answer, Byte(first));
            break;
        case 11:
            modemMask_ = static_cast<std::uint8_t>(first);
            reply += Sub(answer, Byte(first));
            break;
        case 12:
            ++purges_;
            reply += Sub(answer, Byte(first));
            break;
        default:
            break;
    }
}

std::string TelnetServer::LineText() const {
    if (baud_ == 0) return {};
    static const char kParity[] = "?NOEMS";
    const char parity = parity_ >= 1 && parity_ <= 5 ? kParity[parity_] : '?';
    const char* stop = stopSize_ == 1 ? "1" : stopSize_ == 2 ? "2" : stopSize_ == 3 ? "1.5" : "?";
    return std::to_string(baud_) + "," + std::to_string(dataSize_) + "," + parity + "," + stop;
}

}  // namespace ncsim
