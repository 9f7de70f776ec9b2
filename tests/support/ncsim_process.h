#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace wexal::test {

// build/bin/ncsim running beside a test; killed when the object goes.
class NcsimProcess {
public:
    NcsimProcess() = default;
    ~NcsimProcess();
    NcsimProcess(const NcsimProcess&) = delete;
    NcsimProcess& operator=(const NcsimProcess&) = delete;

    // Starts ncsim and reads the slave path (or, with --serve, the URL) from
    // the first line it prints.
    bool Start(std::vector<std::string> args);
    const std::string& slave() const { return slave_; }
    pid_t pid() const { return pid_; }
    // The exit status once it ended within the limit.
    std::optional<int> WaitExit(std::chrono::milliseconds limit);
    static bool ReadWithin(int fd, char* c, std::chrono::milliseconds limit);

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string slave_;
};

}  // namespace wexal::test
