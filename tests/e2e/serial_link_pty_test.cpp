// The link and the byte writer and reader on real pseudo-terminals: the
// kernel's tty layer between Wexal and ncsim or the test.
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <sstream>
#include <string>
#include <thread>

#include "serial/byte_io.h"
#include "serial/posix/posix_serial_port.h"
#include "serial/serial_link.h"
#include "support/fake_clock.h"
#include "support/fake_transfer_host.h"
#include "support/ncsim_process.h"
#include "support/scripted_messages.h"
#include "support/test_env.h"

namespace wexal {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::FakeClock;
using test::FakeTransferHost;
using test::NcsimProcess;
using test::ScriptedMessages;

struct PtyRig {
    explicit PtyRig(const std::string& device) : env("WEXAL_COM1", device.c_str()), host(clock) {
        settings.Port = "COM1";
        link.env.settings = &settings;
        link.env.host = &host;
        link.env.messages = &messages;
        link.env.programFolder = dir.path();
    }
    bool OpenForSend(bool iso, bool eia) {
        if (!OpenPort(link, TransferMode::Send)) return false;
        link.isoCode = iso;
        link.eiaCode = eia;
        link.canSend = true;
        link.abortRequested = false;
        link.bytesSinceCheck = 0;
        return true;
    }
    void Send(const std::string& text) {
        for (const char c : text) {
            SendChar(link, static_cast<std::uint8_t>(c));
            if (link.abortRequested) return;
        }
    }

    test::TempDir dir;
    test::ScopedEnv env;
    Settings settings;
    ScriptedMessages messages;
    FakeClock clock{FakeClock::Mode::Real};
    FakeTransferHost host;
    SerialLink link;
};

std::map<std::string, std::string> ReadReport(const std::filesystem::path& path) {
    std::map<std::string, std::string> report;
    std::istringstream in(test::ReadFileBytes(path));
    for (std::string line; std::getline(in, line);) {
        if (const auto eq = line.find('='); eq != std::string::npos) {
            report[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return report;
}

long long Number(const std::map<std::string, std::string>& report, const char* key) {
    const auto it = report.find(key);
    return it == report.end() ? -1 : std::stoll(it->second);
}

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (const int v : values) s.push_back(static_cast<char>(v));
    return s;
}

TEST(SerialLinkPtyTest, EveryCodeArrivesExactAtNcsim) {
    const std::string program = "%\nO1000\nN10G01X-1.5;\nM30\n%";
    // Worked out here by hand and from the parity rule, not by the encoder.
    std::string iso;
    for (const unsigned char c : program) {
        iso.push_back(static_cast<char>(__builtin_popcount(c) % 2 ? c | 0x80 : c));
    }
    const std::string eia = Bytes({0x0B, 0x80, 0x46, 0x01, 0x20, 0x20, 0x20, 0x80, 0x45, 0x01,
                                   0x20, 0x67, 0x20, 0x01, 0x37, 0x40, 0x01, 0x6B, 0x15, 0x80,
                                   0x54, 0x13, 0x20, 0x80, 0x0B});
    struct Row {
        const char* code;
        const char* speed;
        bool isoFlag;
        bool eiaFlag;
        std::string wire;
    };
    const Row rows[] = {
        {"iso", "9600,8,N,2", true, false, iso},
        {"eia", "9600,8,N,2", false, true, eia},
        {"ascii", "9600,7,E,2", true, true, program},
    };
    for (const Row& row : rows) {
        test::TempDir out;
        NcsimProcess sim;
        ASSERT_TRUE(sim.Start({"receive", "--line", "none", "--code", row.code, "--raw",
                               (out / "raw.bin").string(), "--report",
                               (out / "report.txt").string(), "--no-percent-end", "--linger",
                               "100", "--idle-timeout", "10"}));
        PtyRig rig(sim.slave());
        rig.settings.Speed = row.speed;
        ASSERT_TRUE(rig.OpenForSend(row.isoFlag, row.eiaFlag)) << row.code;
        rig.Send(program);
        EXPECT_FALSE(rig.link.abortRequested) << row.code;
        std::this_thread::sleep_for(100ms);
        ClosePort(rig.link);
        ASSERT_EQ(sim.WaitExit(10s), 0) << row.code;
        EXPECT_EQ(test::ReadFileBytes(out / "raw.bin"), row.wire) << row.code;
        EXPECT_TRUE(rig.messages.shown().empty()) << row.code;
    }
}

TEST(SerialLinkPtyTest, XoffFromNcsimHoldsTheWriterAndXonReleasesIt) {
    test::TempDir out;
    NcsimProcess sim;
    ASSERT_TRUE(sim.Start({"receive", "--line", "19200,8,N,1", "--code", "iso", "--xoff-at", "100",
                           "--xon-at", "20", "--xoff-char", "0x93", "--drain", "600", "--raw",
                           (out / "raw.bin").string(), "--report", (out / "report.txt").string(),
                           "--no-percent-end", "--linger", "100", "--idle-timeout", "10"}));
    PtyRig rig(sim.slave());
    rig.settings.Speed = "19200,8,N,1";
    ASSERT_TRUE(rig.OpenForSend(true, false));
    // ncsim notices an open at its next look (every 10 ms while the port is
    // closed); bytes written before that would start its line late.
    std::this_thread::sleep_for(50ms);
    std::string program;
    for (int i = 0; i < 120; ++i) program += "N" + std::to_string(i) + "G01X" + std::to_string(i) + ".5\n";
    // A pseudo-terminal takes bytes at once. The machine takes them in at a
    // third of the line rate, so a writer with a short pause after every
    // character fills its buffer until it says XOFF, again after each XON,
    // even when a busy machine stretches those pauses to a millisecond.
    for (const char c : program) {
        SendChar(rig.link, static_cast<std::uint8_t>(c));
        if (rig.link.abortRequested) break;
        std::this_thread::sleep_for(150us);
    }
    EXPECT_FALSE(rig.link.abortRequested);
    std::this_thread::sleep_for(200ms);
    ClosePort(rig.link);
    ASSERT_EQ(sim.WaitExit(20s), 0);
    const auto report = ReadReport(out / "report.txt");
    // Held more than once: each XON let the writer go on until the next XOFF.
    EXPECT_GE(Number(report, "xoff_sent"), 2);
    EXPECT_GE(Number(report, "xon_sent"), 2);
    // At most ten bytes after the XOFF, and one on its way.
    EXPECT_LE(Number(report, "bytes_after_xoff"), 11) << test::ReadFileBytes(out / "report.txt");
    EXPECT_EQ(Number(report, "parity_errors"), 0);
    std::string iso;
    for (const unsigned char c : program) {
        iso.push_back(static_cast<char>(__builtin_popcount(c) % 2 ? c | 0x80 : c));
    }
    EXPECT_EQ(test::ReadFileBytes(out / "raw.bin"), iso);
}

TEST(SerialLinkPtyTest, TheKernelKeepsThreesOfAnEiaReceive) {
    struct Row {
        std::int32_t rCode;
        const char* dc3;
        bool ixon;
    };
    const Row rows[] = {{2, "N", false}, {0, "N", false}, {1, "N", true}, {2, "Y", true}};
    for (const Row& row : rows) {
        test::PseudoTerminal pty;
        ASSERT_TRUE(pty.ok());
        PtyRig rig(pty.slave());
        rig.settings.R_Code = row.rCode;
        rig.settings.DC3_0x93 = row.dc3;
        ASSERT_TRUE(OpenPort(rig.link, TransferMode::Receive));
        termios t{};
        ASSERT_EQ(::tcgetattr(pty.master(), &t), 0);
        EXPECT_EQ((t.c_iflag & IXON) != 0, row.ixon) << row.rCode << row.dc3;
        EXPECT_NE(t.c_iflag & IXOFF, 0u);
        if (row.rCode != 2) continue;
        rig.link.eiaCode = true;
        rig.link.isoCode = false;
        const std::string n3 = Bytes({0x45, 0x13, 0x80});  // "N3", end of block
        ASSERT_EQ(::write(pty.master(), n3.data(), n3.size()), 3);
        std::string got;
        for (int i = 0; i < 3; ++i) got.push_back(static_cast<char>(ReadChar(rig.link)));
        EXPECT_EQ(got, "N3\n") << row.dc3;
    }
}

TEST(SerialLinkPtyTest, ABusyPortIsRefusedAtOnce) {
    test::PseudoTerminal pty;
    ASSERT_TRUE(pty.ok());
    PosixSerialPort other;
    ASSERT_TRUE(other.Open(pty.slave()));
    PtyRig rig(pty.slave());
    rig.settings.Port = "COM1";
    const auto start = Clock::now();
    EXPECT_FALSE(OpenPort(rig.link, TransferMode::Send));
    EXPECT_LT(Clock::now() - start, 1s);
    ASSERT_EQ(rig.messages.shown().size(), 1u);
    EXPECT_EQ(rig.messages.shown()[0].text, "COM1のポートが開きません。!!");
}

TEST(SerialLinkPtyTest, AClosedTerminalEndsTheTransferWithinASecond) {
    for (const TransferMode mode : {TransferMode::Send, TransferMode::Receive}) {
        test::PseudoTerminal pty;
        ASSERT_TRUE(pty.ok());
        PtyRig rig(pty.slave());
        ASSERT_TRUE(OpenPort(rig.link, mode));
        rig.link.isoCode = true;
        rig.link.canSend = true;
        pty.CloseMaster();
        const auto start = Clock::now();
        if (mode == TransferMode::Send) {
            rig.Send(std::string(100000, 'X'));
        } else {
            while (!rig.link.abortRequested && Clock::now() - start < 5s) ReadChar(rig.link);
        }
        EXPECT_LT(Clock::now() - start, 1s);
        EXPECT_TRUE(rig.link.abortRequested);
        EXPECT_TRUE(rig.link.lineLost);
        ASSERT_EQ(rig.messages.shown().size(), 1u);
        EXPECT_EQ(rig.messages.shown()[0].text, kLineLostMessage);
    }
}

}  // namespace
}  // namespace wexal
