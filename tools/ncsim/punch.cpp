#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
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

constexpr unsigned char kXon = 0x11, kXoff = 0x13, kXoffParity = 0x93, kDc4 = 0x14;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A program that carries its own "%" lines gets no second pair: a second
// "%" at the start would end the reader's tape before the program.
std::string AutoStart(const std::string& program) {
    auto first = std::find_if_not(program.begin(), program.end(), IsBlank);
    return first != program.end() && *first == '%' ? "" : "%\n";
}

std::string AutoEnd(const std::string& program) {
    size_t last = program.find_last_not_of(" \t\r\n");
    if (last != std::string::npos) {
        size_t lineStart = program.find_last_of('\n', last);
        lineStart = lineStart == std::string::npos ? 0 : lineStart + 1;
        size_t textStart = program.find_first_not_of(" \t", lineStart);
        if (program.substr(textStart, last + 1 - textStart) == "%") return "";
    }
    if (!program.empty() && program.back() != '\n') return "\n%\n";
    return "%\n";
}

}  // namespace

Tape BuildTape(const Options& options, std::string program) {
    if (!options.keepCr) std::erase(program, '\r');
    const std::string characters = options.startChars.value_or(AutoStart(program)) + program +
                                   options.endChars.value_or(AutoEnd(program));
    const TapeCode code = *options.code;
    const char leaderByte = options.leaderSpaces ? static_cast<char>(*Encode(code, ' ')) : '\0';
    Tape tape;
    tape.bytes.assign(static_cast<size_t>(options.leaderCount), leaderByte);
    for (unsigned char c : characters) {
        if (auto byte = Encode(code, c)) {
            tape.bytes += static_cast<char>(*byte);
        } else {
            ++tape.unencodable;
        }
    }
    tape.bytes.append(static_cast<size_t>(options.trailerCount), leaderByte);
    return tape;
}

PunchResult PunchTape(const Options& options, Line& port, const std::string& tape,
                      bool endAtLastByte) {
    const double rate = options.line.BytesPerSecond();
    const bool paced = rate > 0;
    const nanoseconds period =
        paced ? duration_cast<nanoseconds>(duration<double>(1.0 / rate)) : nanoseconds{};
    const auto idle = duration_cast<nanoseconds>(duration<double>(options.idleTimeoutSeconds));
    const milliseconds linger(options.lingerMs);

    PunchResult result;
    size_t pos = 0;
    bool peerOpen = false, started = false, held = false, anyByte = false, finished = false;
    const char* reason = nullptr;
    Clock::time_point startAt{}, nextDue{}, heldSince{}, firstByte{}, lastByte{}, finishedAt{};
    Clock::time_point lastActivity = Clock::now();

    while (reason == nullptr) {
        auto now = Clock::now();
        if (StopRequested()) {
            reason = "signal";
            break;
        }
        if (started && !held && pos < tape.size()) {
            // A slow wake-up sends the bytes that were due back to back, as a
            // UART would have; unpaced, small chunks keep XOFF effective.
            size_t limit = paced ? tape.size() : std::min(tape.size(), pos + 64);
            while (pos < limit && (!paced || now >= nextDue)) {
                if (port.Write(std::string_view(tape).substr(pos, 1)) != 1) break;
                if (!anyByte) firstByte = now;
                anyByte = true;
                lastByte = lastActivity = now;
                ++pos;
                nextDue += period;
            }
        }
        if (pos == tape.size() && started && !finished) {
            finished = true;
            finishedAt = now;
        }
        // Whatever the PC sends after a request is the answer, not this
        // punch's business: stop before reading another byte.
        if (finished && endAtLastByte) {
            reason = "complete";
            break;
        }
        if (finished && (!peerOpen || now - finishedAt >= linger)) {
            reason = "complete";
            break;
        }
        if (idle.count() > 0 && !finished && now - lastActivity >= idle) {
            reason = "idle-timeout";
            break;
        }

        nanoseconds timeout = milliseconds(10);
        if (started && !held && !finished && paced)
            timeout = std::min(timeout, nanoseconds(nextDue - now));
        if (peerOpen && !started) timeout = std::min(timeout, nanoseconds(startAt - now));
        Line::Events events = port.Wait(timeout, false);
        now = Clock::now();
        if (events.peerOpen && !peerOpen && !started) {
            ++result.opens;
            startAt = now + milliseconds(options.startDelayMs);
            lastActivity = now;
        } else if (events.peerOpen && !peerOpen) {
            ++result.opens;
        }
        if (!events.peerOpen && peerOpen && started && !finished) reason = "closed";
        peerOpen = events.peerOpen;
        if (peerOpen && !started && now >= startAt) {
            started = true;
            nextDue = now;
            lastActivity = now;
        }
        if (events.readable) {
            std::string incoming;
            port.ReadAvailable(incoming);
            if (!incoming.empty()) lastActivity = now;
            for (unsigned char byte : incoming) {
                if (byte == kXoff || byte == kXoffParity) {
                    ++result.xoffReceived;
                    if (!held) heldSince = now;
                    held = true;
                } else if (byte == kXon) {
                    ++result.xonReceived;
                    if (held) {
                        result.heldMs += duration_cast<milliseconds>(now - heldSince).count();
                        nextDue = now;
                    }
                    held = false;
                } else if (byte == kDc4) {
                    ++result.dc4Received;
                    if (!finished && reason == nullptr) reason = "dc4";
                }
            }
            if (finished && result.dc4Received > 0 && reason == nullptr) reason = "complete";
        }
    }
    if (held) result.heldMs += duration_cast<milliseconds>(Clock::now() - heldSince).count();
    result.endReason = reason;
    result.bytesSent = static_cast<long long>(pos);
    result.durationMs =
        anyByte ? static_cast<long long>(duration_cast<milliseconds>(lastByte - firstByte).count())
                : 0LL;
    return result;
}

int RunPunch(const Options& options, Line& port, Report& report) {
    std::ifstream in(options.punchFile, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    if (!in) {
        std::fprintf(stderr, "ncsim: cannot read %s\n", options.punchFile.c_str());
        report.Add("mode", "punch");
        report.Add("end_reason", "error");
        return 1;
    }
    const Tape tape = BuildTape(options, content.str());
    const PunchResult result = PunchTape(options, port, tape.bytes, false);

    report.Add("mode", "punch");
    report.Add("line", options.line.text);
    report.Add("bytes_per_s", options.line.BytesPerSecond());
    report.Add("code", TapeCodeName(*options.code));
    report.Add("end_reason", result.endReason);
    report.Add("duration_ms", result.durationMs);
    report.Add("opens", result.opens);
    report.Add("bytes_sent", result.bytesSent);
    report.Add("tape_bytes", static_cast<long long>(tape.bytes.size()));
    report.Add("unencodable", tape.unencodable);
    report.Add("xoff_received", result.xoffReceived);
    report.Add("xon_received", result.xonReceived);
    report.Add("held_ms", result.heldMs);
    report.Add("dc4_received", result.dc4Received);
    return result.Succeeded() ? 0 : 1;
}

}  // namespace ncsim
