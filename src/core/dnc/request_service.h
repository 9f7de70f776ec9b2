#pragma once

#include <atomic>
#include <chrono>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>


#include "config/settings.h"
#include "dnc/refusal_limit.h"
#include "platform/message_service.h"
#include "serial/send_panel.h"
#include "serial/serial_link.h"
#include "serial/transfer_log.h"

namespace wexal {

// A log entry of the server's own, in the transfer entries' form:
// "<kind>　　<outcome>　yyyy/mm/dd hh:mm:ss　<what>".
std::string ServerEntry(std::string_view kind, std::string_view outcome, std::time_t when,
                        const std::string& what);

// What one machine answers with when its NC asks for a program.
struct RequestContext {
    std::string sendDir;
    Settings* sendSettings = nullptr;
    // The link listens with these again after a send.
    Settings* receiveSettings = nullptr;
    SerialLink* link = nullptr;
    SendPanel* sendPanel = nullptr;
    MessageService* messages = nullptr;
    const TransferLog* log = nullptr;
    const std::atomic<bool>* stop = nullptr;
    // Writes one entry of the server's own into the log.
    std::function<void(const std::string& entry)> logOwn;
    // How long a refusal rests before the machine listens again: an NC that
    // repeats a bad request as fast as the line goes must not keep a core busy.
    std::chrono::milliseconds restAfterRefusal{100};
};

// Answers a machine's requests: the named program from its SendDir, or a
// refusal in the log, the same one at most once a minute.
class RequestService {
public:
    explicit RequestService(RequestContext context) : c_(std::move(context)) {}

    // programLine: a program-number line that the receive took as a request.
    void Serve(const std::string& programLine);

private:
    void Refuse(const std::string& entryText);

    RequestContext c_;
    RepeatLimit refusals_;
};

}  // namespace wexal
