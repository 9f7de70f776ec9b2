#pragma once

#include <string>

namespace wexal {

// The received-data panel GroupBox2 as the receive engine drives it.
inline constexpr const char* kReceivePanelCaption = "受信データ";
inline constexpr int kReceivePanelLeft = 24;
inline constexpr int kReceivePanelTop = 96;
inline constexpr int kReceivePanelWidth = 650;
inline constexpr unsigned kReceivePanelColour = 0x008000;  // green, as an RGB value

// What a receive needs from the main window beside TransferHost: the panel
// with its view RichEdit1 and program list ListBox2, the input line, the file
// list, Timer1 and the window itself. The window implements it; tests pass a
// fake. Every call is made on the window's thread while the receive runs.
class ReceivePanel {
public:
    virtual ~ReceivePanel() = default;

    // Shows GroupBox2 with kReceivePanelCaption at its place and colour,
    // clears ListBox2 and hides the remaining-bytes line Label17.
    virtual void ShowReceivePanel() = 0;
    virtual void HideReceivePanel() = 0;
    // Empties Edit1 and disables it.
    virtual void DisableInputLine() = 0;
    // Focuses RichEdit1 and repaints it, StatusBar2 and Label6.
    virtual void FocusView() = 0;

    // RichEdit1 shows the lines not yet written to the file; the engine
    // keeps them itself, the view only mirrors them.
    virtual void AddViewLine(const std::string& line) = 0;
    virtual void ClearView() = 0;
    // ListBox2: adds the program-number line, selects it and repaints.
    virtual void AddProgramLine(const std::string& line) = 0;

    virtual void EnableFileList() = 0;
    // Starts Timer1 (RestoreIdleDisplay); refreshList sets listRefreshPending
    // so the handler refreshes the file list.
    virtual void StartIdleTimer(int milliseconds, bool refreshList) = 0;
    // ExitAfterTransfer: the main window closes once the engine returns.
    virtual void CloseMainWindow() = 0;
    // The window was asked to close (close box, logout, SIGTERM) while the
    // receive runs: it ends first, as the abort keys end it.
    virtual bool CloseRequested() = 0;
};

// A receive with no window to show it in (the server, benchmarks): every
// call does nothing and nobody asks to close.
class NoReceivePanel : public ReceivePanel {
public:
    void ShowReceivePanel() override {}
    void HideReceivePanel() override {}
    void DisableInputLine() override {}
    void FocusView() override {}
    void AddViewLine(const std::string&) override {}
    void ClearView() override {}
    void AddProgramLine(const std::string&) override {}
    void EnableFileList() override {}
    void StartIdleTimer(int, bool) override {}
    void CloseMainWindow() override {}
    bool CloseRequested() override { return false; }
};

}  // namespace wexal
