#pragma once

#include <chrono>
#include <ctime>
#include <optional>
#include <functional>
#include <string>
#include <vector>

#include "platform/screen_saver.h"
#include "serial/receive_line.h"
#include "serial/receive_panel.h"
#include "serial/received_data.h"
#include "serial/serial_link.h"
#include "serial/transfer_log.h"

namespace wexal {

// Texts of a receive.
inline constexpr const char* kReceiveNamePrefix = "受信名 ";
inline constexpr const char* kReceiveAutomaticName = "受信名 自動保存";
inline constexpr const char* kReceiveWaiting = "受信待機中(信号待ち)";
inline constexpr const char* kReceiveRunning = "＜＜ 受信中 ＞＞";
inline constexpr const char* kReceiveSaving = "受信データ保存中です。";
inline constexpr const char* kReceiveCompleted = "受信完了しました。";
inline constexpr const char* kReceiveCompletedMessage = "受信完了しました。!!";
inline constexpr const char* kReceiveAborted = "受信を中止しました。";
inline constexpr const char* kReceiveAbortedMessage = "受信を中止しました。!!";
// An automatic receive that ended with nothing but "%" lines: no file saved.
inline constexpr const char* kReceiveNothing = "プログラムを受信しませんでした。";
inline constexpr const char* kReceiveNothingMessage = "プログラムを受信しませんでした。!!";

// What a receive that nobody watches does besides: the DNC server's. The
// window leaves all of it off.
struct UnattendedReceive {
    // A receive that has begun and then hears nothing this long ends on the
    // error path, whatever op5 and op6 say; zero: never.
    std::chrono::milliseconds idleLimit{0};
    // Programs that look like line noise are not saved: more than a tenth
    // of their bytes broke the parity or were control or 8-bit bytes, or the
    // receive never had a program number and did not begin with "%".
    bool discardNoise = false;
    // The error path stops the NC with DC4, names its reason in the log
    // entry, and reads away the rest of the program, so that it is not
    // taken for new receives; a program the line cut off (gone or quiet)
    // takes it too, whatever op5 says, and is set aside, never saved whole.
    bool tellNcOnError = false;
};

// The inputs of ReceiveFile as the save choice, the name entry or the R=
// argument set them.
struct ReceiveRequest {
    bool named = false;       // ReceiveNamed
    std::string target;       // ReceiveTarget: the full path when named
    std::string displayName;  // ReceiveDisplayName
    bool exitAfterTransfer = false;
};

// What a receive talks to. The settings, the window (TransferHost) and the
// message boxes are the link's.
struct ReceiveEnvironment {
    SerialLink* link = nullptr;
    ReceivePanel* panel = nullptr;
    const TransferLog* log = nullptr;
    ScreenSaver* screenSaver = nullptr;  // may be null
    // ShutDownPC of the send side, called after an ExitAfterTransfer receive
    // with Power_Off "Y"; it decides itself whether the system goes down.
    std::function<void()> shutDownPC;
    std::function<std::time_t()> now = [] { return std::time(nullptr); };
    // In automatic naming, a program whose program-number line this accepts
    // is a request to the PC, not a program: it is not saved, its line goes
    // to ReceiveResult::requests, and a receive that took one ends without
    // the DC4, since the NC is about to read. Unset in the window.
    std::function<bool(const std::string& programLine)> isRequest;
    // An abort before the NC sent anything (a caller that listens all day
    // and stops, or a line lost while idle) leaves no log entry.
    bool quietWhileIdle = false;
    // Who replaces a file, as its revision is named: a machine's section name.
    std::string revisionSource{kWexalRevisionSource};
    UnattendedReceive unattended;
};

enum class ReceiveEnd { Completed, Aborted, Failed };

struct ReceiveResult {
    ReceiveEnd end = ReceiveEnd::Aborted;
    std::string target;  // ReceiveTarget at the end, as logged
    // Every file this receive saved, in the order they were finished (each
    // has a "受信　　完了" log entry); the fallback file among them.
    std::vector<std::string> completedFiles;
    std::string fallbackFile;  // lines before any program number, or ""
    // Programs whose number named a file this receive had saved already; they
    // were saved under the next free name ("_2", "_3" ...), these.
    std::vector<std::string> renamedFiles;
    // The revisions kept of files that programs of this receive replaced.
    std::vector<std::string> keptRevisions;
    // No file at all was saved (completedFiles is empty), whatever `end`
    // says. With end Completed this is an automatic receive that got nothing
    // but "%" lines (or, with op5, was stopped before any data): the message
    // line says kReceiveNothingMessage, the log has no entry, and the caller
    // counts it as an aborted receive.
    bool savedNothing = true;
    // The program-number lines taken as requests (isRequest), in order.
    std::vector<std::string> requests;
    // The NC had sent its first start character.
    bool dataArrived = false;
    // Bytes of programs not saved because they looked like line noise.
    std::uint64_t noiseBytes = 0;
    std::string error;          // Failed: what went wrong, as told
    bool windowCloses = false;  // ExitAfterTransfer, or the window asked
};

// The state of one receive, as the design's tables name it.
struct ReceiveState {
    ReceiveRequest request;
    LineAssembly line;
    int programCount = 0;
    int lineCount = 0;  // lines finished since the last write, 0 to 1000
    ReceivedData data;
    ReceivedView view;
    bool closeRequested = false;
    // The program in progress is a request: its lines are dropped.
    bool discarding = false;
    std::vector<std::string> requests;
    bool dataArrived = false;
    bool startedWithPercent = false;
    // A request line waits here until the next line shows whether blocks
    // follow it (a program after all) or not.
    std::optional<LineEnd> heldRequest;
    // Of the program in progress: the bytes read and those that look like
    // noise (UnattendedReceive::discardNoise).
    std::uint64_t programBytes = 0;
    std::uint64_t programNoise = 0;
    std::uint64_t receiveBytes = 0;
    std::uint64_t receiveNoise = 0;
    // A line of it held a word of a program (an address with its value).
    bool sawWord = false;
    std::uint64_t noiseBytes = 0;
};

// Receives one or more programs from the NC into the named file or one file
// per program number, and ends with the window restored, the port closed and
// the log written. Runs on the window's thread to its end.
ReceiveResult ReceiveFile(const ReceiveRequest& request, ReceiveEnvironment& env);

}  // namespace wexal
