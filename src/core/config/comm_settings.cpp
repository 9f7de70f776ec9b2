#include "config/comm_settings.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/text_codec.h"
#include "serial/port_probe.h"
#include "serial/speed_text.h"

namespace wexal {

namespace {

constexpr const char* kSpeedChars = "0123456789,NEOneo";
constexpr const char* kPortChars = "0123456789COMcom";
constexpr const char* kYesNoChars = "YNyn";

bool IsLetterField(int tag) { return tag >= kSignalTag && tag <= kCodeTag; }

bool StartsWithNoCase(std::string_view item, std::string_view prefix) {
    return item.size() >= prefix.size() &&
           UpperAscii(item.substr(0, prefix.size())) == UpperAscii(prefix);
}

// One probe's answer, shared with the thread that may outlive the caller.
struct ProbeAnswer {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool usable = false;
};

}  // namespace

const std::array<CommFieldSpec, kCommFieldCount>& CommFieldSpecs() {
    static const std::array<CommFieldSpec, kCommFieldCount> definitions = {{
        {kSpeedTag, "ComboBox1", "", kSpeedChars, 0},
        {kPortTag, "ComboBox2", "", kPortChars, 0},
        {kSignalTag, "Edit4", "送受信の開始を        ＮＣ機の信号で行う(Y/N)", kYesNoChars, 1},
        {kStartCharTag, "Edit6", "送受信時、頭に％をつける                （Y/N）", kYesNoChars, 1},
        {kEndCharTag, "Edit9", "送受信時、後に％を付ける                  (Y/N)", kYesNoChars, 1},
        {kCodeTag, "Edit8", "送信コードＥＩＡ (Y/N)", kYesNoChars, 1},
    }};
    return definitions;
}

const CommFieldSpec& CommField(int tag) { return CommFieldSpecs().at(tag - 1); }

const std::vector<std::string>& SpeedItems() {
    static const std::vector<std::string> items = [] {
        static const char* const kForms[] = {",8,N,1", ",8,N,2", ",7,N,1", ",7,N,2",
                                             ",7,E,1", ",7,E,2", ",7,O,1", ",7,O,2"};
        std::vector<std::string> all;
        for (const int baud : kOfferedBauds) {
            for (const char* form : kForms) all.push_back(std::to_string(baud) + form);
        }
        return all;
    }();
    return items;
}

std::string SpeedCaption(const Settings& settings) { return "通信条件(" + settings.Speed + ")"; }

std::string PortCaption(const Settings& settings) { return "ポート番号(" + settings.Port + ")"; }

std::vector<std::string> ListUsablePorts(const PortProbe& probe,
                                         std::chrono::milliseconds perPort) {
    std::vector<std::string> ports;
    for (int number = kFirstPortNumber; number <= kLastPortNumber; ++number) {
        auto answer = std::make_shared<ProbeAnswer>();
        std::thread([answer, probe, number] {
            const bool usable = probe(number);
            const std::lock_guard lock(answer->mutex);
            answer->usable = usable;
            answer->finished = true;
            answer->done.notify_one();
        }).detach();
        std::unique_lock lock(answer->mutex);
        if (answer->done.wait_for(lock, perPort, [&] { return answer->finished; }) &&
            answer->usable) {
            ports.push_back("COM" + std::to_string(number));
        }
    }
    return ports;
}

CommKeyResult CommPanelKey(int tag, FieldKey key, bool fieldEmpty) {
    switch (key) {
        case FieldKey::F1:
            return {CommKeyAction::Apply};
        case FieldKey::F2:
        case FieldKey::Escape:
            return {CommKeyAction::Cancel};
        case FieldKey::F10:
            return {CommKeyAction::CloseWindow};
        case FieldKey::Enter:
            if (fieldEmpty) return {CommKeyAction::Ignore};
            return {CommKeyAction::MoveFocus, NextInRing(tag, kCommFieldCount), true};
        default:
            break;
    }
    if (IsLetterField(tag)) {
        if (key == FieldKey::Up) return {CommKeyAction::MoveFocus, tag - 1};
        if (key == FieldKey::Down)
            return {CommKeyAction::MoveFocus, NextInRing(tag, kCommFieldCount)};
        return {CommKeyAction::PassOn};
    }
    if (key == FieldKey::Tab) return {CommKeyAction::PassOn};
    const bool erasing = key == FieldKey::Backspace || key == FieldKey::Delete;
    return {CommKeyAction::OpenDropDown, 0, false, erasing};
}

Completion CompleteTyped(std::string_view text, std::size_t caret,
                         const std::vector<std::string>& items) {
    caret = std::min(caret, text.size());
    const std::string_view prefix = text.substr(0, caret);
    for (const std::string& item : items) {
        if (StartsWithNoCase(item, prefix)) {
            return {std::string(text), caret, text.size() - caret};
        }
    }
    return {std::string(prefix), caret, 0};
}

CommFields CommFieldsOf(const Settings& settings) {
    return {settings.Speed,     settings.Port,    settings.Signal,
            settings.StartChar, settings.EndChar, settings.Code};
}

bool CommFieldsChanged(const CommFields& fields, const Settings& settings) {
    return !(fields == CommFieldsOf(settings));
}

bool ApplyCommunicationSettings(const CommFields& fields, Settings& settings) {
    if (!fields.speed.empty()) {
        const std::size_t length = Cp932Width(fields.speed);
        if (length < 10 || length > 12) return false;
        settings.Speed = UpperAscii(fields.speed);
    }
    if (!fields.port.empty()) {
        const std::string port = UpperAscii(fields.port);
        settings.Port = port.find("COM") != std::string::npos ? port : "COM" + port;
    }
    const std::pair<const std::string*, std::string*> letters[] = {
        {&fields.signal, &settings.Signal},
        {&fields.startChar, &settings.StartChar},
        {&fields.endChar, &settings.EndChar},
        {&fields.code, &settings.Code},
    };
    for (const auto& [text, value] : letters) {
        if (!text->empty()) *value = UpperAscii(*text);
    }
    return true;
}

FieldKey Label14ClickKey(int x) {
    if (x >= 0 && x <= 80) return FieldKey::F1;
    if (x >= 120 && x <= 197) return FieldKey::F2;
    return FieldKey::Other;
}

}  // namespace wexal
