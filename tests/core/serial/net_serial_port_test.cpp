// Network ports: the port map's names, the RFC 2217 and raw TCP backend
// against an in-process device server, and the faults a server can show.
#include "serial/net_serial_port.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "serial/byte_io.h"
#include "serial/port_names.h"
#include "serial/port_probe.h"
#include "serial/posix/posix_serial_port.h"
#include "serial/serial_link.h"
#include "support/fake_clock.h"
#include "support/fake_rfc2217_server.h"
#include "support/fake_transfer_host.h"
#include "support/scripted_messages.h"
#include "support/test_env.h"

namespace wexal {
namespace {

using namespace std::chrono_literals;
using Behaviour = test::FakeRfc2217Server::Behaviour;

struct NameCase {
    const char* device;
    std::optional<NetworkPortAddress> address;
};

TEST(NetworkPortNameTest, TheMapTakesRfc2217AndTcpAddressesAndNothingElse) {
    const NameCase cases[] = {
        {"rfc2217://192.168.1.50:4001",
         NetworkPortAddress{NetworkProtocol::Rfc2217, "192.168.1.50", "4001"}},
        {"tcp://machine7.shop:2001/",
         NetworkPortAddress{NetworkProtocol::RawTcp, "machine7.shop", "2001"}},
        {"RFC2217://[::1]:7000", NetworkPortAddress{NetworkProtocol::Rfc2217, "::1", "7000"}},
        {"TCP://[fe80::1%eth0]:23",
         NetworkPortAddress{NetworkProtocol::RawTcp, "fe80::1%eth0", "23"}},
        {"tcp://host", std::nullopt},
        {"tcp://host:", std::nullopt},
        {"tcp://:4001", std::nullopt},
        {"tcp://host:0", std::nullopt},
        {"tcp://host:65536", std::nullopt},
        {"tcp://host:40a1", std::nullopt},
        {"tcp://::1:4001", std::nullopt},
        {"tcp://[::1:4001", std::nullopt},
        {"tcp://[::1]4001", std::nullopt},
        {"tcp://user@host:4001", std::nullopt},
        {"tcp://host/path:4001", std::nullopt},
        {"tcp://ho st:4001", std::nullopt},
    };
    for (const NameCase& c : cases) {
        EXPECT_EQ(ParseNetworkPortName(c.device), c.address) << c.device;
        // A malformed network name still never opens as a device path.
        EXPECT_TRUE(IsNetworkPortName(c.device)) << c.device;
    }
    for (const char* device : {"/dev/ttyUSB0", "/tmp/tcp://x:1", "telnet://host:23", ""}) {
        EXPECT_FALSE(IsNetworkPortName(device)) << device;
        EXPECT_EQ(ParseNetworkPortName(device), std::nullopt) << device;
    }
}

TEST(NetworkPortNameTest, OnlyANetworkNameGetsTheNetworkBackend) {
    EXPECT_NE(dynamic_cast<NetSerialPort*>(CreateSerialPort("rfc2217://127.0.0.1:1").get()),
              nullptr);
    EXPECT_NE(dynamic_cast<NetSerialPort*>(CreateSerialPort("tcp://127.0.0.1:1").get()), nullptr);
    EXPECT_NE(dynamic_cast<PosixSerialPort*>(CreateSerialPort("/dev/ttyS0").get()), nullptr);
    EXPECT_NE(dynamic_cast<PosixSerialPort*>(CreateSerialPort("COM1").get()), nullptr);
}

// A loss found while the port is being set up is left to the next read or
// write, which tells it with the port's name, not to the purge as well.
TEST(NetSerialPortTest, APurgeLeavesALostConnectionToTheNextRead) {
    test::FakeRfc2217Server server(Behaviour::CloseAtOnce);
    NetSerialPort port;
    ASSERT_TRUE(port.Open("tcp://127.0.0.1:" + std::to_string(server.port())));
    QueueStatus status;
    for (int i = 0; i < 500 && status.status != IoStatus::LineLost; ++i) {
        std::this_thread::sleep_for(10ms);
        status = port.GetQueueStatus();
    }
    ASSERT_EQ(status.status, IoStatus::LineLost);
    EXPECT_TRUE(port.Purge(PurgeQueues::Both));
    EXPECT_EQ(port.ReadByteWithin(0).status, IoStatus::LineLost);
}

// Once the buffers are full the socket is left unread, so TCP holds back a
// server that floods, or that sends and never reads the answers; a port that
// failed keeps nothing.
TEST(NetSerialPortTest, AFloodingServerIsHeldAtTheBufferLimitAndAFailureKeepsNothing) {
    constexpr std::size_t kLimit = NetSerialPort::kBufferLimit;
    std::size_t most = 0;
    const auto look = [&](NetSerialPort& port) {
        most = std::max(most, port.Buffered());
        return port.Buffered() <= kLimit;
    };

    // Raw bytes without end, nothing read: the port fills and then takes no
    // more while the server goes on. Read, the data flows on past the limit.
    {
        test::FakeRfc2217Server server(Behaviour::Flood);
        NetSerialPort port;
        ASSERT_TRUE(port.Open(server.Url()));
        const auto pump = [&] {
            ASSERT_EQ(port.GetQueueStatus().status, IoStatus::Ok);
            ASSERT_TRUE(look(port)) << port.Buffered();
            std::this_thread::sleep_for(10ms);
        };
        for (int i = 0; i < 3000 && most + 16 * 1024 < kLimit; ++i) pump();
        ASSERT_GE(most + 16 * 1024, kLimit);
        for (int i = 0; i < 10; ++i) pump();
        // Far more came than the port took: the rest waits with TCP.
        EXPECT_GT(server.Flooded(), static_cast<long long>(port.Buffered()) + 64 * 1024);
        for (std::size_t n = 0; n < 4 * kLimit; ++n) {
            ASSERT_EQ(port.ReadByteWithin(30000).status, IoStatus::Ok) << n;
            if (n % 1024 == 0) {
                ASSERT_EQ(port.GetQueueStatus().status, IoStatus::Ok);
                ASSERT_TRUE(look(port)) << port.Buffered();
            }
        }
        port.Close();
        EXPECT_EQ(port.Buffered(), 0u);
    }

    // Option changes to answer, and no answer read: the replies pile up to
    // the limit, and the line is lost once the server takes nothing.
    {
        most = 0;
        test::FakeRfc2217Server server(Behaviour::TogglesOptions);
        NetSerialPort port;
        ASSERT_TRUE(port.Open(server.Url()));
        ASSERT_TRUE(port.SetSettings(LineSettings{}));
        ASSERT_TRUE(port.Purge(PurgeQueues::Both));
        IoStatus status = IoStatus::Ok;
        for (int i = 0; i < 3000 && status == IoStatus::Ok; ++i) {
            status = port.GetQueueStatus().status;
            ASSERT_TRUE(look(port)) << port.Buffered();
            std::this_thread::sleep_for(10ms);
        }
        EXPECT_EQ(status, IoStatus::LineLost);
        EXPECT_GT(most, kLimit / 2);
        EXPECT_GT(server.Flooded(), static_cast<long long>(kLimit));
        EXPECT_EQ(port.Buffered(), 0u);
    }

    // Data left unread for longer than the quiet-line check waits: what waits
    // in the socket counts as heard, so the line stays, and all of it comes.
    {
        test::FakeRfc2217Server server(Behaviour::Rfc2217);
        NetSerialPort port;
        ASSERT_TRUE(port.Open(server.Url()));
        ASSERT_TRUE(port.SetSettings(LineSettings{}));
        ASSERT_TRUE(port.Purge(PurgeQueues::Both));
        const std::string data(4 * kLimit, 'G');
        server.Send(data);
        const auto end = std::chrono::steady_clock::now() + NetSerialPort::kQuietBeforeQuestion +
                         NetSerialPort::kAnswerWait + 1s;
        while (std::chrono::steady_clock::now() < end) {
            ASSERT_EQ(port.GetQueueStatus().status, IoStatus::Ok);
            ASSERT_TRUE(look(port)) << port.Buffered();
            std::this_thread::sleep_for(50ms);
        }
        std::size_t got = 0;
        while (got < data.size() && port.ReadByteWithin(30000).status == IoStatus::Ok) ++got;
        EXPECT_EQ(got, data.size());
    }

    // Garbage without end while the open waits for the negotiation.
    {
        test::FakeRfc2217Server server(Behaviour::GarbageFlood);
        NetSerialPort port;
        EXPECT_FALSE(port.Open(server.Url()));
        EXPECT_GT(server.Flooded(), static_cast<long long>(kLimit));
        EXPECT_EQ(port.Buffered(), 0u);
    }
}

// A link on COM5, bound to a network port, with the window's fakes.
class NetLinkTest : public ::testing::Test {
protected:
    NetLinkTest() {
        settings.Port = "COM5";
        settings.Speed = "4800,7,E,2";
        link.env.settings = &settings;
        link.env.host = &host;
        link.env.messages = &messages;
        link.env.programFolder = folder.path();
    }

    void Bind(const std::string& url) { env_.emplace("WEXAL_COM5", url.c_str()); }
    std::string Told() const {
        return messages.shown().empty() ? std::string() : messages.shown().back().text;
    }
    // Sends bytes as a send does, until the link says stop or limit bytes went.
    void SendUntilAbort(int limit) {
        for (int i = 0; i < limit && !link.abortRequested; ++i) SendChar(link, 'A' + i % 26);
    }

    test::TempDir folder;
    Settings settings;
    test::FakeClock clock{test::FakeClock::Mode::Real};
    test::FakeTransferHost host{clock};
    test::ScriptedMessages messages;
    SerialLink link;
    std::optional<test::ScopedEnv> env_;
};

TEST_F(NetLinkTest, Rfc2217NegotiatesTheLineAndCarriesEveryByteValueBothWays) {
    test::FakeRfc2217Server server(Behaviour::Rfc2217);
    ASSERT_TRUE(server.ok());
    Bind(server.Url());
    ASSERT_TRUE(OpenPort(link, TransferMode::Receive)) << Told();
    EXPECT_EQ(server.LineText(), "4800,7,E,2");
    EXPECT_TRUE(server.Dtr());

    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    for (const char c : all)
        ASSERT_EQ(link.port->WriteByte(static_cast<std::uint8_t>(c)), IoStatus::Ok);
    server.Send(all);
    std::string back;
    // The record discards NUL, as a receive asks.
    while (back.size() < 255) {
        const ReadResult r = link.port->ReadByteWithin(2000);
        if (r.status != IoStatus::Ok) break;
        back += static_cast<char>(r.byte);
    }
    EXPECT_EQ(back, all.substr(1));
    for (int i = 0; i < 200 && server.Received().size() < all.size(); ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(server.Received(), all);
    ClosePort(link);
}

TEST_F(NetLinkTest, TheLampsAndTheDsrRuleFollowTheServersModemState) {
    test::FakeRfc2217Server server(Behaviour::Rfc2217);
    Bind(server.Url());
    settings.op6 = "Y";
    settings.Signal = "N";
    ASSERT_TRUE(OpenPort(link, TransferMode::Send)) << Told();
    server.SetModemState(0x80 | 0x20 | 0x10);
    link.isoCode = link.eiaCode = true;
    link.canSend = true;
    const auto waitFor = [&](bool dsr, bool cts) {
        for (int i = 0; i < 300 && !(host.dsrLamp == dsr && host.ctsLamp == cts); ++i) {
            SendChar(link, 'G');
            std::this_thread::sleep_for(5ms);
        }
    };
    waitFor(true, true);
    EXPECT_EQ(host.dsrLamp, std::optional<bool>(true));
    EXPECT_EQ(host.ctsLamp, std::optional<bool>(true));
    EXPECT_FALSE(link.abortRequested);

    server.SetModemState(0x80 | 0x20);
    waitFor(true, false);
    EXPECT_EQ(host.ctsLamp, std::optional<bool>(false));
    EXPECT_FALSE(link.abortRequested);

    server.SetModemState(0x80);
    waitFor(false, false);
    EXPECT_EQ(host.dsrLamp, std::optional<bool>(false));
    EXPECT_TRUE(link.abortRequested);
}

TEST_F(NetLinkTest, RawTcpHasNoModemLinesAndTakesNoSettings) {
    test::FakeRfc2217Server server(Behaviour::Raw);
    Bind(server.Url());
    settings.Signal = "Y";
    settings.op6 = "Y";
    ASSERT_TRUE(OpenPort(link, TransferMode::Send)) << Told();
    link.isoCode = link.eiaCode = true;
    link.canSend = true;
    EXPECT_EQ(link.port->GetModemStatus(), std::nullopt);
    SendUntilAbort(20);
    EXPECT_FALSE(link.abortRequested);
    EXPECT_FALSE(host.dsrLamp.has_value());
    for (int i = 0; i < 200 && server.Received().size() < 20; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(server.Received(), "ABCDEFGHIJKLMNOPQRST");
}

TEST_F(NetLinkTest, ABadServerGetsTheOpenMessageOrTheSettingMessageAndNoWaitWithoutEnd) {
    struct Case {
        const char* name;
        Behaviour behaviour;
        std::optional<std::uint32_t> answerBaud;
        const char* told;
    };
    const Case cases[] = {
        {"silent", Behaviour::Silent, std::nullopt, "COM5のポートが開きません。!!"},
        {"closes", Behaviour::CloseAtOnce, std::nullopt, "COM5のポートが開きません。!!"},
        {"garbage", Behaviour::Garbage, std::nullopt, "COM5のポートが開きません。!!"},
        {"other baud", Behaviour::Rfc2217, 9600, "通信速度の設定エラー!!"},
    };
    for (const Case& c : cases) {
        test::ScriptedMessages told;
        link.env.messages = &told;
        test::FakeRfc2217Server server(c.behaviour, {c.answerBaud, true});
        Bind(server.Url());
        EXPECT_FALSE(OpenPort(link, TransferMode::Send)) << c.name;
        ASSERT_EQ(told.shown().size(), 1u) << c.name;
        EXPECT_EQ(told.shown()[0].text, c.told) << c.name;
        ClosePort(link);
    }
    link.env.messages = &messages;
    // Nobody listening: refused at once.
    const int port = test::FakeRfc2217Server(Behaviour::Rfc2217).port();
    Bind("tcp://127.0.0.1:" + std::to_string(port));
    EXPECT_FALSE(OpenPort(link, TransferMode::Send));
    EXPECT_EQ(Told(), "COM5のポートが開きません。!!");
}

TEST_F(NetLinkTest, AServerThatStopsAnsweringLosesTheLineNamingThePort) {
    test::FakeRfc2217Server server(Behaviour::StopsAnswering);
    server.stopAfter = 50;
    Bind(server.Url());
    settings.Signal = "N";
    ASSERT_TRUE(OpenPort(link, TransferMode::Send)) << Told();
    link.isoCode = link.eiaCode = true;
    link.canSend = true;
    // Bounded by the count only: the line must be lost long before it.
    SendUntilAbort(1000000);
    EXPECT_TRUE(link.abortRequested);
    EXPECT_TRUE(link.lineLost);
    EXPECT_EQ(Told(), std::string("回線が切断されました。\nCOM5: ") + server.Url() +
                          " との接続が切れました。");
}

TEST_F(NetLinkTest, TheProbeConnectsWithoutNegotiating) {
    test::FakeRfc2217Server server(Behaviour::Rfc2217);
    Bind(server.Url());
    EXPECT_TRUE(IsPortUsable(5, settings, folder.path()));
    const int port = test::FakeRfc2217Server(Behaviour::Rfc2217).port();
    Bind("rfc2217://127.0.0.1:" + std::to_string(port));
    EXPECT_FALSE(IsPortUsable(5, settings, folder.path()));
    // A modem port is never offered, on the network either.
    Bind(server.Url());
    settings.ModemePort1 = "COM5";
    EXPECT_FALSE(IsPortUsable(5, settings, folder.path()));
}

}  // namespace
}  // namespace wexal
