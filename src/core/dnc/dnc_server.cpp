#include "dnc/dnc_server.h"

#include <thread>

namespace wexal {

namespace {

constexpr const char* kServerName = "wexal-dnc";

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

}  // namespace

DncServer::DncServer(const DncShared& shared, std::filesystem::path machinesIni)
    : shared_(shared), machinesIni_(std::move(machinesIni)) {}

std::string DncServer::Load(std::vector<MachineConfig>& machines) {
    MachinesLoad load =
        LoadMachines(machinesIni_, shared_.programFolder / "Wexal.INI", shared_.programFolder);
    for (const std::string& note : load.notes) shared_.Say(kServerName, note);
    if (!load.error.empty()) return load.error;
    machines = std::move(load.machines);
    return {};
}

std::string DncServer::Start() {
    std::vector<MachineConfig> configs;
    if (std::string error = Load(configs); !error.empty()) return error;
    for (MachineConfig& config : configs) {
        shared_.Say(config.name, "開始します（" + config.settings.Port + "、" + config.settings.Speed +
                                     "、送信 " + config.sendDir + "、受信 " + config.receiveDir + "）");
        machines_.push_back(std::make_unique<DncMachine>(std::move(config), shared_));
        machines_.back()->Start();
    }
    return {};
}

bool DncServer::StopAll(std::vector<std::unique_ptr<DncMachine>>& machines) {
    for (auto& machine : machines) machine->RequestStop();
    // Looked at, not joined: a machine on a device that hangs must not keep
    // the process from a stop asked for meanwhile.
    while (true) {
        bool all = true;
        for (const auto& machine : machines) all = all && machine->Finished();
        if (all) break;
        if (shared_.ending && shared_.ending()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    for (auto& machine : machines) machine->Join();
    return true;
}

void DncServer::Reload() {
    std::vector<MachineConfig> configs;
    if (std::string error = Load(configs); !error.empty()) {
        shared_.Say(kServerName, error + " 今の設定で続けます。");
        return;
    }
    std::vector<std::unique_ptr<DncMachine>> kept, gone;
    std::vector<MachineConfig> started;
    for (auto& machine : machines_) {
        bool same = false;
        for (const MachineConfig& config : configs) {
            if (Upper(config.name) == Upper(machine->config().name) &&
                config.fingerprint == machine->config().fingerprint) {
                same = true;
            }
        }
        (same ? kept : gone).push_back(std::move(machine));
    }
    for (auto& machine : gone) shared_.Say(machine->config().name, "設定が変わったため停止します。");
    if (!StopAll(gone)) {
        // The process ends: its stop ends these machines with the rest, or
        // leaves them to the exit.
        for (auto& machine : gone) kept.push_back(std::move(machine));
        machines_ = std::move(kept);
        shared_.Say(kServerName, "終了の指示のため、設定の読み直しをやめます。");
        return;
    }
    for (MachineConfig& config : configs) {
        bool running = false;
        for (const auto& machine : kept) {
            if (Upper(machine->config().name) == Upper(config.name)) running = true;
        }
        if (running) continue;
        shared_.Say(config.name, "開始します（" + config.settings.Port + "、" + config.settings.Speed +
                                     "、送信 " + config.sendDir + "、受信 " + config.receiveDir + "）");
        kept.push_back(std::make_unique<DncMachine>(std::move(config), shared_));
        kept.back()->Start();
    }
    machines_ = std::move(kept);
    shared_.Say(kServerName, "設定を読み直しました（機械 " + std::to_string(machines_.size()) + " 台）。");
}

bool DncServer::Stop(std::chrono::milliseconds budget) {
    for (auto& machine : machines_) machine->RequestStop();
    const auto until = std::chrono::steady_clock::now() + budget;
    while (std::chrono::steady_clock::now() < until) {
        bool all = true;
        for (const auto& machine : machines_) all = all && machine->Finished();
        if (all) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    bool all = true;
    for (auto& machine : machines_) {
        if (machine->Finished()) {
            machine->Join();
        } else {
            shared_.Say(machine->config().name, "時間内に停止できませんでした。");
            machine->Detach();
            all = false;
        }
    }
    if (!all) {
        // Detached threads still use the machines: they go with the process.
        for (auto& machine : machines_) (void)machine.release();
    }
    machines_.clear();
    return all;
}

}  // namespace wexal
