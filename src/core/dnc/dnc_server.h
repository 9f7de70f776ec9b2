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

    // Reads the configuration and starts every machine whose folders pass
    // their check (the others are said); the text says why nothing could
    // start ("" when something did).
    std::string Start();
    // Reads the configuration again: machines whose settings are unchanged
    // go on as they are, changed ones are restarted, removed ones stopped,
    // new ones started once their folders pass the check. A configuration
    // that cannot be read or is refused changes nothing.
    void Reload();
    // Ends every machine (running transfers on their abort path); true when
    // all of them ended within the budget.
    bool Stop(std::chrono::milliseconds budget);

    std::size_t MachineCount() const { return machines_.size(); }

private:
    std::string Load(std::vector<MachineConfig>& machines);
    // Starts the machine into `into` when its folders pass, else says why not.
    void StartChecked(MachineConfig config, std::vector<std::unique_ptr<DncMachine>>& into);
    // False when the process was asked to end before they all had.
    bool StopAll(std::vector<std::unique_ptr<DncMachine>>& machines);

    const DncShared& shared_;
    std::filesystem::path machinesIni_;
    std::vector<std::unique_ptr<DncMachine>> machines_;
};

}  // namespace wexal
