#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "telnet_server.h"

namespace wexal::test {

// A serial device server on a loopback port chosen by the kernel, in the
// test's own process: RFC 2217 through ncsim's server side, or raw bytes,
// and the faults a real one may show. One connection at a time; each new
// connection starts afresh (the program's start-up probe is one).
class FakeRfc2217Server {
public:
    enum class Behaviour {
        Rfc2217,         // as a device server should
        Raw,             // bytes as they are, no Telnet at all
        Silent,          // accepts and never says a word
        CloseAtOnce,     // accepts and closes
        Garbage,         // answers with bytes that negotiate nothing
        StopsAnswering,  // RFC 2217, then after stopAfter data bytes neither reads nor writes
        Flood,           // raw bytes without end from the start, reading what comes
        GarbageFlood,    // garbage without end from the start
        // RFC 2217 up to the client's first purge (its port is set up), then
        // it reads nothing and withdraws and offers BINARY without end.
        TogglesOptions,
    };

    explicit FakeRfc2217Server(Behaviour behaviour, ncsim::TelnetServer::Quirks quirks = {});
    ~FakeRfc2217Server();
    FakeRfc2217Server(const FakeRfc2217Server&) = delete;
    FakeRfc2217Server& operator=(const FakeRfc2217Server&) = delete;

    bool ok() const { return listen_ >= 0; }
    int port() const { return port_; }
    // rfc2217://127.0.0.1:PORT, or tcp://... for the raw behaviour.
    std::string Url() const;

    // Reports the modem lines (0x80 carrier, 0x20 DSR, 0x10 CTS) to the client.
    void SetModemState(std::uint8_t state);
    // Sends data bytes to the client.
    void Send(const std::string& bytes);
    // Data bytes received from the client in the current connection.
    std::string Received() const;
    // The line the client last set, as ncsim reports it ("4800,7,E,2").
    std::string LineText() const;
    bool Dtr() const;
    int Connections() const { return connections_; }
    // Bytes of the endless part sent so far, over all connections.
    long long Flooded() const { return flooded_; }

    long long stopAfter = 100;
    // Data sent to the client 300 ms into every connection (an NC
    // announcing itself with DC1). Set before the client connects.
    std::string onConnect;

private:
    void Run();
    void Serve(int client);

    Behaviour behaviour_;
    ncsim::TelnetServer::Quirks quirks_;
    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::atomic<long long> flooded_{0};
    mutable std::mutex mutex_;
    std::string toClient_;
    std::string received_;
    ncsim::TelnetServer telnet_;
    std::thread thread_;
};

}  // namespace wexal::test
