// The operator at the NC asks a DNC server for a program: the machine punches
// a one-line request tape and then reads in whatever the server sends back.
#include <cctype>
#include <cstdio>
#include <string>

#include "modes.h"
#include "nc_tape.h"

namespace ncsim {
namespace {

// The program number of what arrived: "O1234" or ":1234" at the start of a
// line; empty when the tape carried none.
std::string FirstProgramNumber(const std::string& text) {
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const size_t first = text.find_first_not_of(" \t\r", start);
        if (first < end && (text[first] == 'O' || text[first] == ':')) {
            size_t digits = first + 1;
            while (digits < end && std::isdigit(static_cast<unsigned char>(text[digits])))
                ++digits;
            if (digits > first + 1) return text.substr(first, digits - first);
        }
        start = end + 1;
    }
    return {};
}

}  // namespace

int RunRequest(const Options& options, Line& port, Report& report) {
    const char* kind = options.drip ? "DRIP" : "REQ";
    const Tape tape =
        BuildTape(options, "O9999(" + std::string(kind) + " " + options.requestName + ")\n");
    auto addRequestKeys = [&](const char* punchEnd) {
        report.Add("request", options.requestName);
        report.Add("request_kind", kind);
        report.Add("request_bytes", static_cast<long long>(tape.bytes.size()));
        report.Add("request_end", punchEnd);
    };
    // A request the NC cannot punch whole would ask for another program.
    if (tape.unencodable > 0) {
        std::fprintf(stderr, "ncsim: the request for %s has characters %s cannot punch\n",
                     options.requestName.c_str(), TapeCodeName(*options.code));
        report.Add("mode", "request");
        report.Add("end_reason", "error");
        addRequestKeys("error");
        return 1;
    }

    const PunchResult punched = PunchTape(options, port, tape.bytes, true);
    if (std::string(punched.endReason) != "complete") {
        report.Add("mode", "request");
        report.Add("line", options.line.text);
        report.Add("code", TapeCodeName(*options.code));
        report.Add("end_reason", punched.endReason);
        report.Add("opens", punched.opens);
        addRequestKeys(punched.endReason);
        return 1;
    }

    std::string text;
    const int status = RunReceive(options, port, report, &text);
    report.Set("mode", "request");
    addRequestKeys(punched.endReason);
    report.Add("program_number", FirstProgramNumber(text));
    return status;
}

}  // namespace ncsim
