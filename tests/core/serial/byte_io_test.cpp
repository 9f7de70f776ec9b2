#include "serial/byte_io.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "support/link_fixture.h"
#include "support/scripted_messages.h"

namespace wexal {
namespace {

using namespace std::chrono_literals;
using test::FakeSerialPort;
using test::LinkRig;
using test::ScriptedMessages;
using Duration = std::chrono::nanoseconds;

struct Rig : ScriptedMessages, LinkRig {
    Rig() : LinkRig(static_cast<ScriptedMessages&>(*this)) {}
    void Send(std::string_view text) {
        for (const char c : text) {
            SendChar(link, static_cast<std::uint8_t>(c));
            if (link.abortRequested) return;
        }
    }
};

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (const int v : values) s.push_back(static_cast<char>(v));
    return s;
}

TEST(ByteIoTest, CharactersGoOutInTheCodeInForce) {
    struct Row {
        const char* speed;
        TapeCode code;
        const char* text;
        std::string wire;
        int counted;
    };
    const Row rows[] = {
        // The tenth byte polls the input and starts the count again.
        {"4800,8,N,2", TapeCode::Iso, "M30", Bytes({0x4D, 0x33, 0x30}), 3},
        {"4800,8,N,2", TapeCode::Iso, "O1%\n", Bytes({0xCF, 0xB1, 0xA5, 0x0A}), 4},
        {"4800,8,N,2", TapeCode::Eia, "o100", Bytes({0x01, 0x20, 0x20}), 3},
        {"4800,8,N,2", TapeCode::Eia, "N10G01X-1.5;",
         Bytes({0x45, 0x01, 0x20, 0x67, 0x20, 0x01, 0x37, 0x40, 0x01, 0x6B, 0x15}), 1},
        {"4800,8,N,2", TapeCode::Ascii, "O1", "O1", 2},
        {"4800,8,N,2", TapeCode::Unknown, "O1", "O1", 2},
        {"4800,7,E,2", TapeCode::Iso, "O1", "O1", 2},
        {"4800,7,E,2", TapeCode::Eia, "o1", "o1", 2},
    };
    for (const Row& row : rows) {
        Rig rig;
        rig.settings.Speed = row.speed;
        ASSERT_TRUE(rig.OpenForSend(row.code));
        rig.Send(row.text);
        EXPECT_EQ(rig.port.WrittenBytes(), row.wire) << row.text;
        EXPECT_EQ(rig.link.bytesSinceCheck, row.counted) << row.text;
        EXPECT_FALSE(rig.link.abortRequested) << row.text;
    }
}

TEST(ByteIoTest, FilteredSpacesAreNeitherWrittenNorCounted) {
    Rig rig;
    rig.settings.Send_SP_Cut = "Y";
    ASSERT_TRUE(rig.OpenForSend(TapeCode::Ascii));
    rig.Send("G0 X1");
    EXPECT_EQ(rig.port.WrittenBytes(), "G0X1");
    EXPECT_EQ(rig.link.bytesSinceCheck, 4);
}

TEST(ByteIoTest, ReadCharDecodesAndFollowsFlowControl) {
    struct Row {
        TapeCode code;
        int byte;
        int returned;
        std::optional<bool> canSendAfter;  // nullopt: unchanged
    };
    const Row rows[] = {
        {TapeCode::Iso, 0x11, 0x11, true},    {TapeCode::Iso, 0x13, 0x13, false},
        {TapeCode::Ascii, 0x13, 0x13, false}, {TapeCode::Eia, 0x13, '3', std::nullopt},
        {TapeCode::Eia, 0x93, 0x13, false},   {TapeCode::Iso, 0x93, 0x13, false},
        {TapeCode::Iso, 0xA5, '%', std::nullopt}, {TapeCode::Eia, 0x46, 'O', std::nullopt},
        {TapeCode::Eia, 0x7F, 0, std::nullopt},   {TapeCode::Eia, 0x14, 0x14, std::nullopt},
        {TapeCode::Iso, 0x00, 0x00, std::nullopt}, {TapeCode::Ascii, 0xB1, 0xB1, std::nullopt},
    };
    for (const Row& row : rows) {
        for (const bool before : {true, false}) {
            Rig rig;
            ASSERT_TRUE(rig.OpenForSend(row.code));
            rig.link.canSend = before;
            rig.port.ScriptInputByte(0ns, static_cast<std::uint8_t>(row.byte));
            EXPECT_EQ(ReadChar(rig.link), row.returned) << std::hex << row.byte;
            EXPECT_EQ(rig.link.canSend, row.canSendAfter.value_or(before)) << std::hex << row.byte;
        }
    }
}

TEST(ByteIoTest, TheFirstDataByteDecidesTheCode) {
    // The driver takes the DC1 (its XON/XOFF on output) and drops the NUL.
    const std::pair<std::string, std::string> rows[] = {
        {Bytes({0x11, 0x00, 0x0B, 0x13}), "%3"},                  // EIA
        {Bytes({0x11, 0x00, 0xA5, 0x12}), Bytes({'%', 0x12})},  // ISO
    };
    for (const auto& [input, decoded] : rows) {
        Rig rig;
        ASSERT_TRUE(OpenPort(rig.link, TransferMode::Receive));
        rig.port.ScriptInput(0ns, input);
        std::string got;
        for (std::size_t i = 0; i < input.size(); ++i) {
            if (const std::uint8_t c = ReadChar(rig.link); c != 0) got.push_back(static_cast<char>(c));
        }
        EXPECT_EQ(got, decoded);
    }
}

// A long send at `baud` with the NC's XOFF at 200 ms and its XON at 700 ms.
struct HoldRun {
    int handedAfterXoff = 0;   // bytes handed to the driver after the XOFF arrived
    int handedWhileHeld = 0;   // of those, bytes handed after the tenth
    Duration firstAfterXon{};  // first byte handed after the XON
    bool finished = false;
};

HoldRun RunWithHold(TapeCode code, std::uint8_t xoff, int baud) {
    Rig rig;
    rig.settings.Speed = std::to_string(baud) + ",8,N,1";
    EXPECT_TRUE(rig.OpenForSend(code));
    rig.port.ScriptInputByte(200ms, xoff);
    rig.port.ScriptInputByte(700ms, 0x11);
    const std::string text(2000, 'X');
    rig.Send(text);
    HoldRun run;
    run.finished = !rig.link.abortRequested && rig.port.Written().size() == text.size();
    run.firstAfterXon = Duration::max();
    for (const auto& w : rig.port.Written()) {
        if (w.handedAt >= 200ms && w.handedAt < 700ms) ++run.handedAfterXoff;
        if (w.handedAt >= 700ms) run.firstAfterXon = std::min(run.firstAfterXon, w.handedAt);
    }
    run.handedWhileHeld = std::max(0, run.handedAfterXoff - 10);
    return run;
}

TEST(ByteIoTest, XoffHoldsTheWriterInIsoAndAsciiButIsTheDigitThreeInEia) {
    const std::tuple<TapeCode, std::uint8_t, bool> rows[] = {
        {TapeCode::Iso, 0x93, true},  {TapeCode::Ascii, 0x13, true}, {TapeCode::Ascii, 0x93, true},
        {TapeCode::Eia, 0x93, true},  {TapeCode::Eia, 0x13, false},
    };
    for (const auto& [code, xoff, holds] : rows) {
        const HoldRun run = RunWithHold(code, xoff, 9600);
        EXPECT_TRUE(run.finished) << std::hex << int(xoff);
        if (holds) {
            EXPECT_LE(run.handedAfterXoff, 10) << std::hex << int(xoff);
            EXPECT_LT(run.firstAfterXon, 700ms + 20ms) << std::hex << int(xoff);
        } else {
            // 500 ms at 960 bytes a second: the output never stopped.
            EXPECT_GT(run.handedAfterXoff, 400) << std::hex << int(xoff);
        }
    }
}

TEST(ByteIoTest, EscDuringXoffEndsTheWaitAtOnceWithNothingWritten) {
    Rig rig;
    ASSERT_TRUE(rig.OpenForSend(TapeCode::Iso));
    rig.port.ScriptInputByte(100ms, 0x93);
    rig.host.HoldAbortKey(1s, 1s + 50ms);
    rig.Send(std::string(5000, 'X'));
    ASSERT_TRUE(rig.link.abortRequested);
    EXPECT_EQ(rig.host.releases, 1);
    EXPECT_LT(rig.clock.Now(), 1s + 20ms);
    std::size_t handedLate = 0;
    for (const auto& w : rig.port.Written()) handedLate += w.handedAt >= 100ms + 20ms ? 1 : 0;
    EXPECT_EQ(handedLate, 0u);
    EXPECT_TRUE(rig.shown().empty());
}

TEST(ByteIoTest, CarrierAndDsrRulesByModeAndOption) {
    struct Row {
        TransferMode mode;
        const char* signal;
        const char* op6;
        bool rlsd;
        bool dsr;
        bool aborts;
    };
    const Row rows[] = {
        {TransferMode::Send, "Y", "N", false, true, true},
        {TransferMode::Send, "N", "N", false, true, false},
        {TransferMode::Receive, "Y", "N", false, true, false},
        {TransferMode::Send, "N", "Y", true, false, true},
        {TransferMode::Receive, "N", "Y", true, false, true},
        {TransferMode::Send, "N", "N", true, false, false},
        {TransferMode::Send, "Y", "Y", true, true, false},
    };
    for (const Row& row : rows) {
        Rig rig;
        rig.settings.Signal = row.signal;
        rig.settings.op6 = row.op6;
        ASSERT_TRUE(OpenPort(rig.link, row.mode));
        rig.link.isoCode = rig.link.eiaCode = true;
        rig.port.SetModemStatus(ModemStatus{.cts = false, .dsr = row.dsr, .ring = false, .rlsd = row.rlsd});
        SendChar(rig.link, 'A');
        EXPECT_EQ(rig.link.abortRequested, row.aborts) << row.signal << row.op6;
        EXPECT_EQ(rig.port.WrittenBytes(), "A");  // the byte of the call goes out all the same
        EXPECT_EQ(rig.host.dsrLamp, row.dsr);
        EXPECT_EQ(rig.host.ctsLamp, false);
    }
}

TEST(ByteIoTest, ALineDroppedDuringASendEndsItWithinTenBytes) {
    const std::tuple<const char*, const char*, ModemStatus> rows[] = {
        {"Y", "N", ModemStatus{.cts = true, .dsr = true, .ring = false, .rlsd = false}},
        {"N", "Y", ModemStatus{.cts = true, .dsr = false, .ring = false, .rlsd = true}},
    };
    for (const auto& [signal, op6, dropped] : rows) {
        Rig rig;
        rig.settings.Speed = "9600,8,N,1";
        rig.settings.Signal = signal;
        rig.settings.op6 = op6;
        rig.port.SetModemStatus(ModemStatus{.cts = true, .dsr = true, .ring = false, .rlsd = true});
        rig.port.ScheduleModemStatus(200ms, dropped);
        ASSERT_TRUE(rig.OpenForSend(TapeCode::Iso));
        rig.Send(std::string(2000, 'X'));
        EXPECT_TRUE(rig.link.abortRequested) << signal << op6;
        std::size_t handedLate = 0;
        for (const auto& w : rig.port.Written()) handedLate += w.handedAt >= 200ms ? 1 : 0;
        EXPECT_LE(handedLate, 10u) << signal << op6;
        EXPECT_EQ(rig.host.dsrLamp, dropped.dsr) << signal << op6;
    }
}

TEST(ByteIoTest, WithoutModemLinesTheLampsStayAndDsrIsNotTakenAsOff) {
    Rig rig;
    rig.settings.op6 = "Y";
    rig.port.SetModemStatus(std::nullopt);
    ASSERT_TRUE(rig.OpenForSend(TapeCode::Iso));
    SendChar(rig.link, 'A');
    EXPECT_FALSE(rig.link.abortRequested);
    EXPECT_FALSE(rig.host.dsrLamp.has_value());
    EXPECT_FALSE(rig.host.ctsLamp.has_value());
}

TEST(ByteIoTest, TheDriverQueueNeverHoldsMoreThan258Bytes) {
    Rig rig;
    rig.settings.Speed = "1200,8,N,1";
    ASSERT_TRUE(rig.OpenForSend(TapeCode::Ascii));
    rig.Send(std::string(1000, 'X'));
    EXPECT_EQ(rig.port.Written().size(), 1000u);
    EXPECT_EQ(rig.port.MaxOutputQueued(), 258);
    // The wait sleeps a byte time at a time (1200 baud, 10 bits: 8334 us).
    ASSERT_FALSE(rig.host.sleeps.empty());
    for (const auto& s : rig.host.sleeps) EXPECT_EQ(s.length, 8334us);
}

TEST(ByteIoTest, AVanishedLineEndsTheTransferOnceAndSaysSo) {
    struct Row {
        const char* name;
        Duration lostAt;
        bool xoffFirst;
        bool reading;
    };
    const Row rows[] = {
        {"while sending", 300ms, false, false},
        {"while held by XOFF", 300ms, true, false},
        {"while reading", 300ms, false, true},
    };
    for (const Row& row : rows) {
        Rig rig;
        ASSERT_TRUE(rig.OpenForSend(TapeCode::Iso));
        rig.port.LoseLineAt(row.lostAt);
        if (row.xoffFirst) rig.port.ScriptInputByte(100ms, 0x93);
        if (row.reading) {
            ASSERT_TRUE(OpenPort(rig.link, TransferMode::Receive));
            rig.port.LoseLineAt(rig.clock.Now() + row.lostAt);
            for (int i = 0; i < 5 && !rig.link.abortRequested; ++i) EXPECT_EQ(ReadChar(rig.link), 0);
        } else {
            rig.Send(std::string(100000, 'X'));
        }
        EXPECT_TRUE(rig.link.abortRequested) << row.name;
        EXPECT_TRUE(rig.link.lineLost) << row.name;
        EXPECT_LT(rig.clock.Now(), (row.reading ? 2000ms : 300ms) + 1s) << row.name;
        // The engines' DC4 on the way out goes nowhere and says nothing more.
        rig.link.abortRequested = false;
        rig.link.canSend = true;
        SendChar(rig.link, 0x14);
        EXPECT_EQ(ReadChar(rig.link), 0);
        EXPECT_TRUE(rig.link.abortRequested) << row.name;
        ASSERT_EQ(rig.shown().size(), 1u) << row.name;
        EXPECT_EQ(rig.shown()[0].text, kLineLostMessage);
        EXPECT_EQ(rig.shown()[0].icon, MessageIcon::Error);
    }
}

TEST(ByteIoTest, AFailedWriteIsNotTakenAsSent) {
    Rig rig;
    ASSERT_TRUE(rig.OpenForSend(TapeCode::Iso));
    rig.Send("G0");
    rig.port.SetFailing(FakeSerialPort::Call::Write, true);
    rig.Send("X1");
    EXPECT_TRUE(rig.link.abortRequested);
    EXPECT_FALSE(rig.link.lineLost);
    EXPECT_EQ(rig.link.bytesSinceCheck, 2);
    ASSERT_EQ(rig.shown().size(), 1u);
    EXPECT_EQ(rig.shown()[0].text, kWriteFailedMessage);
}

TEST(ByteIoTest, ReleaseAbortKeysForgetsTheKey) {
    Rig rig;
    ASSERT_TRUE(rig.OpenForSend(TapeCode::Iso));
    rig.host.HoldAbortKey(0ns);
    SendChar(rig.link, 'A');
    EXPECT_TRUE(rig.link.abortRequested);
    EXPECT_TRUE(rig.port.WrittenBytes().empty());
    rig.link.abortRequested = false;
    SendChar(rig.link, 0x14);  // the engine's DC4 after the key
    EXPECT_FALSE(rig.link.abortRequested);
    EXPECT_EQ(rig.port.WrittenBytes(), "\x14");
}

}  // namespace
}  // namespace wexal
