#include "dnc/machines_ini.h"

#include <set>
#include <string_view>
#include <variant>

#include "config/ini_file.h"
#include "config/settings_keys.h"
#include "config/settings_store.h"
#include "platform/atomic_file.h"
#include "platform/path_rules.h"
#include "platform/text_codec.h"
#include "serial/port_names.h"

namespace wexal {

namespace {

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

// The section headers in file order, as the file spells them.
std::vector<std::string> SectionNames(std::string_view bytes) {
    std::vector<std::string> names;
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", at);
        if (end == std::string_view::npos) end = bytes.size();
        const std::string_view line = Trim(bytes.substr(at, end - at));
        if (line.size() >= 2 && line.front() == '[') {
            const std::size_t close = line.find(']');
            if (close != std::string_view::npos) {
                const std::string_view name = Trim(line.substr(1, close - 1));
                if (!name.empty()) names.emplace_back(name);
            }
        }
        at = end + 1;
    }
    return names;
}

bool IsMachineKey(const SettingsEntry& entry) {
    return entry.section == "Setting" || entry.section == "Options";
}

std::string FieldText(const Settings& s, const SettingsEntry& entry) {
    return std::visit([&](auto field) {
        const auto& value = s.*field;
        if constexpr (std::is_same_v<std::decay_t<decltype(value)>, std::string>) {
            return value;
        } else {
            return std::to_string(value);
        }
    }, entry.field);
}

}  // namespace

MachinesLoad LoadMachines(const std::filesystem::path& machinesIni,
                          const std::filesystem::path& mainIni,
                          const std::filesystem::path& programFolder) {
    MachinesLoad result;
    const FileContent file = ReadRegularFile(machinesIni, IniFile::kMaxFileSize);
    if (file.kind != FileLookup::Kind::Regular) {
        result.error = machinesIni.string() + " を読み込めません。" +
                       (file.kind == FileLookup::Kind::Missing ? "（ファイルが有りません）"
                                                              : "（" + file.reason + "）");
        return result;
    }
    const IniFile machines = IniFile::Parse(file.bytes);
    Status mainStatus;
    const IniFile main = IniFile::Load(mainIni, &mainStatus);
    if (!mainStatus) result.notes.push_back(mainStatus.message + "\n既定値を使います。");

    std::set<std::string> seen;
    for (const std::string& stored : SectionNames(file.bytes)) {
        const std::string name = Cp932ToUtf8Lossy(stored);
        // The profile calls read the first section of a name; so does this.
        if (!seen.insert(Upper(stored)).second) continue;

        IniFile merged = main;
        for (const SettingsEntry& entry : kMainEntries) {
            if (!IsMachineKey(entry)) continue;
            if (std::optional<std::string> value = machines.Read(stored, entry.key)) {
                (void)merged.Write(entry.section, entry.key, *value);
            }
        }
        MachineConfig machine;
        machine.name = name;
        SettingsStore::ReadMain(merged, machine.settings);
        machine.sendDir = machines.Read(stored, "SendDir").value_or(machine.settings.DirPath);
        machine.receiveDir = machines.Read(stored, "ReceiveDir").value_or(machine.sendDir);

        std::string problem;
        if (!PathRules::IsAbsolute(machine.sendDir)) {
            problem = "SendDir「" + machine.sendDir + "」が絶対パスではありません。";
        } else if (!PathRules::IsAbsolute(machine.receiveDir)) {
            problem = "ReceiveDir「" + machine.receiveDir + "」が絶対パスではありません。";
        } else if (std::optional<std::string> wait = machines.Read(stored, "RequestWait")) {
            const std::string digits(Trim(*wait));
            if (digits.empty() || digits.size() > 6 ||
                digits.find_first_not_of("0123456789") != std::string::npos ||
                std::stoi(digits) == 0) {
                problem = "RequestWait「" + *wait + "」は秒数（1〜999999）ではありません。";
            } else {
                machine.requestWaitSeconds = std::stoi(digits);
            }
        }
        if (problem.empty()) {
            std::optional<std::string> idle = machines.Read(stored, "ReceiveIdle");
            if (!idle) idle = main.Read("Options", "ReceiveIdle");
            if (idle) {
                const std::string digits(Trim(*idle));
                if (digits.empty() || digits.size() > 4 ||
                    digits.find_first_not_of("0123456789") != std::string::npos ||
                    std::stoi(digits) > 3600) {
                    problem = "ReceiveIdle「" + *idle + "」は秒数（0〜3600）ではありません。";
                } else {
                    machine.receiveIdleSeconds = std::stoi(digits);
                }
            }
        }
        if (!problem.empty()) {
            result.notes.push_back("[" + name + "] " + problem + "この機械は使いません。");
            continue;
        }
        if (machine.settings.AutoSelect == "Y") {
            result.notes.push_back("[" + name +
                                   "] AutoSelect はサーバーでは使いません（入力する人がいないため）。");
            machine.settings.AutoSelect = "N";
        }
        machine.settings.DirPath = machine.receiveDir;

        std::string print = "Port=" + machine.settings.Port + "\n";
        if (const std::optional<int> number = PortNumber(machine.settings.Port)) {
            print += "Device=" + ResolvePortDevice(*number, programFolder) + "\n";
        }
        for (const SettingsEntry& entry : kMainEntries) {
            if (IsMachineKey(entry)) {
                print += std::string(entry.key) + "=" + FieldText(machine.settings, entry) + "\n";
            }
        }
        print += "SendDir=" + machine.sendDir + "\nReceiveDir=" + machine.receiveDir + "\n";
        print += "RequestWait=" + std::to_string(machine.requestWaitSeconds) + "\n";
        print += "ReceiveIdle=" + std::to_string(machine.receiveIdleSeconds) + "\n";
        machine.fingerprint = std::move(print);
        result.machines.push_back(std::move(machine));
    }
    if (result.machines.empty()) {
        result.error = machinesIni.string() + " に機械が有りません。（[MC1] のようなセクションに Port= を書いてください）";
    }
    return result;
}

}  // namespace wexal
