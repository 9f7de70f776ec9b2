#include "serial/posix/posix_serial_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "serial/speed_text.h"
#include "support/kernel_rate.h"
#include "support/test_env.h"

namespace wexal {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The line record the transfer modes ask for; the data bits and parity a
// pseudo-terminal ignores are checked on the fake port instead.
LineSettings ModeSettings(const std::string& speedText, bool receive, std::uint8_t xoff) {
    LineSettings s;
    ApplyLineFormat(ParseSpeedText(speedText).format, s);
    s.xonChar = kDc1;
    s.xoffChar = xoff;
    s.xonLimit = receive ? 1024 : 0;
    s.xoffLimit = receive ? 3072 : 2;
    s.outputXonXoff = receive;
    s.inputXonXoff = receive;
    s.discardNul = true;
    if (receive) {
        s.dsrOutputFlow = false;
        s.dtrControl = LineControl::Handshake;
        s.rtsControl = LineControl::Handshake;
    }
    return s;
}

speed_t StandardCode(int baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        default:
            return B0;
    }
}

// Reads from the master until `count` bytes came or a second passed.
std::string ReadMaster(int master, std::size_t count) {
    std::string got;
    const auto end = Clock::now() + 1s;
    while (got.size() < count && Clock::now() < end) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char buffer[512];
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

void WriteMaster(int master, const std::string& bytes) {
    ASSERT_EQ(::write(master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
}

class PosixSerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty_.ok());
        ASSERT_TRUE(port_.Open(pty_.slave())) << pty_.slave();
    }

    test::PseudoTerminal pty_;
    PosixSerialPort port_;
};

TEST_F(PosixSerialPortTest, EveryOfferedSpeedReachesTheKernelWithTheSwitchesOfItsMode) {
    const char* frames[] = {"8,N,1", "8,N,2", "7,N,1", "7,N,2", "7,E,1", "7,E,2", "7,O,1", "7,O,2"};
    int round = 0;
    for (const int baud : kOfferedBauds) {
        for (const char* frame : frames) {
            const std::string text = std::to_string(baud) + "," + frame;
            const bool receive = round % 2 == 1;
            const std::uint8_t xoff = round % 4 < 2 ? kDc3WithParity : kDc3;
            ++round;
            const LineSettings wanted = ModeSettings(text, receive, xoff);
            ASSERT_TRUE(port_.SetSettings(wanted)) << text;

            termios t{};
            ASSERT_EQ(tcgetattr(pty_.master(), &t), 0);
            SCOPED_TRACE(text + (receive ? " receive" : " send"));
            if (baud == 14400) {
                EXPECT_EQ(test::KernelArbitraryRate(pty_.master()), 14400u);
            } else {
                EXPECT_EQ(cfgetospeed(&t), StandardCode(baud));
                EXPECT_EQ(test::KernelArbitraryRate(pty_.master()), std::nullopt);
            }
            EXPECT_EQ((t.c_cflag & CSTOPB) != 0, wanted.stopBits == StopBits::Two);
            EXPECT_EQ(t.c_cc[VSTART], 0x11);
            EXPECT_EQ(t.c_cc[VSTOP], xoff);
            EXPECT_EQ((t.c_iflag & IXON) != 0, receive);
            EXPECT_EQ((t.c_iflag & IXOFF) != 0, receive);
            EXPECT_EQ(t.c_iflag & (IXANY | INPCK | ISTRIP | ICRNL | INLCR | IGNCR), 0u);
            EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
            EXPECT_EQ(t.c_oflag & OPOST, 0u);
            EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
            EXPECT_NE(t.c_cflag & CLOCAL, 0u);

            const std::optional<LineSettings> back = port_.GetSettings();
            ASSERT_TRUE(back.has_value());
            EXPECT_EQ(back->baud, baud);
            EXPECT_EQ(back->xoffChar, xoff);
            EXPECT_EQ(back->outputXonXoff, receive);
            EXPECT_EQ(back->xoffLimit, wanted.xoffLimit);
            EXPECT_TRUE(back->discardNul);
        }
    }
}

TEST_F(PosixSerialPortTest, OneAndAHalfStopBitsGoOutAsTwo) {
    LineSettings s = ModeSettings("4800,8,N,3", false, kDc3);
    ASSERT_EQ(s.stopBits, StopBits::OneAndHalf);
    ASSERT_TRUE(port_.SetSettings(s));
    termios t{};
    ASSERT_EQ(tcgetattr(pty_.master(), &t), 0);
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
    EXPECT_EQ(port_.GetSettings()->stopBits, StopBits::Two);
}

TEST_F(PosixSerialPortTest, FramesTheDriverCannotMakeAreRefused) {
    LineSettings s = ModeSettings("4800,8,N,1", false, kDc3);
    s.dataBits = 9;
    EXPECT_FALSE(port_.SetSettings(s));
    s.dataBits = 8;
    s.baud = 0;
    EXPECT_FALSE(port_.SetSettings(s));
}

TEST_F(PosixSerialPortTest, EveryByteArrivesExactlyAtTheOtherEnd) {
    ASSERT_TRUE(port_.SetSettings(ModeSettings("19200,8,N,1", false, kDc3)));
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
        ASSERT_EQ(port_.WriteByte(static_cast<std::uint8_t>(b)), IoStatus::Ok) << b;
    }
    EXPECT_EQ(ReadMaster(pty_.master(), all.size()), all);
}

TEST_F(PosixSerialPortTest, ReadsComeWithinTheirWaitAndNulIsDroppedOnlyWhenAsked) {
    LineSettings s = ModeSettings("9600,8,N,1", true, kDc3);
    s.outputXonXoff = s.inputXonXoff = false;
    s.discardNul = false;
    ASSERT_TRUE(port_.SetSettings(s));
    ASSERT_TRUE(port_.SetTimeouts({0, 0, 200, 0, 1000}));

    const auto start = Clock::now();
    EXPECT_EQ(port_.ReadByteWithin(30).status, IoStatus::TimedOut);
    EXPECT_GE(Clock::now() - start, 29ms);
    EXPECT_EQ(port_.ReadByteWithin(0).status, IoStatus::TimedOut);

    WriteMaster(pty_.master(), std::string("\0A\xA5", 3));
    std::string got;
    for (int i = 0; i < 3; ++i) {
        const ReadResult r = port_.ReadByte();
        ASSERT_EQ(r.status, IoStatus::Ok);
        got.push_back(static_cast<char>(r.byte));
    }
    EXPECT_EQ(got, std::string("\0A\xA5", 3));

    s.discardNul = true;
    ASSERT_TRUE(port_.SetSettings(s));
    WriteMaster(pty_.master(), std::string("\0\0B", 3));
    const ReadResult r = port_.ReadByte();
    EXPECT_EQ(r.status, IoStatus::Ok);
    EXPECT_EQ(r.byte, 'B');
}

// Input is read ahead, many bytes at a time, and handed out one by one:
// nothing read ahead may be lost, repeated or outlive the opening it came in.
TEST(PosixSerialPortReadAheadTest, EveryByteComesOnceInOrderAndOnlyInItsOpening) {
    enum class Do { Write, Read, Queued, Purge, Reopen, HangUp };
    struct Step {
        Do what;
        std::string bytes;  // Write: to the master; Read: the byte expected, none for no byte
        int number = 0;     // Write, Queued: bytes waiting in all; Read: the wait in ms
        IoStatus status = IoStatus::Ok;
    };
    struct Row {
        const char* name;
        bool discardNul;
        std::vector<Step> steps;
    };
    const auto w = [](std::string bytes, int queued) {
        return Step{Do::Write, std::move(bytes), queued, IoStatus::Ok};
    };
    const auto r = [](std::string byte, int waitMs = 0, IoStatus status = IoStatus::Ok) {
        return Step{Do::Read, std::move(byte), waitMs, status};
    };
    const auto queued = [](int bytes) { return Step{Do::Queued, "", bytes, IoStatus::Ok}; };
    const auto just = [](Do what) { return Step{what, "", 0, IoStatus::Ok}; };
    const Step timedOut = r("", 20, IoStatus::TimedOut);
    const Row rows[] = {
        {"NULs inside one read are dropped", true,
         {w(std::string("\0A\0\0B\0", 6), 6), r("A"), r("B"), timedOut}},
        {"NULs are kept when not discarded", false,
         {w(std::string("\0A", 2), 2), r(std::string(1, '\0')), r("A"), timedOut}},
        {"a time-out loses nothing that comes after it", false,
         {w("A", 1), r("A"), timedOut, w("BC", 2), r("B", 20), r("C"), timedOut}},
        {"what was read ahead is queued input, and a purge drops it", false,
         {w("XYZ", 3), r("X"), queued(2), just(Do::Purge), queued(0), timedOut}},
        {"a port opened again starts empty", false,
         {w("XYZ", 3), r("X"), just(Do::Reopen), w("Q", 1), r("Q"), timedOut}},
        {"bytes read before a hang-up come first, then the lost line", false,
         {w("N1", 2), r("N"), just(Do::HangUp), r("1"), r("", 1000, IoStatus::LineLost)}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        test::PseudoTerminal pty;
        ASSERT_TRUE(pty.ok());
        PosixSerialPort port;
        LineSettings settings = ModeSettings("19200,8,N,1", true, kDc3);
        settings.outputXonXoff = settings.inputXonXoff = false;
        settings.discardNul = row.discardNul;
        const auto open = [&] { return port.Open(pty.slave()) && port.SetSettings(settings); };
        ASSERT_TRUE(open());
        for (const Step& step : row.steps) {
            switch (step.what) {
                case Do::Write: {
                    WriteMaster(pty.master(), step.bytes);
                    // The pseudo-terminal hands the bytes over a moment later.
                    const auto end = Clock::now() + 1s;
                    while (port.GetQueueStatus().inputQueued < step.number && Clock::now() < end) {
                        std::this_thread::sleep_for(1ms);
                    }
                    break;
                }
                case Do::Read: {
                    const ReadResult got = port.ReadByteWithin(step.number);
                    ASSERT_EQ(got.status, step.status) << step.bytes;
                    if (step.status == IoStatus::Ok) {
                        EXPECT_EQ(got.byte, static_cast<std::uint8_t>(step.bytes[0]));
                    }
                    break;
                }
                case Do::Queued:
                    EXPECT_EQ(port.GetQueueStatus().inputQueued, step.number);
                    break;
                case Do::Purge:
                    ASSERT_TRUE(port.Purge(PurgeQueues::Input));
                    break;
                case Do::Reopen:
                    port.Close();
                    ASSERT_TRUE(open());
                    break;
                case Do::HangUp:
                    pty.CloseMaster();
                    break;
            }
        }
    }
}

// With the driver's own XON/XOFF (receive mode), 0x93 given as XOFF holds
// our output and 0x11 releases it; neither reaches the reader. A pseudo-
// terminal takes no byte at all while held, so the write ends on its time-out.
TEST_F(PosixSerialPortTest, DriverHoldsOutputOnXoff0x93UntilXon) {
    ASSERT_TRUE(port_.SetSettings(ModeSettings("4800,8,N,2", true, kDc3WithParity)));
    ASSERT_TRUE(port_.SetTimeouts({0, 0, 1000, 0, 200}));
    WriteMaster(pty_.master(), "\x93Z");
    const ReadResult marker = port_.ReadByteWithin(1000);
    ASSERT_EQ(marker.status, IoStatus::Ok);
    EXPECT_EQ(marker.byte, 'Z');

    EXPECT_EQ(port_.WriteByte('A'), IoStatus::TimedOut);
    pollfd p{pty_.master(), POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 0), 0) << "output went out under XOFF";

    WriteMaster(pty_.master(), "\x11");
    const auto end = Clock::now() + 1s;
    IoStatus status = IoStatus::TimedOut;
    while (status == IoStatus::TimedOut && Clock::now() < end) status = port_.WriteByte('B');
    EXPECT_EQ(status, IoStatus::Ok);
    EXPECT_EQ(ReadMaster(pty_.master(), 1), "B");
    EXPECT_EQ(port_.ReadByteWithin(50).status, IoStatus::TimedOut);
}

TEST_F(PosixSerialPortTest, PseudoTerminalHasNoModemLinesAndSaysSo) {
    LineSettings s = ModeSettings("9600,8,N,1", false, kDc3);
    s.dtrControl = LineControl::Enable;
    s.rtsControl = LineControl::Disable;
    EXPECT_TRUE(port_.SetSettings(s));
    EXPECT_EQ(port_.GetModemStatus(), std::nullopt);
}

TEST_F(PosixSerialPortTest, QueuesAreCountedAndPurged) {
    ASSERT_TRUE(port_.SetSettings(ModeSettings("9600,8,N,1", false, kDc3)));
    WriteMaster(pty_.master(), "abc");
    QueueStatus q;
    const auto end = Clock::now() + 1s;
    do {
        q = port_.GetQueueStatus();
    } while (q.inputQueued < 3 && Clock::now() < end);
    EXPECT_EQ(q.status, IoStatus::Ok);
    EXPECT_EQ(q.inputQueued, 3);
    EXPECT_EQ(q.outputQueued, 0);  // a pseudo-terminal reports no output queue

    EXPECT_TRUE(port_.Purge(PurgeQueues::Both));
    EXPECT_EQ(port_.GetQueueStatus().inputQueued, 0);
    EXPECT_EQ(port_.ReadByteWithin(20).status, IoStatus::TimedOut);
}

TEST_F(PosixSerialPortTest, BusyPortFailsAtOnce) {
    PosixSerialPort second;
    const auto start = Clock::now();
    const Status status = second.Open(pty_.slave());
    EXPECT_FALSE(status);
    EXPECT_FALSE(status.message.empty());
    EXPECT_FALSE(second.IsOpen());
    EXPECT_LT(Clock::now() - start, 1s);

    // Released on close, so the next transfer can have it.
    port_.Close();
    EXPECT_TRUE(second.Open(pty_.slave()));
}

TEST(PosixSerialPortOpenTest, PortHeldExclusivelyByAnotherProgramFailsAtOnce) {
    test::PseudoTerminal pty;
    ASSERT_TRUE(pty.ok());
    const int holder = ::open(pty.slave().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(ioctl(holder, TIOCEXCL), 0);

    PosixSerialPort port;
    const auto start = Clock::now();
    EXPECT_FALSE(port.Open(pty.slave()));
    EXPECT_LT(Clock::now() - start, 1s);
    ::close(holder);
}

TEST(PosixSerialPortOpenTest, MissingDevicesAndPlainFilesDoNotOpen) {
    test::TempDir dir;
    test::WriteFileBytes(dir / "plain", "x");
    PosixSerialPort port;
    EXPECT_FALSE(port.Open((dir / "ttyGone").string()));
    EXPECT_FALSE(port.Open((dir / "plain").string()));
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.WriteByte('A'), IoStatus::Failed);
    EXPECT_EQ(port.ReadByteWithin(0).status, IoStatus::Failed);
    EXPECT_FALSE(port.SetSettings(LineSettings{}));
}

TEST_F(PosixSerialPortTest, ClosedMasterMidTransferIsALostLineWithinASecond) {
    ASSERT_TRUE(port_.SetSettings(ModeSettings("19200,8,N,1", false, kDc3)));
    for (const char c : std::string("N10")) ASSERT_EQ(port_.WriteByte(c), IoStatus::Ok);
    ASSERT_EQ(ReadMaster(pty_.master(), 3), "N10");

    pty_.CloseMaster();
    const auto start = Clock::now();
    EXPECT_EQ(port_.ReadByteWithin(5000).status, IoStatus::LineLost);
    EXPECT_EQ(port_.WriteByte('G'), IoStatus::LineLost);
    EXPECT_LT(Clock::now() - start, 1s);
}

}  // namespace
}  // namespace wexal
