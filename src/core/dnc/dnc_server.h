#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "dnc/dnc_machine.h"

namespace wexal {

// The machines of Machines.ini, each on a thread of its own.
class DncServer {
public:
    DncServer(const DncShared& shared, std::filesystem::path machinesIni);

    // Reads the configuration and starts every machine; the text says why
    // nothing could start ("" when it did).
    std::string Start();
    // Reads the configuration again: machines whose settings are unchanged
    // go on as they are, changed ones are restarted, removed ones stopped,
    // new ones started. A configuration that cannot be read changes nothing.
    void Reload();
    // Ends every machine (running transfers on their abort path); true when
    // all of them ended within the budget.
    bool Stop(std::chrono::milliseconds budget);

    std::size_t MachineCount() const { return machines_.size(); }

private:
    std::string Load(std::vector<MachineConfig>& machines);
    // False when the process was asked to end before they all had.
    bool StopAll(std::vector<std::unique_ptr<DncMachine>>& machines);

    const DncShared& shared_;
    std::filesystem::path machinesIni_;
    std::vector<std::unique_ptr<DncMachine>> machines_;
};

}  // namespace wexal
