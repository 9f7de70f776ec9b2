#include "serial/socket_io.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace wexal::socket_io {

int StartSockets() { return 0; }

std::string ResolveErrorText(int code) { return ::gai_strerror(code); }

Socket OpenStream(int family, int& error) {
    const int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) error = errno;
    return fd;
}

void Close(Socket socket) { ::close(socket); }

int StartConnect(Socket socket, const Address& to) {
    sockaddr_storage storage{};
    static_assert(sizeof storage <= sizeof to.bytes);
    std::memcpy(&storage, to.bytes.data(), sizeof storage);
    return ::connect(socket, reinterpret_cast<const sockaddr*>(&storage),
                     static_cast<socklen_t>(to.length)) == 0
               ? 0
               : errno;
}

int AwaitConnect(Socket socket, int timeoutMs) {
    pollfd p{socket, POLLOUT, 0};
    const int ready = ::poll(&p, 1, timeoutMs);
    if (ready < 0) return errno;
    if (ready == 0) return ETIMEDOUT;
    return PendingError(socket);
}

Result Poll(Socket socket, unsigned events, int timeoutMs, unsigned& happened) {
    pollfd p{socket,
             static_cast<short>(((events & kReadable) != 0 ? POLLIN : 0) |
                                ((events & kWritable) != 0 ? POLLOUT : 0)),
             0};
    const int ready = ::poll(&p, 1, timeoutMs);
    if (ready < 0) return {0, errno};
    happened = ((p.revents & POLLIN) != 0 ? kReadable : 0u) |
               ((p.revents & POLLOUT) != 0 ? kWritable : 0u) |
               ((p.revents & POLLHUP) != 0 ? kHangUp : 0u) |
               ((p.revents & POLLERR) != 0 ? kFailed : 0u);
    return {ready, 0};
}

Result Receive(Socket socket, char* buffer, std::size_t size) {
    const ssize_t got = ::recv(socket, buffer, size, 0);
    return got < 0 ? Result{0, errno} : Result{static_cast<long>(got), 0};
}

Result Send(Socket socket, const char* data, std::size_t size) {
    const ssize_t put = ::send(socket, data, size, MSG_NOSIGNAL);
    return put < 0 ? Result{0, errno} : Result{static_cast<long>(put), 0};
}

void ShutdownSending(Socket socket) { ::shutdown(socket, SHUT_WR); }

int PendingError(Socket socket) {
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
    return error;
}

std::optional<int> UnacknowledgedBytes(Socket socket) {
    int unsent = 0;
    if (::ioctl(socket, TIOCOUTQ, &unsent) != 0) return std::nullopt;
    return unsent;
}

int WaitingInput(Socket socket) {
    int waiting = 0;
    return ::ioctl(socket, FIONREAD, &waiting) == 0 ? waiting : 0;
}

void SetSendBuffer(Socket socket, int bytes) {
    ::setsockopt(socket, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
}

void TuneConnection(Socket socket, const Liveness& liveness) {
    const int on = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ::setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPIDLE, &liveness.keepIdleSeconds,
                 sizeof liveness.keepIdleSeconds);
    ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPINTVL, &liveness.keepIntervalSeconds,
                 sizeof liveness.keepIntervalSeconds);
    ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPCNT, &liveness.keepCount, sizeof liveness.keepCount);
    ::setsockopt(socket, IPPROTO_TCP, TCP_USER_TIMEOUT, &liveness.unacknowledgedLimitMs,
                 sizeof liveness.unacknowledgedLimitMs);
}

}  // namespace wexal::socket_io
