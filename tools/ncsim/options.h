#pragma once

#include <optional>
#include <string>
#include <vector>

#include "nc_tape.h"

namespace ncsim {

// The serial line being played: what the slave is set to and how fast bytes
// move. A baud rate of 0 means no pacing at all.
struct LineFormat {
    int baud = 4800;
    int dataBits = 8;
    char parity = 'N';
    double stopBits = 2;
    std::string text = "4800,8,N,2";

    double FrameBits() const { return 1 + dataBits + (parity == 'N' ? 0 : 1) + stopBits; }
    double BytesPerSecond() const { return baud > 0 ? baud / FrameBits() : 0; }
};

struct Injection {
    long long afterBytes = 0;  // 0: as soon as the PC's port is ready
    std::string bytes;
};

struct Options {
    enum class Mode { Help, Receive, Punch, Request } mode = Mode::Help;

    LineFormat line;
    std::string linkPath;
    std::string serveUrl;  // tcp://HOST:PORT or rfc2217://HOST:PORT instead of a pseudo-terminal
    std::string pathFile;
    std::string reportFile;
    double idleTimeoutSeconds = 30;
    std::optional<TapeCode> code;  // default by mode

    // receive
    std::string rawFile;
    std::string textFile;
    bool sendDc1 = false;
    int readyDelayMs = 300;
    long long xoffAt = 0;
    std::optional<long long> xonAt;
    unsigned char xoffChar = 0x13;
    double drainBytesPerSecond = 0;  // 0: as fast as the line
    long long bufferSize = 0;        // 0: no limit
    std::vector<Injection> injections;
    bool endOnPercent = true;
    int lingerMs = -1;  // -1: default of the mode

    // punch
    std::string punchFile;
    int leaderCount = 20;
    int trailerCount = 0;
    bool leaderSpaces = false;
    std::optional<std::string> startChars;  // nothing: automatic
    std::optional<std::string> endChars;
    int startDelayMs = 500;
    bool keepCr = false;

    // request: punches "O9999(REQ NAME)" (or DRIP) in a tape, then receives
    std::string requestName;
    bool drip = false;

    bool Reads() const { return mode == Mode::Receive || mode == Mode::Request; }
    bool Punches() const { return mode == Mode::Punch || mode == Mode::Request; }
};

// Parses the command line; on failure returns nothing and sets error.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error);

// C-style escapes (\n \r \t \\ \xHH) and the names DC1 to DC4.
std::optional<std::string> ParseByteText(const std::string& text);

extern const char* const kHelpText;

}  // namespace ncsim
