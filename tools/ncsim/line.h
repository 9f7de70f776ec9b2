#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace ncsim {

// The machine's end of the line to the PC: a pseudo-terminal, or a TCP port
// the PC connects to.
class Line {
public:
    struct Events {
        bool peerOpen = false;  // the PC has the port open (is connected)
        bool readable = false;
        bool writable = false;
    };

    virtual ~Line() = default;

    // Waits up to timeout for bytes from the PC (and for room, if asked).
    virtual Events Wait(std::chrono::nanoseconds timeout, bool wantWrite) = 0;
    // Appends what the PC has sent so far, without waiting.
    virtual void ReadAvailable(std::string& out) = 0;
    // Writes as much as the line takes now; returns the count written.
    virtual size_t Write(std::string_view bytes) = 0;
    // The line format the PC last set, as "B,D,P,S"; empty when it cannot be seen.
    virtual std::string PeerLine() const = 0;
};

}  // namespace ncsim
