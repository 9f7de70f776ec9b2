#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "serial/send_view.h"

namespace wexal {

// What the send engine needs from the transfer panel GroupBox2 and the main
// window beyond the TransferHost: the window implements it, tests pass a fake.
// Lines are given by index, never by text, so highlighting costs the same on
// every line of a large program.
class SendPanel {
public:
    virtual ~SendPanel() = default;

    // RichEdit1 now holds this view (the next file of a queue); line i of the
    // view is SendView::Line(i).
    virtual void ShowView(const SendView& view) = 0;
    virtual void ClearView() = 0;
    // The first line at the top with the caret in it; the view has the focus.
    virtual void ShowViewTop() = 0;
    // The line being sent: selected whole and scrolled to the second visible line.
    virtual void HighlightLine(std::size_t index) = 0;
    // ListBox2: the entry of the file in progress, 1-based.
    virtual void HighlightQueueEntry(int position) = 0;

    // Label17, the remaining line.
    virtual void SetRemainingLine(const std::string& text) = 0;
    virtual void ShowRemainingLine() = 0;

    virtual void HideTransferPanel() = 0;
    virtual void EnableFileList() = 0;
    // Repaints the transfer view, the status bar and the folder line at once.
    virtual void Repaint() = 0;

    // Timer2, the remaining-time estimate: (re)starts with 10000 ms.
    virtual void StartEstimateTimer() = 0;
    virtual void StopEstimateTimer() = 0;
    // Timer1, the return to the idle display, which also turns the screen
    // saver back on.
    virtual void StartIdleTimer(std::chrono::milliseconds delay) = 0;

    // The program ends once the engine has returned (a transfer that ends
    // the program, or a closing that came during the transfer).
    virtual void CloseMainWindow() = 0;
    // The window is being closed (close box, logout, SIGTERM): the transfer
    // must end on its abort path before the window goes.
    virtual bool StopRequested() = 0;
};

}  // namespace wexal
