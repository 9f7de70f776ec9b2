#include "serial/receive_engine.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <optional>

#include "platform/path_rules.h"
#include "platform/text_codec.h"
#include "serial/byte_io.h"

namespace wexal {

namespace {

using namespace std::chrono_literals;

constexpr int kBatchLines = 1000;
// The modem lines change seldom: they are looked at whenever nothing came
// and otherwise once in this many characters.
constexpr int kCharsPerModemLook = 16;
constexpr auto kStopWait = 3000ms;
constexpr auto kQuietAfterFailure = 2000ms;
constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kLf = 0x0A;

// How a receive ends; Saved is the completion of an abort that keeps what
// arrived (op5), which adds no closing "%".
enum class Ending { Completed, Saved, Aborted, Failed };

using Clock = std::chrono::steady_clock;

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
    // The file a program that could not be started would have been.
    std::string failedFile{};
    // When the last byte came, and how many had come by then.
    Clock::time_point lastByteAt = Clock::now();
    std::uint64_t bytesSeen = 0;
};

bool OnlyMarks(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        if (!line.empty() && line != "%") return false;
    }
    return true;
}

// An address letter with its value ("G01", "X-1.", "#1"), outside comments.
bool HasWord(std::string_view line) {
    bool comment = false;
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        const char c = line[i];
        if (c == '(') comment = true;
        if (c == ')') comment = false;
        const char next = line[i + 1];
        const bool value = (next >= '0' && next <= '9') || next == '-' || next == '+' ||
                           next == '.' || next == '#';
        if (!comment && ((c >= 'A' && c <= 'Z') || c == '#') && value) return true;
    }
    return false;
}

bool Blank(std::string_view text) {
    for (const char c : text) {
        if (c != '%' && static_cast<unsigned char>(c) > 0x20) return false;
    }
    return true;
}

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
    r.s.startedWithPercent = c == '%';
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

// Counts a byte of the program in progress for the noise test: NUL feed
// and the NC's control codes count neither way.
void CountByte(Run& r, std::uint8_t c) {
    if (!r.env.unattended.discardNoise || r.link.lastWireByte == 0 || (c >= kDc1 && c <= kDc4)) {
        return;
    }
    ++r.s.programBytes;
    ++r.s.receiveBytes;
    // A byte that is no character of the code decodes to 0.
    const bool printable = c == kCr || c == kLf || c == '\t' || (c >= 0x20 && c < 0x7F);
    if (r.link.parityError || !printable) {
        ++r.s.programNoise;
        ++r.s.receiveNoise;
    }
}

// The program's own bytes, or, for a short one that says little, those of
// the whole receive.
bool LooksLikeNoise(const Run& r) {
    return r.env.unattended.discardNoise && (r.s.programNoise * 10 > r.s.programBytes ||
                                             r.s.receiveNoise * 10 > r.s.receiveBytes);
}

// Noise is no program; nor is what never had a number and either did not
// begin with a "%" or holds no word of a program.
bool IsNoise(const Run& r) {
    return r.env.unattended.discardNoise &&
           (LooksLikeNoise(r) || (r.s.programCount == 0 && r.s.requests.empty() &&
                                  (!r.s.startedWithPercent || !r.s.sawWord)));
}

// The program in progress goes unsaved; what stands under its name stays.
void DropProgramAsNoise(Run& r) {
    ReceivedData& data = r.s.data;
    const bool something = !data.target.empty() || !OnlyMarks(r.s.view.lines());
    if (something) r.s.noiseBytes += r.s.programBytes;
    if (!data.renamedFiles.empty() && data.renamedFiles.back() == data.target) {
        data.renamedFiles.pop_back();
    }
    DiscardUnfinishedTarget(data);
    data.target.clear();
    data.targetIsFallback = false;
    r.s.view.Clear();
}

// A request's line is done with: the program before it is complete, and
// what follows up to the next program number is no program.
std::optional<Ending> TakeRequest(Run& r) {
    const std::string text = r.s.heldRequest->text;
    r.s.heldRequest.reset();
    const Status finished = FinishProgramFile(r.s.data, r.s.view, r.settings, r.s.programCount);
    LogCompleted(r);
    if (!finished) return Fail(r, finished);
    r.s.view.Clear();
    r.s.requests.push_back(text);
    r.s.discarding = true;
    return std::nullopt;
}

// A finished line of a program, its program-number line included.
std::optional<Ending> TakeLine(Run& r, const LineEnd& end) {
    if (end.programNumber) r.s.discarding = false;
    if (r.s.discarding)
        return end.endsReceive ? std::optional<Ending>(Ending::Completed) : std::nullopt;
    if (end.programNumber) {
        r.panel.AddProgramLine(end.text);
        if (!r.s.request.named) {
            if (LooksLikeNoise(r)) DropProgramAsNoise(r);
            r.s.programBytes = r.s.programNoise = 0;
            const Status started =
                StartProgramFile(r.s.data, r.s.view, end.text, r.settings, r.s.programCount);
            LogCompleted(r);
            if (!started) {
                if (r.s.data.target.empty()) {
                    r.failedFile = PathRules::Join(
                        r.settings.DirPath,
                        ProgramFileName(end.text, r.settings, r.s.programCount));
                }
                return Fail(r, started);
            }
        }
        ++r.s.programCount;
    }
    if (end.kind == LineEnd::Kind::Continued) return std::nullopt;
    if (end.keep) {
        r.s.sawWord = r.s.sawWord || HasWord(end.text);
        r.s.view.Add(end.text);
    }
    ++r.s.lineCount;
    if (end.endsReceive) return Ending::Completed;
    return std::nullopt;
}

// The held request before a line that the receive ends with: blocks in it
// make the request a program.
std::optional<Ending> SettleHeldRequest(Run& r, std::string_view nextLine) {
    if (!r.s.heldRequest) return std::nullopt;
    if (Blank(nextLine)) return TakeRequest(r);
    const LineEnd held = std::move(*r.s.heldRequest);
    r.s.heldRequest.reset();
    return TakeLine(r, held);
}

// The last, unfinished line of a receive that ends.
std::optional<Ending> AddLastLine(Run& r, std::string text) {
    if (std::optional<Ending> ended = SettleHeldRequest(r, text)) return ended;
    if (r.s.discarding) return std::nullopt;
    r.s.sawWord = r.s.sawWord || HasWord(text);
    r.s.view.Add(std::move(text));
    return std::nullopt;
}

// A line feed (or a line grown too long). nullopt: the receive goes on.
std::optional<Ending> FinishLine(Run& r) {
    LineEnd end = EndLine(r.s.line, r.settings.OColonChange == "Y");
    if (end.kind == LineEnd::Kind::FirstPercentDropped) return std::nullopt;
    if (r.s.heldRequest) {
        // A bare "O" goes on in the next line: nothing is decided yet.
        if (end.kind == LineEnd::Kind::Continued) return std::nullopt;
        if (end.programNumber || end.endsReceive || !end.keep || Blank(end.text)) {
            // No block came before the next program or the end: the request.
            if (end.programNumber || end.endsReceive) {
                if (std::optional<Ending> ended = TakeRequest(r)) return ended;
            } else {
                return std::nullopt;
            }
        } else if (std::optional<Ending> ended = SettleHeldRequest(r, end.text)) {
            return ended;
        }
    }
    // A line the filter took a byte out of is not what the NC sent, and never
    // a request.
    if (end.programNumber && end.whole && !r.s.request.named && r.env.isRequest &&
        r.env.isRequest(end.text)) {
        r.s.heldRequest = std::move(end);
        return std::nullopt;
    }
    return TakeLine(r, end);
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

// The receive stops in the middle: the line went quiet or went away. One
// that got nothing to keep ends as one that received nothing, one that ends
// in a request as a request, noise as noise; any other program is cut off
// and set aside on the error path, never saved as whole.
Ending CutOff(Run& r, std::string reason) {
    const bool nothing = r.s.data.target.empty() && !r.s.data.targetUnfinished &&
                         r.s.programCount == 0 && OnlyMarks(r.s.view.lines()) &&
                         Blank(r.s.line.buffer);
    if (nothing || (r.s.heldRequest && Blank(r.s.line.buffer)) || IsNoise(r)) {
        return Ending::Completed;
    }
    // What came is set aside whole, the unfinished line included.
    if (!Blank(r.s.line.buffer)) r.s.view.Add(r.s.line.buffer);
    const Status written = WriteReceivedView(r.s.data, r.s.view, r.settings, r.env.now());
    if (!written) return Fail(r, written);
    r.s.view.Clear();
    r.error = std::move(reason);
    return Ending::Failed;
}

Ending Receive(Run& r) {
    LineAssembly& line = r.s.line;
    r.bytesSeen = r.link.bytesRead;
    r.lastByteAt = Clock::now();
    const auto idleLimit = r.env.unattended.idleLimit;
    while (true) {
        if (StopWanted(r, false)) return EndOnRequest(r);
        const std::uint8_t c = ReadChar(r.link);
        // The device is gone: the operator has been told; keep what came when asked to.
        if (!r.link.lineFault.empty()) {
            if (r.env.unattended.tellNcOnError) return CutOff(r, r.link.lineFault);
            return r.settings.op5 == "Y" ? Ending::Saved : Ending::Aborted;
        }
        if (StopWanted(r, true)) return EndOnRequest(r);
        if (r.link.bytesRead != r.bytesSeen) {
            r.bytesSeen = r.link.bytesRead;
            r.lastByteAt = Clock::now();
            CountByte(r, c);
            // A byte that broke the parity is not what the NC sent either.
            if (r.link.parityError) line.dropped = true;
        } else if (idleLimit.count() > 0 && Clock::now() - r.lastByteAt >= idleLimit) {
            const auto seconds =
                std::chrono::duration_cast<std::chrono::seconds>(idleLimit).count();
            return CutOff(r, "ＮＣから " + std::to_string(seconds) +
                                 " 秒間何も届かないため、受信を中止しました。");
        }
        if (c == 0 || ++r.sinceModemLook >= kCharsPerModemLook) {
            r.sinceModemLook = 0;
            const std::optional<ModemStatus> modem = RefreshLamps(r.link);
            if (modem && !modem->dsr && r.settings.op6 == "Y") {
                if (std::optional<Ending> ended = AddLastLine(r, line.buffer)) return *ended;
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
            const std::optional<std::string> rest = EndMarkLine(line.buffer);
            if (std::optional<Ending> ended = rest ? AddLastLine(r, *rest) : SettleHeldRequest(r, ""))
                return *ended;
            return Ending::Completed;
        }
        if (c == kDc4) {
            if (std::optional<Ending> ended = AddLastLine(r, line.buffer)) return *ended;
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

Ending Complete(Run& r, bool addEndMark) {
    if (r.s.heldRequest) {
        if (std::optional<Ending> ended = TakeRequest(r)) return *ended;
    }
    if (IsNoise(r)) DropProgramAsNoise(r);
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

// After a failure the NC may go on punching before it heeds the DC4: what it
// sends up to the tape's end mark or two seconds of quiet is read away, so
// that the rest of the program is not taken for new receives.
void ReadAwayRest(Run& r) {
    std::uint64_t seen = r.link.bytesRead;
    auto last = Clock::now();
    while (!StopWanted(r, false) && r.link.lineFault.empty()) {
        const std::uint8_t c = ReadChar(r.link);
        if (r.link.bytesRead != seen) {
            seen = r.link.bytesRead;
            last = Clock::now();
            if (c == '%') return;
        } else if (Clock::now() - last >= kQuietAfterFailure) {
            return;
        }
    }
}

// Ends like an abort, but sends no DC4 (unless the receive is unattended), and the data of the file being
// written is kept under a ".part" name, where it cannot pass for a complete
// program; what stands under the target's name stays as it was.
void EndOnError(Run& r) {
    const std::string aside = SetAsideUnfinishedTarget(r.s.data);
    const bool tellNc = r.env.unattended.tellNcOnError;
    const bool lineThere = r.link.port && r.link.port->IsOpen() && r.link.lineFault.empty();
    if (tellNc && lineThere) SendChar(r.link, kDc4);
    // A lost line was said when it went.
    std::string text = r.error == r.link.lineFault ? std::string() : r.error;
    if (!aside.empty()) text += (text.empty() ? "" : "\n") + std::string("未完了のデータ: ") + aside;
    if (!text.empty()) {
        r.link.env.messages->Tell(text, DefaultCaption(MessageIcon::Error), MessageIcon::Error);
    }
    std::string logged = r.s.data.target.empty() ? r.failedFile : r.s.data.target;
    if (tellNc) logged += "（" + OneLine(r.error) + "）";
    Log(r, TransferLog::Outcome::Aborted, logged);
    if (tellNc && lineThere) ReadAwayRest(r);
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
    ReceiveState state;
    state.request = request;
    state.view = ReceivedView(env.panel);
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
    // A receive that was noise throughout counts all of it.
    result.noiseBytes = state.data.completedFiles.empty() && state.noiseBytes > 0
                            ? std::max(state.noiseBytes, state.receiveBytes)
                            : state.noiseBytes;
    result.error = r.error;
    const bool lineLost = !r.link.lineFault.empty();
    result.windowCloses =
        state.closeRequested ||
        (request.exitAfterTransfer && (result.end == ReceiveEnd::Completed ||
                                       (result.end == ReceiveEnd::Aborted && lineLost)));
    return result;
}

}  // namespace wexal
