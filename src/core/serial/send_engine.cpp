#include "serial/send_engine.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <exception>
#include <new>
#include <stdexcept>

#include "platform/error_text.h"
#include "platform/path_rules.h"
#include "platform/power_off.h"
#include "serial/byte_io.h"
#include "serial/send_line.h"
#include "serial/tape_code.h"

namespace wexal {

namespace {

using namespace std::chrono_literals;

constexpr std::uint8_t kLf = '\n';
constexpr auto kLeaderPause = 1000ms;
constexpr auto kProgramEndPause = 5ms;
constexpr auto kDrainWait = 4000ms;
constexpr auto kIdleAfterCompletion = 3000ms;
constexpr auto kIdleAfterAbort = 1000ms;
constexpr auto kPunchLook = 1000ms;

// How a step ends: on to the next, or the abort path, before or after
// anything went out. The exception path is taken by what is thrown.
enum class Step { Go, Abort, NotStarted };

// A log that cannot be written ends the transfer on the exception path.
class LogFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Run {
    SendState& state;
    SendEnvironment& env;
    SerialLink& link;
    const Settings& settings;
    TransferHost& host;
    SendPanel& panel;
    LineFilter filter;
    // Why the reading of the file stopped the send; told at the end of the
    // abort path.
    std::string readFailure;
};

std::string FilePath(const Run& run) {
    return PathRules::Join(run.state.folder, run.state.fileName);
}

// The progress bar counts in int: a program past 2 GB moves it in larger steps.
int ProgressUnits(std::int64_t value, std::int64_t total) {
    int shift = 0;
    while ((total >> shift) > INT_MAX) ++shift;
    return static_cast<int>(std::min<std::int64_t>(value >> shift, INT_MAX));
}

void SetProgressRange(Run& run) {
    const std::int64_t total = run.state.counters.totalBytes;
    run.host.SetProgressRange(ProgressUnits(total, total));
}

void SetProgressPosition(Run& run, std::int64_t position) {
    run.host.SetProgressPosition(ProgressUnits(position, run.state.counters.totalBytes));
}

bool MustStop(Run& run) { return run.link.abortRequested || run.panel.StopRequested(); }

// SendChar and the test that follows every one of them.
Step Send(Run& run, std::uint8_t c) {
    SendChar(run.link, c);
    return MustStop(run) ? Step::Abort : Step::Go;
}

// The characters in runs of up to ten bytes a write; the close request is
// looked at after every run.
Step SendAll(Run& run, std::string_view chars) {
    SendChars(run.link, chars, [&run] { return run.panel.StopRequested(); });
    return MustStop(run) ? Step::Abort : Step::Go;
}

void WriteLog(Run& run, TransferLog::Outcome outcome, const std::string& name) {
    const std::string entry =
        TransferLog::Entry(TransferLog::Direction::Send, outcome, run.env.now(),
                           PathRules::Join(run.state.folder, name));
    if (const Status written = run.env.log.Append(entry); !written) {
        throw LogFailure(written.message);
    }
}

void LogCompletedFile(Run& run) {
    if (!run.state.unloggedFile) return;
    const std::string name = *run.state.unloggedFile;
    run.state.unloggedFile.reset();
    WriteLog(run, TransferLog::Outcome::Completed, name);
}

void ShowRemaining(Run& run) {
    const SendCounters& counters = run.state.counters;
    const std::int64_t left = counters.totalBytes - counters.sentBytes + 1;
    run.panel.SetRemainingLine(RemainingLine(left, counters.remainingSeconds));
}

void SetCodeFlags(SerialLink& link, const Settings& settings) {
    link.isoCode = false;
    link.eiaCode = false;
    if (SpeedTextDataBits(settings.Speed) == 8) {
        if (settings.Code == "Y") link.eiaCode = true;
        if (settings.Code == "N") link.isoCode = true;
    } else {
        link.isoCode = true;
        link.eiaCode = true;
    }
}

// Opens the port and makes the window ready: the view, the screen saver, the
// code flags and the panels.
Step OpenForSend(Run& run) {
    run.link.mode = TransferMode::Send;
    if (!OpenPort(run.link, TransferMode::Send)) return Step::NotStarted;
    if (run.state.sendView.empty()) {
        if (!run.state.loadProblem.empty()) {
            run.readFailure = std::string(kFileUnreadableMessage) + "\n" + FilePath(run) + "\n" +
                              run.state.loadProblem;
        }
        return Step::NotStarted;
    }
    if (run.env.screenSaver) run.env.screenSaver->SetEnabled(false);
    SetCodeFlags(run.link, run.settings);
    if (!run.state.requestedByCommandLine) {
        run.host.SetStatusPanel(0, kSendNamePrefix + run.state.fileName);
    }
    run.state.requestedByCommandLine = false;
    run.state.counters.lastSampleBytes = 0;
    run.link.abortRequested = false;
    run.panel.Repaint();
    return Step::Go;
}

Step AbortOnKey(Run& run) {
    ReleaseAbortKeys(run.link);
    return Step::Abort;
}

// After a "%" in the wait: true when a program follows it within a second,
// so the NC is punching. What was read goes back to the link either way
// only when it is a punch; blanks after a go-ahead are dropped.
bool PunchFollows(Run& run) {
    std::string read(1, static_cast<char>(run.link.lastWireByte));
    const auto until = std::chrono::steady_clock::now() + kPunchLook;
    std::uint64_t seen = run.link.bytesRead;
    while (std::chrono::steady_clock::now() < until && !MustStop(run)) {
        const std::uint8_t c = ReadChar(run.link);
        if (run.link.bytesRead == seen) continue;
        seen = run.link.bytesRead;
        if (c == kDc1) return false;
        read += static_cast<char>(run.link.lastWireByte);
        const bool blank = c == 0 || c == '\r' || c == kLf || c == ' ' || c == '%' ||
                           (c >= kDc1 && c <= kDc4);
        if (!blank) {
            run.link.heldInput = read + run.link.heldInput;
            return true;
        }
    }
    return false;
}

// The wait for the NC with Setting/Signal "Y": its DC1, or a "%" in any code,
// starts the send.
Step WaitForSignal(Run& run) {
    run.host.SetStatusPanel(3, kWaitingForSignal);
    while (true) {
        if (run.host.AbortKeyDown()) return AbortOnKey(run);
        const std::uint8_t c = ReadChar(run.link);
        if (run.host.AbortKeyPressed()) return AbortOnKey(run);
        // A vanished line never brings the signal.
        if (MustStop(run)) return Step::Abort;
        run.host.ProcessPendingEvents();
        if (c == '%' && run.env.punchEndsWait && PunchFollows(run)) {
            run.link.env.messages->Tell(kNcPunchingMessage, DefaultCaption(MessageIcon::None),
                                        MessageIcon::None);
            return Step::Abort;
        }
        if (c == kDc1 || c == '%') {
            run.host.SetStatusPanel(3, kSending);
            run.link.bytesSinceCheck = 999;
            run.link.canSend = true;
            return Step::Go;
        }
        if (run.settings.op2 == "Y" && (c == kDc3 || c == kDc4)) {
            // The message line says only that the send stopped; a run nobody
            // watches must also say who stopped it.
            MessageService& messages = *run.link.env.messages;
            if (messages.Unattended()) {
                messages.Tell(kNcStoppedMessage, DefaultCaption(MessageIcon::None),
                              MessageIcon::None);
            }
            return Step::Abort;
        }
        RefreshLamps(run.link);
    }
}

// Without the signal the operator says when the NC is ready.
Step AskToStart(Run& run) {
    run.link.canSend = true;
    RefreshLamps(run.link);
    MessageService& messages = *run.link.env.messages;
    // Where nobody can answer, the command line that asked for the send is
    // the go-ahead.
    const bool yes = messages.Unattended() ||
                     messages.AskYesNo(kSendConfirmQuestion, DefaultCaption(MessageIcon::Warning),
                                       MessageIcon::Warning);
    // An answer given for a program that is ending is nobody's choice.
    if (!yes || messages.Interrupted()) return Step::NotStarted;
    run.host.SetStatusPanel(0, kSendNamePrefix + run.state.fileName);
    return Step::Go;
}

void StartFileDisplay(Run& run) {
    SetProgressRange(run);
    SetProgressPosition(run, 0);
    run.panel.StartEstimateTimer();
}

// The leader and the start characters.
Step SendLeaderAndStart(Run& run) {
    run.host.SetStatusPanel(3, kSending);
    run.state.counters.sentBytes = 0;
    StartFileDisplay(run);
    if (SendAll(run, LeaderCharacters(run.settings)) != Step::Go) return Step::Abort;
    if (run.settings.Send_Before == 2) run.host.Sleep(kLeaderPause);
    if (MustStop(run)) return Step::Abort;
    return SendAll(run, StartCharacters(run.settings));
}

// One line of the view, filtered, with its LF.
Step SendLine(Run& run, std::size_t index, std::string_view line, int endLength,
              SendViewReader& reader) {
    SendState& state = run.state;
    SendCounters& counters = state.counters;
    run.panel.HighlightLine(index);
    if (const int more = LineEndCorrection(endLength); more > 0) {
        counters.totalBytes += more;
        SetProgressRange(run);
    }
    const LineToSend out = FilterLine(line, run.filter);
    if (!out.skip && run.settings.InvTime > 0) {
        // A pause after every character: one write each.
        const auto pause = std::chrono::milliseconds(run.settings.InvTime);
        for (const char c : out.chars) {
            if (Send(run, static_cast<std::uint8_t>(c)) != Step::Go) return Step::Abort;
            run.host.Sleep(pause);
        }
        if (Send(run, kLf) != Step::Go) return Step::Abort;
    } else if (!out.skip) {
        if (SendAll(run, out.chars + static_cast<char>(kLf)) != Step::Go) return Step::Abort;
    }
    // LineCount's rule (the line and a CR LF), in 64 bits.
    counters.sentBytes += static_cast<std::int64_t>(line.size()) + 2;
    // Lines the view cut from one file line (pieces of a long line) count
    // more than the file holds; the total follows so the count never runs past it.
    if (counters.sentBytes > counters.totalBytes && reader.MoreLines()) {
        counters.totalBytes = counters.sentBytes;
        SetProgressRange(run);
    }
    if (PausesAfter(line)) run.host.Sleep(kProgramEndPause);
    ShowRemaining(run);
    SetProgressPosition(run, counters.sentBytes);
    return Step::Go;
}

// Why the reading ended the send: the message told at the end of the abort path.
std::string ReadFailureText(Run& run, SendViewReader::Result result, int error) {
    if (result == SendViewReader::Result::Changed) {
        return std::string(kFileChangedMessage) + "\n" + FilePath(run);
    }
    return std::string(kFileUnreadableMessage) + "\n" + FilePath(run) + "\n" +
           SystemErrorText(error);
}

// Every line of the file in the view, read from the file as they go out. The
// walk ends after the last line of the view, which for a file taken whole is
// where the byte count ends too.
Step SendFileLines(Run& run) {
    SendState& state = run.state;
    state.lineIndex = 0;
    state.unloggedFile = state.fileName;
    run.link.bytesSinceCheck = 0;
    run.panel.ShowViewTop();
    SendViewReader reader(state.sendView);
    std::string line;
    int endLength = 0;
    while (true) {
        SendViewReader::Result result;
        try {
            result = reader.Next(line, endLength);
        } catch (const std::bad_alloc&) {
            // A line of gigabytes without a line end: it would have to be held whole.
            run.readFailure = std::string(kLineTooLongMessage) + "\n" + FilePath(run);
            return Step::Abort;
        }
        if (result == SendViewReader::Result::End) break;
        if (result != SendViewReader::Result::Line) {
            run.readFailure = ReadFailureText(run, result, reader.error());
            return Step::Abort;
        }
        if (SendLine(run, state.lineIndex, line, endLength, reader) != Step::Go) {
            return Step::Abort;
        }
        ++state.lineIndex;
    }
    run.panel.StopEstimateTimer();
    run.panel.SetRemainingLine(RemainingBytesText(0));
    return Step::Go;
}

// The next file of the queue that has text; false when none is left.
bool LoadNextQueuedFile(Run& run) {
    SendState& state = run.state;
    if (state.queueCount > 0 && state.queuePos < state.queueCount) LogCompletedFile(run);
    while (state.queueCount > 0 && state.queuePos < state.queueCount) {
        ++state.queuePos;
        run.panel.ClearView();
        run.panel.HighlightQueueEntry(state.queuePos);
        const std::string name = state.sendQueue.at(static_cast<std::size_t>(state.queuePos - 1));
        ProgramLoad load = LoadProgram(state.folder, name, *run.link.env.messages);
        if (!load.problem.empty()) {
            // Gone or unreadable since the key press: said at the end and
            // logged, never passed over in silence.
            state.unsentFiles.push_back(name + "（" + load.problem + "）");
            WriteLog(run, TransferLog::Outcome::Aborted, name);
        }
        SetSendFile(state, name, std::move(load));
        run.panel.ShowView(state.sendView);
        run.panel.ShowRemainingLine();
        run.panel.SetRemainingLine(RemainingBytesText(state.counters.totalBytes));
        run.host.SetStatusPanel(0, kSendNamePrefix + name);
        StartFileDisplay(run);
        if (!state.sendView.empty()) return true;
    }
    return false;
}

void EmptyQueue(SendState& state) {
    state.sendQueue.clear();
    state.queueCount = 0;
    state.queuePos = 0;
}

// The completion: the log, the drain wait, the close and the window.
void Complete(Run& run) {
    LogCompletedFile(run);
    run.host.Sleep(kDrainWait);
    ClosePort(run.link);
    if (run.state.ExitAfterTransfer) {
        run.panel.CloseMainWindow();
        if (run.settings.Power_Off == "Y" && ShutDownPC(run.settings.WinVer)) {
            (void)RequestSystemStop(SystemStop::PowerOff);
        }
    }
    // A marked file that could not be sent is logged as aborted and makes
    // the run's status "aborted": the panel says so too, never completed.
    run.host.SetStatusPanel(
        3, run.state.unsentFiles.empty() ? kSendCompletedPanel : kSendAbortedPanel);
    run.panel.ClearView();
    run.panel.HideTransferPanel();
    if (run.state.unsentFiles.empty()) {
        run.host.SetMessageLine(kSendCompletedLine, MessageLineColour::Lime);
    } else {
        run.host.SetMessageLine(kSendIncompleteLine, MessageLineColour::Red);
    }
    run.panel.StartIdleTimer(kIdleAfterCompletion);
    run.host.SetProgressPosition(0);
    run.panel.EnableFileList();
    run.host.SetStatusPanel(0, "");
    run.host.SetStatusPanel(2, "");
    EmptyQueue(run.state);
    if (!run.state.unsentFiles.empty()) {
        std::string text = kSendIncompleteMessage;
        for (const std::string& file : run.state.unsentFiles) text += "\n" + file;
        run.link.env.messages->Tell(text, DefaultCaption(MessageIcon::Warning),
                                    MessageIcon::Warning);
    }
}

void TellFailure(Run& run, const std::string& reason) {
    run.link.env.messages->Tell(reason, DefaultCaption(MessageIcon::Error), MessageIcon::Error);
}

void AbortPath(Run& run) {
    run.link.canSend = true;
    SendChar(run.link, kDc4);
    run.panel.StopEstimateTimer();
    ClosePort(run.link);
    run.host.SetStatusPanel(0, "");
    run.host.SetStatusPanel(2, "");
    run.host.SetStatusPanel(3, kSendAbortedPanel);
    run.panel.ClearView();
    run.panel.HideTransferPanel();
    run.host.SetMessageLine(kSendAbortedLine, MessageLineColour::Red);
    EmptyQueue(run.state);
    run.state.unloggedFile.reset();
    try {
        WriteLog(run, TransferLog::Outcome::Aborted, run.state.fileName);
    } catch (const LogFailure& failure) {
        TellFailure(run, failure.what());
    }
    run.panel.StartIdleTimer(kIdleAfterAbort);
    run.host.SetProgressPosition(0);
    run.panel.EnableFileList();
    // An unattended run whose line went away still ends; the operator who
    // pressed Esc is there and keeps the program.
    if (run.state.ExitAfterTransfer && !run.link.lineFault.empty()) run.panel.CloseMainWindow();
    if (!run.readFailure.empty()) TellFailure(run, run.readFailure);
}

void ExceptionPath(Run& run, const std::string& reason) {
    std::string told = reason;
    run.state.unloggedFile.reset();
    try {
        WriteLog(run, TransferLog::Outcome::Aborted, run.state.fileName);
    } catch (const LogFailure& failure) {
        if (failure.what() != reason) told += std::string("\n") + failure.what();
    }
    run.panel.StopEstimateTimer();
    ClosePort(run.link);
    run.host.SetStatusPanel(3, kSendAbortedPanel);
    run.panel.ClearView();
    run.panel.HideTransferPanel();
    run.host.SetMessageLine(kSendAbortedLine, MessageLineColour::Red);
    run.panel.StartIdleTimer(kIdleAfterAbort);
    run.host.SetProgressPosition(0);
    run.panel.EnableFileList();
    EmptyQueue(run.state);
    TellFailure(run, told);
}

Step Transfer(Run& run) {
    Step step = OpenForSend(run);
    if (step == Step::Go) {
        step = run.settings.Signal == "Y" ? WaitForSignal(run) : AskToStart(run);
    }
    if (step == Step::Go) step = SendLeaderAndStart(run);
    while (step == Step::Go) {
        step = SendFileLines(run);
        if (step == Step::Go && !LoadNextQueuedFile(run)) break;
    }
    if (step == Step::Go) step = SendAll(run, EndCharacters(run.settings));
    return step;
}

SendOutcome OutcomeOf(Step step) {
    return step == Step::NotStarted ? SendOutcome::NotStarted : SendOutcome::Aborted;
}

}  // namespace

void SetSendFile(SendState& state, const std::string& name, ProgramLoad load) {
    state.sendView = SendView(std::move(load.program));
    state.loadProblem = std::move(load.problem);
    state.fileName = name;
    state.counters = SendCounters{};
    state.counters.totalBytes = load.size;
    state.lineIndex = 0;
}

SendState PrepareSend(const std::string& folder, const std::string& firstName, ProgramLoad load,
                      std::vector<std::string> queue, bool exitAfterTransfer,
                      bool requestedByCommandLine) {
    SendState state;
    state.folder = folder;
    SetSendFile(state, firstName, std::move(load));
    state.queueCount = static_cast<int>(queue.size());
    state.queuePos = queue.empty() ? 0 : 1;
    state.sendQueue = std::move(queue);
    state.ExitAfterTransfer = exitAfterTransfer;
    state.requestedByCommandLine = requestedByCommandLine;
    return state;
}

SendOutcome SendFiles(SendState& state, SendEnvironment& env) {
    SerialLink& link = *env.link;
    Run run{state, env, link, *link.env.settings, *link.env.host, *env.panel,
            LineFilterFor(*link.env.settings), std::string()};
    try {
        const Step step = Transfer(run);
        if (step == Step::Go) {
            Complete(run);
            return SendOutcome::Completed;
        }
        AbortPath(run);
        return OutcomeOf(step);
    } catch (const std::exception& failure) {
        try {
            ExceptionPath(run, failure.what());
        } catch (const std::exception&) {
            // The window could not be told; the port at least is closed.
            ClosePort(link);
        }
    }
    return SendOutcome::Failed;
}

}  // namespace wexal
