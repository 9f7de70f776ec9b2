#include "config/settings_store.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "config/ini_file.h"
#include "config/settings_keys.h"
#include "platform/atomic_file.h"

namespace wexal {
namespace {

constexpr std::size_t kLeft = 0;
constexpr std::size_t kTop = 1;

constexpr std::string_view kApplication = "Application";

// Optional sign and decimal digits, nothing else (the reader has already
// dropped surrounding blanks).
bool IsDecimal(std::string_view text) {
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
    if (text.empty()) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

std::optional<std::int32_t> ParseInt32(std::string_view text) {
    if (!IsDecimal(text)) return std::nullopt;
    const bool negative = text.front() == '-';
    if (text.front() == '+' || text.front() == '-') text.remove_prefix(1);
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t value = 0;
    for (char c : text) {
        value = value * 10 + (c - '0');
        if (value > limit) return std::nullopt;
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

// Any integer but 0 is true, however long; anything else is false.
bool ParseBoolean(std::string_view text) {
    return IsDecimal(text) && text.find_first_of("123456789") != std::string_view::npos;
}

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

void ReadEntry(const IniFile& ini, const SettingsEntry& entry, const Settings& defaults,
               Settings& s) {
    const std::optional<std::string> text = ini.Read(entry.section, entry.key);
    std::visit(Overloaded{
                   [&](std::int32_t Settings::*field) {
                       const std::optional<std::int32_t> value =
                           text ? ParseInt32(*text) : std::nullopt;
                       s.*field = value.value_or(defaults.*field);
                   },
                   [&](std::string Settings::*field) { s.*field = text.value_or(defaults.*field); },
                   [&](bool Settings::*field) { s.*field = text && ParseBoolean(*text); },
               },
               entry.field);
}

std::string FormatEntry(const SettingsEntry& entry, const Settings& s) {
    return std::visit(Overloaded{
                          [&](std::int32_t Settings::*field) { return std::to_string(s.*field); },
                          [&](std::string Settings::*field) { return s.*field; },
                          [&](bool Settings::*field) { return std::string(s.*field ? "1" : "0"); },
                      },
                      entry.field);
}

std::string OutAppKey(std::size_t index, std::string_view suffix) {
    std::string key = "OutApp";
    key += static_cast<char>('A' + index);
    key += suffix;
    return key;
}

// Two reports become one message, a blank line between them.
Status Combine(const Status& a, const Status& b) {
    if (a && b) return Status::Ok();
    if (!a && !b) return Status::Error(a.message + "\n\n" + b.message);
    return a ? b : a;
}

constexpr std::string_view kNotSaved = "\n設定は保存しませんでした。";

// The file as it is on disk now, to be edited and written back whole; an
// error when it exists but cannot be read, for then it must not be replaced.
Status ReadForSave(const std::filesystem::path& path, IniFile& ini) {
    Status read;
    ini = IniFile::Load(path, &read);
    if (!read) return Status::Error(read.message + std::string(kNotSaved));
    return Status::Ok();
}

// Writes the edited file whole. A key that cannot be written (only a name
// the file cannot hold; every value can) keeps its old line and is reported.
Status Finish(const IniFile& ini, const std::filesystem::path& path,
              const std::vector<std::string>& unwritableKeys) {
    const Status saved = ini.Save(path);
    if (!saved) return saved;
    if (unwritableKeys.empty()) return Status::Ok();
    std::string message = "設定ファイルに保存できない値があります。\n" + path.string();
    for (const std::string& key : unwritableKeys) message += "\n「" + key + "」";
    return Status::Error(message);
}

Status SaveMain(const Settings& s, const std::filesystem::path& path) {
    IniFile ini;
    if (Status read = ReadForSave(path, ini); !read) return read;
    std::vector<std::string> unwritable;
    auto write = [&](const SettingsEntry& entry) {
        if (!ini.Write(entry.section, entry.key, FormatEntry(entry, s))) {
            unwritable.emplace_back(entry.key);
        }
    };
    write(kMainEntries[kTop]);
    write(kMainEntries[kLeft]);
    for (const SettingsEntry& entry : kMainEntries) {
        if (&entry != &kMainEntries[kTop] && &entry != &kMainEntries[kLeft]) write(entry);
    }
    return Finish(ini, path, unwritable);
}

Status SaveOutApp(const Settings& s, const std::filesystem::path& path) {
    IniFile ini;
    if (Status read = ReadForSave(path, ini); !read) return read;
    std::vector<std::string> unwritable;
    auto write = [&](const std::string& key, const std::string& value) {
        if (!ini.Write(kApplication, key, value)) unwritable.push_back(key);
    };
    write("EditApp", s.EditApp);
    for (std::size_t i = 0; i < s.OutApp.size(); ++i) {
        write(OutAppKey(i, ""), s.OutApp[i].Command);
        write(OutAppKey(i, "_F"), s.OutApp[i].PassFile);
        write(OutAppKey(i, "_N"), s.OutApp[i].Name);
    }
    return Finish(ini, path, unwritable);
}

// Reads one file for Load; an unreadable one is marked and reported.
IniFile LoadOne(const std::filesystem::path& path, std::string& unread, Status& report) {
    RemoveStaleTemporaryFiles(path);
    Status read;
    IniFile ini = IniFile::Load(path, &read);
    unread = read.message;
    if (!read) {
        report = Combine(
            report,
            Status::Error(read.message + "\n既定の設定で続けます。このファイルは書き換えません。"));
    }
    return ini;
}

// Save of one file: never over a file that Load could not read, whose values
// in memory are defaults.
template <typename SaveFn>
Status SaveOne(const std::filesystem::path& path, const std::string& unreadAtLoad, bool reported,
               SaveFn&& save) {
    if (unreadAtLoad.empty()) return save(path);
    if (reported) return Status::Ok();
    return Status::Error(unreadAtLoad + std::string(kNotSaved));
}

}  // namespace

Status SettingsStore::Load(Settings& s, SettingsFiles& files) {
    const Settings defaults;
    Status report;
    const IniFile main = LoadOne(files.mainIni, files.mainIniUnread, report);
    for (const SettingsEntry& entry : kMainEntries) ReadEntry(main, entry, defaults, s);

    const IniFile apps = LoadOne(files.outAppIni, files.outAppIniUnread, report);
    s.EditApp = apps.Read(kApplication, "EditApp").value_or(defaults.EditApp);
    for (std::size_t i = 0; i < s.OutApp.size(); ++i) {
        const OutAppEntry& fallback = defaults.OutApp[i];
        OutAppEntry& entry = s.OutApp[i];
        entry.Command = apps.Read(kApplication, OutAppKey(i, "")).value_or(fallback.Command);
        entry.PassFile = apps.Read(kApplication, OutAppKey(i, "_F")).value_or(fallback.PassFile);
        entry.Name = apps.Read(kApplication, OutAppKey(i, "_N")).value_or(fallback.Name);
    }
    return report;
}

void SettingsStore::ReadMain(const IniFile& ini, Settings& s) {
    const Settings defaults;
    for (const SettingsEntry& entry : kMainEntries) ReadEntry(ini, entry, defaults, s);
}

Status SettingsStore::Save(const Settings& s, const SettingsFiles& files) {
    const Status main =
        SaveOne(files.mainIni, files.mainIniUnread, files.unreadReported,
                [&](const std::filesystem::path& path) { return SaveMain(s, path); });
    const Status apps =
        SaveOne(files.outAppIni, files.outAppIniUnread, files.unreadReported,
                [&](const std::filesystem::path& path) { return SaveOutApp(s, path); });
    return Combine(main, apps);
}

}  // namespace wexal
