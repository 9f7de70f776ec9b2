#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace wexal::test {

// The real build/bin/Wexal run headless with its program folder, its runtime
// folder and COM1 bound to a port; its standard error goes to stderr.txt in
// the program folder. Killed when the object goes.
class WexalProcess {
public:
    WexalProcess(std::filesystem::path programFolder, std::filesystem::path runtimeFolder)
        : program_(std::move(programFolder)), runtime_(std::move(runtimeFolder)) {}
    ~WexalProcess();
    WexalProcess(const WexalProcess&) = delete;
    WexalProcess& operator=(const WexalProcess&) = delete;

    // Environment entries ("NAME=value") for the next Start, in place of the
    // defaults of the same name: QT_QPA_PLATFORM=xcb and DISPLAY=... run it
    // on a real X server.
    void SetEnvironment(std::vector<std::string> entries) { extraEnv_ = std::move(entries); }

    // port is bound to portName (COM1 unless said otherwise).
    bool Start(const std::string& port, std::vector<std::string> args,
               const std::string& portName = "COM1");
    pid_t pid() const { return pid_; }
    // The exit status (128 + the signal when one ended it) once it ended
    // within the limit.
    std::optional<int> WaitExit(std::chrono::milliseconds limit);

    // Wexal.log decoded, and what it wrote to standard error.
    std::string Log() const;
    std::string Stderr() const;

private:
    std::filesystem::path program_;
    std::filesystem::path runtime_;
    pid_t pid_ = -1;
    std::vector<std::string> extraEnv_;
};

}  // namespace wexal::test
