#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "dnc/machines_ini.h"
#include "serial/serial_port.h"

namespace wexal {

// What every machine of one server shares: the program folder, the one log
// (its appends behind one mutex, so that no two entries ever mix) and the one
// standard output.
struct DncShared {
    std::filesystem::path programFolder;
    std::shared_ptr<std::mutex> outputMutex = std::make_shared<std::mutex>();
    // Hands one line (UTF-8, no line end) on to standard output; called from
    // every machine, under outputMutex or not, and never waits for the output.
    std::function<void(std::string_view line)> writeLine;
    // True once the process is asked to end: a reload stops waiting for the
    // machines it stops.
    std::function<bool()> ending;
    // Every port of the server; tests may hand in their own.
    std::function<std::unique_ptr<SerialPort>(const std::string& device)> createPort =
        CreateSerialPort;
    // How long a port that cannot be opened rests before the next try.
    std::chrono::milliseconds retryPause{3000};

    // "MC1: text" on standard output, a line per line of text.
    void Say(const std::string& machine, const std::string& text) const;
};

// One machine: a thread that keeps its port open all day, receives whatever
// the NC punches, answers its requests and stops on request. Nothing it does
// touches another machine.
class DncMachine {
public:
    DncMachine(MachineConfig config, const DncShared& shared);
    ~DncMachine();
    DncMachine(const DncMachine&) = delete;
    DncMachine& operator=(const DncMachine&) = delete;

    void Start();
    // Ends a running transfer on its abort path and the thread soon after.
    void RequestStop() { stop_ = true; }
    bool Finished() const { return finished_; }
    // Waits for the thread; call after RequestStop.
    void Join();
    // Leaves a thread that would not end to the process's exit.
    void Detach();

    const MachineConfig& config() const { return config_; }

private:
    void Run();

    MachineConfig config_;
    const DncShared& shared_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> finished_{false};
    std::thread thread_;
};

}  // namespace wexal
