#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace wexal::test {

// A wexal-dnc running beside a test, with its program folder; standard output
// and error go to files there. Killed when the object goes.
class DncProcess {
public:
    // build/bin/wexal-dnc.
    explicit DncProcess(std::filesystem::path home);
    // Another build of the server, started by command (for example Wine and
    // the Windows executable), with WEXAL_HOME set to homeAsSeen, the folder
    // as the server names it, and the variables of extraEnv.
    DncProcess(std::filesystem::path home, std::vector<std::string> command, std::string homeAsSeen,
               std::vector<std::string> extraEnv);
    ~DncProcess();
    DncProcess(const DncProcess&) = delete;
    DncProcess& operator=(const DncProcess&) = delete;

    bool Start(std::vector<std::string> args = {});
    void Signal(int signal) const;
    pid_t pid() const { return pid_; }
    // Waits until the server holds the device open.
    bool WaitForOpen(const std::string& device, std::chrono::milliseconds limit) const;
    std::optional<int> WaitExit(std::chrono::milliseconds limit);

    std::string Out() const;
    std::string Err() const;
    std::string Log() const;
    // How often standard output holds the text.
    int Count(const std::string& text) const;
    // Waits until standard output holds the text more than `seen` times.
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds limit,
                       int seen = 0) const;

private:
    std::filesystem::path home_;
    std::vector<std::string> command_;
    std::string homeAsSeen_;
    std::vector<std::string> extraEnv_;
    pid_t pid_ = -1;
};

}  // namespace wexal::test
