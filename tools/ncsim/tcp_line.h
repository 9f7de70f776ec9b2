#pragma once

#include <cstdint>
#include <string>

#include "line.h"
#include "telnet_server.h"

namespace ncsim {

// The machine behind a TCP port, as a serial device server would offer it:
// raw bytes (tcp://HOST:PORT) or Telnet COM port control
// (rfc2217://HOST:PORT). One PC at a time; a connection is an open port.
class TcpLine final : public Line {
public:
    TcpLine() = default;
    ~TcpLine() override;
    TcpLine(const TcpLine&) = delete;
    TcpLine& operator=(const TcpLine&) = delete;

    // Listens as the URL says; port 0 takes a free one.
    bool Listen(const std::string& url, std::string& error);
    // The URL with the port that was taken, for the PC's port map.
    std::string Url() const;

    Events Wait(std::chrono::nanoseconds timeout, bool wantWrite) override;
    void ReadAvailable(std::string& out) override;
    size_t Write(std::string_view bytes) override;
    std::string PeerLine() const override;

    // RFC 2217: the modem lines reported to each PC that connects.
    static constexpr std::uint8_t kModemLines = 0x80 | 0x20 | 0x10;  // carrier, DSR, CTS

private:
    void Accept();
    void Drop();
    void Flush();

    bool rfc2217_ = false;
    std::string host_;
    int port_ = 0;
    int listen_ = -1;
    int client_ = -1;
    TelnetServer telnet_;
    std::string in_;
    std::string out_;
};

// Whether the text asks for a TCP line rather than a pseudo-terminal.
bool IsTcpUrl(const std::string& text);

}  // namespace ncsim
