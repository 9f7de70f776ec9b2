#include "serial/send_engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>

#include "platform/path_rules.h"
#include "platform/text_codec.h"
#include "platform/text_lines.h"
#include "serial/send_line.h"
#include "serial/send_time.h"
#include "serial/tape_code.h"
#include "serial/transfer_end.h"
#include "support/fake_send_panel.h"
#include "support/link_fixture.h"
#include "support/scripted_messages.h"
#include "support/test_env.h"
#include "support/whole_file_loader.h"

namespace wexal {
namespace {

using namespace std::chrono_literals;
using test::ScriptedMessages;

constexpr std::time_t kWhen = 1131241308;  // any fixed moment
const std::string kDc4(1, '\x14');

class NoScreenSaver : public ScreenSaver {
public:
    void SetEnabled(bool enabled) override { states.push_back(enabled); }
    std::vector<bool> states;
};

// A send on the fake port, started by the NC's DC1, in 7 data bits so that
// every byte on the wire is the character itself.
struct SendRig : ScriptedMessages, test::LinkRig {
    explicit SendRig(bool ncReady = true)
        : test::LinkRig(static_cast<ScriptedMessages&>(*this)),
          powerLogPath((dir / "poweroff.log").string()),
          powerEnv("WEXAL_POWEROFF_LOG", powerLogPath.c_str()) {
        settings.Speed = "4800,7,E,2";
        settings.Signal = "Y";
        settings.StartChar = "Y";
        settings.StartChar_Type = 1;
        settings.EndChar = "Y";
        settings.EndChar_Type = 1;
        settings.DirPath = dir.path().string();
        if (ncReady) port.ScriptInput(20ms, "\x11");
        env.link = &link;
        env.panel = &panel;
        env.screenSaver = &saver;
        env.log = TransferLog(dir / "Wexal.log");
        env.now = [] { return kWhen; };
    }

    void Write(const std::string& name, const std::string& bytes) {
        test::WriteFileBytes(dir / name, bytes);
    }

    // Sends the first name, with all of them as the queue when there are several.
    SendOutcome Send(const std::vector<std::string>& names, bool exitAfter = false) {
        const std::string folder = dir.path().string();
        ProgramLoad load = LoadProgram(folder, names.front(), *this);
        state = PrepareSend(folder, names.front(), std::move(load),
                            names.size() > 1 ? names : std::vector<std::string>{}, exitAfter,
                            false);
        return SendFiles(state, env);
    }

    // The log's entries without the header, as text.
    std::vector<std::string> LogEntries() const {
        const std::string text = Cp932ToUtf8(test::ReadFileBytes(dir / "Wexal.log")).value_or("");
        std::vector<std::string> lines;
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find("\r\n", start);
            lines.push_back(text.substr(start, end - start));
            if (end == std::string::npos) break;
            start = end + 2;
        }
        return lines.size() > 3 ? std::vector<std::string>(lines.begin() + 3, lines.end())
                                : std::vector<std::string>{};
    }
    std::string Entry(TransferLog::Outcome outcome, const std::string& name) const {
        std::string entry = TransferLog::Entry(TransferLog::Direction::Send, outcome, kWhen,
                                               (dir / name).string());
        entry.pop_back();
        return entry;
    }

    test::TempDir dir;
    std::string powerLogPath;
    test::ScopedEnv powerEnv;
    test::FakeSendPanel panel;
    NoScreenSaver saver;
    SendEnvironment env;
    SendState state;
};

TEST(SendEngineTest, LinesGoOutThroughTheirFilters) {
    struct Row {
        const char* what;
        std::string file;
        std::function<void(Settings&)> set;
        std::string wire;
    };
    const auto none = [](Settings&) {};
    const Row rows[] = {
        {"lone % lines skipped, % in a comment sent", "%\r\nO1000\r\nG0X1.(TOOL%)\r\n%\r\n", none,
         "%\nO1000\nG0X1.(TOOL%)\n\n%"},
        {"bare LF line ends", "%\nO1000\nG0X1.(TOOL%)\n%\n", none, "%\nO1000\nG0X1.(TOOL%)\n\n%"},
        {"MSG_OP N cuts at ;", "G01X1.;COMMENT\r\n", [](Settings& s) { s.MSG_OP = "N"; },
         "%\nG01X1.\n\n%"},
        {"MSG_OP N cuts at '", "G01X1.'COMMENT\r\n", [](Settings& s) { s.MSG_OP = "N"; },
         "%\nG01X1.\n\n%"},
        {"MSG_OP Y sends all", "G01X1.;COMMENT\r\n", [](Settings& s) { s.MSG_OP = "Y"; },
         "%\nG01X1.;COMMENT\n\n%"},
        {"; inside a comment", "N10(A;B)\r\n", [](Settings& s) { s.MSG_OP = "N"; },
         "%\nN10(A;B)\n\n%"},
        {"SendMsg1 blanked", "N1BLOCKDELG0\r\n", [](Settings& s) { s.SendMsg1 = "BLOCKDEL"; },
         "%\nN1        G0\n\n%"},
        {"SendMsg1 blanked and cut",
         "N1BLOCKDELG0\r\n",
         [](Settings& s) {
             s.SendMsg1 = "BLOCKDEL";
             s.Send_SP_Cut = "Y";
         },
         "%\nN1G0\n\n%"},
        {"TAB and other % never sent", "G0\tX1%\r\n", none, "%\nG0X1\n\n%"},
        {"EndChar N ends with one DC4", "O1\r\n", [](Settings& s) { s.EndChar = "N"; },
         "%\nO1\n" + kDc4},
        {"StartChar N starts with one LF", "O1\r\n", [](Settings& s) { s.StartChar = "N"; },
         "\nO1\n\n%"},
        {"leader of 200 spaces", "O1\r\n", [](Settings& s) { s.Send_Before = 1; },
         std::string(200, ' ') + "%\nO1\n\n%"},
        {"NUL fill inside the program", std::string("O1\r\nG0\0\0X1\r\nM30\r\n\0", 18), none,
         "%\nO1\nG0X1\nM30\n\n%"},
        {"last line without a line end", "O1\r\nM30", none, "%\nO1\nM30\n\n%"},
    };
    for (const Row& row : rows) {
        SendRig rig;
        row.set(rig.settings);
        rig.Write("O1000.NC", row.file);
        EXPECT_EQ(rig.Send({"O1000.NC"}), SendOutcome::Completed) << row.what;
        EXPECT_EQ(rig.port.WrittenBytes(), row.wire) << row.what;
        EXPECT_EQ(rig.LogEntries(),
                  std::vector<std::string>{rig.Entry(TransferLog::Outcome::Completed, "O1000.NC")})
            << row.what;
    }
}

TEST(SendEngineTest, CompletionShowsItsTextsAndClosesThePort) {
    SendRig rig;
    rig.Write("O1000.NC", "O1000\r\nG0X1.\r\nM30\r\n");
    ASSERT_EQ(rig.Send({"O1000.NC"}), SendOutcome::Completed);

    EXPECT_FALSE(rig.port.IsOpen());
    EXPECT_EQ(rig.host.statusPanels[0], "");
    EXPECT_EQ(rig.host.statusPanels[3], kSendCompletedPanel);
    EXPECT_EQ(rig.host.messageLine, kSendCompletedLine);
    EXPECT_EQ(rig.host.messageColour, MessageLineColour::Lime);
    EXPECT_EQ(rig.host.progressPosition, 0);
    EXPECT_EQ(rig.panel.idleTimers, std::vector<std::chrono::milliseconds>{3000ms});
    EXPECT_TRUE(rig.panel.panelHidden);
    EXPECT_TRUE(rig.panel.listEnabled);
    EXPECT_FALSE(rig.panel.estimateRunning);
    EXPECT_EQ(rig.panel.highlights, 3);
    EXPECT_EQ(rig.panel.lastHighlight, 2u);
    EXPECT_EQ(rig.panel.closeRequests, 0);
    EXPECT_EQ(rig.saver.states, std::vector<bool>{false});
    EXPECT_TRUE(rig.shown().empty());

    // The M30 line waits 5 ms, and the driver gets 4 s to drain before the close.
    bool pausedAfterM30 = false;
    bool drained = false;
    for (const auto& slept : rig.host.sleeps) {
        pausedAfterM30 |= slept.length == 5ms;
        drained |= slept.length == 4000ms;
    }
    EXPECT_TRUE(pausedAfterM30);
    EXPECT_TRUE(drained);

    // The remaining line after every line: no estimate yet, so "(約 0秒)"; 0 at the end.
    const std::vector<std::string> expected = {
        RemainingLine(19 - 7 + 1, 0), RemainingLine(19 - 14 + 1, 0), RemainingLine(19 - 19 + 1, 0),
        RemainingBytesText(0)};
    EXPECT_EQ(rig.panel.remainingLines, expected);
    EXPECT_TRUE(rig.panel.remainingLines.front().ends_with("(約 0秒)"));
    EXPECT_EQ(rig.panel.remainingLines.back(), "残り 0ﾊﾞｲﾄ");
}

TEST(SendEngineTest, QueueSendsStartAndEndCharactersOnceAndLogsEveryFile) {
    SendRig rig;
    rig.Write("A.NC", "O1\r\nM99\r\n");
    rig.Write("B.NC", "O2\nM99\n");
    rig.Write("EMPTY.NC", "");
    rig.Write("C.NC", "O3\r\nM30\r\n");
    // The empty file is skipped without a question.
    rig.Answer(false);
    ASSERT_EQ(rig.Send({"A.NC", "B.NC", "EMPTY.NC", "C.NC"}), SendOutcome::Completed);
    EXPECT_EQ(rig.port.WrittenBytes(), "%\nO1\nM99\nO2\nM99\nO3\nM30\n\n%");
    using O = TransferLog::Outcome;
    EXPECT_EQ(rig.LogEntries(), (std::vector<std::string>{rig.Entry(O::Completed, "A.NC"),
                                                          rig.Entry(O::Completed, "B.NC"),
                                                          rig.Entry(O::Completed, "C.NC")}));
    EXPECT_EQ(rig.panel.queueEntries, (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(rig.state.queueCount, 0);
    EXPECT_EQ(rig.state.queuePos, 0);
}

TEST(SendEngineTest, AMarkedFileGoneSinceTheKeyPressIsLoggedAndNamedAtTheEnd) {
    SendRig rig;
    rig.Write("A.NC", "O1\r\nM99\r\n");
    rig.Write("C.NC", "O3\r\nM30\r\n");
    std::filesystem::create_directory(rig.dir / "D.NC");
    ASSERT_EQ(rig.Send({"A.NC", "GONE.NC", "D.NC", "C.NC"}), SendOutcome::Completed);
    EXPECT_EQ(rig.port.WrittenBytes(), "%\nO1\nM99\nO3\nM30\n\n%");
    using O = TransferLog::Outcome;
    EXPECT_EQ(
        rig.LogEntries(),
        (std::vector<std::string>{rig.Entry(O::Completed, "A.NC"), rig.Entry(O::Aborted, "GONE.NC"),
                                  rig.Entry(O::Aborted, "D.NC"), rig.Entry(O::Completed, "C.NC")}));
    EXPECT_EQ(rig.host.messageLine, kSendIncompleteLine);
    ASSERT_EQ(rig.shown().size(), 1u);
    EXPECT_EQ(rig.shown()[0].text, std::string(kSendIncompleteMessage) +
                                       "\nGONE.NC（ファイルまたはフォルダーが見つかりません。）"
                                       "\nD.NC（フォルダーです。）");
    EXPECT_EQ(EndOfSend(SendOutcome::Completed, rig.state), TransferEnd::Aborted);
}

TEST(SendEngineTest, AbortsEndWithDc4AClosedPortAndTheirLogEntries) {
    struct Row {
        const char* what;
        std::function<void(SendRig&)> arrange;
        bool ncReady;                     // the NC sends DC1 at once
        std::vector<std::string> logged;  // state and file of every entry
        SendOutcome outcome = SendOutcome::Aborted;
    };
    const auto afterBytes = [](SendRig& rig, std::size_t count, std::function<void()> act) {
        rig.host.OnEvents([&rig, count, act, done = false]() mutable {
            if (!done && rig.port.Written().size() >= count) {
                done = true;
                act();
            }
        });
    };
    const Row rows[] = {
        {"Esc during the leader",
         [&](SendRig& rig) {
             rig.settings.Send_Before = 1;
             afterBytes(rig, 50, [&rig] { rig.host.HoldAbortKey(rig.clock.Now()); });
         },
         true, {"中止 A.NC"}},
        {"Esc in the second file of three",
         [&](SendRig& rig) {
             afterBytes(rig, 40, [&rig] { rig.host.HoldAbortKey(rig.clock.Now()); });
         },
         true, {"完了 A.NC", "中止 B.NC"}},
        {"the window closes",
         [&](SendRig& rig) { afterBytes(rig, 40, [&rig] { rig.panel.stop = true; }); },
         true, {"完了 A.NC", "中止 B.NC"}},
        {"No to the question",
         [](SendRig& rig) {
             rig.settings.Signal = "N";
             rig.Answer(false);
         },
         false, {"中止 A.NC"}, SendOutcome::NotStarted},
        {"DC3 while waiting with op2",
         [](SendRig& rig) {
             rig.settings.op2 = "Y";
             rig.port.ScriptInput(20ms, "\x13");
         },
         false, {"中止 A.NC"}},
    };
    for (const Row& row : rows) {
        SendRig rig(row.ncReady);
        rig.Write("A.NC", "O1\r\n" + std::string(30, 'A') + "\r\n");
        rig.Write("B.NC", "O2\r\n" + std::string(30, 'B') + "\r\n");
        rig.Write("C.NC", "O3\r\n");
        row.arrange(rig);
        ASSERT_EQ(rig.Send({"A.NC", "B.NC", "C.NC"}), row.outcome) << row.what;

        const std::string wire = rig.port.WrittenBytes();
        EXPECT_TRUE(wire.ends_with(kDc4)) << row.what;
        EXPECT_EQ(wire.find('C'), std::string::npos) << row.what;
        EXPECT_FALSE(rig.port.IsOpen()) << row.what;
        std::vector<std::string> logged;
        for (const std::string& entry : rig.LogEntries()) {
            logged.push_back(entry.substr(entry.find("\u3000\u3000") + 6, 6) + " " +
                             entry.substr(entry.rfind(PathRules::kSeparator) + 1));
        }
        EXPECT_EQ(logged, row.logged) << row.what;
        EXPECT_EQ(rig.host.statusPanels[3], kSendAbortedPanel) << row.what;
        EXPECT_EQ(rig.host.messageLine, kSendAbortedLine) << row.what;
        EXPECT_EQ(rig.host.messageColour, MessageLineColour::Red) << row.what;
        EXPECT_EQ(rig.panel.idleTimers, std::vector<std::chrono::milliseconds>{1000ms})
            << row.what;
        EXPECT_TRUE(rig.panel.listEnabled) << row.what;
        EXPECT_TRUE(rig.panel.panelHidden) << row.what;
        EXPECT_EQ(rig.state.queueCount, 0) << row.what;
        EXPECT_EQ(rig.panel.closeRequests, 0) << row.what;
    }
}

std::string Eia(std::string_view text) {
    std::string wire;
    for (const char c : text)
        wire.push_back(static_cast<char>(*EiaEncode(static_cast<std::uint8_t>(c))));
    return wire;
}

TEST(SendEngineTest, PercentFromTheNcStartsTheSendInIsoAndEia) {
    struct Row {
        const char* code;
        std::uint8_t percent;
        std::string wire;
    };
    // "O1" then LF: ISO with even parity; EIA by its table.
    const Row rows[] = {
        {"N", 0xA5, "\xA5\x0A\xCF\xB1\x0A\x0A\xA5"},
        {"Y", 0x0B, Eia("%\nO1\n\n%")},
    };
    for (const Row& row : rows) {
        SendRig rig(false);
        rig.settings.Speed = "4800,8,N,2";
        rig.settings.Code = row.code;
        rig.port.ScriptInputByte(50ms, row.percent);
        rig.Write("O1.NC", "O1\r\n");
        ASSERT_EQ(rig.Send({"O1.NC"}), SendOutcome::Completed) << row.code;
        EXPECT_EQ(rig.port.WrittenBytes(), row.wire) << row.code;
        EXPECT_TRUE(rig.shown().empty()) << row.code;
    }
}

TEST(SendEngineTest, ConfirmationStartsTheSendWithoutASignal) {
    SendRig rig(false);
    rig.settings.Signal = "N";
    rig.Answer(true);
    rig.Write("O1.NC", "O1\r\n");
    ASSERT_EQ(rig.Send({"O1.NC"}), SendOutcome::Completed);
    EXPECT_EQ(rig.port.WrittenBytes(), "%\nO1\n\n%");
    ASSERT_EQ(rig.shown().size(), 1u);
    EXPECT_EQ(rig.shown()[0].text, kSendConfirmQuestion);
    EXPECT_EQ(rig.shown()[0].icon, MessageIcon::Warning);
}

TEST(SendEngineTest, ALostLineAbortsWithinASecondAndSaysSo) {
    for (const bool exitAfter : {false, true}) {
        SendRig rig;
        std::string program;
        for (int i = 0; i < 400; ++i) program += "G01X" + std::to_string(i) + "Y1.\r\n";
        rig.Write("LONG.NC", program);
        rig.port.LoseLineAt(1s);
        ASSERT_EQ(rig.Send({"LONG.NC"}, exitAfter), SendOutcome::Aborted);

        EXPECT_LT(rig.clock.Now(), 2s);
        EXPECT_FALSE(rig.port.IsOpen());
        ASSERT_FALSE(rig.shown().empty());
        EXPECT_EQ(rig.shown()[0].text, kLineLostMessage);
        const std::vector<std::string> entries = rig.LogEntries();
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0], rig.Entry(TransferLog::Outcome::Aborted, "LONG.NC"));
        // An unattended run still ends; it never switches the machine off.
        EXPECT_EQ(rig.panel.closeRequests, exitAfter ? 1 : 0);
        EXPECT_FALSE(std::filesystem::exists(rig.powerLogPath));
    }
}

TEST(SendEngineTest, AnUnwritableLogEndsOnTheExceptionPathWithTheReason) {
    SendRig rig;
    rig.env.log = TransferLog(rig.dir / "missing" / "Wexal.log");
    rig.Write("O1.NC", "O1\r\n");
    ASSERT_EQ(rig.Send({"O1.NC"}), SendOutcome::Failed);

    EXPECT_EQ(rig.port.WrittenBytes(), "%\nO1\n\n%");  // no DC4 on this path
    EXPECT_FALSE(rig.port.IsOpen());
    ASSERT_EQ(rig.shown().size(), 1u);
    EXPECT_EQ(rig.shown()[0].icon, MessageIcon::Error);
    EXPECT_NE(rig.shown()[0].text.find("Wexal.log"), std::string::npos);
    EXPECT_EQ(rig.host.statusPanels[3], kSendAbortedPanel);
    EXPECT_EQ(rig.host.messageLine, kSendAbortedLine);
    EXPECT_EQ(rig.host.messageColour, MessageLineColour::Red);
    EXPECT_TRUE(rig.panel.listEnabled);
    EXPECT_EQ(rig.panel.idleTimers, std::vector<std::chrono::milliseconds>{1000ms});
}

TEST(SendEngineTest, WhatIsSentIsWhatWasLoaded) {
    SendRig rig;
    rig.Write("O1.NC", "O1\r\nM30\r\n");
    const std::string folder = rig.dir.path().string();
    ProgramLoad load = LoadProgram(folder, "O1.NC", rig);
    rig.state = PrepareSend(folder, "O1.NC", std::move(load), {}, false, false);
    // A new file renamed over the name, as editors and copies do it, then
    // the name deleted: what was opened at the key press goes out.
    rig.Write("NEW.NC", "CHANGED\r\n");
    test::RenameOverOpenFile(rig.dir / "NEW.NC", rig.dir / "O1.NC");
    std::filesystem::remove(rig.dir / "O1.NC");
    ASSERT_EQ(SendFiles(rig.state, rig.env), SendOutcome::Completed);
    EXPECT_EQ(rig.port.WrittenBytes(), "%\nO1\nM30\n\n%");
}

TEST(SendEngineTest, ATransferThatEndsTheProgramMaySwitchThePcOff) {
    struct Row {
        const char* powerOff;
        bool winVer;
        std::string recorded;
    };
    const Row rows[] = {{"N", false, ""}, {"Y", false, "poweroff\n"}, {"Y", true, "halt\n"}};
    for (const Row& row : rows) {
        SendRig rig;
        rig.settings.Power_Off = row.powerOff;
        rig.settings.WinVer = row.winVer;
        rig.Write("O1.NC", "O1\r\n");
        ASSERT_EQ(rig.Send({"O1.NC"}, true), SendOutcome::Completed);
        EXPECT_EQ(rig.panel.closeRequests, 1);
        const std::string recorded = std::filesystem::exists(rig.powerLogPath)
                                         ? test::ReadFileBytes(rig.powerLogPath)
                                         : std::string();
        EXPECT_EQ(recorded, row.recorded) << row.powerOff << row.winVer;
    }
}

TEST(SendEngineTest, AnEmptyViewOrAPortThatWillNotOpenNeverStarts) {
    for (const bool openFails : {false, true}) {
        SendRig rig;
        rig.Write("O1.NC", openFails ? "O1\r\n" : "");
        if (openFails) rig.port.SetFailing(test::FakeSerialPort::Call::Open, true);
        rig.Answer(false);  // the empty file's question
        ASSERT_EQ(rig.Send({"O1.NC"}), SendOutcome::NotStarted);
        EXPECT_EQ(EndOfSend(SendOutcome::NotStarted, rig.state), TransferEnd::NotStarted);
        EXPECT_EQ(rig.LogEntries(),
                  std::vector<std::string>{rig.Entry(TransferLog::Outcome::Aborted, "O1.NC")});
        EXPECT_EQ(rig.port.WrittenBytes().find('O'), std::string::npos);
    }
}

// The bytes the whole-file code of old put on the wire for a file: its
// loader's text, cut into lines by LineAt, each filtered with its LF, between
// the start and end characters.
std::string OldWire(const std::string& text, const Settings& settings) {
    std::string wire = LeaderCharacters(settings) + StartCharacters(settings);
    const LineFilter filter = LineFilterFor(settings);
    for (std::size_t at = 0; at < text.size();) {
        const TextLine line = LineAt(text, at);
        const LineToSend out = FilterLine(line.text, filter);
        if (!out.skip) wire += out.chars + "\n";
        at = line.next;
    }
    return wire + EndCharacters(settings);
}

std::string Repeat(const std::string& piece, std::size_t times) {
    std::string text;
    for (std::size_t i = 0; i < times; ++i) text += piece;
    return text;
}

TEST(SendEngineTest, StreamedSendPutsTheBytesOfTheWholeFileCodeOnTheWire) {
    const std::string nul(1, '\0');
    const std::string longLine = Repeat("G01X1.Y2.", 10'000);  // 100 KB: past a read block
    struct Row {
        const char* what;
        std::string file;
        bool nulLed = false;  // the format question, answered Yes
    };
    const Row rows[] = {
        {"CR LF", "%\r\nO1000\r\nG0X1.(TOOL%)\r\nM30\r\n%\r\n"},
        {"LF", "%\nO1000\nG0X1.\nM30\n%\n"},
        {"lone CR", "%\rO1000\rG0X1.\rM30\r%\r"},
        {"NULs inside", "O1\r\nG0" + nul + nul + "X1\r" + nul + "\nM30\r\n" + nul},
        {"starts with NUL", nul + "%\r\nO1\r\n" + Repeat("A", 1200) + "\r\nB\rC\nM30", true},
        {"a line longer than a read block", "O1\r\n" + longLine + "\r\nM30\r\n"},
        {"last line without its end", "O1\r\nM30"},
        {"empty lines", "O1\r\n\r\n\nM30\r\n"},
        {"CR LF split by a block", Repeat("x", 65535) + "\r\nM30\r\n"},
    };
    for (const Row& row : rows) {
        SendRig rig;
        rig.Write("O1000.NC", row.file);
        // The old loader reads the file for the expected bytes; then the send.
        if (row.nulLed) rig.Answer(true);
        const std::string old =
            LoadFileIntoView(rig.dir.path().string(), "O1000.NC", rig).text;
        if (row.nulLed) rig.Answer(true);
        ASSERT_EQ(rig.Send({"O1000.NC"}), SendOutcome::Completed) << row.what;
        EXPECT_EQ(rig.port.WrittenBytes(), OldWire(old, rig.settings)) << row.what;
    }
}

// Runs act once the port has taken count bytes.
void AfterBytes(SendRig& rig, std::size_t count, std::function<void()> act) {
    rig.host.OnEvents([&rig, count, act, done = false]() mutable {
        if (!done && rig.port.Written().size() >= count) {
            done = true;
            act();
        }
    });
}

// A program of several read blocks.
std::string LongProgram() {
    std::string text = "%\r\nO1\r\n";
    for (int n = 1; text.size() < 200'000; ++n) text += "N" + std::to_string(n) + "G01X1.Y1.\r\n";
    return text + "M30\r\n%\r\n";
}

TEST(SendEngineTest, AFileReplacedDuringTheSendGoesOnWithWhatWasOpened) {
    SendRig rig;
    const std::string program = LongProgram();
    rig.Write("O1.NC", program);
    AfterBytes(rig, 1000, [&rig] {
        rig.Write("NEW.NC", "CHANGED\r\n");
        test::RenameOverOpenFile(rig.dir / "NEW.NC", rig.dir / "O1.NC");
    });
    ASSERT_EQ(rig.Send({"O1.NC"}), SendOutcome::Completed);
    EXPECT_EQ(rig.port.WrittenBytes(), OldWire(program, rig.settings));
    EXPECT_TRUE(rig.shown().empty());
}

TEST(SendEngineTest, AFileChangedInPlaceDuringTheSendEndsItOnTheAbortPath) {
    const std::string program = LongProgram();
    const std::function<void(const std::filesystem::path&)> changes[] = {
        [](const std::filesystem::path& path) { std::filesystem::resize_file(path, 5000); },
        [](const std::filesystem::path& path) {
            std::ofstream(path, std::ios::binary | std::ios::app) << "N9G0\r\n";
        },
        [&program](const std::filesystem::path& path) {
            std::string rewritten = program;
            rewritten.replace(70'000, 4, "ZZZZ");
            test::WriteFileBytes(path, rewritten);
            // A tick later than the open, as a real rewrite would come.
            test::SetModifiedTime(
                path, std::chrono::seconds(1'000'000'000) + std::chrono::nanoseconds(700));
        },
    };
    for (const auto& change : changes) {
        SendRig rig;
        rig.Write("O1.NC", program);
        AfterBytes(rig, 1000, [&rig, &change] { change(rig.dir / "O1.NC"); });
        ASSERT_EQ(rig.Send({"O1.NC"}), SendOutcome::Aborted);
        const std::string wire = rig.port.WrittenBytes();
        EXPECT_TRUE(wire.ends_with(kDc4));
        // Nothing of the new content, and no more than one read block of the old.
        EXPECT_EQ(wire.find('Z'), std::string::npos);
        EXPECT_LT(wire.size(), 64u * 1024 + 1000);
        EXPECT_TRUE(OldWire(program, rig.settings).starts_with(wire.substr(0, wire.size() - 1)));
        EXPECT_FALSE(rig.port.IsOpen());
        EXPECT_EQ(rig.host.messageLine, kSendAbortedLine);
        EXPECT_EQ(rig.LogEntries(),
                  std::vector<std::string>{rig.Entry(TransferLog::Outcome::Aborted, "O1.NC")});
        ASSERT_EQ(rig.shown().size(), 1u);
        EXPECT_EQ(rig.shown()[0].text,
                  std::string("送信中にファイルが変更されました。\n") + (rig.dir / "O1.NC").string());
        EXPECT_EQ(rig.shown()[0].icon, MessageIcon::Error);
    }
}

TEST(SendEngineTest, AFileThatCannotBeReadIsSaidAndNothingIsSent) {
    SendRig rig;
    std::filesystem::create_directory(rig.dir / "O1.NC");
    ASSERT_EQ(rig.Send({"O1.NC"}), SendOutcome::NotStarted);
    EXPECT_EQ(rig.port.WrittenBytes(), kDc4);
    ASSERT_EQ(rig.shown().size(), 1u);
    EXPECT_EQ(rig.shown()[0].text, "ファイルを読み込めません。\n" + (rig.dir / "O1.NC").string() +
                                       "\nフォルダーです。");
    EXPECT_EQ(rig.host.messageLine, kSendAbortedLine);
}

TEST(SendEngineTest, CountsOfAProgramPastTwoGigabytesStayRight) {
    SendCounters counters{.totalBytes = 5'000'000'000, .sentBytes = 4'000'000'000,
                          .lastSampleBytes = 3'999'808'000, .remainingSeconds = 0};
    TSendTime(counters).Execute();
    EXPECT_EQ(counters.remainingSeconds, 52083);  // 19,200 bytes a second
    EXPECT_EQ(
        RemainingLine(counters.totalBytes - counters.sentBytes + 1, counters.remainingSeconds),
        "残り 1,000,000,001ﾊﾞｲﾄ(約 14時28分)");
}

}  // namespace
}  // namespace wexal
