#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

#include "serial/send_panel.h"

namespace wexal::test {

// The transfer panel for engine tests and benchmarks: records what the
// engine shows and lets a test ask for the window to close.
class FakeSendPanel : public SendPanel {
public:
    void ShowView(const SendView& view) override {
        ++viewsShown;
        viewLines = view.LineCount();
    }
    void ClearView() override {
        ++viewClears;
        viewLines = 0;
    }
    void ShowViewTop() override { ++viewTops; }
    void HighlightLine(std::size_t index) override {
        ++highlights;
        lastHighlight = index;
    }
    void HighlightQueueEntry(int position) override { queueEntries.push_back(position); }
    void SetRemainingLine(const std::string& text) override { remainingLines.push_back(text); }
    void ShowRemainingLine() override { remainingShown = true; }
    void HideTransferPanel() override { panelHidden = true; }
    void EnableFileList() override { listEnabled = true; }
    void Repaint() override { ++repaints; }
    void StartEstimateTimer() override {
        estimateRunning = true;
        ++estimateStarts;
    }
    void StopEstimateTimer() override { estimateRunning = false; }
    void StartIdleTimer(std::chrono::milliseconds delay) override { idleTimers.push_back(delay); }
    void CloseMainWindow() override { ++closeRequests; }
    bool StopRequested() override { return stop; }

    bool stop = false;

    int viewsShown = 0;
    int viewClears = 0;
    std::size_t viewLines = 0;
    int viewTops = 0;
    int highlights = 0;
    std::size_t lastHighlight = 0;
    std::vector<int> queueEntries;
    std::vector<std::string> remainingLines;
    bool remainingShown = false;
    bool panelHidden = false;
    bool listEnabled = false;
    int repaints = 0;
    bool estimateRunning = false;
    int estimateStarts = 0;
    std::vector<std::chrono::milliseconds> idleTimers;
    int closeRequests = 0;
};

}  // namespace wexal::test
