#pragma once

#include <chrono>
#include <string>
#include <string_view>

#include "line.h"
#include "options.h"

namespace ncsim {

// The machine's end of the line: a pseudo-terminal master. Whether the PC has
// the port open is read from the master's hang-up state, so ncsim keeps no
// slave descriptor of its own.
class PtyPort final : public Line {
public:
    PtyPort() = default;
    ~PtyPort() override;
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    // Opens the master and sets the slave up (raw, the line's speed). This is
    // the only termios call: later ones on the master would change the PC's
    // settings under its feet.
    bool Open(const LineFormat& line, std::string& error);
    const std::string& slavePath() const { return slavePath_; }

    Events Wait(std::chrono::nanoseconds timeout, bool wantWrite) override;
    void ReadAvailable(std::string& out) override;
    size_t Write(std::string_view bytes) override;
    // The slave's settings as the PC left them while it had the port open
    // (the kernel resets them at its last close).
    std::string PeerLine() const override { return peerLine_; }

    bool MakeLink(const std::string& linkPath, std::string& error);
    void RemoveLink();

private:
    int master_ = -1;
    std::string slavePath_;
    std::string linkPath_;
    bool peerOpen_ = false;
    std::string peerLine_;
};

// Stop requests from SIGINT and SIGTERM: loops poll this between waits.
void InstallStopHandlers();
bool StopRequested();

}  // namespace ncsim
