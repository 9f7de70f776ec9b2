#include "serial/receive_engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/text_codec.h"
#include "serial/tape_code.h"
#include "support/fake_receive_panel.h"
#include "support/link_fixture.h"
#include "support/scripted_messages.h"
#include "support/test_env.h"

namespace wexal {
namespace {

using namespace std::chrono_literals;
using test::FakeReceivePanel;
using test::LinkRig;
using test::ScriptedMessages;
using test::TempDir;
namespace fs = std::filesystem;

constexpr std::time_t kNow = 1136511708;  // 2006-01-06, any fixed time

// Lines as a file written with CR LF holds them.
std::string CrLf(std::initializer_list<const char*> lines) {
    std::string bytes;
    for (const char* line : lines) bytes += std::string(line) + "\r\n";
    return bytes;
}

struct Rig : ScriptedMessages, LinkRig {
    Rig() : LinkRig(static_cast<ScriptedMessages&>(*this)), log(dir / "Wexal.log") {
        folder = (dir / "nc").string();
        fs::create_directory(folder);
        settings.DirPath = folder;
        settings.Signal = "N";
        settings.R_Code = 3;  // ASCII: test input as it reads
        settings.StartChar = "Y";
        settings.EndChar = "Y";
        settings.Add_No = "N";
        port.SetModemStatus(ModemStatus{true, true, false, true});
        env.link = &link;
        env.panel = &panel;
        env.log = &log;
        env.now = [] { return kNow; };
    }

    ReceiveResult Named(const std::string& name = "IN.NC") {
        ReceiveRequest request;
        request.named = true;
        request.target = (fs::path(folder) / name).string();
        request.displayName = name;
        return ReceiveFile(request, env);
    }
    ReceiveResult Automatic() { return ReceiveFile(ReceiveRequest{}, env); }

    std::string File(const std::string& name) const {
        return test::ReadFileBytes(fs::path(folder) / name);
    }
    std::map<std::string, std::string> Files() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::directory_iterator(folder)) {
            files[entry.path().filename().string()] = test::ReadFileBytes(entry.path());
        }
        return files;
    }
    std::string Log() const {
        return Cp932ToUtf8Lossy(test::ReadFileBytes(log.file()));
    }
    std::vector<std::string> Told() const {
        std::vector<std::string> texts;
        for (const auto& box : shown()) texts.push_back(box.text);
        return texts;
    }

    TempDir dir;
    std::string folder;
    FakeReceivePanel panel;
    TransferLog log;
    ReceiveEnvironment env;
};

std::string Entry(TransferLog::Outcome outcome, const std::string& file) {
    return TransferLog::Entry(TransferLog::Direction::Receive, outcome, kNow, file);
}

TEST(ReceiveEngineTest, SessionsBecomeTheExpectedLines) {
    struct Row {
        const char* name;
        std::function<void(Settings&)> setup;
        std::string input;
        std::string saved;  // in IN.NC
        std::vector<std::string> programLines;
    };
    const auto none = [](Settings&) {};
    const Row rows[] = {
        {"tape with both percents", none, "%\nO1234(TEST)\nG01X1.\n%\n",
         CrLf({"%", "O1234(TEST)", "G01 X1.", "%"}), {"O1234(TEST)"}},
        {"CR LF from the NC", none, "%\r\nO1\r\nG0\r\n%\r\n", CrLf({"%", "O1", "G0", "%"}), {"O1"}},
        {"first line %O100", none, "%O100\nG0\n%\n", CrLf({"%", "O100", "G0", "%"}), {"O100"}},
        {"O/:-Change Y", [](Settings& s) { s.OColonChange = "Y"; },
         "%\n:100\nO100\nL20\n%\n", CrLf({"%", ":100", ":100", "L20", "%"}),
         {":100", ":100", "L20"}},
        {"O/:-Change N", none, "%\n:100\nO100\nL20\n%\n", CrLf({"%", "O100", "O100", "L20", "%"}),
         {"O100", "O100", "L20"}},
        {"lower case dropped", none, "%\ng01x1.\n%\n", CrLf({"%", "011.", "%"}), {}},
        {"&HE: line not kept", none, "%\nO1\nX&HE:1\nG0\n%\n", CrLf({"%", "O1", "G0", "%"}), {"O1"}},
        {"O continued by 1234", none, "%\nO\n1234\nG0\n%\n", CrLf({"%", "O1234", "G0", "%"}),
         {"O", "O1234"}},
        {"DC4 keeps the unfinished line", none, "%\nO1\nG0\nX5\x14",
         CrLf({"%", "O1", "G0", "X5", "%"}), {"O1"}},
        {"no marks", [](Settings& s) { s.StartChar = "N"; s.EndChar = "N"; },
         "%\nO1\nG0\n%\n", CrLf({"O1", "G0"}), {"O1"}},
        {"spaces cut", [](Settings& s) { s.Read_SP_Cut = "Y"; }, "%\nG01 X1. (A B)\n%\n",
         CrLf({"%", "G01X1.(A B)", "%"}), {}},
        {"end mark line kept", none, "%\nO1\nM30%\n", CrLf({"%", "O1", "M30 ", "%"}), {"O1"}},
    };
    for (const Row& row : rows) {
        Rig rig;
        row.setup(rig.settings);
        rig.port.ScriptInput(1ms, row.input);
        const ReceiveResult result = rig.Named();
        EXPECT_EQ(result.end, ReceiveEnd::Completed) << row.name;
        EXPECT_EQ(rig.File("IN.NC"), row.saved) << row.name;
        EXPECT_EQ(rig.panel.programLines, row.programLines) << row.name;
        EXPECT_EQ(rig.port.WrittenBytes(), "\x14") << row.name;
    }
}

TEST(ReceiveEngineTest, CompletionShowsLogsAndRestoresTheWindow) {
    Rig rig;
    rig.settings.Read_SP_Cut = "N";
    rig.port.ScriptInput(1ms, "%\nO1234(TEST)\nG01X1.\n%\n");
    const ReceiveResult result = rig.Automatic();
    ASSERT_EQ(result.end, ReceiveEnd::Completed);
    EXPECT_EQ(rig.Files(), (std::map<std::string, std::string>{
                               {"O1234.NC", CrLf({"%", "O1234(TEST)", "G01 X1.", "%"})}}));
    const std::string target = (fs::path(rig.folder) / "O1234.NC").string();
    EXPECT_EQ(rig.Log(), Cp932ToUtf8Lossy(TransferLog::Header()) +
                             Entry(TransferLog::Outcome::Completed, target).insert(
                                 Entry(TransferLog::Outcome::Completed, target).size() - 1, "\r"));
    EXPECT_EQ(rig.host.messageLine, kReceiveCompletedMessage);
    EXPECT_EQ(rig.host.messageColour, MessageLineColour::Lime);
    EXPECT_EQ(rig.host.statusPanels[3], kReceiveCompleted);
    EXPECT_EQ(rig.host.statusPanels[0], "");
    EXPECT_FALSE(rig.panel.shown);
    EXPECT_TRUE(rig.panel.fileListEnabled);
    EXPECT_EQ(rig.panel.timerMs, 3000);
    EXPECT_TRUE(rig.panel.refreshPending);
    // DC4, then the 3000 ms wait, then the close.
    ASSERT_EQ(rig.host.sleeps.size(), 1u);
    EXPECT_EQ(rig.host.sleeps[0].length, 3000ms);
    EXPECT_EQ(rig.port.CloseCount(), 1);
    EXPECT_EQ(rig.panel.closes, 0);
}

TEST(ReceiveEngineTest, ExitAfterTransferClosesTheWindowAndAsksForPowerOff) {
    for (const char* powerOff : {"Y", "N"}) {
        Rig rig;
        rig.settings.Power_Off = powerOff;
        int shutdowns = 0;
        rig.env.shutDownPC = [&] { ++shutdowns; };
        rig.port.ScriptInput(1ms, "%\nO1\n%\n");
        ReceiveRequest request;
        request.exitAfterTransfer = true;
        const ReceiveResult result = ReceiveFile(request, rig.env);
        EXPECT_TRUE(result.windowCloses);
        EXPECT_EQ(rig.panel.closes, 1);
        EXPECT_EQ(shutdowns, std::string(powerOff) == "Y" ? 1 : 0);
    }
}

TEST(ReceiveEngineTest, APercentAloneDoesNotEndTheReceive) {
    Rig rig;
    rig.port.ScriptInput(1ms, "%\nO1\nG0\n%");
    rig.port.ScriptInput(10s, "X");
    ASSERT_EQ(rig.Named().end, ReceiveEnd::Completed);
    EXPECT_EQ(rig.File("IN.NC"), CrLf({"%", "O1", "G0", "%"}));
    ASSERT_FALSE(rig.port.Written().empty());
    EXPECT_GE(rig.port.Written()[0].handedAt, 10s);
}

TEST(ReceiveEngineTest, SignalYGatesTheStartOnCarrier) {
    Rig rig;
    rig.settings.Signal = "Y";
    rig.port.SetModemStatus(ModemStatus{true, true, false, false});
    rig.port.ScriptInput(1ms, "%\nO1\nG1\n");
    rig.port.ScheduleModemStatus(5s, ModemStatus{true, true, false, true});
    rig.port.ScriptInput(6s, "%\nO2\nG2\n%\n");
    ASSERT_EQ(rig.Named().end, ReceiveEnd::Completed);
    EXPECT_EQ(rig.File("IN.NC"), CrLf({"%", "O2", "G2", "%"}));
}

TEST(ReceiveEngineTest, EiaIsDetectedFromItsPercent) {
    Rig rig;
    rig.settings.R_Code = 0;
    std::string tape;
    for (const char c : std::string("%\nO1\nG01X-1.\n%\n")) {
        tape += static_cast<char>(*EiaEncode(static_cast<std::uint8_t>(c)));
    }
    ASSERT_EQ(static_cast<std::uint8_t>(tape[0]), 0x0B);
    rig.port.ScriptInput(1ms, tape);
    ASSERT_EQ(rig.Named().end, ReceiveEnd::Completed);
    EXPECT_EQ(rig.File("IN.NC"), CrLf({"%", "O1", "G01 X-1.", "%"}));
    EXPECT_TRUE(rig.link.eiaCode);
    EXPECT_FALSE(rig.link.isoCode);
}

TEST(ReceiveEngineTest, BytesBeforeTheStartLetTheCodeBeDecidedAgain) {
    Rig rig;
    rig.settings.R_Code = 0;
    // 0x31 ("1" in ISO, odd bits: taken for EIA) starts nothing; the ISO "%" then decides.
    std::string tape = "\x31";
    for (const char c : std::string("%\nO1\n%\n")) tape += static_cast<char>(IsoEncode(c));
    rig.port.ScriptInput(1ms, tape);
    ASSERT_EQ(rig.Named().end, ReceiveEnd::Completed);
    EXPECT_EQ(rig.File("IN.NC"), CrLf({"%", "O1", "%"}));
    EXPECT_TRUE(rig.link.isoCode);
    EXPECT_FALSE(rig.link.eiaCode);
}

TEST(ReceiveEngineTest, LongProgramsAreWrittenInBatchesOfAThousandLines) {
    Rig rig;
    std::string input = "%\n";
    for (int i = 0; i < 2500; ++i) input += "G" + std::to_string(i) + "\n";
    rig.port.ScriptInput(1ms, input + "%\n");
    // What the file holds while the receive still runs.
    std::vector<std::size_t> seen;
    rig.host.OnEvents([&] {
        const std::string bytes = rig.File("IN.NC");
        const std::size_t lines = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
        if (lines > 0 && (seen.empty() || seen.back() != lines)) seen.push_back(lines);
    });
    ASSERT_EQ(rig.Named().end, ReceiveEnd::Completed);
    EXPECT_EQ(seen, (std::vector<std::size_t>{1001, 2001, 2502}));  // the last one at completion
    const std::string saved = rig.File("IN.NC");
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 2502);
    EXPECT_LE(rig.panel.mostLines, 1001u);
}

TEST(ReceiveEngineTest, SuppressedLinesCountTowardsTheBatch) {
    Rig rig;
    std::string input = "%\n";
    for (int i = 0; i < 999; ++i) input += "G0\n";
    rig.port.ScriptInput(1ms, input + "X&HE:\nM1\nM2\n%\n");
    std::size_t firstWrite = 0;
    rig.host.OnEvents([&] {
        const std::string bytes = rig.File("IN.NC");
        if (firstWrite == 0 && !bytes.empty()) {
            firstWrite = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
        }
    });
    ASSERT_EQ(rig.Named().end, ReceiveEnd::Completed);
    EXPECT_EQ(firstWrite, 1000u);  // "%" and 999 lines: the 1000th was the &HE: line
}

TEST(ReceiveEngineTest, EndsOfAReceiveByTheOperatorAndTheLine) {
    enum class End { Completed, Aborted };
    struct Row {
        const char* name;
        std::function<void(Rig&)> setup;
        bool named;
        End end;
        std::map<std::string, std::string> files;
    };
    const Row rows[] = {
        {"Esc while waiting deletes the named target",
         [](Rig& r) { r.host.HoldAbortKey(2s, 3s); }, true, End::Aborted, {}},
        {"Esc while receiving deletes it",
         [](Rig& r) {
             r.port.ScriptInput(1ms, "%\nO1\nG0\n");
             r.host.HoldAbortKey(5s, 6s);
         },
         true, End::Aborted, {}},
        {"Esc with op5 keeps what arrived",
         [](Rig& r) {
             r.settings.op5 = "Y";
             r.port.ScriptInput(1ms, "%\nO1\nG0\nX1");
             r.host.HoldAbortKey(5s, 6s);
         },
         true, End::Completed, {{"IN.NC", CrLf({"%", "O1", "G0"})}}},
        {"DSR lost with op6 completes",
         [](Rig& r) {
             r.settings.op6 = "Y";
             r.port.ScriptInput(1ms, "%\nO1\nG0\nX1");
             r.port.ScheduleModemStatus(5s, ModemStatus{true, false, false, true});
         },
         true, End::Completed, {{"IN.NC", CrLf({"%", "O1", "G0", "X1", "%"})}}},
        {"DSR lost after a line feed keeps the empty line",
         [](Rig& r) {
             r.settings.op6 = "Y";
             r.port.ScriptInput(1ms, "%\nO1\nG0\n");
             r.port.ScheduleModemStatus(5s, ModemStatus{true, false, false, true});
         },
         true, End::Completed, {{"IN.NC", CrLf({"%", "O1", "G0", "", "%"})}}},
        {"DSR lost without op6 goes on",
         [](Rig& r) {
             r.port.ScriptInput(1ms, "%\nO1\n");
             r.port.ScheduleModemStatus(5s, ModemStatus{true, false, false, true});
             r.port.ScriptInput(8s, "G0\n%\n");
         },
         true, End::Completed, {{"IN.NC", CrLf({"%", "O1", "G0", "%"})}}},
        {"Esc in automatic naming deletes only the unfinished program",
         [](Rig& r) {
             r.port.ScriptInput(1ms, "%\nO1\nG1\nO2\nG2\n");
             r.host.HoldAbortKey(5s, 6s);
         },
         false, End::Aborted, {{"O1.NC", CrLf({"%", "O1", "G1", "%"})}}},
        {"the line lost with op5 keeps what arrived",
         [](Rig& r) {
             r.settings.op5 = "Y";
             r.port.ScriptInput(1ms, "%\nO1\nG0\n");
             r.port.LoseLineAt(5s);
         },
         true, End::Completed, {{"IN.NC", CrLf({"%", "O1", "G0"})}}},
        {"the line lost without op5 aborts",
         [](Rig& r) {
             r.port.ScriptInput(1ms, "%\nO1\nG0\n");
             r.port.LoseLineAt(5s);
         },
         true, End::Aborted, {}},
        {"the window closing ends the receive first",
         [](Rig& r) {
             r.port.ScriptInput(1ms, "%\nO1\nG0\n");
             r.host.OnEvents([&r] { r.panel.closeRequested = r.clock.Now() >= 5s; });
         },
         true, End::Aborted, {}},
    };
    for (const Row& row : rows) {
        Rig rig;
        row.setup(rig);
        const ReceiveResult result = row.named ? rig.Named() : rig.Automatic();
        const bool completed = row.end == End::Completed;
        EXPECT_EQ(result.end, completed ? ReceiveEnd::Completed : ReceiveEnd::Aborted) << row.name;
        EXPECT_EQ(rig.Files(), row.files) << row.name;
        EXPECT_NE(rig.Log().find(completed ? "受信\u3000\u3000完了\u3000" : "受信\u3000\u3000中止\u3000"),
                  std::string::npos)
            << row.name;
        EXPECT_EQ(rig.host.messageLine, completed ? kReceiveCompletedMessage : kReceiveAbortedMessage)
            << row.name;
        EXPECT_EQ(rig.host.messageColour, completed ? MessageLineColour::Lime : MessageLineColour::Red)
            << row.name;
        EXPECT_EQ(rig.panel.timerMs, completed ? 3000 : 1000) << row.name;
        EXPECT_TRUE(rig.panel.fileListEnabled) << row.name;
        EXPECT_FALSE(rig.port.IsOpen()) << row.name;
    }
}

TEST(ReceiveEngineTest, ALostLineEndsWithinASecondAndSaysSo) {
    for (const char* op5 : {"Y", "N"}) {
        Rig rig;
        rig.settings.op5 = op5;
        rig.port.ScriptInput(1ms, "%\nO1\nG0\n");
        rig.port.LoseLineAt(5s);
        rig.Named();
        EXPECT_LT(rig.clock.Now(), 6s) << op5;
        EXPECT_EQ(rig.Told(), std::vector<std::string>{kLineLostMessage}) << op5;
    }
}

TEST(ReceiveEngineTest, ALostLineStillEndsARunThatEndsByItself) {
    for (const bool exitAfterTransfer : {true, false}) {
        Rig rig;
        rig.port.ScriptInput(1ms, "%\nO1\nG0\n");
        rig.port.LoseLineAt(5s);
        ReceiveRequest request;
        request.exitAfterTransfer = exitAfterTransfer;
        const ReceiveResult result = ReceiveFile(request, rig.env);
        EXPECT_EQ(result.end, ReceiveEnd::Aborted);
        EXPECT_EQ(result.windowCloses, exitAfterTransfer);
        EXPECT_EQ(rig.panel.closes, exitAfterTransfer ? 1 : 0);
    }
}

TEST(ReceiveEngineTest, TheWindowClosingSavesWithOp5AndAsksToClose) {
    Rig rig;
    rig.settings.op5 = "Y";
    rig.port.ScriptInput(1ms, "%\nO1\nG0\n");
    rig.host.OnEvents([&rig] { rig.panel.closeRequested = rig.clock.Now() >= 5s; });
    const ReceiveResult result = rig.Named();
    EXPECT_EQ(result.end, ReceiveEnd::Completed);
    EXPECT_TRUE(result.windowCloses);
    EXPECT_EQ(rig.File("IN.NC"), CrLf({"%", "O1", "G0"}));
}

TEST(ReceiveEngineTest, APortThatDoesNotOpenTakesTheAbortPath) {
    Rig rig;
    rig.port.SetFailing(test::FakeSerialPort::Call::Open, true);
    EXPECT_EQ(rig.Named().end, ReceiveEnd::Aborted);
    EXPECT_TRUE(rig.Files().empty());
    EXPECT_NE(rig.Log().find("受信\u3000\u3000中止\u3000"), std::string::npos);
}

TEST(ReceiveEngineTest, LinesBeforeAnyProgramNumberGoToAFallbackFile) {
    Rig rig;
    std::string input = "%\n";
    for (int i = 0; i < 1200; ++i) input += "G" + std::to_string(i) + "\n";
    rig.port.ScriptInput(1ms, input + "O7\nX7\n%\n");
    const ReceiveResult result = rig.Automatic();
    ASSERT_EQ(result.end, ReceiveEnd::Completed);
    const std::string fallback = FallbackFileName(kNow, ".NC");
    EXPECT_EQ(result.fallbackFile, (fs::path(rig.folder) / fallback).string());
    const auto files = rig.Files();
    ASSERT_EQ(files.size(), 2u);
    const std::string early = files.at(fallback);
    EXPECT_EQ(std::count(early.begin(), early.end(), '\n'), 1201);  // "%" and the 1200 lines
    EXPECT_EQ(early.substr(0, 7), "%\r\nG0\r\n");
    EXPECT_EQ(files.at("O7.NC"), CrLf({"%", "O7", "X7", "%"}));
    EXPECT_NE(rig.host.messageLine.find(fallback), std::string::npos);
    EXPECT_EQ(rig.host.messageLine.rfind(kReceiveCompletedMessage, 0), 0u);
    EXPECT_NE(rig.Log().find(result.fallbackFile), std::string::npos);
}

TEST(ReceiveEngineTest, AShortReceiveWithoutProgramNumberIsKeptToo) {
    Rig rig;
    rig.port.ScriptInput(1ms, "%\nG0\nG1\n%\n");
    const ReceiveResult result = rig.Automatic();
    ASSERT_EQ(result.end, ReceiveEnd::Completed);
    const std::string fallback = FallbackFileName(kNow, ".NC");
    EXPECT_EQ(rig.Files(), (std::map<std::string, std::string>{
                               {fallback, CrLf({"%", "G0", "G1", "%"})}}));
    EXPECT_NE(rig.Log().find(result.fallbackFile), std::string::npos);
    EXPECT_NE(rig.host.messageLine.find(fallback), std::string::npos);
}

TEST(ReceiveEngineTest, AFullDiskEndsOnTheErrorPathNamingTheFile) {
    Rig rig;
    const fs::path target = fs::path(rig.folder) / "IN.NC";
    fs::create_symlink("/dev/full", target);
    rig.port.ScriptInput(1ms, "%\nO1\nG0\n%\n");
    const ReceiveResult result = rig.Named();
    EXPECT_EQ(result.end, ReceiveEnd::Failed);
    ASSERT_EQ(rig.Told().size(), 1u);
    EXPECT_NE(rig.Told()[0].find(target.string()), std::string::npos);
    EXPECT_NE(rig.Told()[0].find(target.string() + kUnfinishedSuffix), std::string::npos);
    EXPECT_FALSE(fs::exists(fs::symlink_status(target)));
    EXPECT_EQ(rig.host.messageLine, kReceiveAbortedMessage);
    EXPECT_EQ(rig.host.statusPanels[3], kReceiveAborted);
    EXPECT_NE(rig.Log().find("受信\u3000\u3000中止\u3000"), std::string::npos);
    EXPECT_EQ(rig.port.WrittenBytes(), "");  // no DC4 on the error path
}

TEST(ReceiveEngineTest, AFileThatCannotBeCreatedKeepsTheProgramsBefore) {
    Rig rig;
    fs::create_directory(fs::path(rig.folder) / "O2.NC");
    rig.port.ScriptInput(1ms, "%\nO1\nG1\nO2\nG2\n%\n");
    EXPECT_EQ(rig.Automatic().end, ReceiveEnd::Failed);
    EXPECT_EQ(rig.File("O1.NC"), CrLf({"%", "O1", "G1", "%"}));
    ASSERT_EQ(rig.Told().size(), 1u);
    EXPECT_NE(rig.Told()[0].find("O2.NC"), std::string::npos);
}

TEST(ReceiveEngineTest, ProgramNumbersNeverLeaveTheFolder) {
    Rig rig;
    rig.settings.OColonChange = "Y";
    rig.settings.Read_SP_Cut = "Y";  // the numbers as the machine sent them
    const fs::path outside = rig.dir / "O5.NC";
    test::WriteFileBytes(outside, "keep");
    fs::create_symlink(outside, fs::path(rig.folder) / ":5.NC");
    fs::create_symlink(outside, fs::path(rig.folder) / "O5.NC");
    rig.port.ScriptInput(1ms, "%\nO../../X\nG1\nO1/2\nG2\n:A*B\nG3\nO5\nG5\n%\n");
    ASSERT_EQ(rig.Automatic().end, ReceiveEnd::Completed);
    EXPECT_EQ(test::ReadFileBytes(outside), "keep");
    const auto files = rig.Files();
    EXPECT_EQ(files.at("O..%2F..%2FX.NC"), CrLf({"%", ":../../X", "G1", "%"}));
    EXPECT_EQ(files.at("O1%2F2.NC"), CrLf({"%", ":1/2", "G2", "%"}));
    EXPECT_EQ(files.at("OA%2AB.NC"), CrLf({"%", ":A*B", "G3", "%"}));
    EXPECT_EQ(files.at("O5.NC"), CrLf({"%", ":5", "G5", "%"}));
    EXPECT_FALSE(fs::is_symlink(fs::path(rig.folder) / "O5.NC"));
    // Nothing else was created anywhere below the temporary folder.
    std::vector<std::string> all;
    for (const auto& entry : fs::recursive_directory_iterator(rig.dir.path())) {
        all.push_back(entry.path().lexically_relative(rig.dir.path()).string());
    }
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, (std::vector<std::string>{"O5.NC", "Wexal.log", "nc", "nc/:5.NC",
                                             "nc/O..%2F..%2FX.NC", "nc/O1%2F2.NC", "nc/O5.NC",
                                             "nc/OA%2AB.NC"}));
}

TEST(ReceiveEngineTest, EndlessLinesAndNoiseKeepMemoryBoundedAndEscWorks) {
    struct Row {
        const char* name;
        std::string input;
    };
    std::mt19937 random(9);
    std::string noise;
    for (int i = 0; i < 115'200; ++i) noise += static_cast<char>(random() & 0xFF);
    const Row rows[] = {
        {"no line feed", "%\n" + std::string(300'000, 'X')},
        {"random bytes", noise},
    };
    for (const Row& row : rows) {
        Rig rig;
        rig.port.ScriptInput(1ms, row.input);
        rig.port.ScriptInput(100s, "\n");
        rig.host.HoldAbortKey(60s);
        const ReceiveResult result = rig.Automatic();
        EXPECT_LE(rig.panel.longestLine, kMaxReceivedLineLength + 1) << row.name;
        EXPECT_LE(rig.panel.mostLines, 1001u) << row.name;
        // Ended by the key, or earlier by an end mark or DC4 in the noise.
        EXPECT_LT(rig.clock.Now(), 65s) << row.name;
        EXPECT_TRUE(result.end == ReceiveEnd::Aborted || result.end == ReceiveEnd::Completed)
            << row.name;
        for (const auto& entry : fs::recursive_directory_iterator(rig.dir.path())) {
            EXPECT_TRUE(entry.path().parent_path() == rig.dir.path() ||
                        entry.path().parent_path() == fs::path(rig.folder))
                << row.name << " " << entry.path();
        }
    }
}

}  // namespace
}  // namespace wexal
