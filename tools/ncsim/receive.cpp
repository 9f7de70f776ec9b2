#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <string>

#include "modes.h"
#include "nc_tape.h"

namespace ncsim {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::duration;
using std::chrono::duration_cast;
using std::chrono::milliseconds;
using std::chrono::nanoseconds;

constexpr unsigned char kXon = 0x11, kDc2 = 0x12, kDc3 = 0x13, kDc4 = 0x14, kDel = 0x7F;
// How late a wake-up on a busy machine may come without delaying the line.
constexpr milliseconds kWakeSlack{2};
// How late a wake-up may come while the PC keeps the line busy.
constexpr milliseconds kCatchUp{20};

class Receiver {
public:
    Receiver(const Options& options, Line& port)
        : options_(options), port_(port), decoder_(*options.code) {
        double rate = options.line.BytesPerSecond();
        if (options.drainBytesPerSecond > 0 && (rate == 0 || options.drainBytesPerSecond < rate)) {
            rate = options.drainBytesPerSecond;
        }
        paced_ = rate > 0;
        if (paced_) period_ = duration_cast<nanoseconds>(duration<double>(1.0 / rate));
        const double lineRate = options.line.BytesPerSecond();
        if (lineRate > 0) linePeriod_ = duration_cast<nanoseconds>(duration<double>(1.0 / lineRate));
        fired_.assign(options.injections.size(), false);
    }

    int Run(Report& report);
    const std::string& text() const { return text_; }

private:
    void ReadLine(Clock::time_point now);
    Clock::time_point NextEvent() const;
    void Advance(Clock::time_point now);
    void Arrive(unsigned char byte, Clock::time_point at);
    void TakeIn(unsigned char byte, Clock::time_point now);
    void FlowControl(Clock::time_point now);
    void Readiness(Clock::time_point now);
    void Send(std::string_view bytes);
    void Linger();
    void End(const char* reason, Clock::time_point now) {
        endReason_ = reason;
        endTime_ = now;
    }

    const Options& options_;
    Line& port_;
    TapeDecoder decoder_;
    bool paced_ = false;
    nanoseconds period_{};
    nanoseconds linePeriod_{};  // zero: a line without a rate delivers at once

    // Bytes the PC has written that the line has not carried in yet, each
    // with the time its last bit arrives. The PC's side of a pseudo-terminal
    // or a socket takes bytes faster than any serial line; the machine sees
    // them only at the line's rate.
    struct OnWire {
        Clock::time_point at;
        unsigned char byte;
    };
    std::deque<OnWire> wire_;
    Clock::time_point lineFreeAt_{};
    Clock::time_point lastDrained_{};
    Clock::time_point releasedAt_{};
    long long arrived_ = 0;

    // The machine's buffer: read from the line, not yet taken in.
    std::deque<unsigned char> buffer_;
    Clock::time_point nextDue_{};
    std::string raw_;
    std::string text_;
    std::string pending_;  // to the PC

    bool peerOpen_ = false;
    bool ready_ = false;
    Clock::time_point readyAt_{};
    std::vector<bool> fired_;

    bool held_ = false;
    Clock::time_point heldSince_{};
    Clock::time_point xoffOutAt_ = Clock::time_point::max();
    long long heldMs_ = 0;
    long long episodeBytes_ = 0;

    bool textStarted_ = false;
    bool programSeen_ = false;
    const char* endReason_ = nullptr;
    Clock::time_point firstByte_{}, endTime_{}, lastActivity_{};
    bool anyByte_ = false;

    long long takenIn_ = 0, leader_ = 0, parityErrors_ = 0, firstParityError_ = -1, eiaUnknown_ = 0;
    long long overrun_ = 0, xoffSent_ = 0, xonSent_ = 0, maxFill_ = 0, maxAfterXoff_ = 0;
    long long afterXoffTotal_ = 0, dc1Sent_ = 0, injected_ = 0, dc4Received_ = 0, opens_ = 0;
};

void Receiver::Send(std::string_view bytes) {
    // The PC purges its queues when it opens the port; nothing is kept for it.
    if (!peerOpen_) return;
    pending_.append(bytes);
    if (bytes.find(static_cast<char>(kXon)) != std::string_view::npos) releasedAt_ = Clock::now();
}

void Receiver::ReadLine(Clock::time_point now) {
    std::string chunk;
    port_.ReadAvailable(chunk);
    if (chunk.empty()) return;
    lastActivity_ = now;
    raw_ += chunk;
    if (endReason_ != nullptr) return;
    // A byte starts when the line is free and it has been written: after the
    // last read, which found nothing more, and not before this side's last
    // XON or DC1 let the PC go. Where the line was still busy at the last
    // read, the PC's UART had it queued right behind (up to kCatchUp back),
    // so a wake-up the scheduler delayed does not hold the line back; on an
    // idle line it was written at most a moment before it was read.
    const bool busy = lineFreeAt_ > lastDrained_;
    const Clock::time_point written =
        std::max({lastDrained_, releasedAt_, now - (busy ? kCatchUp : kWakeSlack)});
    lastDrained_ = now;
    for (unsigned char byte : chunk) {
        lineFreeAt_ = std::max(lineFreeAt_, written) + linePeriod_;
        wire_.push_back({lineFreeAt_, byte});
    }
}

void Receiver::Arrive(unsigned char byte, Clock::time_point at) {
    if (!anyByte_) firstByte_ = at;
    anyByte_ = true;
    lastActivity_ = at;
    ++arrived_;
    // Counted from the moment the XOFF went out, not from when the machine
    // decided on it: what the line carried meanwhile was on its way already.
    if (held_ && at > xoffOutAt_) {
        ++episodeBytes_;
        ++afterXoffTotal_;
        maxAfterXoff_ = std::max(maxAfterXoff_, episodeBytes_);
    }
    if (options_.bufferSize > 0 && static_cast<long long>(buffer_.size()) >= options_.bufferSize) {
        ++overrun_;  // a full machine loses the byte
        return;
    }
    if (buffer_.empty() && paced_) nextDue_ = std::max(nextDue_, at) + period_;
    buffer_.push_back(byte);
    maxFill_ = std::max(maxFill_, static_cast<long long>(buffer_.size()));
    FlowControl(at);
}

Clock::time_point Receiver::NextEvent() const {
    Clock::time_point next = Clock::time_point::max();
    if (!wire_.empty()) next = wire_.front().at;
    if (!buffer_.empty()) next = std::min(next, paced_ ? nextDue_ : Clock::time_point::min());
    return next;
}

// Lets the line and the machine catch up with now, one byte at a time in the
// order they happened, so the buffer's level and the XOFF follow the line's
// clock and not how late this process woke up.
void Receiver::Advance(Clock::time_point now) {
    while (endReason_ == nullptr) {
        const bool arrival = !wire_.empty() && wire_.front().at <= now;
        const bool takeIn = !buffer_.empty() && (!paced_ || nextDue_ <= now);
        if (!arrival && !takeIn) return;
        if (takeIn && (!arrival || !paced_ || nextDue_ <= wire_.front().at)) {
            const Clock::time_point at = paced_ ? nextDue_ : now;
            TakeIn(buffer_.front(), at);
            buffer_.pop_front();
            if (paced_) nextDue_ += period_;
            lastActivity_ = at;
            FlowControl(at);
        } else {
            const OnWire next = wire_.front();
            wire_.pop_front();
            Arrive(next.byte, next.at);
        }
    }
}

void Receiver::TakeIn(unsigned char byte, Clock::time_point now) {
    const long long offset = takenIn_++;
    TapeDecoder::Result result = decoder_.Feed(byte);
    if (result.parityError) {
        ++parityErrors_;
        if (firstParityError_ < 0) firstParityError_ = offset;
    }
    if (result.unknown) ++eiaUnknown_;
    if (!result.ch) {
        if (!textStarted_) ++leader_;
        return;
    }
    const unsigned char c = *result.ch;
    if (c == kDc4) {
        ++dc4Received_;
        End("dc4", now);
        return;
    }
    if (c == kXon || c == kDc2 || c == kDc3) {
        if (!textStarted_) ++leader_;
        return;
    }
    if (!textStarted_) {
        if (c == ' ' || c == kDel) {
            ++leader_;
            return;
        }
        textStarted_ = true;
    }
    text_ += static_cast<char>(c);
    if (c == '%') {
        // The first "%" opens the tape; one after program characters ends it.
        if (programSeen_ && options_.endOnPercent) End("end-mark", now);
        return;
    }
    if (c != '\n' && c != '\r' && c != ' ' && c != kDel) programSeen_ = true;
}

void Receiver::FlowControl(Clock::time_point now) {
    if (options_.xoffAt <= 0) return;
    const auto fill = static_cast<long long>(buffer_.size());
    if (!held_ && fill >= options_.xoffAt) {
        Send(std::string(1, static_cast<char>(options_.xoffChar)));
        held_ = true;
        heldSince_ = now;
        xoffOutAt_ = Clock::time_point::max();
        episodeBytes_ = 0;
        ++xoffSent_;
    } else if (held_ && fill <= *options_.xonAt) {
        Send(std::string(1, static_cast<char>(kXon)));
        held_ = false;
        heldMs_ += duration_cast<milliseconds>(now - heldSince_).count();
        ++xonSent_;
    }
}

void Receiver::Readiness(Clock::time_point now) {
    if (peerOpen_ && !ready_ && now >= readyAt_) {
        ready_ = true;
        if (options_.sendDc1 && !anyByte_) {
            Send(std::string(1, static_cast<char>(kXon)));
            ++dc1Sent_;
        }
    }
    for (size_t i = 0; i < fired_.size(); ++i) {
        const Injection& injection = options_.injections[i];
        if (fired_[i] || !peerOpen_ || !ready_) continue;
        if (arrived_ >= injection.afterBytes) {
            Send(injection.bytes);
            fired_[i] = true;
            ++injected_;
        }
    }
}

void Receiver::Linger() {
    // What follows the end (the rest of the end characters) still belongs
    // in the raw record.
    const milliseconds quiet(options_.lingerMs);
    Clock::time_point last = Clock::now();
    while (!StopRequested()) {
        const auto now = Clock::now();
        if (now - last >= quiet) return;
        Line::Events events =
            port_.Wait(std::min<nanoseconds>(quiet - (now - last), milliseconds(10)), false);
        if (events.readable) {
            const size_t before = raw_.size();
            port_.ReadAvailable(raw_);
            if (raw_.size() > before) last = Clock::now();
        } else if (!events.peerOpen) {
            return;
        }
    }
}

int Receiver::Run(Report& report) {
    const Clock::time_point start = Clock::now();
    lastActivity_ = start;
    lastDrained_ = start;
    const auto idle = duration_cast<nanoseconds>(duration<double>(options_.idleTimeoutSeconds));
    for (;;) {
        auto now = Clock::now();
        if (StopRequested()) {
            End("signal", now);
            break;
        }
        Advance(now);
        if (endReason_ != nullptr) break;
        FlowControl(now);
        Readiness(now);
        if (!pending_.empty()) pending_.erase(0, port_.Write(pending_));
        if (held_ && pending_.empty() && xoffOutAt_ == Clock::time_point::max()) {
            xoffOutAt_ = Clock::now();
        }
        const bool drained = buffer_.empty() && wire_.empty();
        if (!peerOpen_ && textStarted_ && drained && opens_ > 0) {
            End("closed", now);
            break;
        }
        if (idle.count() > 0 && drained && now - lastActivity_ >= idle) {
            End("idle-timeout", lastActivity_);
            break;
        }

        nanoseconds timeout = milliseconds(10);
        if (const Clock::time_point next = NextEvent(); next != Clock::time_point::max()) {
            timeout = std::min(timeout, std::max(nanoseconds(next - now), nanoseconds{}));
        }
        if (peerOpen_ && !ready_) timeout = std::min(timeout, nanoseconds(readyAt_ - now));
        Line::Events events = port_.Wait(timeout, !pending_.empty());
        now = Clock::now();
        if (events.peerOpen && !peerOpen_) {
            ++opens_;
            ready_ = false;
            readyAt_ = now + milliseconds(options_.readyDelayMs);
            lastActivity_ = now;
        }
        if (!events.peerOpen) pending_.clear();
        peerOpen_ = events.peerOpen;
        if (events.readable) ReadLine(now);
    }
    if (held_) heldMs_ += duration_cast<milliseconds>(endTime_ - heldSince_).count();
    if (!pending_.empty()) port_.Write(pending_);
    const std::string reason = endReason_;
    if (reason == "end-mark" || reason == "dc4") Linger();

    int status = reason == "idle-timeout" || reason == "signal" ? 1 : 0;
    std::string error;
    if (!options_.rawFile.empty() && !WriteWholeFile(options_.rawFile, raw_, error)) status = 1;
    if (!options_.textFile.empty() && !WriteWholeFile(options_.textFile, text_, error)) status = 1;
    if (!error.empty()) std::fprintf(stderr, "ncsim: %s\n", error.c_str());

    report.Add("mode", "receive");
    report.Add("line", options_.line.text);
    report.Add("bytes_per_s", options_.line.BytesPerSecond());
    report.Add("code", TapeCodeName(decoder_.code()));
    report.Add("end_reason", error.empty() ? reason : std::string("error"));
    report.Add("duration_ms", anyByte_
                                  ? static_cast<long long>(
                                        duration_cast<milliseconds>(endTime_ - firstByte_).count())
                                  : 0LL);
    report.Add("opens", opens_);
    report.Add("bytes_received", static_cast<long long>(raw_.size()));
    report.Add("leader_bytes", leader_);
    report.Add("text_bytes", static_cast<long long>(text_.size()));
    report.Add("parity_errors", parityErrors_);
    report.Add("first_parity_error", firstParityError_);
    report.Add("eia_unknown", eiaUnknown_);
    report.Add("overrun_bytes", overrun_);
    report.Add("xoff_sent", xoffSent_);
    report.Add("xon_sent", xonSent_);
    report.Add("max_buffer_fill", maxFill_);
    report.Add("bytes_after_xoff", maxAfterXoff_);
    report.Add("bytes_after_xoff_total", afterXoffTotal_);
    report.Add("xoff_held_ms", heldMs_);
    report.Add("dc1_sent", dc1Sent_);
    report.Add("injected", injected_);
    report.Add("dc4_received", dc4Received_);
    return status;
}

}  // namespace

int RunReceive(const Options& options, Line& port, Report& report, std::string* text) {
    Receiver receiver(options, port);
    const int status = receiver.Run(report);
    if (text != nullptr) *text = receiver.text();
    return status;
}

}  // namespace ncsim
