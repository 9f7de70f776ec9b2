#include "serial/serial_link.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

#include <cerrno>

#include <chrono>
#include <string>
#include <vector>

#include "serial/byte_io.h"
#include "support/link_fixture.h"
#include "support/scripted_messages.h"
#include "support/test_env.h"

namespace wexal {
namespace {

using namespace std::chrono_literals;
using test::FakeSerialPort;
using test::LinkRig;
using test::ScriptedMessages;

struct Rig : ScriptedMessages, LinkRig {
    Rig() : LinkRig(static_cast<ScriptedMessages&>(*this)) {}
    std::vector<std::string> Texts() const {
        std::vector<std::string> texts;
        for (const auto& box : shown()) texts.push_back(box.text);
        return texts;
    }
};

TEST(SerialLinkTest, SpeedTextsBecomeTheLineFormat) {
    struct Row {
        const char* speed;
        int baud;
        int dataBits;
        Parity parity;
        StopBits stopBits;
    };
    const Row rows[] = {
        // With 8 data bits the letter only marks where the stop bits begin.
        {"4800,8,E,1", 4800, 8, Parity::None, StopBits::One},
        {"9600,7,O,1", 9600, 7, Parity::Odd, StopBits::One},
        {"2400,7,N,2", 2400, 7, Parity::None, StopBits::Two},
        {"14400,7,E,2", 14400, 7, Parity::Even, StopBits::Two},
        {"19200,8,N,3", 19200, 8, Parity::None, StopBits::OneAndHalf},
    };
    for (const Row& row : rows) {
        Rig rig;
        rig.settings.Speed = row.speed;
        ASSERT_TRUE(OpenPort(rig.link, TransferMode::Send)) << row.speed;
        ASSERT_EQ(rig.port.SettingsWritten().size(), 1u) << row.speed;
        const LineSettings& s = rig.port.SettingsWritten()[0];
        EXPECT_EQ(s.baud, row.baud) << row.speed;
        EXPECT_EQ(s.dataBits, row.dataBits) << row.speed;
        EXPECT_EQ(s.parity, row.parity) << row.speed;
        EXPECT_EQ(s.stopBits, row.stopBits) << row.speed;
        EXPECT_FALSE(s.parityCheck) << row.speed;
        EXPECT_TRUE(rig.shown().empty()) << row.speed;
    }
}

TEST(SerialLinkTest, ARateNotOfferedIsRefusedBeforeTheDriverIsTouched) {
    const std::pair<const char*, const char*> rows[] = {
        {"38400,8,N,1", kBaudRefusedMessage},
        {"fast,8,N,1", kLinkErrorMessage},
        {"9600,x,N,1", kLinkErrorMessage},
    };
    for (const auto& [speed, message] : rows) {
        Rig rig;
        rig.settings.Speed = speed;
        EXPECT_FALSE(OpenPort(rig.link, TransferMode::Send)) << speed;
        EXPECT_TRUE(rig.port.SettingsWritten().empty()) << speed;
        EXPECT_TRUE(rig.port.TimeoutsWritten().empty()) << speed;
        EXPECT_TRUE(rig.port.Purges().empty()) << speed;
        EXPECT_EQ(rig.Texts(), std::vector<std::string>{message}) << speed;
    }
}

TEST(SerialLinkTest, FlowControlAndTimeoutsFollowTheMode) {
    for (const char* dc3 : {"Y", "N"}) {
        const std::uint8_t xoff = dc3[0] == 'Y' ? 0x93 : 0x13;
        Rig send;
        send.settings.DC3_0x93 = dc3;
        LineSettings driver;
        driver.dsrOutputFlow = true;
        driver.dtrControl = LineControl::Disable;
        driver.rtsControl = LineControl::Disable;
        driver.ctsOutputFlow = true;
        send.port.SetDriverSettings(driver);
        ASSERT_TRUE(OpenPort(send.link, TransferMode::Send));
        const LineSettings& s = send.port.SettingsWritten().at(0);
        EXPECT_EQ(s.xonChar, 0x11);
        EXPECT_EQ(s.xoffChar, xoff);
        EXPECT_EQ(std::pair(s.xonLimit, s.xoffLimit), std::pair(0, 2));
        EXPECT_FALSE(s.outputXonXoff);
        EXPECT_FALSE(s.inputXonXoff);
        EXPECT_FALSE(s.txContinueOnXoff);
        EXPECT_FALSE(s.ctsOutputFlow);
        EXPECT_TRUE(s.dsrOutputFlow);  // as the driver had it
        EXPECT_EQ(s.dtrControl, LineControl::Disable);
        EXPECT_EQ(s.rtsControl, LineControl::Disable);
        EXPECT_TRUE(s.discardNul);
        EXPECT_FALSE(s.abortOnError);
        const Timeouts t = send.port.TimeoutsWritten().at(0);
        EXPECT_EQ(t, (Timeouts{0, 0, 10, 0, 0}));

        Rig receive;
        receive.settings.DC3_0x93 = dc3;
        receive.settings.R_Code = 1;
        receive.port.SetDriverSettings(driver);
        ASSERT_TRUE(OpenPort(receive.link, TransferMode::Receive));
        const LineSettings& r = receive.port.SettingsWritten().at(0);
        EXPECT_EQ(r.xonChar, 0x11);
        EXPECT_EQ(r.xoffChar, xoff);
        EXPECT_EQ(std::pair(r.xonLimit, r.xoffLimit), std::pair(1024, 3072));
        EXPECT_TRUE(r.outputXonXoff);
        EXPECT_TRUE(r.inputXonXoff);
        EXPECT_FALSE(r.ctsOutputFlow);
        EXPECT_FALSE(r.dsrOutputFlow);
        EXPECT_EQ(r.dtrControl, LineControl::Handshake);
        EXPECT_EQ(r.rtsControl, LineControl::Handshake);
        EXPECT_EQ(receive.port.TimeoutsWritten().at(0), (Timeouts{0, 0, 1000, 0, 1000}));
        EXPECT_EQ(receive.port.QueueSizesRequested(),
                  (std::vector<std::pair<int, int>>{{4096, 4096}}));
        EXPECT_EQ(receive.port.Purges(), std::vector<PurgeQueues>{PurgeQueues::Both});
    }
}

TEST(SerialLinkTest, AnEiaReceiveWithXoff13KeepsTheDriverFromSwallowingThrees) {
    // R_Code 0 detects the code, 2 is EIA: 0x13 may be the digit "3" there.
    const std::tuple<std::int32_t, const char*, bool> rows[] = {
        {0, "N", false}, {2, "N", false}, {1, "N", true}, {3, "N", true},
        {0, "Y", true},  {2, "Y", true},
    };
    for (const auto& [code, dc3, driverXon] : rows) {
        Rig rig;
        rig.settings.R_Code = code;
        rig.settings.DC3_0x93 = dc3;
        ASSERT_TRUE(OpenPort(rig.link, TransferMode::Receive));
        EXPECT_EQ(rig.port.SettingsWritten().at(0).outputXonXoff, driverXon) << code << dc3;
    }
}

TEST(SerialLinkTest, OptionsHoldDtrAndRtsOn) {
    const std::tuple<const char*, const char*, TransferMode, LineControl, LineControl> rows[] = {
        {"Y", "N", TransferMode::Receive, LineControl::Enable, LineControl::Handshake},
        {"N", "Y", TransferMode::Receive, LineControl::Enable, LineControl::Enable},
        {"Y", "N", TransferMode::Send, LineControl::Enable, LineControl::Disable},
    };
    for (const auto& [op1, autoSelect, mode, dtr, rts] : rows) {
        Rig rig;
        rig.settings.op1 = op1;
        rig.settings.AutoSelect = autoSelect;
        rig.host.ScriptAutoSelectNumber("1");
        LineSettings driver;
        driver.dtrControl = LineControl::Disable;
        driver.rtsControl = LineControl::Disable;
        rig.port.SetDriverSettings(driver);
        ASSERT_TRUE(OpenPort(rig.link, mode));
        EXPECT_EQ(rig.port.SettingsWritten().at(0).dtrControl, dtr);
        EXPECT_EQ(rig.port.SettingsWritten().at(0).rtsControl, rts);
    }
}

TEST(SerialLinkTest, EachFailingStepShowsItsOneMessage) {
    const std::pair<FakeSerialPort::Call, std::string> rows[] = {
        {FakeSerialPort::Call::Open, "COM7のポートが開きません。!!"},
        {FakeSerialPort::Call::SetSettings, kLineSettingsFailedMessage},
        {FakeSerialPort::Call::SetTimeouts, kTimeoutsFailedMessage},
        {FakeSerialPort::Call::Purge, kPurgeFailedMessage},
    };
    for (const auto& [call, message] : rows) {
        Rig rig;
        rig.settings.Port = "COM7";
        rig.port.SetFailing(call, true);
        EXPECT_FALSE(OpenPort(rig.link, TransferMode::Send)) << message;
        EXPECT_EQ(rig.Texts(), std::vector<std::string>{message});
    }
    // Queue sizes are only a request.
    Rig rig;
    rig.port.SetFailing(FakeSerialPort::Call::SetQueueSizes, true);
    EXPECT_TRUE(OpenPort(rig.link, TransferMode::Send));
}

TEST(SerialLinkTest, LampsFollowTheModemLinesAndStayWhenTheQueryFails) {
    Rig rig;
    rig.port.SetModemStatus(ModemStatus{.cts = true, .dsr = false, .ring = false, .rlsd = true});
    ASSERT_TRUE(OpenPort(rig.link, TransferMode::Send));
    EXPECT_EQ(rig.host.dsrLamp, false);
    EXPECT_EQ(rig.host.ctsLamp, true);

    ClosePort(rig.link);
    rig.port.SetModemStatus(std::nullopt);
    ASSERT_TRUE(OpenPort(rig.link, TransferMode::Send));
    EXPECT_EQ(rig.host.dsrLamp, false);
    EXPECT_EQ(rig.host.ctsLamp, true);
}

TEST(SerialLinkTest, AutoSelectWritesTheNumberUntranslatedWithItsPauses) {
    struct Row {
        const char* number;
        std::string bytes;
        std::vector<std::chrono::nanoseconds> handedAt;
        std::chrono::nanoseconds end;
    };
    const Row rows[] = {
        {"1-3", "13", {0s, 3s}, 6s},
        {"2", "2", {0s}, 3s},
    };
    for (const Row& row : rows) {
        Rig rig;
        rig.settings.AutoSelect = "Y";
        // Flags left by an ISO transfer would make "1" 0xB1 and "3" 0x33.
        rig.link.isoCode = true;
        rig.link.bytesSinceCheck = 999;
        rig.link.canSend = false;
        rig.host.ScriptAutoSelectNumber(row.number);
        const auto start = rig.clock.Now();
        ASSERT_TRUE(OpenPort(rig.link, TransferMode::Send)) << row.number;
        EXPECT_EQ(rig.port.WrittenBytes(), row.bytes) << row.number;
        for (std::size_t i = 0; i < row.handedAt.size(); ++i) {
            const auto at = rig.port.Written().at(i).handedAt - start;
            EXPECT_GE(at, row.handedAt[i]) << row.number;
            EXPECT_LT(at, row.handedAt[i] + 100ms) << row.number;
        }
        EXPECT_GE(rig.clock.Now() - start, row.end) << row.number;
        EXPECT_LT(rig.clock.Now() - start, row.end + 100ms) << row.number;
        EXPECT_FALSE(rig.link.autoSelectActive);
        EXPECT_TRUE(rig.shown().empty());
    }
}

TEST(SerialLinkTest, CancelledAutoSelectFailsAndLeavesTranslationOn) {
    for (const std::optional<std::string>& answer :
         {std::optional<std::string>(), std::optional<std::string>("")}) {
        Rig rig;
        rig.settings.AutoSelect = "Y";
        rig.host.ScriptAutoSelectNumber(answer);
        EXPECT_FALSE(OpenPort(rig.link, TransferMode::Send));
        ASSERT_EQ(rig.shown().size(), 1u);
        EXPECT_EQ(rig.shown()[0].text, kAutoSelectRefusedMessage);
        EXPECT_EQ(rig.shown()[0].icon, MessageIcon::Error);
        EXPECT_FALSE(rig.link.autoSelectActive);
        EXPECT_TRUE(rig.port.WrittenBytes().empty());
        ClosePort(rig.link);

        // The next transfer, without switching, sends ISO as ever.
        rig.settings.AutoSelect = "N";
        ASSERT_TRUE(rig.OpenForSend(TapeCode::Iso));
        SendChar(rig.link, '1');
        EXPECT_EQ(rig.port.WrittenBytes(), "\xB1");
    }
}

TEST(SerialLinkTest, EscDuringTheSwitchingEndsTheAttempt) {
    Rig rig;
    rig.settings.AutoSelect = "Y";
    rig.host.ScriptAutoSelectNumber("1-2");
    rig.host.HoldAbortKey(1s);
    EXPECT_FALSE(OpenPort(rig.link, TransferMode::Send));
    EXPECT_EQ(rig.port.WrittenBytes(), "1");
    EXPECT_FALSE(rig.link.autoSelectActive);
    EXPECT_TRUE(rig.link.abortRequested);
}

#ifndef _WIN32
// The design's message stays the first line; only a refusal by permission
// adds the Linux advice, naming the device's own group (dialout when the
// device is root's, which no membership opens).
TEST(SerialLinkTest, APortThePermissionsRefuseSaysWhichGroupOpensIt) {
    test::TempDir dir;
    const std::string uucpDevice = (dir / "ttyUSB0").string();
    const std::string rootDevice = (dir / "ttyS3").string();
    test::WriteFileBytes(uucpDevice, "");
    test::WriteFileBytes(rootDevice, "");
    const bool chowned = ::chown(uucpDevice.c_str(), static_cast<uid_t>(-1), 10) == 0 &&
                         ::chown(rootDevice.c_str(), static_cast<uid_t>(-1), 0) == 0;
    if (!chowned) GTEST_SKIP() << "needs root to give the devices their groups";
    const std::string user = ::getpwuid(::geteuid())->pw_name;
    const struct {
        std::string device;
        int error;
        std::string expected;
    } cases[] = {
        {uucpDevice, 0, "COM3のポートが開きません。!!"},
        {uucpDevice, EBUSY, "COM3のポートが開きません。!!"},
        {uucpDevice, ENOENT, "COM3のポートが開きません。!!"},
        {uucpDevice, EACCES,
         "COM3のポートが開きません。!!\n" + uucpDevice + " を開くにはグループ「uucp」に入る必要があります（sudo adduser " +
             user + " uucp）。その後、ログインし直してください。"},
        {rootDevice, EPERM,
         "COM3のポートが開きません。!!\n" + rootDevice + " を開くにはグループ「dialout」に入る必要があります（sudo adduser " +
             user + " dialout）。その後、ログインし直してください。"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PortOpenFailedMessage("COM3", c.device, c.error), c.expected) << c.error;
    }
}

#endif

}  // namespace
}  // namespace wexal
