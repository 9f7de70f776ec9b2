#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "serial/receive_panel.h"

namespace wexal::test {

// The received-data panel of the window, recorded.
class FakeReceivePanel : public ReceivePanel {
public:
    void ShowReceivePanel() override { shown = true; programLines.clear(); }
    void HideReceivePanel() override { shown = false; }
    void DisableInputLine() override { inputLineEnabled = false; }
    void FocusView() override { ++focused; }
    void AddViewLine(const std::string& line) override {
        view.push_back(line);
        longestLine = std::max(longestLine, line.size());
        mostLines = std::max(mostLines, view.size());
    }
    void ClearView() override { view.clear(); }
    void AddProgramLine(const std::string& line) override { programLines.push_back(line); }
    void EnableFileList() override { fileListEnabled = true; }
    void StartIdleTimer(int milliseconds, bool refreshList) override {
        timerMs = milliseconds;
        refreshPending = refreshList;
    }
    void CloseMainWindow() override { ++closes; }
    bool CloseRequested() override { return closeRequested; }

    bool shown = false;
    bool inputLineEnabled = true;
    int focused = 0;
    std::vector<std::string> view;
    std::size_t longestLine = 0;
    std::size_t mostLines = 0;
    std::vector<std::string> programLines;
    bool fileListEnabled = false;
    int timerMs = 0;
    bool refreshPending = false;
    int closes = 0;
    bool closeRequested = false;
};

}  // namespace wexal::test
