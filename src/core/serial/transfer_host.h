#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace wexal {

enum class MessageLineColour { Lime, Red };

// What a transfer needs from the window while it runs on the window's thread:
// the window implements it, tests pass a fake. Nothing here blocks except
// Sleep and the auto-select question.
class TransferHost {
public:
    virtual ~TransferHost() = default;

    // Lets the window repaint and take keys in the middle of a transfer.
    virtual void ProcessPendingEvents() = 0;

    // F3 or Esc is held down now.
    virtual bool AbortKeyDown() = 0;
    // F3 or Esc is held down now or was pressed since the previous call; the
    // memory of a press is cleared by asking.
    virtual bool AbortKeyPressed() = 0;
    // Forgets both keys and keeps the key that ended a transfer from reaching
    // the window once the transfer is over.
    virtual void ReleaseAbortKeys() = 0;

    virtual void SetDsrLamp(bool on) = 0;
    virtual void SetCtsLamp(bool on) = 0;
    virtual void SetStatusPanel(int index, const std::string& text) = 0;
    virtual void SetProgressRange(int maximum) = 0;
    virtual void SetProgressPosition(int position) = 0;
    virtual void SetMessageLine(const std::string& text, MessageLineColour colour) = 0;

    // Blocks the thread, window included.
    virtual void Sleep(std::chrono::microseconds duration) = 0;
    // The clock Sleep runs by; the writer reckons the line's progress with it.
    virtual std::chrono::nanoseconds Now() {
        return std::chrono::steady_clock::now().time_since_epoch();
    }

    // The auto-select number the operator confirms; nullopt when cancelled.
    virtual std::optional<std::string> AskAutoSelectNumber() = 0;
};

}  // namespace wexal
