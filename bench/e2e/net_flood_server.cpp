// A device server that floods, for bench/e2e/net_flood.sh. "raw" sends bytes
// without end and reads what comes; "rfc2217" negotiates, and from the
// client's purge on reads nothing and changes options without end. Prints
// its URL, serves until its standard input ends, then prints the bytes of
// the flood it sent.
#include <iostream>
#include <string>

#include "support/fake_rfc2217_server.h"

int main(int argc, char** argv) {
    using Server = wexal::test::FakeRfc2217Server;
    const std::string kind = argc == 2 ? argv[1] : "";
    if (kind != "raw" && kind != "rfc2217") {
        std::cerr << "usage: net_flood_server raw|rfc2217\n";
        return 2;
    }
    Server server(kind == "raw" ? Server::Behaviour::Flood : Server::Behaviour::TogglesOptions);
    if (!server.ok()) return 1;
    std::cout << server.Url() << std::endl;
    for (std::string line; std::getline(std::cin, line);) {
    }
    std::cout << server.Flooded() << std::endl;
    return 0;
}
