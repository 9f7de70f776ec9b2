#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The socket calls of the network port, alike on POSIX and on Winsock. Every
// failure comes back as an errno value (ECONNREFUSED, EAGAIN, EWOULDBLOCK,
// ...), so that the port decides what a failure means and words it in one
// place, whatever the system.
namespace wexal::socket_io {

#if defined(_WIN32)
using Socket = std::uintptr_t;  // SOCKET
#else
using Socket = int;
#endif
inline constexpr Socket kNoSocket = static_cast<Socket>(-1);

// One address a name resolved to, as the system's socket address.
struct Address {
    int family = 0;
    int length = 0;
    alignas(8) std::array<unsigned char, 128> bytes{};
};

// What a call did: a count (bytes, sockets ready), or, when error is not 0,
// why it failed.
struct Result {
    long count = 0;
    int error = 0;
};

// Readies the system's sockets, once for the program: 0, or the system's
// code why it cannot. Only Winsock has anything to do.
int StartSockets();

// The addresses of a host for a TCP connection to a numeric port: 0 and the
// addresses, or the resolver's code, for ResolveErrorText. It may take as
// long as the resolver does.
int Resolve(const std::string& host, const std::string& service, std::vector<Address>& found);
// The resolver's code in words, the same on every system.
std::string ResolveErrorText(int code);

// A TCP socket that does not block and that programs started later do not
// inherit; kNoSocket and error when there is none.
Socket OpenStream(int family, int& error);
void Close(Socket socket);
// 0 when connected at once, EINPROGRESS while it goes on, else why not.
int StartConnect(Socket socket, const Address& to);
// Waits at most timeoutMs for a started connection: 0 once it is made,
// ETIMEDOUT, EINTR, or why it failed (ECONNREFUSED, ...).
int AwaitConnect(Socket socket, int timeoutMs);

enum Event : unsigned {
    kReadable = 1u,
    kWritable = 2u,
    kHangUp = 4u,  // the connection is over; reported whether asked or not
    kFailed = 8u,  // an error waits in the socket; reported whether asked or not
};
// Waits at most timeoutMs for the events asked: count 1 and what came in
// happened, count 0 on time-out. Winsock reports a peer that ended its
// stream as a hang-up at once; here that is one only when no byte is left to
// read, so none is lost.
Result Poll(Socket socket, unsigned events, int timeoutMs, unsigned& happened);
// count 0: the peer ended the stream; EAGAIN or EWOULDBLOCK: nothing yet.
Result Receive(Socket socket, char* buffer, std::size_t size);
// Never raises a signal on a closed connection; EAGAIN or EWOULDBLOCK: no room.
Result Send(Socket socket, const char* data, std::size_t size);
void ShutdownSending(Socket socket);
// The error the socket holds (SO_ERROR), or the error of asking for it.
int PendingError(Socket socket);
// Bytes handed to the system and not yet acknowledged by the peer; nullopt
// where the system does not tell.
std::optional<int> UnacknowledgedBytes(Socket socket);
// Bytes received and not yet read; 0 when unknown.
int WaitingInput(Socket socket);

// At the system's minimum or near it, so that no more than that waits here.
void SetSendBuffer(Socket socket, int bytes);
// How a connected socket notices a peer that has gone away.
struct Liveness {
    int keepIdleSeconds = 0;
    int keepIntervalSeconds = 0;
    int keepCount = 0;
    unsigned unacknowledgedLimitMs = 0;  // data unacknowledged this long ends the connection
};
// Nagle's delay off and the keep-alive and time-out of liveness on, as far as
// the system has them.
void TuneConnection(Socket socket, const Liveness& liveness);

}  // namespace wexal::socket_io
