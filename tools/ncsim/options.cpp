#include "options.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

namespace ncsim {

const char* const kHelpText =
    R"(ncsim - an NC machine tool on a pseudo-terminal, for trying transfers without hardware

Usage:
  ncsim receive [OPTIONS]         the machine reads in: wait for a program from the PC and store it
  ncsim punch FILE [OPTIONS]      the machine punches out: send FILE to the PC
  ncsim request NAME [OPTIONS]    the operator asks a DNC server for program NAME:
                                  punch the request, then receive the answer
  ncsim --help                    this text

ncsim opens a pseudo-terminal, sets its slave side raw at the line speed, and
prints the slave's path as the first line on standard output. Point the PC
program at it, for example WEXAL_COM1=/dev/pts/5. The PC may open and close
the port as often as it likes; ncsim notices each open and close. At the end
ncsim prints a report of key=value lines (or writes it to --report FILE).

Exit status: 0 when the transfer ended by its rules, 1 on a time-out, a
signal (SIGINT, SIGTERM) or a failure, 2 on a wrong command line.

Options for every mode:
  --line B,D,P,S        line format as Wexal writes it: baud, data bits, parity
                        N/E/O, stop bits 1, 1.5 or 2 (default 4800,8,N,2).
                        Bytes move at B / (1 + D + parity bit + S) per second:
                        4800,7,E,2 is 11 bits a byte, 436 bytes per second.
                        "none" moves bytes as fast as they come.
  --code C              tape code: iso (7 bits and an even-parity eighth bit),
                        eia (EIA RS-244), ascii (bytes as they are) or, for
                        receive only, auto (the first data byte decides by its
                        parity). Default: auto for receive, iso for punch and
                        request (which reads the answer in the same code).
  --link PATH           make PATH a symbolic link to the slave (removed at the end)
  --serve URL           play the machine behind a TCP port instead, as a serial
                        device server would: tcp://HOST:PORT (bytes as they
                        are) or rfc2217://HOST:PORT (Telnet COM port control:
                        the PC's line settings are taken and confirmed,
                        carrier, DSR and CTS are reported on). Port 0 takes a
                        free port. The first line printed is then the URL to
                        give the PC, e.g. WEXAL_COM1=rfc2217://127.0.0.1:40123.
                        One PC at a time; a connection is an open port.
  --path-file FILE      write the slave path and a newline into FILE
  --report FILE         write the report to FILE instead of standard output
  --idle-timeout SEC    end when nothing happens for SEC seconds: no open, no
                        byte, or held by XOFF (default 30; 0 waits for ever)
  --linger MS           receive and request: after the end, keep storing bytes
                        until the line is quiet for MS (default 500); punch:
                        after the last byte wait up to MS for the PC's DC4 or
                        close (default 5000)

Receive (the PC sends, ncsim plays the machine reading in):
  --raw FILE            store every byte read from the line, unchanged
  --text FILE           store the decoded program: leader (NUL, blanks, DEL)
                        before the first character and DC1 to DC4 left out,
                        ending with the end mark
  --dc1                 announce readiness: send DC1 each time the PC opens the
                        port, --ready-delay after the open, until data arrives
  --ready-delay MS      time the PC gets to set its port up (default 300)
  --xoff-at N           send XOFF when N bytes wait in the machine's buffer
                        (0, the default: never)
  --xon-at N            send XON (DC1, 0x11) when it has drained to N bytes
                        (default half of --xoff-at)
  --xoff-char BYTE      0x13 (default) or 0x93, DC3 with its ISO parity bit
  --drain BPS           the machine takes bytes from its buffer at BPS per
                        second when that is slower than the line
  --buffer-size N       the buffer holds N bytes; more are counted as overrun
                        (default: no limit)
  --inject N:BYTES      send BYTES to the PC once N bytes have been read (N=0:
                        at readiness); BYTES is DC1, DC2, DC3, DC4 or a text
                        with escapes such as \x93. May be given several times,
                        e.g. --inject 500:DC4 to make the PC abort.
  --no-percent-end      do not end at the end mark

  A pseudo-terminal moves bytes at once; ncsim lets each reach the machine
  only when the line could have carried it, so the buffer, the XOFF and the
  report's times are the line's. The machine takes bytes in at the line rate
  (or --drain's, when slower): its buffer fills only when the PC sends
  faster than that. The receive ends at the end mark (a "%" after program
  characters), at DC4, when the PC closes the port after sending data, or on
  the idle time-out.

Punch (ncsim sends FILE to the PC):
  --leader N            leader characters before the start (default 20)
  --trailer N           leader characters after the end (default 0)
  --leader-char C       nul (blank tape, the default) or space
  --start TEXT          start characters (escapes allowed). Default: "%\n",
                        or nothing when FILE begins with "%"
  --end TEXT            end characters. Default: "%\n", or nothing when the
                        last line of FILE that is not blank is "%"
  --start-delay MS      wait after the PC opened the port (default 500)
  --keep-cr             punch CR too (by default line ends become LF alone)

  Each character is encoded in the tape code; one that EIA cannot punch is
  skipped and counted. The PC's XOFF (0x13 or 0x93) holds the punch and XON
  (0x11) releases it; DC4 stops it. After the last byte the punch ends at the
  PC's DC4, when the PC closes the port, or after --linger.

Request (ncsim asks a DNC server for a program, as an operator at the NC
keyboard does, and reads in what comes back):
  --drip                ask for drip feed: DRIP instead of REQ in the request

  ncsim punches the lines %, O9999(REQ NAME) and % as punch does (with punch's
  --leader, --trailer, --leader-char, --start, --end and --start-delay), and
  once the last byte is out behaves as receive with receive's options: --dc1
  announces readiness, --text and --raw store what arrives, the receive ends
  by the same rules. A NAME without extension lets the server add its own.

Report keys: mode, line, bytes_per_s, code, end_reason (end-mark, dc4, closed,
complete, idle-timeout, signal, error), duration_ms (first to last byte moved),
opens; receive: bytes_received, leader_bytes, text_bytes, parity_errors,
first_parity_error (byte offset or -1), eia_unknown, overrun_bytes, xoff_sent,
xon_sent, max_buffer_fill, bytes_after_xoff (most bytes that arrived during
one XOFF), bytes_after_xoff_total, xoff_held_ms, dc1_sent, injected,
dc4_received;
punch: bytes_sent, tape_bytes, unencodable, xoff_received, xon_received, held_ms,
dc4_received; request: the receive keys and request (NAME), request_kind
(REQ or DRIP), request_bytes (tape bytes punched), request_end (how the
punch ended), program_number (the first O or : number that arrived, empty
when none); all: peer_line (the line format the PC set, as B,D,P,S:
seen on the pseudo-terminal, or taken over RFC 2217; empty otherwise).

Examples:
  ncsim receive --link /tmp/nc --dc1 --line 4800,7,E,2 --xoff-at 200 --xon-at 50 \
        --raw in.bin --text in.nc
  ncsim punch O1000.NC --code eia --line 9600,8,N,2 --leader 50
  ncsim request O1234 --serve tcp://127.0.0.1:0 --dc1 --text got.nc
)";

namespace {

bool ParseInt(const std::string& text, long long& value) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
    return ec == std::errc() && end == text.data() + text.size();
}

bool ParseDouble(const std::string& text, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value);
}

bool ParseLine(const std::string& text, LineFormat& line) {
    if (text == "none" || text == "0") {
        line = LineFormat{};
        line.baud = 0;
        line.text = "none";
        return true;
    }
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1) {
        fields.push_back(text.substr(start, comma - start));
    }
    fields.push_back(text.substr(start));
    long long baud = 0, data = 0;
    double stop = 0;
    if (fields.size() != 4 || !ParseInt(fields[0], baud) || baud <= 0 || baud > 4000000 ||
        !ParseInt(fields[1], data) || data < 5 || data > 8 || fields[2].size() != 1 ||
        std::string("NEO").find(fields[2][0]) == std::string::npos ||
        !ParseDouble(fields[3], stop) || (stop != 1 && stop != 1.5 && stop != 2)) {
        return false;
    }
    line.baud = static_cast<int>(baud);
    line.dataBits = static_cast<int>(data);
    line.parity = fields[2][0];
    line.stopBits = stop;
    line.text = text;
    return true;
}

bool ParseByte(const std::string& text, unsigned char& byte) {
    long long value = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        auto [end, ec] = std::from_chars(text.data() + 2, text.data() + text.size(), value, 16);
        if (ec != std::errc() || end != text.data() + text.size()) return false;
    } else if (!ParseInt(text, value)) {
        return false;
    }
    if (value < 0 || value > 255) return false;
    byte = static_cast<unsigned char>(value);
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::optional<std::string> ParseByteText(const std::string& text) {
    static const std::map<std::string, std::string> names = {
        {"DC1", "\x11"}, {"DC2", "\x12"}, {"DC3", "\x13"}, {"DC4", "\x14"}};
    if (auto it = names.find(text); it != names.end()) return it->second;
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i == text.size()) return std::nullopt;
        switch (text[i]) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case '\\':
                out += '\\';
                break;
            case 'x': {
                int high = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
                int low = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
                if (high < 0 || low < 0) return std::nullopt;
                out += static_cast<char>(high * 16 + low);
                i += 2;
                break;
            }
            default:
                return std::nullopt;
        }
    }
    return out;
}

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error) {
    Options options;
    if (args.empty()) {
        error = "a mode is needed: receive, punch or request (see ncsim --help)";
        return std::nullopt;
    }
    const std::string& mode = args[0];
    if (mode == "--help" || mode == "-h" || mode == "help") return options;
    if (mode == "receive") {
        options.mode = Options::Mode::Receive;
    } else if (mode == "punch") {
        options.mode = Options::Mode::Punch;
    } else if (mode == "request") {
        options.mode = Options::Mode::Request;
    } else {
        error = "unknown mode '" + mode + "' (see ncsim --help)";
        return std::nullopt;
    }
    const bool receive = options.mode == Options::Mode::Receive;
    const bool reads = options.Reads(), punches = options.Punches();

    auto number = [&](long long& target, long long low) {
        return [&target, low](const std::string& v) {
            long long n = 0;
            if (!ParseInt(v, n) || n < low) return false;
            target = n;
            return true;
        };
    };
    auto milliseconds = [&](int& target) {
        return [&target](const std::string& v) {
            long long n = 0;
            if (!ParseInt(v, n) || n < 0 || n > 86400000) return false;
            target = static_cast<int>(n);
            return true;
        };
    };
    auto count = [&](int& target) {
        return [&target](const std::string& v) {
            long long n = 0;
            if (!ParseInt(v, n) || n < 0 || n > 100000000) return false;
            target = static_cast<int>(n);
            return true;
        };
    };
    auto text = [](std::string& target) {
        return [&target](const std::string& v) {
            target = v;
            return !v.empty();
        };
    };
    long long xonAt = -1;
    using Handler = std::function<bool(const std::string&)>;
    std::map<std::string, Handler> valued = {
        {"--line", [&](const std::string& v) { return ParseLine(v, options.line); }},
        {"--code",
         [&](const std::string& v) {
             options.code = ParseTapeCode(v);
             return options.code && (receive || *options.code != TapeCode::Auto);
         }},
        {"--link", text(options.linkPath)},
        {"--serve", text(options.serveUrl)},
        {"--path-file", text(options.pathFile)},
        {"--report", text(options.reportFile)},
        {"--idle-timeout",
         [&](const std::string& v) {
             return ParseDouble(v, options.idleTimeoutSeconds) && options.idleTimeoutSeconds >= 0;
         }},
        {"--linger", milliseconds(options.lingerMs)},
    };
    std::map<std::string, std::function<void()>> flags;
    if (reads) {
        valued.insert({
            {"--raw", text(options.rawFile)},
            {"--text", text(options.textFile)},
            {"--ready-delay", milliseconds(options.readyDelayMs)},
            {"--xoff-at", number(options.xoffAt, 0)},
            {"--xon-at", number(xonAt, 0)},
            {"--xoff-char", [&](const std::string& v) { return ParseByte(v, options.xoffChar); }},
            {"--drain",
             [&](const std::string& v) {
                 return ParseDouble(v, options.drainBytesPerSecond) &&
                        options.drainBytesPerSecond > 0;
             }},
            {"--buffer-size", number(options.bufferSize, 0)},
            {"--inject",
             [&](const std::string& v) {
                 size_t colon = v.find(':');
                 Injection injection;
                 if (colon == std::string::npos ||
                     !ParseInt(v.substr(0, colon), injection.afterBytes) ||
                     injection.afterBytes < 0) {
                     return false;
                 }
                 auto bytes = ParseByteText(v.substr(colon + 1));
                 if (!bytes || bytes->empty()) return false;
                 injection.bytes = *bytes;
                 options.injections.push_back(injection);
                 return true;
             }},
        });
        flags["--dc1"] = [&] { options.sendDc1 = true; };
        flags["--no-percent-end"] = [&] { options.endOnPercent = false; };
    }
    if (punches) {
        valued.insert({
            {"--leader", count(options.leaderCount)},
            {"--trailer", count(options.trailerCount)},
            {"--leader-char",
             [&](const std::string& v) {
                 options.leaderSpaces = v == "space";
                 return v == "space" || v == "nul";
             }},
            {"--start",
             [&](const std::string& v) {
                 options.startChars = ParseByteText(v);
                 return options.startChars.has_value();
             }},
            {"--end",
             [&](const std::string& v) {
                 options.endChars = ParseByteText(v);
                 return options.endChars.has_value();
             }},
            {"--start-delay", milliseconds(options.startDelayMs)},
        });
        flags["--keep-cr"] = [&] { options.keepCr = true; };
    }
    if (options.mode == Options::Mode::Request) flags["--drip"] = [&] { options.drip = true; };

    for (size_t i = 1; i < args.size(); ++i) {
        std::string name = args[i];
        if (name == "--help" || name == "-h") {
            options.mode = Options::Mode::Help;
            return options;
        }
        if (name.rfind("--", 0) != 0) {
            if (options.mode == Options::Mode::Punch && options.punchFile.empty()) {
                options.punchFile = name;
                continue;
            }
            if (options.mode == Options::Mode::Request && options.requestName.empty()) {
                options.requestName = name;
                continue;
            }
            error = "unexpected argument '" + name + "'";
            return std::nullopt;
        }
        std::optional<std::string> value;
        if (size_t eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (auto flag = flags.find(name); flag != flags.end() && !value) {
            flag->second();
            continue;
        }
        auto handler = valued.find(name);
        if (handler == valued.end()) {
            error = "unknown option '" + name + "' for " + mode;
            return std::nullopt;
        }
        if (!value) {
            if (i + 1 == args.size()) {
                error = "option " + name + " needs a value";
                return std::nullopt;
            }
            value = args[++i];
        }
        if (!handler->second(*value)) {
            error = "bad value '" + *value + "' for " + name;
            return std::nullopt;
        }
    }

    if (options.mode == Options::Mode::Punch && options.punchFile.empty()) {
        error = "punch needs the FILE to punch";
        return std::nullopt;
    }
    if (options.mode == Options::Mode::Request) {
        if (options.requestName.empty()) {
            error = "request needs the NAME of the program to ask for";
            return std::nullopt;
        }
        // The name sits in a comment on the tape: a parenthesis or a control
        // character would end it or the block early.
        for (unsigned char c : options.requestName) {
            if (c < 0x20 || c == 0x7F || c == '(' || c == ')' || c == '%') {
                error = "the NAME '" + options.requestName + "' cannot stand in a tape comment";
                return std::nullopt;
            }
        }
    }
    if (!options.serveUrl.empty() && !options.linkPath.empty()) {
        error = "--link names a pseudo-terminal; it does not go with --serve";
        return std::nullopt;
    }
    if (!options.code) options.code = receive ? TapeCode::Auto : TapeCode::Iso;
    if (options.lingerMs < 0) options.lingerMs = reads ? 500 : 5000;
    if (reads && options.xoffAt > 0) {
        options.xonAt = xonAt >= 0 ? xonAt : options.xoffAt / 2;
        if (*options.xonAt >= options.xoffAt) {
            error = "--xon-at must be below --xoff-at";
            return std::nullopt;
        }
    }
    return options;
}

}  // namespace ncsim
