#include "dnc/machines_ini.h"

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <optional>
#include <utility>
#include <string_view>
#include <variant>

#include "config/ini_file.h"
#include "config/settings_keys.h"
#include "config/settings_store.h"
#include "platform/atomic_file.h"
#include "platform/error_text.h"
#include "platform/os_file.h"
#include "platform/path_rules.h"
#include "platform/text_codec.h"
#include "platform/unfinished_file.h"
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

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Machines.ini's text without its byte-order mark, and whether it is UTF-8.
struct MachinesText {
    std::string bytes;
    bool utf8 = false;
};

// UTF-8 after a byte-order mark (a UTF-16 one too, as the profile calls read
// it), or when the whole file is valid UTF-8, as a Linux editor writes it;
// else cp932, the settings files' own code page. cp932 with kana or kanji is
// almost never valid UTF-8, and ASCII reads the same either way.
MachinesText DecodeMachinesText(std::string bytes) {
    const std::string_view view = bytes;
    if (view.starts_with(kUtf8Bom)) return {bytes.substr(kUtf8Bom.size()), true};
    if (view.starts_with("\xFF\xFE") || view.starts_with("\xFE\xFF")) {
        return {Utf16ToWtf8(view.substr(2), view.front() == '\xFE'), true};
    }
    const bool utf8 = IsUtf8(view);
    return {std::move(bytes), utf8};
}

// A section header as the file spells it.
struct SectionHeader {
    std::string stored;   // the name as IniFile looks it up
    std::string name;     // as UTF-8, for the log
    bool bracket = false;  // "]" within the name: "[MC]1]" would read as MC
};

// The section headers in file order.
std::vector<SectionHeader> SectionHeaders(const MachinesText& text) {
    std::vector<SectionHeader> headers;
    const std::string_view bytes = text.bytes;
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t end = bytes.find_first_of("\r\n", at);
        if (end == std::string_view::npos) end = bytes.size();
        const std::string_view line = Trim(bytes.substr(at, end - at));
        if (line.size() >= 2 && line.front() == '[') {
            const std::size_t close = line.find(']');
            if (close != std::string_view::npos) {
                const std::string_view name = Trim(line.substr(1, close - 1));
                // After the header only a comment may follow.
                std::string_view rest = line.substr(close + 1);
                rest = rest.substr(0, rest.find(';'));
                const std::size_t last = rest.rfind(']');
                const bool bracket = last != std::string_view::npos;
                // With a bracket, the name as its writer meant it, for the message.
                const std::string_view shown = bracket ? line.substr(1, close + last) : name;
                if (!shown.empty()) {
                    headers.push_back({std::string(name),
                                       text.utf8 ? std::string(shown) : Cp932ToUtf8Lossy(shown),
                                       bracket});
                }
            }
        }
        at = end + 1;
    }
    return headers;
}

// What tells two ports apart: the device the name resolves to, a network
// port as host and port, a device through its links.
std::string PortIdentity(const std::string& device) {
    if (std::optional<NetworkPortAddress> address = ParseNetworkPortName(device)) {
        // "4001" and "04001" are one port.
        const std::string& service = address->service;
        int port = 0;
        if (std::from_chars(service.data(), service.data() + service.size(), port).ec != std::errc()) {
            port = 0;
        }
        return "net:" + Upper(address->host) + ":" + std::to_string(port);
    }
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(Utf8Path(device), error);
    return error ? device : PathText(real);
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
    FileContent file = ReadRegularFile(machinesIni, IniFile::kMaxFileSize);
    if (file.kind != FileLookup::Kind::Regular) {
        result.error = machinesIni.string() + " を読み込めません。" +
                       (file.kind == FileLookup::Kind::Missing ? "（ファイルが有りません）"
                                                              : "（" + file.reason + "）");
        return result;
    }
    const MachinesText text = DecodeMachinesText(std::move(file.bytes));
    const IniFile machines =
        IniFile::Parse(text.utf8 ? std::string(kUtf8Bom) + text.bytes : text.bytes);
    Status mainStatus;
    const IniFile main = IniFile::Load(mainIni, &mainStatus);
    if (!mainStatus) result.notes.push_back(mainStatus.message + "\n既定値を使います。");

    // A mistake in the file refuses all of it: a machine that would quietly
    // go missing or fight another over its port is worse than none.
    std::vector<std::string> refusals;
    std::vector<std::pair<std::string, std::string>> names;  // upper case, as shown
    struct PortUse {
        std::string identity, label, port, device;
    };
    std::vector<PortUse> ports;
    for (const SectionHeader& header : SectionHeaders(text)) {
        const std::string shown = PrintableText(header.name);
        const bool control = shown != header.name;
        const std::string label = "[" + shown + "]";
        if (header.bracket || control) {
            refusals.push_back(label + " の名前に" + (control ? "制御文字" : "「]」") +
                               "が有ります。");
            continue;
        }
        const std::string& stored = header.stored;
        const std::string& name = header.name;
        const std::string upper = Upper(stored);
        const auto same = std::find_if(names.begin(), names.end(),
                                       [&](const auto& seen) { return seen.first == upper; });
        if (same != names.end()) {
            refusals.push_back(same->second + " と " + label +
                               " は同じ名前です（大文字と小文字は区別しません）。");
            continue;
        }
        names.emplace_back(upper, label);

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
        const std::optional<std::string> receiveDir = machines.Read(stored, "ReceiveDir");
        machine.receiveDir = receiveDir.value_or(machine.sendDir);
        machine.receiveDirIsSendDir = !receiveDir.has_value();

        const std::optional<int> number = PortNumber(machine.settings.Port);
        // A name without a number names no device; its open fails.
        const std::string device =
            number ? ResolvePortDevice(*number, programFolder) : machine.settings.Port;
        PortUse use{PortIdentity(device), label, machine.settings.Port, device};
        for (const PortUse& other : ports) {
            if (other.identity != use.identity) continue;
            std::string both = other.port + " = " + other.device;
            if (Upper(other.port) != Upper(use.port) || other.device != use.device) {
                both += "、" + use.port + " = " + use.device;
            }
            refusals.push_back(other.label + " と " + use.label + " は同じポートです（" + both +
                               "）。");
            break;
        }
        ports.push_back(std::move(use));

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
        if (number) print += "Device=" + device + "\n";
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
    if (!refusals.empty()) {
        result.machines.clear();
        result.error = machinesIni.string() + " を使えません。";
        for (const std::string& refusal : refusals) result.error += "\n" + refusal;
        return result;
    }
    if (result.machines.empty()) {
        result.error = machinesIni.string() + " に機械が有りません。（[MC1] のようなセクションに Port= を書いてください）";
    }
    return result;
}

namespace {

// "" when the path leads to a folder, else why not, said after the key.
std::string FolderProblem(const std::string& folder) {
    const std::filesystem::path path = Utf8Path(folder);
    if (const std::optional<FileStatus> status = StatPath(path, true)) {
        return status->type == FileStatus::Type::Directory ? "" : "がフォルダではない";
    }
    const int error = errno;
    if (error == ENOENT) {
        const std::optional<FileStatus> link = StatPath(path, false);
        return link && link->type == FileStatus::Type::Link ? "のリンク先が無い" : "が無い";
    }
    return "を調べられない（" + SystemErrorText(error) + "）";
}

}  // namespace

std::string CheckMachineFolders(const MachineConfig& machine) {
    std::string problem = FolderProblem(machine.sendDir);
    if (problem.empty()) {
        std::error_code error;
        const std::filesystem::directory_iterator listing(Utf8Path(machine.sendDir), error);
        if (error) problem = "を読めない（" + SystemErrorText(error.value()) + "）";
    }
    if (!problem.empty()) return "SendDir「" + machine.sendDir + "」" + problem;

    problem = FolderProblem(machine.receiveDir);
    if (problem.empty()) {
        // Made the way a punched program is, so that whatever would refuse
        // the program (rights, a read-only file system) refuses this first.
        UnfinishedFile probe;
        if (const int error = probe.Create(machine.receiveDir); error != 0) {
            problem = "に書き込めない（" + SystemErrorText(error) + "）";
        }
        probe.Discard();
    }
    return problem.empty() ? "" : "ReceiveDir「" + machine.receiveDir + "」" + problem;
}

}  // namespace wexal
