#pragma once

#include <string>

#include "line.h"
#include "options.h"
#include "pty_port.h"
#include "report.h"

namespace ncsim {

// Each returns the exit status and fills the report; files given on the
// command line are written before they return.
// RunReceive hands the decoded program to text when it is given.
int RunReceive(const Options& options, Line& port, Report& report, std::string* text = nullptr);
int RunPunch(const Options& options, Line& port, Report& report);
int RunRequest(const Options& options, Line& port, Report& report);

// The bytes of a punched tape: leader, start characters, program, end
// characters, trailer, each character in the options' code.
struct Tape {
    std::string bytes;
    long long unencodable = 0;  // characters the code has no holes for
};
Tape BuildTape(const Options& options, std::string program);

struct PunchResult {
    const char* endReason = "error";
    long long opens = 0, bytesSent = 0, durationMs = 0;
    long long xoffReceived = 0, xonReceived = 0, heldMs = 0, dc4Received = 0;

    bool Succeeded() const {
        const std::string why = endReason;
        return why == "complete" || why == "dc4" || why == "closed";
    }
};

// Punches tape once the PC has the port open, obeying XOFF, XON and DC4.
// With endAtLastByte it returns as soon as the last byte is written, leaving
// anything the PC sends after it unread.
PunchResult PunchTape(const Options& options, Line& port, const std::string& tape,
                      bool endAtLastByte);

}  // namespace ncsim
