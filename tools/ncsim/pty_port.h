#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "options.h"

namespace ncsim {

// The machine's end of the line: a pseudo-terminal master. Whether the PC has
// the port open is read from the master's hang-up state, so ncsim keeps no
// slave descriptor of its own.
class PtyPort {
public:
    PtyPort() = default;
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    // Opens the master and sets the slave up (raw, the line's speed). This is
    // the only termios call: later ones on the master would change the PC's
    // settings under its feet.
    bool Open(const LineFormat& line, std::string& error);
    const std::string& slavePath() const { return slavePath_; }

    struct Events {
        bool peerOpen = false;
        bool readable = false;
        bool writable = false;
    };
    // Waits up to timeout for bytes from the PC (and for room, if asked).
    Events Wait(std::chrono::nanoseconds timeout, bool wantWrite);

    // Appends what the PC has sent so far, without waiting.
    void ReadAvailable(std::string& out);
    // Writes as much as the slave takes now; returns the count written.
    size_t Write(std::string_view bytes);

    bool MakeLink(const std::string& linkPath, std::string& error);
    void RemoveLink();

private:
    int master_ = -1;
    std::string slavePath_;
    std::string linkPath_;
    bool peerOpen_ = false;
};

// Stop requests from SIGINT and SIGTERM: loops poll this between waits.
void InstallStopHandlers();
bool StopRequested();

}  // namespace ncsim
