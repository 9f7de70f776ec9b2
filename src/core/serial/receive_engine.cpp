#include "serial/receive_engine.h"

#include <chrono>
#include <exception>
#include <optional>

#include "platform/path_rules.h"
#include "serial/byte_io.h"

namespace wexal {

namespace {

using namespace std::chrono_literals;

constexpr int kBatchLines = 1000;
// The modem lines change seldom: they are looked at whenever nothing came
// and otherwise once in this many characters.
constexpr int kCharsPerModemLook = 16;
constexpr auto kStopWait = 3000ms;
constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kLf = 0x0A;

// How a receive ends; Saved is the completion of an abort that keeps what
// arrived (op5), which adds no closing "%".
enum class Ending { Completed, Saved, Aborted, Failed };

struct Run {
    ReceiveEnvironment& env;
    ReceiveState& s;
    SerialLink& link;
    const Settings& settings;
    TransferHost& host;
    ReceivePanel& panel;
    std::string error;       // Failed: what to tell the operator
    std::size_t logged = 0;  // completed files that have their log entry
    int sinceModemLook = 0;  // characters read since the modem lines were read
};

Ending Fail(Run& r, const Status& status) {
    r.error = status.message;
    return Ending::Failed;
}

void Log(Run& r, TransferLog::Outcome outcome, const std::string& file) {
    if (!r.env.log) return;
    const Status logged = r.env.log->Append(
        TransferLog::Entry(TransferLog::Direction::Receive, outcome, r.env.now(), file));
    if (!logged) {
        r.link.env.messages->Tell(logged.message, DefaultCaption(MessageIcon::Error),
                                  MessageIcon::Error);
    }
}

// One completion entry for every file saved, when it is saved: a receive of
// several programs names each of them, also when it is aborted later.
void LogCompleted(Run& r) {
    const std::vector<std::string>& files = r.s.data.completedFiles;
    for (; r.logged < files.size(); ++r.logged) {
        Log(r, TransferLog::Outcome::Completed, files[r.logged]);
    }
}

// The operator (or the closing window) wants the receive to end now.
bool StopWanted(Run& r, bool pressedSinceAsked) {
    if (r.panel.CloseRequested() || r.link.env.messages->Interrupted()) {
        r.s.closeRequested = true;
        return true;
    }
    return pressedSinceAsked ? r.host.AbortKeyPressed() : r.host.AbortKeyDown();
}

Ending EndOnRequest(Run& r) {
    ReleaseAbortKeys(r.link);
    return r.settings.op5 == "Y" ? Ending::Saved : Ending::Aborted;
}

void SetCodeFlags(SerialLink& link, int rCode) {
    link.isoCode = rCode == 1 || rCode == 3;
    link.eiaCode = rCode == 2 || rCode == 3;
}

// The start: the target, the port and the window. nullopt: go on to the wait.
std::optional<Ending> Start(Run& r) {
    if (r.env.screenSaver) r.env.screenSaver->SetEnabled(false);
    r.host.SetMessageLine("", MessageLineColour::Lime);
    r.panel.DisableInputLine();
    r.panel.ShowReceivePanel();
    if (r.s.request.named) {
        if (Status created = CreateNamedTarget(r.s.data, r.s.request.target); !created) {
            return Fail(r, created);
        }
        r.host.SetStatusPanel(0, kReceiveNamePrefix + r.s.request.displayName);
    } else {
        r.s.data.target.clear();
        r.host.SetStatusPanel(0, kReceiveAutomaticName);
    }
    r.panel.FocusView();
    r.link.abortRequested = false;
    if (!OpenPort(r.link, TransferMode::Receive)) return Ending::Aborted;
    r.link.abortRequested = false;
    r.link.canSend = true;
    SetCodeFlags(r.link, r.settings.R_Code);
    r.host.SetStatusPanel(3, kReceiveWaiting);
    r.s.line.percentSeen = false;
    return std::nullopt;
}

// Waits for the NC's first meaningful character; nullopt ends the receive
// on the abort path.
std::optional<std::uint8_t> WaitForNc(Run& r) {
    while (true) {
        if (StopWanted(r, false)) {
            ReleaseAbortKeys(r.link);
            return std::nullopt;
        }
        const std::uint8_t c = ReadChar(r.link);
        if (!r.link.lineFault.empty()) return std::nullopt;
        if (StopWanted(r, true)) {
            ReleaseAbortKeys(r.link);
            return std::nullopt;
        }
        r.host.ProcessPendingEvents();
        if (r.settings.Signal == "Y") {
            // Without carrier the byte is consumed, and the code it decided stays.
            const std::optional<ModemStatus> modem = RefreshLamps(r.link);
            if (!modem || !modem->rlsd) continue;
        }
        if (IsStartCharacter(c)) return c;
        if (r.settings.R_Code == 0) SetCodeFlags(r.link, 0);
    }
}

void BeginReceiving(Run& r, std::uint8_t c) {
    r.host.SetStatusPanel(3, kReceiveRunning);
    r.s.line.wordStart = true;
    r.s.line.inComment = false;
    r.host.SetProgressRange(kBatchLines);
    r.host.SetProgressPosition(0);
    r.s.lineCount = 0;
    r.s.line.buffer.assign(1, static_cast<char>(c));
    r.s.view.Clear();
    if (r.settings.StartChar == "Y") r.s.view.Add("%");
    r.s.programCount = 0;
    r.s.dataArrived = true;
}

// A line feed (or a line grown too long). nullopt: the receive goes on.
std::optional<Ending> FinishLine(Run& r) {
    const LineEnd end = EndLine(r.s.line, r.settings.OColonChange == "Y");
    if (end.kind == LineEnd::Kind::FirstPercentDropped) return std::nullopt;
    if (end.programNumber && !r.s.request.named && r.env.isRequest && r.env.isRequest(end.text)) {
        // The program before it is complete; the request itself is never saved.
        const Status finished = FinishProgramFile(r.s.data, r.s.view, r.settings, r.s.programCount);
        LogCompleted(r);
        if (!finished) return Fail(r, finished);
        r.s.view.Clear();
        r.s.requests.push_back(end.text);
        r.s.discarding = true;
        return std::nullopt;
    }
    if (end.programNumber) r.s.discarding = false;
    if (r.s.discarding)
        return end.endsReceive ? std::optional<Ending>(Ending::Completed) : std::nullopt;
    if (end.programNumber) {
        r.panel.AddProgramLine(end.text);
        if (!r.s.request.named) {
            const Status started =
                StartProgramFile(r.s.data, r.s.view, end.text, r.settings, r.s.programCount);
            LogCompleted(r);
            if (!started) return Fail(r, started);
        }
        ++r.s.programCount;
    }
    if (end.kind == LineEnd::Kind::Continued) return std::nullopt;
    if (end.keep) r.s.view.Add(end.text);
    ++r.s.lineCount;
    if (end.endsReceive) return Ending::Completed;
    return std::nullopt;
}

// A full batch goes to the file, so the view never holds much more than it.
std::optional<Ending> AfterCharacter(Run& r) {
    if (r.s.lineCount < kBatchLines) {
        r.host.ProcessPendingEvents();
        r.host.SetProgressPosition(r.s.lineCount);
        return std::nullopt;
    }
    const Status written = WriteReceivedView(r.s.data, r.s.view, r.settings, r.env.now());
    if (!written) return Fail(r, written);
    r.s.view.Clear();
    r.host.SetProgressPosition(0);
    r.s.lineCount = 0;
    return std::nullopt;
}

Ending Receive(Run& r) {
    LineAssembly& line = r.s.line;
    while (true) {
        if (StopWanted(r, false)) return EndOnRequest(r);
        const std::uint8_t c = ReadChar(r.link);
        // The device is gone: the operator has been told; keep what came when asked to.
        if (!r.link.lineFault.empty())
            return r.settings.op5 == "Y" ? Ending::Saved : Ending::Aborted;
        if (StopWanted(r, true)) return EndOnRequest(r);
        if (c == 0 || ++r.sinceModemLook >= kCharsPerModemLook) {
            r.sinceModemLook = 0;
            const std::optional<ModemStatus> modem = RefreshLamps(r.link);
            if (modem && !modem->dsr && r.settings.op6 == "Y") {
                r.s.view.Add(line.buffer);
                return Ending::Completed;
            }
        }
        if (c == kCr || c == 0) {
            // The abort keys and the close box reach the engine only through
            // the window's events, so an idle line must let them through too.
            if (c == 0) r.host.ProcessPendingEvents();
            continue;
        }
        if (EndMarkReached(line)) {
            if (std::optional<std::string> rest = EndMarkLine(line.buffer)) r.s.view.Add(*rest);
            return Ending::Completed;
        }
        if (c == kDc4) {
            r.s.view.Add(line.buffer);
            return Ending::Completed;
        }
        if (c == kLf || LineIsFull(line)) {
            if (std::optional<Ending> ended = FinishLine(r)) return *ended;
            if (c == kLf) continue;
        }
        PutCharIntoLine(line, c, r.settings.Read_SP_Cut != "N");
        if (std::optional<Ending> ended = AfterCharacter(r)) return *ended;
    }
}

bool OnlyMarks(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        if (!line.empty() && line != "%") return false;
    }
    return true;
}

Ending Complete(Run& r, bool addEndMark) {
    // What is left of a request is no program.
    if (r.s.discarding) r.s.view.Clear();
    if (addEndMark && !r.s.discarding && r.settings.EndChar == "Y") r.s.view.Add("%");
    r.host.SetStatusPanel(3, kReceiveSaving);
    // Without any program number and without data there is nothing to keep.
    const bool nothingToKeep =
        !r.s.request.named && r.s.data.target.empty() && OnlyMarks(r.s.view.lines());
    if (!nothingToKeep) {
        const Status written = WriteReceivedView(r.s.data, r.s.view, r.settings, r.env.now());
        if (!written) return Fail(r, written);
    }
    r.s.view.Clear();
    if (Status finished = FinishTarget(r.s.data); !finished) return Fail(r, finished);
    // A line that is gone takes no DC4, and the receive ends without the wait;
    // nor does an NC that asked for a program and is now waiting for it.
    if (r.link.lineFault.empty() && r.s.requests.empty()) {
        SendChar(r.link, kDc4);
        r.host.Sleep(kStopWait);
    }
    ClosePort(r.link);

    r.host.SetProgressPosition(0);
    const ReceivedData& data = r.s.data;
    const bool savedNothing = data.completedFiles.empty();
    r.host.SetStatusPanel(3, savedNothing ? kReceiveNothing : kReceiveCompleted);
    r.panel.HideReceivePanel();
    if (savedNothing) {
        r.host.SetMessageLine(kReceiveNothingMessage, MessageLineColour::Red);
    } else {
        std::string message = kReceiveCompletedMessage;
        if (!data.fallbackTarget.empty()) {
            message += "\u3000番号の無いデータは" + PathRules::FileName(data.fallbackTarget) +
                       "に保存しました。";
        }
        if (!data.renamedFiles.empty()) {
            std::string names;
            for (const std::string& file : data.renamedFiles) {
                names += (names.empty() ? "" : "、") + PathRules::FileName(file);
            }
            message += "\u3000同じ番号のプログラムは" + names + "に保存しました。";
        }
        r.host.SetMessageLine(message, MessageLineColour::Lime);
    }
    // Nothing saved, nothing to name: no entry with an empty file name.
    LogCompleted(r);
    if (r.s.request.exitAfterTransfer) {
        r.panel.CloseMainWindow();
        if (r.settings.Power_Off == "Y" && r.env.shutDownPC) r.env.shutDownPC();
    }
    r.panel.StartIdleTimer(3000, true);
    r.panel.EnableFileList();
    r.host.SetStatusPanel(0, "");
    r.host.SetStatusPanel(2, "");
    return Ending::Completed;
}

void Abort(Run& r) {
    // What stands under the target's name stays as it was.
    DiscardUnfinishedTarget(r.s.data);
    if (r.link.port && r.link.port->IsOpen() && r.link.lineFault.empty()) SendChar(r.link, kDc4);
    if (r.s.dataArrived || !r.env.quietWhileIdle) {
        Log(r, TransferLog::Outcome::Aborted, r.s.data.target);
    }
    ClosePort(r.link);
    r.host.SetStatusPanel(0, "");
    r.host.SetStatusPanel(2, "");
    r.host.SetStatusPanel(3, kReceiveAborted);
    r.s.view.Clear();
    r.panel.HideReceivePanel();
    r.host.SetProgressPosition(0);
    r.host.SetMessageLine(kReceiveAbortedMessage, MessageLineColour::Red);
    r.panel.StartIdleTimer(1000, false);
    r.panel.EnableFileList();
    // An unattended run whose line went away still ends; the operator who
    // pressed Esc is there and keeps the program.
    if (r.s.request.exitAfterTransfer && !r.link.lineFault.empty()) r.panel.CloseMainWindow();
}

// Ends like an abort, but sends no DC4, and the data of the file being
// written is kept under a ".part" name, where it cannot pass for a complete
// program; what stands under the target's name stays as it was.
void EndOnError(Run& r) {
    const std::string aside = SetAsideUnfinishedTarget(r.s.data);
    std::string text = r.error;
    if (!aside.empty()) text += "\n未完了のデータ: " + aside;
    r.link.env.messages->Tell(text, DefaultCaption(MessageIcon::Error), MessageIcon::Error);
    Log(r, TransferLog::Outcome::Aborted, r.s.data.target);
    ClosePort(r.link);
    r.host.SetStatusPanel(3, kReceiveAborted);
    r.s.view.Clear();
    r.panel.HideReceivePanel();
    r.host.SetMessageLine(kReceiveAbortedMessage, MessageLineColour::Red);
    r.host.SetProgressPosition(0);
    r.panel.StartIdleTimer(1000, false);
    r.panel.EnableFileList();
}

Ending RunReceive(Run& r) {
    if (std::optional<Ending> ended = Start(r)) return *ended;
    const std::optional<std::uint8_t> first = WaitForNc(r);
    if (!first) return Ending::Aborted;
    BeginReceiving(r, *first);
    return Receive(r);
}

}  // namespace

ReceiveResult ReceiveFile(const ReceiveRequest& request, ReceiveEnvironment& env) {
    ReceiveState state{request, {}, 0, 0, {}, ReceivedView(env.panel), false, false, {}, false};
    Run r{env, state, *env.link, *env.link->env.settings, *env.link->env.host, *env.panel, {}};
    state.data.revisions = RevisionPolicyOf(r.settings.KeepRevisions, env.revisionSource);

    Ending ending = Ending::Failed;
    try {
        ending = RunReceive(r);
        if (ending == Ending::Completed || ending == Ending::Saved) {
            ending = Complete(r, ending == Ending::Completed);
        }
    } catch (const std::exception& e) {
        r.error = std::string(kLinkErrorMessage) + "\n" + e.what();
        ending = Ending::Failed;
    }
    if (ending == Ending::Aborted) Abort(r);
    if (ending == Ending::Failed) EndOnError(r);

    ReceiveResult result;
    result.end = ending == Ending::Completed   ? ReceiveEnd::Completed
                 : ending == Ending::Aborted ? ReceiveEnd::Aborted
                                            : ReceiveEnd::Failed;
    result.target = state.data.target;
    result.completedFiles = state.data.completedFiles;
    result.fallbackFile = state.data.fallbackTarget;
    result.renamedFiles = state.data.renamedFiles;
    result.keptRevisions = state.data.keptRevisions;
    result.savedNothing = state.data.completedFiles.empty();
    result.requests = state.requests;
    result.dataArrived = state.dataArrived;
    result.error = r.error;
    const bool lineLost = !r.link.lineFault.empty();
    result.windowCloses =
        state.closeRequested ||
        (request.exitAfterTransfer && (result.end == ReceiveEnd::Completed ||
                                       (result.end == ReceiveEnd::Aborted && lineLost)));
    return result;
}

}  // namespace wexal
