#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

namespace wexal::test {

// The real ser2net, in front of a terminal device, on a loopback port that it
// binds as port 0 (the kernel's choice, read back from /proc). Killed when
// the object goes.
class Ser2netProcess {
public:
    // The binary, when installed.
    static std::optional<std::string> Binary();

    Ser2netProcess() = default;
    ~Ser2netProcess();
    Ser2netProcess(const Ser2netProcess&) = delete;
    Ser2netProcess& operator=(const Ser2netProcess&) = delete;

    // rfc2217: Telnet COM port control, else raw TCP. line: ser2net's
    // serial parameters, such as "9600n81". Its configuration and output go
    // into folder.
    bool Start(const std::string& tty, bool rfc2217, const std::string& line,
               const std::filesystem::path& folder);
    // rfc2217://127.0.0.1:PORT or tcp://127.0.0.1:PORT.
    std::string Url() const;
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int port_ = 0;
    bool rfc2217_ = false;
};

}  // namespace wexal::test
