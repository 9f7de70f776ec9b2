#include <winsock2.h>

#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "serial/socket_io.h"

// Winsock behind the network port's socket calls: a peer that ends its
// stream loses none of the bytes it sent first, and a refused connection is
// told at once, as on POSIX.
namespace wexal {
namespace {

using namespace socket_io;

// A listening socket on a free local port; its port as text.
SOCKET Listen(std::string& port) {
    SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), size);
    ::listen(listener, 1);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    port = std::to_string(ntohs(address.sin_port));
    return listener;
}

Socket ConnectTo(const std::string& port, int& error) {
    std::vector<Address> found;
    EXPECT_EQ(Resolve("127.0.0.1", port, found), 0);
    if (found.empty()) return kNoSocket;
    const Socket socket = OpenStream(found.front().family, error);
    if (socket == kNoSocket) return kNoSocket;
    error = StartConnect(socket, found.front());
    if (error == EINPROGRESS) error = AwaitConnect(socket, 2000);
    return socket;
}

TEST(SocketIoWindows, ThePeersLastBytesAreReadBeforeItsEndAndARefusalIsTold) {
    ASSERT_EQ(StartSockets(), 0);
    std::string port;
    const SOCKET listener = Listen(port);
    int error = -1;
    const Socket client = ConnectTo(port, error);
    ASSERT_EQ(error, 0);
    const SOCKET server = ::accept(listener, nullptr, nullptr);
    ASSERT_NE(server, INVALID_SOCKET);
    ASSERT_EQ(::send(server, "%O1\n", 4, 0), 4);
    ::closesocket(server);

    // Windows reports the end at once, with bytes still unread; they come
    // first. (Wine reports it only once they are read.)
    std::string got;
    unsigned happened = 0;
    for (int round = 0; round < 50 && got.size() < 4; ++round) {
        const Result ready = Poll(client, kReadable, 100, happened);
        ASSERT_EQ(ready.error, 0);
        if (ready.count == 0) continue;
        EXPECT_EQ(happened & kHangUp, 0u) << "the end told before the bytes were read";
        char buffer[16];
        const Result read = Receive(client, buffer, sizeof buffer);
        ASSERT_EQ(read.error, 0);
        got.append(buffer, static_cast<std::size_t>(read.count));
    }
    EXPECT_EQ(got, "%O1\n");
    ASSERT_EQ(Poll(client, kReadable, 1000, happened).count, 1);
    char buffer[16];
    const Result end = Receive(client, buffer, sizeof buffer);
    EXPECT_EQ(end.error, 0);
    EXPECT_EQ(end.count, 0) << "the peer's end";
    Close(client);

    // Nobody listens on the port once the listener is gone.
    ::closesocket(listener);
    const Socket refused = ConnectTo(port, error);
    EXPECT_EQ(error, ECONNREFUSED);
    if (refused != kNoSocket) Close(refused);
}

}  // namespace
}  // namespace wexal
