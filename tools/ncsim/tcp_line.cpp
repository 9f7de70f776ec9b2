#include "tcp_line.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

namespace ncsim {
namespace {

// Bytes held for a PC that does not take them: more are refused, as a full
// UART buffer would.
constexpr size_t kMaxOut = 512;

bool SplitUrl(const std::string& url, bool& rfc2217, std::string& host, int& port) {
    std::string rest;
    if (url.rfind("rfc2217://", 0) == 0) {
        rfc2217 = true;
        rest = url.substr(10);
    } else if (url.rfind("tcp://", 0) == 0) {
        rfc2217 = false;
        rest = url.substr(6);
    } else {
        return false;
    }
    const size_t colon = rest.rfind(':');
    if (colon == std::string::npos) return false;
    host = rest.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    const std::string number = rest.substr(colon + 1);
    auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), port);
    return !host.empty() && ec == std::errc() && end == number.data() + number.size() &&
           port >= 0 && port <= 65535;
}

}  // namespace

bool IsTcpUrl(const std::string& text) {
    return text.rfind("rfc2217://", 0) == 0 || text.rfind("tcp://", 0) == 0;
}

TcpLine::~TcpLine() {
    Drop();
    if (listen_ >= 0) ::close(listen_);
}

bool TcpLine::Listen(const std::string& url, std::string& error) {
    if (!SplitUrl(url, rfc2217_, host_, port_)) {
        error = "bad --serve URL '" + url + "' (tcp://HOST:PORT or rfc2217://HOST:PORT)";
        return false;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* list = nullptr;
    const std::string service = std::to_string(port_);
    if (int rc = ::getaddrinfo(host_.c_str(), service.c_str(), &hints, &list); rc != 0) {
        error = host_ + ": " + ::gai_strerror(rc);
        return false;
    }
    for (addrinfo* a = list; a != nullptr && listen_ < 0; a = a->ai_next) {
        int fd = ::socket(a->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) continue;
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(fd, a->ai_addr, a->ai_addrlen) == 0 && ::listen(fd, 4) == 0) {
            listen_ = fd;
            sockaddr_storage bound{};
            socklen_t size = sizeof bound;
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &size);
            port_ = ntohs(bound.ss_family == AF_INET6
                              ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                              : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
        } else {
            error = url + ": " + std::strerror(errno);
            ::close(fd);
        }
    }
    ::freeaddrinfo(list);
    return listen_ >= 0;
}

std::string TcpLine::Url() const {
    const std::string host = host_.find(':') != std::string::npos ? "[" + host_ + "]" : host_;
    return std::string(rfc2217_ ? "rfc2217://" : "tcp://") + host + ":" + std::to_string(port_);
}

void TcpLine::Accept() {
    const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    client_ = fd;
    out_.clear();
    if (rfc2217_) {
        telnet_ = TelnetServer{};
        out_ = TelnetServer::Greeting() + TelnetServer::ModemState(kModemLines);
        Flush();
    }
}

void TcpLine::Drop() {
    if (client_ >= 0) ::close(client_);
    client_ = -1;
    out_.clear();
}

void TcpLine::Flush() {
    while (client_ >= 0 && !out_.empty()) {
        const ssize_t n = ::send(client_, out_.data(), out_.size(), MSG_NOSIGNAL);
        if (n > 0) {
            out_.erase(0, static_cast<size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) Drop();
            return;
        }
    }
}

Line::Events TcpLine::Wait(std::chrono::nanoseconds timeout, bool wantWrite) {
    if (timeout.count() < 0) timeout = {};
    const int fd = client_ >= 0 ? client_ : listen_;
    const bool pollOut = client_ >= 0 && (wantWrite || !out_.empty());
    pollfd p{fd, static_cast<short>(POLLIN | (pollOut ? POLLOUT : 0)), 0};
    timespec ts{static_cast<time_t>(timeout.count() / 1000000000),
                static_cast<long>(timeout.count() % 1000000000)};
    // What is already here is news at once.
    if (!in_.empty()) ts = {};
    const int n = ::ppoll(&p, 1, &ts, nullptr);
    if (n > 0 && client_ < 0) {
        Accept();
    } else if (n > 0) {
        if ((p.revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            char buffer[4096];
            for (;;) {
                const ssize_t got = ::recv(client_, buffer, sizeof buffer, 0);
                if (got > 0) {
                    const std::string_view chunk(buffer, static_cast<size_t>(got));
                    if (rfc2217_) {
                        telnet_.Feed(chunk, in_, out_);
                    } else {
                        in_.append(chunk);
                    }
                    continue;
                }
                if (got < 0 && errno == EINTR) continue;
                if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) Drop();
                break;
            }
        }
        Flush();
    }
    Events events;
    events.peerOpen = client_ >= 0;
    events.readable = !in_.empty();
    events.writable = client_ >= 0 && out_.size() < kMaxOut;
    return events;
}

void TcpLine::ReadAvailable(std::string& out) {
    out += in_;
    in_.clear();
}

size_t TcpLine::Write(std::string_view bytes) {
    if (client_ < 0 || out_.size() >= kMaxOut) return 0;
    out_ += rfc2217_ ? TelnetServer::EncodeData(bytes) : std::string(bytes);
    Flush();
    return bytes.size();
}

std::string TcpLine::PeerLine() const { return rfc2217_ ? telnet_.LineText() : std::string(); }

}  // namespace ncsim
