#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "programs/file_loader.h"
#include "platform/screen_saver.h"
#include "serial/send_panel.h"
#include "serial/send_time.h"
#include "serial/send_view.h"
#include "serial/serial_link.h"
#include "serial/transfer_log.h"

namespace wexal {

// The state of one send, held by the main window from the key press to the
// end of the transfer. The window prepares it (PrepareSend), the engine
// walks it, and Timer2's TSendTime reads and writes its counters.
struct SendState {
    SendView sendView;       // what goes out: the file as it was opened at the key press
    std::string fileName;    // without folder
    std::string folder;      // Setting/DirPath at the key press
    SendCounters counters;   // totalBytes, sentBytes, lastSampleBytes, remainingSeconds

    std::vector<std::string> sendQueue;  // the marked files, in order; empty for one file
    int queueCount = 0;
    int queuePos = 0;  // 1-based position in sendQueue of the file in progress

    bool ExitAfterTransfer = false;
    // The send was started by the command line: status panel 0 keeps its
    // text until the next file.
    bool requestedByCommandLine = false;

    // Why the file in progress could not be opened ("" when it could).
    std::string loadProblem;

    // Walk of the view: the line in progress and the file not yet logged.
    std::size_t lineIndex = 0;
    std::optional<std::string> unloggedFile;
    // Marked files that were gone or unreadable when their turn came, each
    // with the reason: "A.NC（…）".
    std::vector<std::string> unsentFiles;
};

// What the engine talks to besides the state.
struct SendEnvironment {
    SerialLink* link = nullptr;  // its env gives settings, host and messages
    SendPanel* panel = nullptr;
    ScreenSaver* screenSaver = nullptr;  // may be absent
    TransferLog log{std::filesystem::path()};
    std::function<std::time_t()> now = [] { return std::time(nullptr); };
    // The DNC server's: a "%" that a program follows is the NC punching, not
    // its go-ahead. The wait ends on the abort path and hands what it read
    // back to the link (SerialLink::heldInput) for the receive.
    bool punchEndsWait = false;
};

// NotStarted: nothing went out (the port did not open or take its settings,
// the file gave nothing to send, or the go-ahead was refused); the window has
// been through the abort path all the same.
enum class SendOutcome { Completed, Aborted, Failed, NotStarted };

// Puts a loaded file into the state as the file in progress: the view, its
// name, its size as totalBytes and fresh counters.
void SetSendFile(SendState& state, const std::string& name, ProgramLoad load);

// The state the F1 command (and the command-line start) hands to SendFiles:
// one file, or a queue of the marked files whose first is loaded. The caller
// loads with LoadProgram, shows the view and "残り " + the size
// (RemainingBytesText) in Label17 and "送信待機中（信号待ち)" in status panel 3.
SendState PrepareSend(const std::string& folder, const std::string& firstName, ProgramLoad load,
                      std::vector<std::string> queue, bool exitAfterTransfer,
                      bool requestedByCommandLine);

// Sends the view, and the files of the queue after it, to the NC: port
// opening, the wait for the NC, leader and start characters, every line,
// the next files, the end characters, the log and the close. Returns once the
// transfer has ended in any way; the window has then been told everything.
// The lines are read from the open file as they go out; a file changed in
// place since its key press (or its turn in the queue) ends the send on the
// abort path with kFileChangedMessage and the path.
SendOutcome SendFiles(SendState& state, SendEnvironment& env);

// Status texts of a send.
inline constexpr const char* kSendNamePrefix = "送信名 ";
inline constexpr const char* kWaitingForSignal = "送信待機中(信号待ち)";
inline constexpr const char* kWaitingBeforeSend = "送信待機中（信号待ち)";
inline constexpr const char* kSending = "＜＜ 送信中 ＞＞";
inline constexpr const char* kSendCompletedPanel = "送信完了しました。";
inline constexpr const char* kSendCompletedLine = "送信完了しました。!!";
inline constexpr const char* kSendAbortedPanel = "送信中止しました。";
inline constexpr const char* kSendAbortedLine = "送信中止しました。!!";
inline constexpr const char* kNcStoppedMessage = "ＮＣ装置が送信を中止しました。";
inline constexpr const char* kNcPunchingMessage =
    "ＮＣがプログラムの出力を始めたため、送信を中止しました。";
inline constexpr const char* kSendIncompleteLine = "送信できなかったファイルが有ります。!!";
inline constexpr const char* kSendIncompleteMessage = "次のファイルは送信できませんでした。";
inline constexpr const char* kFileChangedMessage = "送信中にファイルが変更されました。";
inline constexpr const char* kFileUnreadableMessage = "ファイルを読み込めません。";
inline constexpr const char* kLineTooLongMessage = "行が長すぎるため送信できません。";
inline constexpr const char* kSendConfirmQuestion =
    "ＮＣ装置側の準備を行ってください。\n準備が出来ましたら「はい(Y)」を\n押すと送信が開始します。";

}  // namespace wexal
