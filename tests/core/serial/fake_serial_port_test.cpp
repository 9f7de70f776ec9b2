#include "support/fake_serial_port.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "serial/speed_text.h"

namespace wexal {
namespace {

using namespace std::chrono_literals;
using test::FakeClock;
using test::FakeSerialPort;

class FakeSerialPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(port_.Open("/dev/ttyFAKE0"));
        Configure("9600,8,N,1");
    }

    void Configure(const char* speedText, bool driverXonXoff = false) {
        LineSettings s = *port_.GetSettings();
        ApplyLineFormat(ParseSpeedText(speedText).format, s);
        s.outputXonXoff = driverXonXoff;
        s.discardNul = true;
        ASSERT_TRUE(port_.SetSettings(s));
    }

    FakeClock clock_;
    FakeSerialPort port_{clock_};
};

TEST_F(FakeSerialPortTest, OutputLeavesAtTheLineRateOfTheSettingsMade) {
    // 9600 baud, 10 bits a frame: 960 bytes a second.
    EXPECT_DOUBLE_EQ(port_.LineRateBytesPerSecond(), 960.0);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(port_.WriteByte('A'), IoStatus::Ok);
    EXPECT_EQ(port_.OutputQueued(), 100);
    EXPECT_EQ(port_.MaxOutputQueued(), 100);

    clock_.Advance(48 * port_.ByteTime());
    EXPECT_EQ(port_.OutputQueued(), 52);
    EXPECT_EQ(port_.GetQueueStatus().outputQueued, 52);

    clock_.Advance(1s);
    EXPECT_EQ(port_.OutputQueued(), 0);
    const auto& written = port_.Written();
    ASSERT_EQ(written.size(), 100u);
    EXPECT_EQ(written.front().onWireAt, port_.ByteTime());
    EXPECT_EQ(written.back().onWireAt, 100 * port_.ByteTime());
    EXPECT_EQ(written.back().queuedAfter, 100);

    Configure("2400,7,E,2");  // 11 bits a frame
    EXPECT_NEAR(port_.LineRateBytesPerSecond(), 2400.0 / 11.0, 1e-9);
}

TEST_F(FakeSerialPortTest, FullDriverQueueBlocksTheWriterUntilAByteLeaves) {
    port_.SetOutputCapacity(4);
    for (int i = 0; i < 5; ++i)
        ASSERT_EQ(port_.WriteByte(static_cast<std::uint8_t>('0' + i)), IoStatus::Ok);
    const auto& written = port_.Written();
    EXPECT_EQ(written[4].handedAt, written[0].onWireAt);
    EXPECT_EQ(port_.MaxOutputQueued(), 4);
    EXPECT_EQ(port_.WrittenBytes(), "01234");
}

TEST_F(FakeSerialPortTest, InputArrivesAtItsScriptedTime) {
    port_.ScriptInput(10ms, std::string("A\0B", 3));
    EXPECT_EQ(port_.ReadByteWithin(5).status, IoStatus::TimedOut);
    EXPECT_EQ(clock_.Now(), 5ms);

    const ReadResult a = port_.ReadByteWithin(1000);
    EXPECT_EQ(a.status, IoStatus::Ok);
    EXPECT_EQ(a.byte, 'A');
    EXPECT_EQ(clock_.Now(), 10ms);

    const ReadResult b = port_.ReadByteWithin(0);  // the NUL between is discarded
    EXPECT_EQ(b.byte, 'B');
    EXPECT_EQ(port_.ReadByteWithin(0).status, IoStatus::TimedOut);
    EXPECT_EQ(port_.ReadByteWithin(std::nullopt).status, IoStatus::Failed);
}

TEST_F(FakeSerialPortTest, ReadByteWaitsAsTheTimeoutRecordSays) {
    ASSERT_TRUE(port_.SetTimeouts({0, 0, 10, 0, 0}));
    EXPECT_EQ(port_.ReadByte().status, IoStatus::TimedOut);
    EXPECT_EQ(clock_.Now(), 10ms);
    ASSERT_TRUE(port_.SetTimeouts({Timeouts::kReturnAtOnce, 0, 0, 0, 0}));
    EXPECT_EQ(port_.ReadByte().status, IoStatus::TimedOut);
    EXPECT_EQ(clock_.Now(), 10ms);
}

TEST_F(FakeSerialPortTest, DriverXonXoffHoldsTheTransmitterAndSwallowsTheCharacters) {
    LineSettings s = *port_.GetSettings();
    s.outputXonXoff = true;
    s.xoffChar = kDc3WithParity;
    ASSERT_TRUE(port_.SetSettings(s));
    port_.ScriptInputByte(10ms, kDc3WithParity);
    port_.ScriptInputByte(100ms, kDc1);
    port_.ScriptInput(101ms, "%");
    for (int i = 0; i < 20; ++i) ASSERT_EQ(port_.WriteByte('X'), IoStatus::Ok);

    clock_.Advance(50ms);
    EXPECT_TRUE(port_.OutputHeld());
    const int heldQueue = port_.OutputQueued();
    clock_.Advance(40ms);
    EXPECT_EQ(port_.OutputQueued(), heldQueue);

    const ReadResult r = port_.ReadByteWithin(1000);
    EXPECT_EQ(r.byte, '%');
    EXPECT_FALSE(port_.OutputHeld());
    clock_.Advance(1s);
    EXPECT_EQ(port_.OutputQueued(), 0);
}

TEST_F(FakeSerialPortTest, ModemLinesFollowTheirScriptAndMayBeAbsent) {
    const ModemStatus allOn{.cts = true, .dsr = true, .ring = false, .rlsd = true};
    const ModemStatus carrierLost{.cts = true, .dsr = true, .ring = false, .rlsd = false};
    EXPECT_EQ(port_.GetModemStatus(), allOn);
    port_.ScheduleModemStatus(20ms, carrierLost);
    port_.ScheduleModemStatus(30ms, std::nullopt);
    clock_.Advance(19ms);
    EXPECT_EQ(port_.GetModemStatus(), allOn);
    clock_.Advance(1ms);
    EXPECT_EQ(port_.GetModemStatus(), carrierLost);
    clock_.Advance(10ms);
    EXPECT_EQ(port_.GetModemStatus(), std::nullopt);
    EXPECT_EQ(port_.ModemQueries(), 4);
}

TEST_F(FakeSerialPortTest, LostLineEndsReadsWritesAndQueueQueries) {
    port_.LoseLineAt(30ms);
    EXPECT_EQ(port_.WriteByte('A'), IoStatus::Ok);
    EXPECT_EQ(port_.ReadByteWithin(1000).status, IoStatus::LineLost);
    EXPECT_EQ(clock_.Now(), 30ms);
    EXPECT_EQ(port_.WriteByte('B'), IoStatus::LineLost);
    EXPECT_EQ(port_.GetQueueStatus().status, IoStatus::LineLost);
    EXPECT_EQ(port_.GetModemStatus(), std::nullopt);
    EXPECT_EQ(port_.WrittenBytes(), "A");
}

TEST_F(FakeSerialPortTest, EverySettingMadeIsRecordedAndFailuresCanBeScripted) {
    ASSERT_TRUE(port_.SetTimeouts({0, 0, 1000, 0, 1000}));
    ASSERT_TRUE(port_.SetQueueSizes(4096, 4096));
    ASSERT_TRUE(port_.Purge(PurgeQueues::Both));
    Configure("9600,7,O,1");

    EXPECT_EQ(port_.Opened(), std::vector<std::string>{"/dev/ttyFAKE0"});
    ASSERT_EQ(port_.SettingsWritten().size(), 2u);
    EXPECT_EQ(port_.SettingsWritten().back().dataBits, 7);
    EXPECT_EQ(port_.SettingsWritten().back().parity, Parity::Odd);
    EXPECT_EQ(port_.TimeoutsWritten().back().readTotalConstantMs, 1000u);
    EXPECT_EQ(port_.QueueSizesRequested().back(), std::make_pair(4096, 4096));
    EXPECT_EQ(port_.Purges().back(), PurgeQueues::Both);

    const struct {
        FakeSerialPort::Call call;
        bool (*fails)(FakeSerialPort&);
    } cases[] = {
        {FakeSerialPort::Call::GetSettings, [](FakeSerialPort& p) { return !p.GetSettings(); }},
        {FakeSerialPort::Call::SetSettings,
         [](FakeSerialPort& p) { return !p.SetSettings(LineSettings{}); }},
        {FakeSerialPort::Call::SetTimeouts, [](FakeSerialPort& p) { return !p.SetTimeouts({}); }},
        {FakeSerialPort::Call::SetQueueSizes,
         [](FakeSerialPort& p) { return !p.SetQueueSizes(1, 1); }},
        {FakeSerialPort::Call::Purge,
         [](FakeSerialPort& p) { return !p.Purge(PurgeQueues::Input); }},
        {FakeSerialPort::Call::Write,
         [](FakeSerialPort& p) { return p.WriteByte('A') == IoStatus::Failed; }},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(c.fails(port_));
        port_.SetFailing(c.call, true);
        EXPECT_TRUE(c.fails(port_));
        port_.SetFailing(c.call, false);
    }

    port_.Close();
    EXPECT_EQ(port_.CloseCount(), 1);
    EXPECT_EQ(port_.WriteByte('A'), IoStatus::Failed);
    port_.SetFailing(FakeSerialPort::Call::Open, true);
    EXPECT_FALSE(port_.Open("/dev/ttyFAKE0"));
    EXPECT_FALSE(port_.IsOpen());
}

TEST(FakeSerialPortCostTest, CallsCostTheirTimeOnAVirtualClock) {
    FakeClock clock;
    FakeSerialPort port(clock);
    port.SetCallCost(2us);
    ASSERT_TRUE(port.Open("x"));
    port.GetQueueStatus();
    port.GetModemStatus();
    EXPECT_EQ(clock.Now(), 6us);
}

TEST(FakeSerialPortCostTest, RealClockWaitsRealTime) {
    FakeClock clock(FakeClock::Mode::Real);
    FakeSerialPort port(clock);
    ASSERT_TRUE(port.Open("x"));
    port.ScriptInput(clock.Now() + 20ms, "Q");
    const auto start = std::chrono::steady_clock::now();
    const ReadResult r = port.ReadByteWithin(1000);
    EXPECT_EQ(r.byte, 'Q');
    EXPECT_GE(std::chrono::steady_clock::now() - start, 19ms);
}

}  // namespace
}  // namespace wexal
