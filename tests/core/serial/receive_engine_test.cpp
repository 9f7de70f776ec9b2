#include "serial/receive_engine.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "platform/os_file.h"
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
            if (IsRevisionFolderName(entry.path().filename().string())) continue;
            files[entry.path().filename().string()] = test::ReadFileBytes(entry.path());
        }
        return files;
    }
    // The file a program is being written into, read through the receive's
    // own descriptor (it has no name while the program arrives); nullopt
    // when no such file is open.
    std::optional<std::string> Unfinished() const {
#ifdef _WIN32
        // Windows has no unnamed files: the hidden temporary name.
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path().filename().string().starts_with(".Wexal-receive.tmp")) {
                return test::ReadFileBytes(entry.path());
            }
        }
        return std::nullopt;
#endif
        for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
            std::error_code error;
            const fs::path to = fs::read_symlink(fd.path(), error);
            if (!error && to.parent_path() == fs::path(folder))
                return test::ReadFileBytes(fd.path());
        }
        return std::nullopt;
    }
    // The names in the folder, nothing read.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
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

// An entry as the log file holds it: with CR LF.
std::string LoggedEntry(TransferLog::Outcome outcome, const std::string& file) {
    std::string entry = Entry(outcome, file);
    return entry.insert(entry.size() - 1, "\r");
}

wexal::FileId IdOf(const fs::path& path) {
    const std::optional<FileStatus> info = StatPath(path, false);
    return info ? info->id : FileId{};
}

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
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
        {"&HE: line not kept",
         none,
         "%\nO1\nX&HE:1\nG0\n%\n",
         CrLf({"%", "O1", "G0", "%"}),
         {"O1"}},
        {"O continued by 1234",
         none,
         "%\nO\n1234\nG0\n%\n",
         CrLf({"%", "O1234", "G0", "%"}),
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
    // What the file holds while the receive still runs; it has its name
    // only once it is complete.
    std::vector<std::size_t> seen;
    bool namedEarly = false;
    rig.host.OnEvents([&] {
        const std::optional<std::string> unfinished = rig.Unfinished();
        namedEarly |= unfinished && fs::exists(fs::path(rig.folder) / "IN.NC");
        const std::string bytes = unfinished ? *unfinished : rig.File("IN.NC");
        const std::size_t lines =
            static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
        if (lines > 0 && (seen.empty() || seen.back() != lines)) seen.push_back(lines);
    });
    ASSERT_EQ(rig.Named().end, ReceiveEnd::Completed);
    EXPECT_EQ(seen, (std::vector<std::size_t>{1001, 2001, 2502}));  // the last one at completion
    EXPECT_FALSE(namedEarly);
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
        const std::string bytes = rig.Unfinished().value_or("");
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
        EXPECT_EQ(rig.host.messageLine,
                  completed ? kReceiveCompletedMessage : kReceiveAbortedMessage)
            << row.name;
        EXPECT_EQ(rig.host.messageColour,
                  completed ? MessageLineColour::Lime : MessageLineColour::Red)
            << row.name;
        EXPECT_EQ(rig.panel.timerMs, completed ? 3000 : 1000) << row.name;
        EXPECT_TRUE(rig.panel.fileListEnabled) << row.name;
        EXPECT_FALSE(rig.port.IsOpen()) << row.name;
    }
}

// The machine goes on sending after its DSR went off: the receive ends with
// what came until then, not at the end of the data.
TEST(ReceiveEngineTest, DsrLostWhileLinesKeepComingCompletesWithOp6) {
    Rig rig;
    rig.settings.op6 = "Y";
    rig.port.ScriptInput(1ms, "%\nO1\n");
    for (int i = 1; i <= 100; ++i) {
        rig.port.ScriptInput(i * 100ms, "G" + std::to_string(i) + "\n");
    }
    rig.port.ScheduleModemStatus(5s, ModemStatus{true, false, false, true});
    const ReceiveResult result = rig.Named();
    EXPECT_EQ(result.end, ReceiveEnd::Completed);
    const std::string saved = rig.File("IN.NC");
    EXPECT_EQ(saved.rfind("%\r\nO1\r\nG1\r\nG2\r\n", 0), 0u) << saved;
    EXPECT_NE(saved.find("\r\nG49\r\n"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("\r\nG60\r\n"), std::string::npos) << saved;
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

// A file-size limit and symbolic links are POSIX's; Windows gives a
// program neither.
#ifndef _WIN32
// A full disk, as a file-size limit makes it: writes beyond it fail (EFBIG).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        ::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    sighandler_t oldHandler_{};
};

TEST(ReceiveEngineTest, AFullDiskEndsOnTheErrorPathKeepingThePartAndTheOldFile) {
    for (const bool partThere : {false, true}) {
        SCOPED_TRACE(partThere);
        Rig rig;
        const fs::path target = fs::path(rig.folder) / "IN.NC";
        test::WriteFileBytes(target, "old\r\n");
        if (partThere) test::WriteFileBytes(target.string() + kUnfinishedSuffix, "older part");
        const std::string part =
            (fs::path(rig.folder) / (partThere ? "IN.NC_2.part" : "IN.NC.part")).string();
        std::string input = "%\nO1\n";
        for (int i = 0; i < 1500; ++i) input += "G1X" + std::string(90, '1') + "\n";
        rig.port.ScriptInput(1ms, input + "%\n");
        ReceiveResult result;
        {
            const FileSizeLimit full(64 * 1024);
            result = rig.Named();
        }
        EXPECT_EQ(result.end, ReceiveEnd::Failed);
        EXPECT_TRUE(result.savedNothing);
        ASSERT_EQ(rig.Told().size(), 1u);
        EXPECT_NE(rig.Told()[0].find(target.string() + "\n"), std::string::npos) << rig.Told()[0];
        EXPECT_NE(rig.Told()[0].find(part), std::string::npos) << rig.Told()[0];
        // The old file as it was, what arrived beside it, nothing else.
        EXPECT_EQ(rig.File("IN.NC"), "old\r\n");
        const std::string kept = test::ReadFileBytes(part);
        EXPECT_EQ(kept.size(), 64u * 1024u);
        EXPECT_EQ(kept.rfind("%\r\nO1\r\nG1 X111", 0), 0u);
        EXPECT_EQ(rig.Files().size(), partThere ? 3u : 2u);
        if (partThere) {
            EXPECT_EQ(rig.File("IN.NC.part"), "older part");
        }
        EXPECT_FALSE(rig.Unfinished());
        EXPECT_EQ(rig.host.messageLine, kReceiveAbortedMessage);
        EXPECT_EQ(rig.host.statusPanels[3], kReceiveAborted);
        EXPECT_NE(rig.Log().find("受信\u3000\u3000中止\u3000"), std::string::npos);
        EXPECT_EQ(rig.port.WrittenBytes(), "");  // no DC4 on the error path
    }
}

#endif

#ifndef _WIN32
TEST(ReceiveEngineTest, ALinkUnderTheTargetNameIsReplacedNeverFollowed) {
    struct Row {
        const char* name;
        const char* leadsTo;
    };
    const Row rows[] = {
        {"a file outside", "outside"}, {"a device", "/dev/full"}, {"nothing", "missing"}};
    for (const Row& row : rows) {
        for (const bool complete : {true, false}) {
            SCOPED_TRACE(std::string(row.name) + (complete ? " complete" : " aborted"));
            Rig rig;
            const fs::path outside = rig.dir / "outside";
            test::WriteFileBytes(outside, "keep");
            const fs::path leadsTo =
                row.leadsTo[0] == '/' ? fs::path(row.leadsTo) : rig.dir / row.leadsTo;
            const fs::path target = fs::path(rig.folder) / "IN.NC";
            fs::create_symlink(leadsTo, target);
            rig.port.ScriptInput(1ms, complete ? "%\nO1\nG0\n%\n" : "%\nO1\nG0\n");
            if (!complete) rig.host.HoldAbortKey(5s, 6s);
            EXPECT_EQ(rig.Named().end, complete ? ReceiveEnd::Completed : ReceiveEnd::Aborted);
            EXPECT_EQ(test::ReadFileBytes(outside), "keep");
            EXPECT_FALSE(fs::exists(rig.dir / "missing"));
            if (complete) {
                EXPECT_FALSE(fs::is_symlink(target));
                EXPECT_EQ(rig.File("IN.NC"), CrLf({"%", "O1", "G0", "%"}));
            } else {
                EXPECT_EQ(fs::read_symlink(target), leadsTo);
            }
            EXPECT_EQ(rig.Names(), std::vector<std::string>{"IN.NC"});
        }
    }
}

#endif

TEST(ReceiveEngineTest, AReadOnlyFileOrAFolderIsRefusedBeforeAnythingArrives) {
    for (const bool folder : {false, true}) {
        SCOPED_TRACE(folder);
        Rig rig;
        const fs::path target = fs::path(rig.folder) / "IN.NC";
        if (folder) {
            fs::create_directory(target);
        } else {
            test::WriteFileBytes(target, "old");
            fs::permissions(target, fs::perms::owner_read | fs::perms::group_read);
        }
        rig.port.ScriptInput(1ms, "%\nO1\nG0\n%\n");
        EXPECT_EQ(rig.Named().end, ReceiveEnd::Failed);
        ASSERT_EQ(rig.Told().size(), 1u);
        EXPECT_EQ(
            rig.Told()[0].rfind("受信ファイルを作成できません。\n" + target.string() + "\n", 0), 0u)
            << rig.Told()[0];
        EXPECT_EQ(rig.Files().size(), 1u);
        if (!folder) {
            EXPECT_EQ(rig.File("IN.NC"), "old");
        }
        EXPECT_TRUE(rig.port.Opened().empty());
    }
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

#ifndef _WIN32
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

#endif

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

// Item: a receive never destroys a program that was there before. The data
// goes to a file without a name in the folder, which takes the program's
// name only at completion; until then, and after any abort, the old file is
// the same file with the same bytes, and a hard-link snapshot of it (cp -al)
// keeps them too.
struct OldFileRig : Rig {
    OldFileRig() {
        test::WriteFileBytes(Old(), kOld);
        fs::permissions(Old(),
                        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        fs::create_directory(dir / "snapshot");
        fs::create_hard_link(Old(), dir / "snapshot" / "O1.NC");
        oldId = IdOf(Old());
        // What the old file holds at every moment the window could look.
        host.OnEvents([this] { LookAtOldFile(); });
    }
    void LookAtOldFile() {
        if (File("O1.NC") == kOld && IdOf(Old()) == oldId) return;
        oldChanged = true;
        // The new program is still being written.
        if (Unfinished()) changedEarly = true;
    }
    fs::path Old() const { return fs::path(folder) / "O1.NC"; }
    std::string Snapshot() const { return test::ReadFileBytes(dir / "snapshot" / "O1.NC"); }

    static constexpr const char* kOld = "%\r\nO1(OLD)\r\nG0 X9.\r\nM30\r\n%\r\n";
    wexal::FileId oldId;
    bool oldChanged = false;
    bool changedEarly = false;
};

TEST(ReceiveEngineTest, AnAbortedReceiveLeavesTheOldProgramAsItWas) {
    struct Row {
        const char* name;
        std::function<void(OldFileRig&)> setup;
    };
    const Row rows[] = {
        {"Esc while waiting", [](OldFileRig& r) { r.host.HoldAbortKey(2s, 3s); }},
        {"Esc while receiving",
         [](OldFileRig& r) {
             r.port.ScriptInput(1ms, "%\nO1\nG1\nG2\nX");
             r.host.HoldAbortKey(5s, 6s);
         }},
        {"a line lost half way",
         [](OldFileRig& r) {
             r.port.ScriptInput(1ms, "%\nO1\nG1\nG2\nX");
             r.port.LoseLineAt(5s);
         }},
        {"a signal (the window closing) half way",
         [](OldFileRig& r) {
             r.port.ScriptInput(1ms, "%\nO1\nG1\nG2\nX");
             r.host.OnEvents([&r] {
                 r.LookAtOldFile();
                 if (r.clock.Now() >= 5s) r.Interrupt();
             });
         }},
        {"a line lost after a whole batch",
         [](OldFileRig& r) {
             std::string input = "%\nO1\n";
             for (int i = 0; i < 1500; ++i) input += "G" + std::to_string(i) + "\n";
             r.port.ScriptInput(1ms, input);
             r.port.LoseLineAt(5s);
         }},
        {"the port does not open",
         [](OldFileRig& r) { r.port.SetFailing(test::FakeSerialPort::Call::Open, true); }},
    };
    for (const bool named : {true, false}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.name) + (named ? ", named" : ", automatic"));
            OldFileRig rig;
            row.setup(rig);
            const ReceiveResult result = named ? rig.Named("O1.NC") : rig.Automatic();
            EXPECT_EQ(result.end, ReceiveEnd::Aborted);
            EXPECT_TRUE(result.savedNothing);
            EXPECT_EQ(rig.File("O1.NC"), OldFileRig::kOld);
            EXPECT_EQ(IdOf(rig.Old()), rig.oldId);
            EXPECT_EQ(rig.Snapshot(), OldFileRig::kOld);
            EXPECT_FALSE(rig.oldChanged);
            // Nothing left behind: no temporary, no part, no descriptor.
            EXPECT_EQ(rig.Files().size(), 1u);
            EXPECT_FALSE(rig.Unfinished());
            EXPECT_NE(rig.Log().find("受信\u3000\u3000中止\u3000"), std::string::npos);
            EXPECT_EQ(rig.Log().find("受信\u3000\u3000完了\u3000"), std::string::npos);
            EXPECT_EQ(rig.host.messageLine, kReceiveAbortedMessage);
        }
    }
}

TEST(ReceiveEngineTest, ACompletedProgramTakesTheOldOnesPlaceByRename) {
    struct Row {
        const char* name;
        std::function<void(OldFileRig&)> setup;
        std::string saved;
    };
    const Row rows[] = {
        {"the end mark", [](OldFileRig& r) { r.port.ScriptInput(1ms, "%\nO1\nG1\n%\n"); },
         CrLf({"%", "O1", "G1", "%"})},
        {"Esc with op5",
         [](OldFileRig& r) {
             r.settings.op5 = "Y";
             r.port.ScriptInput(1ms, "%\nO1\nG1\nX");
             r.host.HoldAbortKey(5s, 6s);
         },
         CrLf({"%", "O1", "G1"})},
        {"a line lost with op5",
         [](OldFileRig& r) {
             r.settings.op5 = "Y";
             r.port.ScriptInput(1ms, "%\nO1\nG1\nX");
             r.port.LoseLineAt(5s);
         },
         CrLf({"%", "O1", "G1"})},
        {"DSR lost with op6",
         [](OldFileRig& r) {
             r.settings.op6 = "Y";
             r.port.ScriptInput(1ms, "%\nO1\nG1\nX1");
             r.port.ScheduleModemStatus(5s, ModemStatus{true, false, false, true});
         },
         CrLf({"%", "O1", "G1", "X1", "%"})},
    };
    for (const bool named : {true, false}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.name) + (named ? ", named" : ", automatic"));
            OldFileRig rig;
            row.setup(rig);
            const ReceiveResult result = named ? rig.Named("O1.NC") : rig.Automatic();
            EXPECT_EQ(result.end, ReceiveEnd::Completed);
            EXPECT_FALSE(result.savedNothing);
            EXPECT_FALSE(rig.changedEarly) << "replaced before the program was complete";
            EXPECT_EQ(rig.File("O1.NC"), row.saved);
            // A new file in the old one's place, with its permissions; the
            // snapshot still has the old program.
            EXPECT_NE(IdOf(rig.Old()), rig.oldId);
#ifndef _WIN32  // Windows keeps no permission bits, only read-only
            EXPECT_EQ(fs::status(rig.Old()).permissions() & fs::perms::all,
                      fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
#endif
            EXPECT_EQ(rig.Snapshot(), OldFileRig::kOld);
            EXPECT_EQ(rig.Files().size(), 1u);
            // And the old program is the file's one revision.
            const RevisionList kept = ListRevisions(rig.Old());
            ASSERT_EQ(kept.revisions.size(), 1u);
            EXPECT_EQ(test::ReadFileBytes(kept.revisions[0].path), OldFileRig::kOld);
            EXPECT_EQ(result.keptRevisions, std::vector{PathText(kept.revisions[0].path)});
            EXPECT_FALSE(rig.Unfinished());
            const std::string target = rig.Old().string();
            EXPECT_EQ(rig.Log(), Cp932ToUtf8Lossy(TransferLog::Header()) +
                                     LoggedEntry(TransferLog::Outcome::Completed, target));
            EXPECT_EQ(rig.host.messageLine, kReceiveCompletedMessage);
        }
    }
}

// Item: a file saved earlier in the same receive is never replaced; a file
// that was there before is.
TEST(ReceiveEngineTest, TheSameNumberTwiceKeepsBothPrograms) {
    Rig rig;
    rig.port.ScriptInput(1ms, "%\nO100\nX1\nO100\nX2\n%\n");
    const ReceiveResult result = rig.Automatic();
    ASSERT_EQ(result.end, ReceiveEnd::Completed);
    const std::string first = (fs::path(rig.folder) / "O100.NC").string();
    const std::string second = (fs::path(rig.folder) / "O100_2.NC").string();
    EXPECT_EQ(rig.Files(),
              (std::map<std::string, std::string>{{"O100.NC", CrLf({"%", "O100", "X1", "%"})},
                                                  {"O100_2.NC", CrLf({"%", "O100", "X2", "%"})}}));
    EXPECT_EQ(result.completedFiles, (std::vector<std::string>{first, second}));
    EXPECT_EQ(result.renamedFiles, std::vector<std::string>{second});
    EXPECT_EQ(result.target, second);
    EXPECT_EQ(rig.Log(), Cp932ToUtf8Lossy(TransferLog::Header()) +
                             LoggedEntry(TransferLog::Outcome::Completed, first) +
                             LoggedEntry(TransferLog::Outcome::Completed, second));
    EXPECT_EQ(rig.host.messageLine, std::string(kReceiveCompletedMessage) +
                                        "\u3000同じ番号のプログラムはO100_2.NCに保存しました。");
    EXPECT_EQ(rig.host.messageColour, MessageLineColour::Lime);
}

TEST(ReceiveEngineTest, RepeatedNumbersTakeTheNextFreeName) {
    struct Row {
        const char* name;
        std::map<std::string, std::string> before;
        std::string input;
        std::map<std::string, std::string> after;
        std::vector<std::string> renamed;
    };
    const std::string longA = "O" + std::string(260, '1') + "2";
    const std::string longB = "O" + std::string(260, '1') + "3";
    const std::string cut = "O" + std::string(251, '1');  // 252 bytes and ".NC"
    const std::string cut2 = "O" + std::string(249, '1') + "_2";
    const Row rows[] = {
        {"three times",
         {},
         "%\nO7\nX1\nO7\nX2\nO7\nX3\n%\n",
         {{"O7.NC", CrLf({"%", "O7", "X1", "%"})},
          {"O7_2.NC", CrLf({"%", "O7", "X2", "%"})},
          {"O7_3.NC", CrLf({"%", "O7", "X3", "%"})}},
         {"O7_2.NC", "O7_3.NC"}},
        {"a file from before is replaced, a taken _2 is not",
         {{"O7.NC", "old"}, {"O7_2.NC", "other"}},
         "%\nO7\nX1\nO7\nX2\n%\n",
         {{"O7.NC", CrLf({"%", "O7", "X1", "%"})},
          {"O7_2.NC", "other"},
          {"O7_3.NC", CrLf({"%", "O7", "X2", "%"})}},
         {"O7_3.NC"}},
        {"a later number that is the name given before",
         {},
         "%\nO7\nX1\nO7\nX2\nO7_2\nX3\n%\n",
         {{"O7.NC", CrLf({"%", "O7", "X1", "%"})},
          {"O7_2.NC", CrLf({"%", "O7", "X2", "%"})},
          {"O7_2_2.NC", CrLf({"%", "O7_2", "X3", "%"})}},
         {"O7_2.NC", "O7_2_2.NC"}},
        {"two numbers cut to one name",
         {},
         "%\n" + longA + "\nX1\n" + longB + "\nX2\n%\n",
         {{cut + ".NC", CrLf({"%", longA.c_str(), "X1", "%"})},
          {cut2 + ".NC", CrLf({"%", longB.c_str(), "X2", "%"})}},
         {cut2 + ".NC"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        rig.settings.Read_SP_Cut = "Y";  // the numbers as the machine sent them
        for (const auto& [name, bytes] : row.before)
            test::WriteFileBytes(fs::path(rig.folder) / name, bytes);
        rig.port.ScriptInput(1ms, row.input);
        const ReceiveResult result = rig.Automatic();
        ASSERT_EQ(result.end, ReceiveEnd::Completed);
        EXPECT_EQ(rig.Files(), row.after);
        std::vector<std::string> renamed;
        for (const std::string& file : result.renamedFiles)
            renamed.push_back(fs::path(file).filename().string());
        EXPECT_EQ(renamed, row.renamed);
        for (const std::string& name : renamed) {
            EXPECT_NE(rig.host.messageLine.find(name), std::string::npos) << rig.host.messageLine;
            EXPECT_EQ(Count(rig.Log(), (fs::path(rig.folder) / name).string() + "\r\n"), 1u);
        }
    }
}

TEST(ReceiveEngineTest, AProgramAbortedAfterAnotherKeepsTheFirstLogged) {
    Rig rig;
    test::WriteFileBytes(fs::path(rig.folder) / "O2.NC", "old");
    rig.port.ScriptInput(1ms, "%\nO1\nG1\nO2\nG2\n");
    rig.host.HoldAbortKey(5s, 6s);
    const ReceiveResult result = rig.Automatic();
    ASSERT_EQ(result.end, ReceiveEnd::Aborted);
    EXPECT_FALSE(result.savedNothing);
    EXPECT_EQ(rig.Files(), (std::map<std::string, std::string>{
                               {"O1.NC", CrLf({"%", "O1", "G1", "%"})}, {"O2.NC", "old"}}));
    const std::string o1 = (fs::path(rig.folder) / "O1.NC").string();
    const std::string o2 = (fs::path(rig.folder) / "O2.NC").string();
    EXPECT_EQ(rig.Log(), Cp932ToUtf8Lossy(TransferLog::Header()) +
                             LoggedEntry(TransferLog::Outcome::Completed, o1) +
                             LoggedEntry(TransferLog::Outcome::Aborted, o2));
}

// Item: an automatic receive of nothing but "%" lines saves nothing and says so.
TEST(ReceiveEngineTest, OnlyPercentLinesSaveNothingAndSaySo) {
    for (const char* input : {"%\n%\n", "%\n\n%\n", "%\n%%\n"}) {
        SCOPED_TRACE(input);
        Rig rig;
        rig.port.ScriptInput(1ms, input);
        const ReceiveResult result = rig.Automatic();
        EXPECT_EQ(result.end, ReceiveEnd::Completed);
        EXPECT_TRUE(result.savedNothing);
        EXPECT_TRUE(result.completedFiles.empty());
        EXPECT_EQ(result.target, "");
        EXPECT_TRUE(rig.Files().empty());
        EXPECT_FALSE(rig.Unfinished());
        // No entry with an empty file name, nor any other.
        EXPECT_EQ(rig.Log().find("受信\u3000\u3000"), std::string::npos) << rig.Log();
        EXPECT_EQ(rig.host.messageLine, kReceiveNothingMessage);
        EXPECT_EQ(rig.host.messageColour, MessageLineColour::Red);
        EXPECT_EQ(rig.host.statusPanels[3], kReceiveNothing);
        EXPECT_TRUE(rig.panel.fileListEnabled);
        EXPECT_FALSE(rig.panel.shown);
        EXPECT_EQ(rig.port.WrittenBytes(), "\x14");  // the NC is still told to stop
    }
    // With data it is a completion as before.
    Rig rig;
    rig.port.ScriptInput(1ms, "%\nO1\n%\n");
    const ReceiveResult result = rig.Automatic();
    EXPECT_FALSE(result.savedNothing);
    EXPECT_EQ(rig.host.messageLine, kReceiveCompletedMessage);
}

}  // namespace
}  // namespace wexal
