#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "config/settings.h"
#include "platform/message_service.h"
#include "serial/line_settings.h"
#include "serial/serial_port.h"
#include "serial/speed_text.h"
#include "serial/transfer_host.h"

namespace wexal {

enum class TransferMode { Send = 1, Receive = 2 };

// What the link talks to, set once by the window that owns it.
struct LinkEnvironment {
    const Settings* settings = nullptr;
    TransferHost* host = nullptr;
    MessageService* messages = nullptr;
    std::filesystem::path programFolder;
    // A closed port for the device the port map names.
    std::function<std::unique_ptr<SerialPort>(const std::string& device)> createPort =
        CreateSerialPort;
};

// The one serial port of a transfer and the flags both engines share. The
// engines set canSend, abortRequested, bytesSinceCheck, the code flags and
// the mode at the start of every transfer; OpenPort, SendChar and ReadChar
// read and change them.
struct SerialLink {
    LinkEnvironment env;

    std::unique_ptr<SerialPort> port;
    LineSettings lineSettings;                // as last written
    Timeouts timeouts;                        // as last written
    std::optional<ModemStatus> modemStatus;  // last successful query; none yet on a pseudo-terminal

    bool canSend = false;
    bool abortRequested = false;
    int bytesSinceCheck = 0;
    // Bytes the driver's output queue is known to take without holding more
    // than it may: what it lacked at the last look, less what went out since.
    int queueRoom = 0;
    // When the line will have carried every byte written so far, reckoned
    // at its rate on the host's clock (TransferHost::Now).
    std::chrono::nanoseconds lineFreeAt{0};
    // When a send next asks the driver and the modem lines (host's clock).
    std::chrono::nanoseconds nextLookAt{0};
    bool isoCode = false;
    bool eiaCode = false;
    bool autoSelectActive = false;
    TransferMode mode = TransferMode::Send;

    // Set when the device went away or refused a byte during this opening; the
    // operator has been told, abortRequested is set, and no later byte goes out.
    bool lineLost = false;
    std::string lineFault;
    // The last OpenPort succeeded: what ends the transfer now is an abort,
    // not a start that failed.
    bool opened = false;

    // The caller keeps the port open between transfers (the DNC server, whose
    // NC may punch at any moment). OpenPort then only sets the line up for
    // the mode on a port that is still open, without purging what arrived,
    // and ClosePort leaves it open unless the line was lost. The window
    // leaves this off and opens and closes its port for every transfer.
    bool holdOpen = false;

    // Bytes read off the line but handed back, to be read again first (a
    // punch that began while a send waited for its go-ahead).
    std::string heldInput;
    // Every byte read so far, and the last one as it came off the wire.
    std::uint64_t bytesRead = 0;
    std::uint8_t lastWireByte = 0;
    // The last byte read broke the parity of the code in force.
    bool parityError = false;
};

inline constexpr const char* kPortOpenFailedSuffix = "のポートが開きません。!!";
// "COM1のポートが開きません。!!"; when the system refused the user (EACCES,
// EPERM), a second line says which group opens the device and that the
// membership needs a new login.
std::string PortOpenFailedMessage(const std::string& port, const std::string& device, int error);
inline constexpr const char* kBaudRefusedMessage = "通信設定（速度）を確認してください!!";
inline constexpr const char* kLineSettingsFailedMessage = "通信速度の設定エラー!!";
inline constexpr const char* kTimeoutsFailedMessage = "タイムアウト!!";
inline constexpr const char* kPurgeFailedMessage = "回線初期化エラー!!";
inline constexpr const char* kAutoSelectRefusedMessage =
    "自動選択番号の入力が間違っています。\n通信を一旦中止します。";
inline constexpr const char* kLinkErrorMessage = "通信エラー!!";
inline constexpr const char* kLineLostMessage = "回線が切断されました。";
inline constexpr const char* kWriteFailedMessage = "回線にデータを送れませんでした。";
// A write that the line did not take within its wait:
// "回線が10秒間データを受け取りませんでした。"
std::string LineStalledMessage(int waitedMs);

// Opens the port named in Setting/Port for the mode, configures it, sets the
// lamps and runs the automatic port switching when it is on. On false the
// operator has been told why; the port may still be open (ClosePort).
bool OpenPort(SerialLink& link, TransferMode mode);
// The engines' close after their last byte; harmless when nothing is open.
// With holdOpen the port stays open unless its line was lost.
void ClosePort(SerialLink& link);
// Closes the port whatever holdOpen says: the end of the caller's day.
void ReleasePort(SerialLink& link);

// Reads the modem lines; when the query succeeds the status is kept and the
// DSR and CTS lamps follow it. A failed query changes nothing.
std::optional<ModemStatus> RefreshLamps(SerialLink& link);

// The line record for a mode: the driver's record with the speed text's
// format, the mode's flow control and the DTR/RTS options laid over it.
LineSettings LinkLineSettings(const LineSettings& driver, const LineFormat& format,
                              TransferMode mode, const Settings& settings);
Timeouts LinkTimeouts(const Timeouts& driver, TransferMode mode);

}  // namespace wexal
