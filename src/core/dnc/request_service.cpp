#include "dnc/request_service.h"

#include <optional>
#include <thread>

#include "dnc/remote_request.h"
#include "platform/path_rules.h"
#include "platform/text_codec.h"
#include "programs/file_loader.h"
#include "serial/send_engine.h"

namespace wexal {

namespace {

constexpr const char* kIdeographicSpace = "\u3000";

// "要求　　受付　yyyy/mm/dd hh:mm:ss　<file>", or "拒否".
std::string RequestEntry(bool accepted, std::time_t when, const std::string& what) {
    return ServerEntry("要求", accepted ? "受付" : "拒否", when, what);
}

}  // namespace

std::string ServerEntry(std::string_view kind, std::string_view outcome, std::time_t when,
                        const std::string& what) {
    std::string entry = TransferLog::Entry(TransferLog::Direction::Send,
                                           TransferLog::Outcome::Completed, when, what);
    // The transfer entry's first two fields give way to the server's.
    const std::string sendDone = std::string("送信") + kIdeographicSpace + kIdeographicSpace + "完了";
    return std::string(kind) + kIdeographicSpace + kIdeographicSpace + std::string(outcome) +
           entry.substr(sendDone.size());
}

void RequestService::Serve(const std::string& programLine) {
    const std::optional<RemoteRequest> request = ParseRemoteRequest(programLine);
    if (!request) return;
    const std::string kind = request->drip ? "（DRIP）" : "";
    std::string why;
    std::string name = RequestedFileName(request->name, c_.sendSettings->Mask, why);
    if (why.empty()) name = FindRequestedFile(c_.sendDir, name, why);
    const std::string path = name.empty() ? "" : PathRules::Join(c_.sendDir, name);
    if (why.empty()) why = WhyNotSendable(path);
    if (!why.empty()) {
        // The NC's own text, made printable, so the entry stays one line.
        Refuse(PrintableText(request->name) + kind + "（" + why + "）");
        return;
    }
    c_.logOwn(RequestEntry(true, std::time(nullptr), path + kind));
    c_.link->env.settings = c_.sendSettings;
    ProgramLoad load = LoadProgram(c_.sendDir, name, *c_.messages);
    SendState state = PrepareSend(c_.sendDir, name, std::move(load), {}, false, true);
    SendEnvironment sendEnv;
    sendEnv.link = c_.link;
    sendEnv.panel = c_.sendPanel;
    sendEnv.log = *c_.log;
    // An NC that punches instead of reading is received, not sent to.
    sendEnv.punchEndsWait = true;
    (void)SendFiles(state, sendEnv);
    c_.link->env.settings = c_.receiveSettings;
}

void RequestService::Refuse(const std::string& entryText) {
    if (const std::optional<long long> repeats =
            refusals_.Admit(entryText, RepeatLimit::Clock::now())) {
        std::string text = entryText;
        if (*repeats > 0) text += "（前回の記録の後に同じ拒否 " + std::to_string(*repeats) + " 回）";
        c_.logOwn(RequestEntry(false, std::time(nullptr), text));
    }
    // Rests, waking early for a stop.
    const auto until = std::chrono::steady_clock::now() + c_.restAfterRefusal;
    while (!*c_.stop) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) return;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            until - now, std::chrono::milliseconds(50)));
    }
}

}  // namespace wexal
