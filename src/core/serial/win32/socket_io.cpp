#include "serial/socket_io.h"

// Winsock's own header first: the others build on it.
#include <winsock2.h>

#include <mstcpip.h>
#include <windows.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>

namespace wexal::socket_io {

namespace {

// Options of ws2ipdef.h in the Windows SDK that MinGW's headers lack.
constexpr int kTcpMaxRetransmitSeconds = 5;  // TCP_MAXRT, Windows Vista and later
constexpr int kTcpKeepCount = 16;            // TCP_KEEPCNT, Windows 10 1703 and later

// The errno value the port tests for a Winsock error.
int FromWinsock(int code) {
    switch (code) {
        case 0:
            return 0;
        case WSAEINTR:
            return EINTR;
        case WSAEBADF:
        case WSAENOTSOCK:
            return EBADF;
        case WSAEACCES:
            return EACCES;
        case WSAEFAULT:
            return EFAULT;
        case WSAEINVAL:
            return EINVAL;
        case WSAEMFILE:
            return EMFILE;
        case WSAEWOULDBLOCK:
            return EWOULDBLOCK;
        case WSAEINPROGRESS:
            return EINPROGRESS;
        case WSAEALREADY:
            return EALREADY;
        case WSAEMSGSIZE:
            return EMSGSIZE;
        case WSAENOPROTOOPT:
            return ENOPROTOOPT;
        case WSAEPROTONOSUPPORT:
        case WSAESOCKTNOSUPPORT:
            return EPROTONOSUPPORT;
        case WSAEAFNOSUPPORT:
        case WSAEPFNOSUPPORT:
            return EAFNOSUPPORT;
        case WSAEADDRINUSE:
            return EADDRINUSE;
        case WSAEADDRNOTAVAIL:
            return EADDRNOTAVAIL;
        case WSAENETDOWN:
        case WSASYSNOTREADY:
        case WSANOTINITIALISED:
            return ENETDOWN;
        case WSAENETUNREACH:
            return ENETUNREACH;
        case WSAENETRESET:
            return ENETRESET;
        case WSAECONNABORTED:
            return ECONNABORTED;
        case WSAECONNRESET:
            return ECONNRESET;
        case WSAENOBUFS:
        case WSA_NOT_ENOUGH_MEMORY:
            return ENOBUFS;
        case WSAEISCONN:
            return EISCONN;
        case WSAENOTCONN:
            return ENOTCONN;
        case WSAESHUTDOWN:
            return EPIPE;  // what POSIX says of a send after the shutdown
        case WSAETIMEDOUT:
            return ETIMEDOUT;
        case WSAECONNREFUSED:
            return ECONNREFUSED;
        case WSAEHOSTDOWN:
        case WSAEHOSTUNREACH:
            return EHOSTUNREACH;
        default:
            return EIO;
    }
}

int LastError() { return FromWinsock(::WSAGetLastError()); }

}  // namespace

// Winsock is started once, by whichever thread comes first, and stays up for
// the life of the program.
int StartSockets() {
    static const int code = [] {
        WSADATA data;
        return ::WSAStartup(MAKEWORD(2, 2), &data);
    }();
    return code;
}

// The resolver's own texts are localized and, under UNICODE, wide; the C
// library's words of a Linux build are used instead, so a message reads the
// same on both.
std::string ResolveErrorText(int code) {
    switch (code) {
        case EAI_AGAIN:
            return "Temporary failure in name resolution";
        case EAI_BADFLAGS:
            return "Bad value for ai_flags";
        case EAI_FAIL:
            return "Non-recoverable failure in name resolution";
        case EAI_FAMILY:
            return "ai_family not supported";
        case EAI_MEMORY:
            return "Memory allocation failure";
        case EAI_NODATA:
            return "No address associated with hostname";
        case EAI_NONAME:
            return "Name or service not known";
        case EAI_SERVICE:
            return "Servname not supported for ai_socktype";
        case EAI_SOCKTYPE:
            return "ai_socktype not supported";
        default:
            return "Unknown error " + std::to_string(code);
    }
}

Socket OpenStream(int family, int& error) {
    if (const int code = StartSockets(); code != 0) {
        error = FromWinsock(code);
        return kNoSocket;
    }
    SOCKET s = ::WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                            WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET && ::WSAGetLastError() == WSAEINVAL) {
        // Windows 7 before its first service pack does not know the flag.
        s = ::WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED);
        if (s != INVALID_SOCKET) {
            ::SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
        }
    }
    if (s == INVALID_SOCKET) {
        error = LastError();
        return kNoSocket;
    }
    u_long nonBlocking = 1;
    if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
        error = LastError();
        ::closesocket(s);
        return kNoSocket;
    }
    return s;
}

void Close(Socket socket) { ::closesocket(socket); }

int StartConnect(Socket socket, const Address& to) {
    sockaddr_storage storage{};
    static_assert(sizeof storage <= sizeof to.bytes);
    std::memcpy(&storage, to.bytes.data(), sizeof storage);
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&storage), to.length) == 0) return 0;
    const int code = ::WSAGetLastError();
    return code == WSAEWOULDBLOCK ? EINPROGRESS : FromWinsock(code);
}

// select rather than WSAPoll: before Windows 10 2004, WSAPoll never reports
// a connection that failed, and a refused one would wait out the limit.
int AwaitConnect(Socket socket, int timeoutMs) {
    fd_set writable;
    fd_set failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(socket, &writable);
    FD_SET(socket, &failed);
    timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    const int ready = ::select(0, nullptr, &writable, &failed, &limit);
    if (ready == SOCKET_ERROR) return LastError();
    if (ready == 0) return ETIMEDOUT;
    const int error = PendingError(socket);
    return error == 0 && FD_ISSET(socket, &failed) ? ENOTCONN : error;
}

Result Poll(Socket socket, unsigned events, int timeoutMs, unsigned& happened) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        WSAPOLLFD p{};
        p.fd = socket;
        p.events = static_cast<short>(((events & kReadable) != 0 ? POLLRDNORM : 0) |
                                      ((events & kWritable) != 0 ? POLLWRNORM : 0));
        const int left = static_cast<int>(std::max<long long>(
            0, std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count()));
        const int ready = ::WSAPoll(&p, 1, left);
        if (ready == SOCKET_ERROR) return {0, LastError()};
        if (ready == 0) return {0, 0};
        if ((p.revents & POLLNVAL) != 0) return {0, EBADF};
        happened = ((p.revents & POLLRDNORM) != 0 ? kReadable : 0u) |
                   ((p.revents & POLLWRNORM) != 0 ? kWritable : 0u) |
                   ((p.revents & POLLERR) != 0 ? kFailed : 0u);
        if ((p.revents & POLLHUP) != 0) {
            if (WaitingInput(socket) == 0) {
                happened |= kHangUp;
            } else if ((events & kReadable) != 0) {
                happened |= kReadable;
            }
        }
        if (happened != 0) return {1, 0};
        // Only the peer's end with bytes still unread, which the caller does
        // not take now: it waits, as on POSIX, looking again now and then
        // for the room to write it may also wait for.
        if (left == 0) return {0, 0};
        ::Sleep(static_cast<DWORD>(std::min(left, 10)));
    }
}

Result Receive(Socket socket, char* buffer, std::size_t size) {
    const int got =
        ::recv(socket, buffer, static_cast<int>(std::min<std::size_t>(size, INT_MAX)), 0);
    return got == SOCKET_ERROR ? Result{0, LastError()} : Result{got, 0};
}

// Winsock has no SIGPIPE to keep away.
Result Send(Socket socket, const char* data, std::size_t size) {
    const int put = ::send(socket, data, static_cast<int>(std::min<std::size_t>(size, INT_MAX)), 0);
    return put == SOCKET_ERROR ? Result{0, LastError()} : Result{put, 0};
}

void ShutdownSending(Socket socket) { ::shutdown(socket, SD_SEND); }

int PendingError(Socket socket) {
    int error = 0;
    int size = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0) {
        return LastError();
    }
    return FromWinsock(error);
}

// Winsock counts no bytes waiting for the peer's acknowledgement: the port
// then goes by the line's rate and by what the system refuses to take.
std::optional<int> UnacknowledgedBytes(Socket) { return std::nullopt; }

int WaitingInput(Socket socket) {
    u_long waiting = 0;
    if (::ioctlsocket(socket, FIONREAD, &waiting) != 0) return 0;
    return static_cast<int>(std::min<u_long>(waiting, INT_MAX));
}

void SetSendBuffer(Socket socket, int bytes) {
    ::setsockopt(socket, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&bytes),
                 sizeof bytes);
}

void TuneConnection(Socket socket, const Liveness& liveness) {
    const BOOL on = TRUE;
    const char* const onValue = reinterpret_cast<const char*>(&on);
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, onValue, sizeof on);
    ::setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, onValue, sizeof on);
    tcp_keepalive keepAlive{};
    keepAlive.onoff = 1;
    keepAlive.keepalivetime = static_cast<u_long>(liveness.keepIdleSeconds) * 1000;
    keepAlive.keepaliveinterval = static_cast<u_long>(liveness.keepIntervalSeconds) * 1000;
    DWORD returned = 0;
    ::WSAIoctl(socket, SIO_KEEPALIVE_VALS, &keepAlive, sizeof keepAlive, nullptr, 0, &returned,
               nullptr, nullptr);
    // Systems before Windows 10 1703 keep their own count of probes (ten).
    const DWORD count = static_cast<DWORD>(liveness.keepCount);
    ::setsockopt(socket, IPPROTO_TCP, kTcpKeepCount, reinterpret_cast<const char*>(&count),
                 sizeof count);
    // The limit on unacknowledged data, in whole seconds.
    const DWORD seconds = (liveness.unacknowledgedLimitMs + 999) / 1000;
    ::setsockopt(socket, IPPROTO_TCP, kTcpMaxRetransmitSeconds,
                 reinterpret_cast<const char*>(&seconds), sizeof seconds);
}

}  // namespace wexal::socket_io
