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

void DncServer::StartChecked(MachineConfig config,
                             std::vector<std::unique_ptr<DncMachine>>& into) {
    // A machine whose punches would have nowhere to go must not look served.
    if (const std::string problem = CheckMachineFolders(config); !problem.empty()) {
        shared_.Say(config.name, problem + "ため、この機械は開始しません。");
        return;
    }
    if (config.receiveDirIsSendDir) {
        shared_.Say(config.name, "ReceiveDir の指定が無いため、受信したプログラムは SendDir（" +
                                     config.sendDir + "）に保存します。");
    }
    shared_.Say(config.name, "開始します（" + config.settings.Port + "、" + config.settings.Speed +
                                 "、送信 " + config.sendDir + "、受信 " + config.receiveDir + "）");
    into.push_back(std::make_unique<DncMachine>(std::move(config), shared_));
    into.back()->Start();
}

std::string DncServer::Start() {
    std::vector<MachineConfig> configs;
    if (std::string error = Load(configs); !error.empty()) return error;
    for (MachineConfig& config : configs) StartChecked(std::move(config), machines_);
    if (machines_.empty()) return machinesIni_.string() + " の機械はどれも開始できません。";
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
        if (!running) StartChecked(std::move(config), kept);
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
