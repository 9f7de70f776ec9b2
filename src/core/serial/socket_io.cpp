#include "serial/socket_io.h"

#ifdef _WIN32
// Winsock's own header first: the others build on it.
#include <winsock2.h>

#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#endif

#include <algorithm>
#include <cstring>

namespace wexal::socket_io {

int Resolve(const std::string& host, const std::string& service, std::vector<Address>& found) {
    if (StartSockets() != 0) return EAI_FAIL;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* list = nullptr;
    const int code = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
    for (addrinfo* a = list; a != nullptr; a = a->ai_next) {
        Address address;
        address.family = a->ai_family;
        address.length =
            static_cast<int>(std::min<std::size_t>(a->ai_addrlen, address.bytes.size()));
        std::memcpy(address.bytes.data(), a->ai_addr, static_cast<std::size_t>(address.length));
        found.push_back(address);
    }
    if (list != nullptr) ::freeaddrinfo(list);
    return code;
}

}  // namespace wexal::socket_io
