// The real Wexal with S=<file> END and R=<file> END on a network port: through
// the real ser2net (RFC 2217 and raw TCP) in front of ncsim's
// pseudo-terminal, through ncsim serving TCP itself, and against device
// servers that stop answering in the middle of a send or flood the port.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "serial/net_serial_port.h"
#include "support/fake_rfc2217_server.h"
#include "support/ncsim_process.h"
#include "support/ser2net_process.h"
#include "support/test_env.h"
#include "support/wexal_process.h"

namespace wexal {
namespace {

using namespace std::chrono_literals;
using test::NcsimProcess;

constexpr const char* kProgram = "%\nO1234(TEST)\nG00X10.Y-5.\nG01Z-2.F100\nM30\n%\n";

enum class Route { Ser2netRfc2217, Ser2netRaw, NcsimRfc2217, NcsimRaw };

struct Case {
    const char* name;
    Route route;
    bool send;            // S=, else R=
    const char* speed;    // Setting/Speed
    const char* code;     // ncsim's tape code
    const char* setting;  // Setting/Code for a send, R_Code for a receive
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class NetWexalTest : public ::testing::TestWithParam<Case> {
protected:
    NetWexalTest() {
        std::filesystem::permissions(runtime_.path(), std::filesystem::perms::owner_all);
    }

    std::filesystem::path Report() const { return nc_ / "report.txt"; }
    std::string ReportText() const { return test::ReadFileBytes(Report()); }

    test::TempDir program_;
    test::TempDir runtime_;
    test::TempDir nc_;
    test::WexalProcess wexal_{program_.path(), runtime_.path()};
};

// ser2net starts the terminal at this line; Wexal sets the real one.
constexpr const char* kSer2netLine = "9600n81";

TEST_P(NetWexalTest, TheProgramArrivesByteExactAndTheLineSettingsReachTheServer) {
    const Case& c = GetParam();
    const bool ser2net = c.route == Route::Ser2netRfc2217 || c.route == Route::Ser2netRaw;
    if (ser2net && !test::Ser2netProcess::Binary()) {
        GTEST_SKIP() << "ser2net is not installed (scripts/deps.sh installs it)";
    }
    const auto program = nc_ / "O1234.NC";
    test::WriteFileBytes(program, kProgram);
    const auto text = nc_ / "received.nc";
    const auto target = nc_ / "in" / "IN.NC";
    std::filesystem::create_directories(target.parent_path());

    std::vector<std::string> sim;
    if (c.send) {
        sim = {"receive", "--line", "none", "--code", c.code, "--dc1", "--text", text.string()};
    } else {
        sim = {"punch", program.string(), "--line", "none", "--code", c.code};
    }
    sim.insert(sim.end(), {"--report", Report().string()});
    if (c.route == Route::NcsimRfc2217) sim.insert(sim.end(), {"--serve", "rfc2217://127.0.0.1:0"});
    if (c.route == Route::NcsimRaw) sim.insert(sim.end(), {"--serve", "tcp://127.0.0.1:0"});
    NcsimProcess machine;
    ASSERT_TRUE(machine.Start(sim));

    test::Ser2netProcess server;
    std::string port = machine.slave();
    if (ser2net) {
        ASSERT_TRUE(server.Start(machine.slave(), c.route == Route::Ser2netRfc2217, kSer2netLine,
                                 nc_.path()));
        port = server.Url();
    }

    // A pseudo-terminal has no carrier: a receive does not look for the NC's signal.
    const std::string setting = c.send ? std::string("\nSignal=Y\nCode=") + c.setting +
                                             "\nStartChar=N\nEndChar=Y\nEndChar_Type=1\n"
                                       : std::string("\nSignal=N\nR_Code=") + c.setting +
                                             "\nStartChar=Y\nEndChar=Y\n[Options]\nRead_SP_Cut=N\n";
    test::WriteFileBytes(program_ / "Wexal.INI",
                         std::string("[Setting]\nPort=COM1\nSpeed=") + c.speed + setting);
    ASSERT_TRUE(wexal_.Start(
        port, {(c.send ? "S=" : "R=") + (c.send ? program.string() : target.string()), "END"}));

    EXPECT_EQ(wexal_.WaitExit(120s), std::optional<int>(0)) << wexal_.Stderr();
    EXPECT_EQ(machine.WaitExit(30s), std::optional<int>(0));
    if (c.send) {
        EXPECT_EQ(test::ReadFileBytes(text), "\nO1234(TEST)\nG00X10.Y-5.\nG01Z-2.F100\nM30\n\n%");
        EXPECT_NE(wexal_.Log().find("送信　　完了　"), std::string::npos) << wexal_.Log();
    } else {
        EXPECT_EQ(test::ReadFileBytes(target),
                  "%\r\nO1234(TEST)\r\nG00 X10. Y-5.\r\nG01 Z-2. F100\r\nM30\r\n%\r\n");
        EXPECT_NE(wexal_.Log().find("受信　　完了　"), std::string::npos) << wexal_.Log();
    }
    // Over RFC 2217 the line settings reach the server. ser2net sets them on
    // the pseudo-terminal, where Linux keeps only the rate and the stop bits
    // (a pseudo-terminal always has 8 data bits and no parity); ncsim takes
    // them all.
    if (c.route == Route::Ser2netRfc2217) {
        const std::string speed = c.speed;
        const std::string seen =
            speed.substr(0, speed.find(',')) + ",8,N," + speed.substr(speed.rfind(',') + 1);
        EXPECT_NE(ReportText().find("peer_line=" + seen + "\n"), std::string::npos) << ReportText();
    }
    if (c.route == Route::NcsimRfc2217) {
        EXPECT_NE(ReportText().find(std::string("peer_line=") + c.speed + "\n"), std::string::npos)
            << ReportText();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Routes, NetWexalTest,
    ::testing::Values(
        Case{"SendIsoSer2netRfc2217", Route::Ser2netRfc2217, true, "19200,8,N,1", "iso", "N"},
        Case{"SendEiaSer2netRaw", Route::Ser2netRaw, true, "9600,8,N,2", "eia", "Y"},
        Case{"SendAscii7Ser2netRfc2217", Route::Ser2netRfc2217, true, "4800,7,E,2", "ascii", "N"},
        Case{"ReceiveIsoSer2netRaw", Route::Ser2netRaw, false, "19200,8,N,1", "iso", "1"},
        Case{"ReceiveEiaDetectedSer2netRfc2217", Route::Ser2netRfc2217, false, "9600,8,N,2", "eia",
             "0"},
        Case{"ReceiveAscii7Ser2netRfc2217", Route::Ser2netRfc2217, false, "4800,7,O,1", "ascii",
             "3"},
        Case{"SendAscii7NcsimRfc2217", Route::NcsimRfc2217, true, "4800,7,E,2", "ascii", "N"},
        Case{"ReceiveIsoNcsimRaw", Route::NcsimRaw, false, "19200,8,N,1", "iso", "1"}),
    [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

TEST(NetWexalFaultTest, AServerThatStopsAnsweringEndsTheSendAbortedAndTheProgramEnds) {
    test::TempDir program, runtime, nc;
    std::filesystem::permissions(runtime.path(), std::filesystem::perms::owner_all);
    std::string text = "%\nO2000\n";
    for (int i = 1; i <= 2000; ++i)
        text += "N" + std::to_string(i) + "G01X" + std::to_string(i) + ".\n";
    test::WriteFileBytes(nc / "O2000.NC", text + "M30\n%\n");
    test::WriteFileBytes(program / "Wexal.INI",
                         "[Setting]\nPort=COM1\nSpeed=9600,8,N,1\nCode=N\nSignal=Y\nStartChar=N\n"
                         "EndChar=Y\n");
    test::FakeRfc2217Server server(test::FakeRfc2217Server::Behaviour::StopsAnswering);
    server.onConnect = "\x11";
    server.stopAfter = 2000;
    test::WexalProcess wexal(program.path(), runtime.path());
    ASSERT_TRUE(wexal.Start(server.Url(), {"S=" + (nc / "O2000.NC").string(), "END"}));

    EXPECT_EQ(wexal.WaitExit(60s), std::optional<int>(1));
    EXPECT_NE(wexal.Log().find("送信　　中止　"), std::string::npos) << wexal.Log();
    EXPECT_EQ(wexal.Log().find("送信　　完了　"), std::string::npos);
    EXPECT_NE(wexal.Stderr().find("COM1: " + server.Url() + " との接続が切れました。"),
              std::string::npos)
        << wexal.Stderr();
}

// A raw port has nothing to negotiate, so a server that closes at once is
// only found by the first read: one box that names the port, and END still ends.
TEST(NetWexalFaultTest, ARawServerThatClosesAtOnceIsToldOnceAsALostConnection) {
    test::TempDir program, runtime, nc;
    std::filesystem::permissions(runtime.path(), std::filesystem::perms::owner_all);
    test::WriteFileBytes(nc / "O1.NC", kProgram);
    test::WriteFileBytes(program / "Wexal.INI",
                         "[Setting]\nPort=COM1\nSpeed=9600,8,N,1\nCode=N\nSignal=Y\n");
    test::FakeRfc2217Server server(test::FakeRfc2217Server::Behaviour::CloseAtOnce);
    const std::string url = "tcp://127.0.0.1:" + std::to_string(server.port());
    test::WexalProcess wexal(program.path(), runtime.path());
    ASSERT_TRUE(wexal.Start(url, {"S=" + (nc / "O1.NC").string(), "END"}));

    EXPECT_EQ(wexal.WaitExit(60s), std::optional<int>(1)) << wexal.Stderr();
    EXPECT_NE(wexal.Log().find("送信　　中止　"), std::string::npos) << wexal.Log();
    EXPECT_NE(wexal.Stderr().find("COM1: " + url + " との接続が切れました。"), std::string::npos)
        << wexal.Stderr();
    EXPECT_EQ(wexal.Stderr().find("回線初期化エラー!!"), std::string::npos) << wexal.Stderr();
}

// A send waiting for the NC's DC1 while the server floods the port with
// bytes, or with option changes whose answers it never reads: SIGTERM still
// ends it on its abort path.
TEST(NetWexalFaultTest, SigtermEndsASendWhileTheServerFloodsThePort) {
    using Behaviour = test::FakeRfc2217Server::Behaviour;
    for (const Behaviour behaviour : {Behaviour::Flood, Behaviour::TogglesOptions}) {
        test::TempDir program, runtime, nc;
        std::filesystem::permissions(runtime.path(), std::filesystem::perms::owner_all);
        test::WriteFileBytes(nc / "O1.NC", kProgram);
        test::WriteFileBytes(program / "Wexal.INI",
                             "[Setting]\nPort=COM1\nSpeed=9600,8,N,1\nCode=N\nSignal=Y\n"
                             "StartChar=N\nEndChar=Y\n");
        test::FakeRfc2217Server server(behaviour);
        test::WexalProcess wexal(program.path(), runtime.path());
        ASSERT_TRUE(wexal.Start(server.Url(), {"S=" + (nc / "O1.NC").string(), "END"}));
        // Under way: more has come than the port may hold.
        const auto under = static_cast<long long>(NetSerialPort::kBufferLimit);
        for (int i = 0; i < 1500 && server.Flooded() <= under; ++i) std::this_thread::sleep_for(20ms);
        ASSERT_GT(server.Flooded(), under) << server.Url();

        ASSERT_EQ(::kill(wexal.pid(), SIGTERM), 0);
        EXPECT_EQ(wexal.WaitExit(10s), std::optional<int>(1)) << server.Url();
        EXPECT_NE(wexal.Log().find("送信　　中止　"), std::string::npos) << wexal.Log();
    }
}

}  // namespace
}  // namespace wexal
