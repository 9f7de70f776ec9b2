#include "support/fake_rfc2217_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace wexal::test {

namespace {

using Behaviour = FakeRfc2217Server::Behaviour;

// Bytes that negotiate nothing: a stray verb, text, a command and an
// unfinished subnegotiation of an option nobody asked for.
constexpr std::string_view kGarbage = "\x01\xfe\x80garbage\xff\xf1\xff\xfa\x05zz";

bool IsRaw(Behaviour behaviour) {
    return behaviour == Behaviour::Raw || behaviour == Behaviour::Flood;
}

bool SpeaksTelnet(Behaviour behaviour) {
    return behaviour == Behaviour::Rfc2217 || behaviour == Behaviour::StopsAnswering ||
           behaviour == Behaviour::TogglesOptions;
}

// What a flooding behaviour sends again and again, some 64 KB at a time.
std::string FloodChunk(Behaviour behaviour) {
    // IAC WONT, WILL, DONT, DO BINARY: each turns off or on what the
    // previous one left, so each asks the client for an answer.
    static constexpr char kToggle[] = {'\xff', '\xfc', 0, '\xff', '\xfb', 0,
                                       '\xff', '\xfe', 0, '\xff', '\xfd', 0};
    std::string_view unit = "G";
    if (behaviour == Behaviour::GarbageFlood) unit = kGarbage;
    if (behaviour == Behaviour::TogglesOptions) unit = std::string_view(kToggle, sizeof kToggle);
    std::string chunk;
    while (chunk.size() < 64 * 1024) chunk += unit;
    return chunk;
}

}  // namespace

FakeRfc2217Server::FakeRfc2217Server(Behaviour behaviour, ncsim::TelnetServer::Quirks quirks)
    : behaviour_(behaviour), quirks_(quirks) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t size = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 4) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        if (fd >= 0) ::close(fd);
        return;
    }
    listen_ = fd;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Run(); });
}

FakeRfc2217Server::~FakeRfc2217Server() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listen_ >= 0) ::close(listen_);
}

std::string FakeRfc2217Server::Url() const {
    return std::string(IsRaw(behaviour_) ? "tcp" : "rfc2217") +
           "://127.0.0.1:" + std::to_string(port_);
}

void FakeRfc2217Server::SetModemState(std::uint8_t state) {
    const std::lock_guard lock(mutex_);
    toClient_ += ncsim::TelnetServer::ModemState(state);
}

void FakeRfc2217Server::Send(const std::string& bytes) {
    const std::lock_guard lock(mutex_);
    toClient_ += IsRaw(behaviour_) ? bytes : ncsim::TelnetServer::EncodeData(bytes);
}

std::string FakeRfc2217Server::Received() const {
    const std::lock_guard lock(mutex_);
    return received_;
}

std::string FakeRfc2217Server::LineText() const {
    const std::lock_guard lock(mutex_);
    return telnet_.LineText();
}

bool FakeRfc2217Server::Dtr() const {
    const std::lock_guard lock(mutex_);
    return telnet_.dtr();
}

void FakeRfc2217Server::Run() {
    while (!stop_) {
        pollfd p{listen_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        const int client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        ++connections_;
        Serve(client);
        ::close(client);
    }
}

void FakeRfc2217Server::Serve(int client) {
    {
        const std::lock_guard lock(mutex_);
        received_.clear();
        telnet_ = ncsim::TelnetServer{};
        telnet_.quirks = quirks_;
        toClient_.clear();
        if (behaviour_ == Behaviour::Garbage || behaviour_ == Behaviour::GarbageFlood)
            toClient_ = kGarbage;
        if (SpeaksTelnet(behaviour_)) toClient_ = ncsim::TelnetServer::Greeting();
    }
    if (behaviour_ == Behaviour::CloseAtOnce) return;
    const std::string flood = FloodChunk(behaviour_);
    bool flooding = behaviour_ == Behaviour::Flood || behaviour_ == Behaviour::GarbageFlood;
    bool frozen = false;
    // The client sets its port up first, as it would before an NC's DC1.
    const auto greetAt = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    bool greeted = onConnect.empty();
    while (!stop_) {
        bool pending = false;
        if (!frozen) {
            const std::lock_guard lock(mutex_);
            if (!greeted && std::chrono::steady_clock::now() >= greetAt) {
                greeted = true;
                toClient_ += IsRaw(behaviour_) ? onConnect
                                               : ncsim::TelnetServer::EncodeData(onConnect);
            }
            if (behaviour_ == Behaviour::TogglesOptions && telnet_.purges() > 0) flooding = true;
            if (flooding && toClient_.size() < flood.size()) toClient_ += flood;
            // Never blocked on a client that stopped reading: the end must stay noticed.
            while (!toClient_.empty()) {
                const ssize_t put = ::send(client, toClient_.data(), toClient_.size(),
                                           MSG_NOSIGNAL | MSG_DONTWAIT);
                if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
                if (put <= 0) return;
                toClient_.erase(0, static_cast<std::size_t>(put));
                if (flooding) flooded_ += put;
            }
            pending = flooding || !toClient_.empty();
        }
        const bool reading = !frozen && !(flooding && behaviour_ == Behaviour::TogglesOptions);
        pollfd p{client, static_cast<short>((reading ? POLLIN : 0) | (pending ? POLLOUT : 0)), 0};
        if (::poll(&p, 1, 10) <= 0) continue;
        if ((p.revents & (POLLHUP | POLLERR)) != 0 && (p.revents & POLLIN) == 0) return;
        if ((p.revents & POLLIN) == 0) continue;
        char buffer[4096];
        const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
        if (got <= 0) return;
        const std::lock_guard lock(mutex_);
        const std::string_view chunk(buffer, static_cast<std::size_t>(got));
        if (IsRaw(behaviour_)) {
            received_.append(chunk);
        } else if (SpeaksTelnet(behaviour_)) {
            telnet_.Feed(chunk, received_, toClient_);
        }
        if (behaviour_ == Behaviour::StopsAnswering &&
            static_cast<long long>(received_.size()) >= stopAfter) {
            frozen = true;
        }
    }
}

}  // namespace wexal::test
