#include "serial/serial_link.h"

#ifndef _WIN32
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <exception>
#include <vector>

#include "serial/byte_io.h"
#include "serial/port_names.h"

namespace wexal {

namespace {

using namespace std::chrono_literals;

constexpr auto kAutoSelectPause = 3000ms;

void Tell(SerialLink& link, const std::string& text) {
    link.env.messages->Tell(text, DefaultCaption(MessageIcon::None), MessageIcon::None);
}

// A receive whose code may turn out EIA must see 0x13: there it is the digit
// "3", and a driver that takes 0x13 as XOFF would swallow every "3".
bool ReceiveMayBeEia(const Settings& settings) {
    return settings.R_Code == 0 || settings.R_Code == 2;
}

std::string DeviceOf(const Settings& settings, const std::filesystem::path& programFolder) {
    const std::optional<int> number = PortNumber(settings.Port);
    // A name without a number names no device; the open of it fails.
    return number ? ResolvePortDevice(*number, programFolder) : settings.Port;
}

// Sends the auto-select number untranslated, a "-" being a pause.
bool RunAutoSelect(SerialLink& link) {
    TransferHost& host = *link.env.host;
    link.autoSelectActive = true;
    const std::optional<std::string> number = host.AskAutoSelectNumber();
    if (!number || number->empty()) {
        link.autoSelectActive = false;
        link.env.messages->Tell(kAutoSelectRefusedMessage, DefaultCaption(MessageIcon::Error),
                                MessageIcon::Error);
        return false;
    }
    // The writer would otherwise poll for an XON the switching box never sends.
    link.bytesSinceCheck = 0;
    for (const char c : *number) {
        if (c == '-') {
            host.Sleep(kAutoSelectPause);
            continue;
        }
        SendChar(link, static_cast<std::uint8_t>(c));
        // An abort key or a lost line ends the attempt here; the engines would
        // clear the flag and start the transfer anyway.
        if (link.abortRequested) {
            link.autoSelectActive = false;
            return false;
        }
    }
    host.Sleep(kAutoSelectPause);
    link.autoSelectActive = false;
    return true;
}

bool OpenAndConfigure(SerialLink& link, TransferMode mode) {
    const Settings& settings = *link.env.settings;
    // A port held open keeps its input: what the NC sent meanwhile is the
    // start of the next transfer.
    const bool reuse = link.holdOpen && link.port && link.port->IsOpen();
    const std::string device = DeviceOf(settings, link.env.programFolder);
    if (!reuse) {
        link.port = link.env.createPort(device);
        // A port whose line takes nothing must not hold up the end of a
        // transfer: its waits are cut short once one is under way.
        link.port->SetEndingCheck([&link] {
            return link.abortRequested || (link.env.messages && link.env.messages->Interrupted());
        });
    }
    SerialPort& port = *link.port;

    if (!reuse) {
        if (const Status opened = port.Open(device); !opened) {
            Tell(link, PortOpenFailedMessage(settings.Port, device, opened.error));
            return false;
        }
    }
    const LineSettings driver = port.GetSettings().value_or(LineSettings{});

    const SpeedTextResult speed = ParseSpeedText(settings.Speed);
    if (speed.error == SpeedTextError::BaudNotOffered) {
        Tell(link, kBaudRefusedMessage);
        return false;
    }
    if (!speed.ok()) {
        Tell(link, kLinkErrorMessage);
        return false;
    }

    const LineSettings line = LinkLineSettings(driver, speed.format, mode, settings);
    if (!port.SetSettings(line)) {
        // A held port took these settings before: refusing them now means
        // the device went away between transfers.
        if (reuse) {
            link.lineLost = true;
            link.lineFault = kLineLostMessage;
            Tell(link, kLineLostMessage);
            return false;
        }
        Tell(link, kLineSettingsFailedMessage);
        return false;
    }
    link.lineSettings = line;

    const Timeouts timeouts = LinkTimeouts(port.GetTimeouts(), mode);
    if (!port.SetTimeouts(timeouts)) {
        Tell(link, kTimeoutsFailedMessage);
        return false;
    }
    link.timeouts = timeouts;

    if (reuse) return true;
    (void)port.SetQueueSizes(4096, 4096);  // a request the driver may ignore
    if (!port.Purge(PurgeQueues::Both)) {
        Tell(link, kPurgeFailedMessage);
        return false;
    }
    RefreshLamps(link);

    if (settings.AutoSelect != "Y") return true;
    return RunAutoSelect(link);
}

}  // namespace

LineSettings LinkLineSettings(const LineSettings& driver, const LineFormat& format,
                              TransferMode mode, const Settings& settings) {
    LineSettings line = driver;
    ApplyLineFormat(format, line);
    line.parityCheck = false;
    line.xonChar = kDc1;
    line.xoffChar = settings.DC3_0x93 == "Y" ? kDc3WithParity : kDc3;
    line.txContinueOnXoff = false;
    line.ctsOutputFlow = false;
    if (mode == TransferMode::Send) {
        // The byte writer and reader do the flow control of a send themselves.
        line.xonLimit = 0;
        line.xoffLimit = 2;
        line.outputXonXoff = false;
        line.inputXonXoff = false;
    } else {
        line.xonLimit = 1024;
        line.xoffLimit = 3072;
        line.outputXonXoff = !(line.xoffChar == kDc3 && ReceiveMayBeEia(settings));
        line.inputXonXoff = true;
        line.dsrOutputFlow = false;
        line.dtrControl = LineControl::Handshake;
        line.rtsControl = LineControl::Handshake;
    }
    line.discardNul = true;
    line.abortOnError = false;
    if (settings.op1 == "Y") line.dtrControl = LineControl::Enable;
    if (settings.AutoSelect == "Y") {
        line.dtrControl = LineControl::Enable;
        line.rtsControl = LineControl::Enable;
    }
    return line;
}

Timeouts LinkTimeouts(const Timeouts& driver, TransferMode mode) {
    Timeouts timeouts = driver;
    timeouts.readIntervalMs = 0;
    timeouts.readTotalMultiplierMs = 0;
    timeouts.writeTotalMultiplierMs = 0;
    const bool receive = mode == TransferMode::Receive;
    timeouts.readTotalConstantMs = receive ? 1000 : 10;
    timeouts.writeTotalConstantMs = receive ? 1000 : 0;
    return timeouts;
}

bool OpenPort(SerialLink& link, TransferMode mode) {
    // Never more than one port: a handle an engine left open goes first.
    // A held port whose line was lost is opened anew.
    if (!link.holdOpen || link.lineLost || !link.lineFault.empty()) ReleasePort(link);
    link.mode = mode;
    link.lineLost = false;
    link.lineFault.clear();
    link.autoSelectActive = false;
    link.opened = false;
    link.queueRoom = 0;
    link.nextLookAt = {};
    try {
        link.opened = OpenAndConfigure(link, mode);
        return link.opened;
    } catch (const std::exception&) {
        link.autoSelectActive = false;
        Tell(link, kLinkErrorMessage);
        return false;
    }
}

void ClosePort(SerialLink& link) {
    if (link.holdOpen && !link.lineLost && link.lineFault.empty()) return;
    ReleasePort(link);
}

void ReleasePort(SerialLink& link) {
    if (link.port) link.port->Close();
}

std::string LineStalledMessage(int waitedMs) {
    const int seconds = std::max(1, (waitedMs + 500) / 1000);
    return "回線が" + std::to_string(seconds) + "秒間データを受け取りませんでした。";
}

std::optional<ModemStatus> RefreshLamps(SerialLink& link) {
    if (!link.port || !link.port->IsOpen()) return std::nullopt;
    const std::optional<ModemStatus> status = link.port->GetModemStatus();
    if (!status) return std::nullopt;
    link.modemStatus = status;
    link.env.host->SetDsrLamp(status->dsr);
    link.env.host->SetCtsLamp(status->cts);
    return status;
}

#ifndef _WIN32
namespace {

// The reentrant lookups, with room for a group of many members: every
// machine of the DNC server may say this at once.
constexpr std::size_t kLookupLimit = 1024 * 1024;

// The group that may open the device, as the operator must type it; a device
// of root's group has none to join, and dialout is where Debian puts ports.
std::string GroupToJoin(const std::string& device) {
    struct stat info {};
    if (::stat(device.c_str(), &info) == 0 && info.st_gid != 0) {
        std::vector<char> buffer(1024);
        struct group record {};
        struct group* entry = nullptr;
        while (::getgrgid_r(info.st_gid, &record, buffer.data(), buffer.size(), &entry) == ERANGE &&
               buffer.size() < kLookupLimit) {
            buffer.resize(buffer.size() * 4);
        }
        if (entry != nullptr) return entry->gr_name;
    }
    return "dialout";
}

std::string UserName() {
    std::vector<char> buffer(1024);
    struct passwd record {};
    struct passwd* entry = nullptr;
    while (::getpwuid_r(::geteuid(), &record, buffer.data(), buffer.size(), &entry) == ERANGE &&
           buffer.size() < kLookupLimit) {
        buffer.resize(buffer.size() * 4);
    }
    return entry != nullptr ? entry->pw_name : "$USER";
}

}  // namespace

#endif

std::string PortOpenFailedMessage(const std::string& port, const std::string& device, int error) {
    std::string text = port + kPortOpenFailedSuffix;
#ifdef _WIN32
    // Windows refuses a port only while another program holds it: nothing
    // for the operator to join.
    (void)device;
    (void)error;
    return text;
#else
    if (error != EACCES && error != EPERM) return text;
    const std::string group = GroupToJoin(device);
    return text + "\n" + device + " を開くにはグループ「" + group +
           "」に入る必要があります（sudo adduser " + UserName() + " " + group +
           "）。その後、ログインし直してください。";
#endif
}

}  // namespace wexal
