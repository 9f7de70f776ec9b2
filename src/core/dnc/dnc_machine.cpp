#include "dnc/dnc_machine.h"

#include <chrono>
#include <optional>

#include "dnc/refusal_limit.h"
#include "dnc/remote_request.h"
#include "dnc/request_service.h"
#include "platform/path_rules.h"
#include "platform/text_codec.h"
#include "programs/file_loader.h"
#include "serial/receive_engine.h"
#include "serial/send_engine.h"
#include "serial/transfer_log.h"

namespace wexal {

namespace {

using namespace std::chrono_literals;

// Sleeps, waking early for a stop.
void Rest(const std::atomic<bool>& stop, std::chrono::microseconds duration) {
    const auto until = std::chrono::steady_clock::now() + duration;
    while (!stop) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) return;
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(until - now, 50ms));
    }
}

// A stop (SIGTERM, a reload) as the engines see it: once through whichever
// asks first, the panels' close request or one press of the abort key. Never
// as a key held down, which would keep back the abort path's DC4 too.
class Stop {
public:
    explicit Stop(const std::atomic<bool>& stop) : stop_(stop) {}
    bool Requested() const { return stop_; }
    // True once the stop is there and nobody has acted on it yet.
    bool TakeOnce() {
        if (!stop_ || noticed_) return false;
        noticed_ = true;
        return true;
    }
    // The panels: true from the stop on, and the key need not say it again.
    bool Notice() {
        if (stop_) noticed_ = true;
        return stop_;
    }

private:
    const std::atomic<bool>& stop_;
    bool noticed_ = false;
};

// The window's part in a transfer, played by nobody.
class MachineHost : public TransferHost {
public:
    MachineHost(Stop& stop, std::chrono::seconds signalLimit, std::function<void()> gaveUp)
        : stop_(stop), signalLimit_(signalLimit), gaveUp_(std::move(gaveUp)) {}
    void ProcessPendingEvents() override {}
    bool AbortKeyDown() override { return false; }
    // Ends a wait for the NC's XON or DC1 when the stop comes, and a wait for
    // DC1 that has lasted too long: an NC that never reads must not keep
    // the machine from being heard.
    bool AbortKeyPressed() override {
        if (stop_.TakeOnce()) return true;
        if (signalWaitSince_ &&
            std::chrono::steady_clock::now() - *signalWaitSince_ > signalLimit_) {
            signalWaitSince_.reset();
            if (gaveUp_) gaveUp_();
            return true;
        }
        return false;
    }
    void ReleaseAbortKeys() override {}
    void SetDsrLamp(bool) override {}
    void SetCtsLamp(bool) override {}
    void SetStatusPanel(int index, const std::string& text) override {
        if (index != 3) return;
        if (text == kWaitingForSignal) {
            signalWaitSince_ = std::chrono::steady_clock::now();
        } else {
            signalWaitSince_.reset();
        }
    }
    void SetProgressRange(int) override {}
    void SetProgressPosition(int) override {}
    void SetMessageLine(const std::string&, MessageLineColour) override {}
    void Sleep(std::chrono::microseconds duration) override {
        const auto until = std::chrono::steady_clock::now() + duration;
        while (!stop_.Requested()) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= until) return;
            std::this_thread::sleep_for(
                std::min<std::chrono::steady_clock::duration>(until - now, 50ms));
        }
    }
    std::optional<std::string> AskAutoSelectNumber() override { return std::nullopt; }

private:
    Stop& stop_;
    std::chrono::seconds signalLimit_;
    std::function<void()> gaveUp_;
    std::optional<std::chrono::steady_clock::time_point> signalWaitSince_;
};

// Messages go to standard output with the machine's name; questions take
// their safe answer. While `hold` is set a message is kept instead, so that a
// port that stays away is said once, not at every try.
class MachineMessages : public MessageService {
public:
    MachineMessages(const DncShared& shared, std::string machine, const std::atomic<bool>& stop)
        : shared_(shared), machine_(std::move(machine)), stop_(stop) {}
    bool AskYesNo(const std::string& text, const std::string&, MessageIcon) override {
        Tell(text + "（いいえ）", "", MessageIcon::None);
        return false;
    }
    bool AskOkCancel(const std::string& text, const std::string&, MessageIcon) override {
        Tell(text + "（キャンセル）", "", MessageIcon::None);
        return false;
    }
    void Tell(const std::string& text, const std::string&, MessageIcon) override {
        if (hold) {
            held = text;
            return;
        }
        shared_.Say(machine_, text);
    }
    bool Interrupted() const override { return stop_; }
    bool Unattended() const override { return true; }

    bool hold = false;
    std::string held;

private:
    const DncShared& shared_;
    std::string machine_;
    const std::atomic<bool>& stop_;
};

// The server's stop ends a receive as a closing window does.
class NullReceivePanel : public NoReceivePanel {
public:
    explicit NullReceivePanel(Stop& stop) : stop_(stop) {}
    bool CloseRequested() override { return stop_.Notice(); }

private:
    Stop& stop_;
};

class NullSendPanel : public SendPanel {
public:
    explicit NullSendPanel(Stop& stop) : stop_(stop) {}
    void ShowView(const SendView&) override {}
    void ClearView() override {}
    void ShowViewTop() override {}
    void HighlightLine(std::size_t) override {}
    void HighlightQueueEntry(int) override {}
    void SetRemainingLine(const std::string&) override {}
    void ShowRemainingLine() override {}
    void HideTransferPanel() override {}
    void EnableFileList() override {}
    void Repaint() override {}
    void StartEstimateTimer() override {}
    void StopEstimateTimer() override {}
    void StartIdleTimer(std::chrono::milliseconds) override {}
    void CloseMainWindow() override {}
    bool StopRequested() override { return stop_.Notice(); }

private:
    Stop& stop_;
};

}  // namespace

void DncShared::Say(const std::string& machine, const std::string& text) const {
    if (writeLine) writeLine(machine + ": " + OneLine(text));
}

DncMachine::DncMachine(MachineConfig config, const DncShared& shared)
    : config_(std::move(config)), shared_(shared) {}

DncMachine::~DncMachine() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void DncMachine::Start() {
    thread_ = std::thread([this] {
        Run();
        finished_ = true;
    });
}

void DncMachine::Join() {
    if (thread_.joinable()) thread_.join();
}

void DncMachine::Detach() {
    if (thread_.joinable()) thread_.detach();
}

void DncMachine::Run() {
    // A receive listens all the time: Signal only governs the wait for the
    // NC's DC1 before a send.
    Settings receiveSettings = config_.settings;
    receiveSettings.Signal = "N";
    receiveSettings.DirPath = config_.receiveDir;
    Settings sendSettings = config_.settings;
    sendSettings.DirPath = config_.sendDir;

    Stop stop(stop_);
    MachineMessages messages(shared_, config_.name, stop_);
    const std::chrono::seconds signalLimit(config_.requestWaitSeconds);
    MachineHost host(stop, signalLimit, [&messages, signalLimit] {
        messages.Tell("ＮＣの受信準備（DC1）を " + std::to_string(signalLimit.count()) +
                          " 秒待ちましたが来ないため、送信を中止します。",
                      "", MessageIcon::None);
    });
    NullReceivePanel receivePanel(stop);
    NullSendPanel sendPanel(stop);

    TransferLog log(shared_.programFolder / "Wexal.log");
    const DncShared& shared = shared_;
    log.Share({config_.name, shared_.outputMutex, [&shared](std::string_view entry) {
                   // Under the log's mutex, so the lines keep the file's order;
                   // writeLine only queues the line.
                   if (shared.writeLine) shared.writeLine(entry);
               }});
    const auto logOwn = [&](const std::string& entry) {
        if (const Status written = log.Append(entry); !written) {
            messages.Tell(written.message, "", MessageIcon::Error);
        }
    };

    SerialLink link;
    link.env.settings = &receiveSettings;
    link.env.host = &host;
    link.env.messages = &messages;
    link.env.programFolder = shared_.programFolder;
    link.env.createPort = shared_.createPort;
    link.holdOpen = true;

    ReceiveEnvironment receiveEnv;
    receiveEnv.link = &link;
    receiveEnv.panel = &receivePanel;
    receiveEnv.log = &log;
    receiveEnv.quietWhileIdle = true;
    receiveEnv.revisionSource = config_.name;
    receiveEnv.isRequest = [](const std::string& line) {
        return ParseRemoteRequest(line).has_value();
    };
    receiveEnv.unattended.idleLimit = std::chrono::seconds(config_.receiveIdleSeconds);
    receiveEnv.unattended.discardNoise = true;
    receiveEnv.unattended.tellNcOnError = true;

    RequestService requests({config_.sendDir, &sendSettings, &receiveSettings, &link, &sendPanel,
                             &messages, &log, &stop_, logOwn});

    // Noise is said at most once a minute, with what came since the last entry.
    RepeatLimit noiseEntries;
    std::uint64_t noiseBytes = 0;
    bool away = false;
    while (!stop_) {
        if (!link.port || !link.port->IsOpen()) {
            messages.hold = true;
            messages.held.clear();
            link.env.settings = &receiveSettings;
            const bool opened = OpenPort(link, TransferMode::Receive);
            messages.hold = false;
            if (!opened) {
                ReleasePort(link);
                if (!away) {
                    messages.Tell((messages.held.empty() ? receiveSettings.Port + "のポートが開きません。"
                                                         : messages.held) +
                                      "（開けるまで " +
                                      std::to_string(shared_.retryPause.count() / 1000) +
                                      " 秒ごとに試します）",
                                  "", MessageIcon::None);
                    away = true;
                }
                Rest(stop_, shared_.retryPause);
                continue;
            }
            if (away) messages.Tell(receiveSettings.Port + "のポートが開きました。", "", MessageIcon::None);
            away = false;
        }
        const ReceiveResult received = ReceiveFile(ReceiveRequest{}, receiveEnv);
        // "前版　　保存　yyyy/mm/dd hh:mm:ss　<revision>": where the program
        // that a punch replaced now is.
        for (const std::string& revision : received.keptRevisions) {
            logOwn(ServerEntry("前版", "保存", std::time(nullptr), revision));
        }
        if (received.noiseBytes > 0) {
            noiseBytes += received.noiseBytes;
            if (const std::optional<long long> repeats =
                    noiseEntries.Admit("noise", std::chrono::steady_clock::now())) {
                logOwn(ServerEntry("雑音", "破棄", std::time(nullptr),
                                   std::to_string(noiseBytes) + " バイト（" +
                                       std::to_string(*repeats + 1) + " 回）"));
                noiseBytes = 0;
            }
        }
        for (const std::string& line : received.requests) {
            if (stop_) break;
            requests.Serve(line);
            // The NC began to punch instead of reading: what it punches is
            // received next, and the requests after this one are dropped.
            if (!link.heldInput.empty()) {
                logOwn(ServerEntry("要求", "中止", std::time(nullptr),
                                   ParseRemoteRequest(line)->name + "（ＮＣが出力を始めたため）"));
                break;
            }
        }
        // A receive that ended at once without a byte (a port that keeps
        // failing) must not spin.
        if (!received.dataArrived && !stop_) Rest(stop_, 100ms);
    }
    ReleasePort(link);
}

}  // namespace wexal
