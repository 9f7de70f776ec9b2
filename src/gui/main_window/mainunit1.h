#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/app_state.h"
#include "config/startup.h"
#include "config/settings.h"
#include "files/delete_entries.h"
#include "files/file_list_model.h"
#include "files/key_dispatch.h"
#include "platform/desktop_shortcut.h"
#include "platform/message_service.h"
#include "platform/screen_saver.h"
#include "serial/serial_link.h"

class QLabel;
class QLineEdit;
class QGroupBox;
class QPlainTextEdit;
class QProgressBar;
class QTimer;
class QMenu;

namespace wexal {

class CommPanel;
class CopyCommand;
class DriveMenu;
class FileCommands;
class FileListBox;
class InputLineMode;
class ListMode;
class NcToolCommands;
class QtTransferHost;
class ReceiveCommand;
class SaveChoicePanel;
class SendCommand;
class SortPanel;
class TransferPanel;
class TOptionForm;
class OptionTakeHost;
class TFolderCheck;
class TFileInfoForm;
class ExtAppCommands;
class TPlotForm;

// The platform's folder browser: caption and start folder in, the chosen
// folder out (nullopt when cancelled).
using FolderBrowser =
    std::function<std::optional<std::string>(const std::string& caption, const std::string& start)>;

// What the main window talks to outside itself; tests pass fakes.
struct MainWindowServices {
    MessageService* messages = nullptr;  // null: message boxes on screen
    ScreenSaver* screenSaver = nullptr;  // null: the desktop's screen saver
    FolderBrowser folderBrowser;         // empty: the desktop's folder dialog
    LauncherTrust* launcherTrust = nullptr;  // null: the desktop's own marking
    MoveToTrash moveToTrash = nullptr;       // empty: the desktop trash
    // The port a transfer opens; empty: the device the port map names.
    std::function<std::unique_ptr<SerialPort>(const std::string& device)> createPort = nullptr;
};

// The main window: owns the settings and the run-time state, shows what core
// reports and turns keys into commands.
class TForm1 : public QWidget {
    Q_OBJECT

public:
    using Services = MainWindowServices;

    TForm1(std::vector<std::string> args, ProgramFiles files, Services services = Services(),
           QWidget* parent = nullptr);
    ~TForm1() override;

    Settings& settings() { return settings_; }
    AppState& state() { return state_; }
    const FileListModel& fileList() const { return fileList_; }
    bool firstIdleDone() const { return firstIdleDone_; }
    TransferPanel& transferPanel() { return *transferPanel_; }
    SaveChoicePanel& saveChoice() { return *saveChoice_; }
    // A send or receive is running; a close now waits for its abort path.
    bool transferRunning() const;
    CommPanel& commPanel() { return *commPanel_; }
    TOptionForm& OptionForm() { return *optionForm_; }
    NcToolCommands& ncTools() { return *ncTools_; }
    CopyCommand& copyCommand() { return *copyCommand_; }
    // The folder watcher, from the first show on (null before).
    TFolderCheck* folderCheck() { return folderCheck_; }
    TFileInfoForm& FileInfoForm() { return *fileInfoForm_; }
    FileCommands& fileCommands() { return *fileCommands_; }
    ExtAppCommands& extApps() { return *extApps_; }
    // The toolpath plot (P), a window of its own.
    TPlotForm& PlotForm() { return *plotForm_; }

    // Controls, under the names the rest of the program uses.
    QLabel* Label1 = nullptr;           // function-key help
    QLabel* Label2 = nullptr;           // letter-command help
    QLabel* Label3 = nullptr;           // drag target
    QLabel* Label4 = nullptr;           // title
    QLabel* Label6 = nullptr;           // Shift and Space/Esc help
    QLabel* Label7 = nullptr;           // folder line
    QLabel* Label8 = nullptr;           // list information line
    QLabel* Label11 = nullptr;          // message line
    QLineEdit* LabeledEdit1 = nullptr;  // DSR lamp
    QLineEdit* LabeledEdit2 = nullptr;  // CTS lamp
    FileListBox* ListBox1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QWidget* StatusBar2 = nullptr;
    std::vector<QLabel*> StatusPanels;  // the seven panels of StatusBar2
    QProgressBar* ProgressBar1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QGroupBox* GroupBox3 = nullptr;  // sort type
    QLineEdit* Edit7 = nullptr;
    QLabel* Label20 = nullptr;  // sort keys help
    QLabel* Label21 = nullptr;  // current sort
    QLabel* Label22 = nullptr;  // "Esc :中止"
    QGroupBox* GroupBox4 = nullptr;
    QGroupBox* GroupBox5 = nullptr;
    QPlainTextEdit* RichEdit1 = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;

    // Set while the list could not be refreshed (during a transfer); the
    // idle display then refreshes it.
    bool listRefreshPending = false;

    // Rebuilds the list (FileListModel flags) and shows it with its lines.
    void RefreshFileList(unsigned flags = 0);
    // The idle display, Timer1's handler.
    void RestoreIdleDisplay();
    // Width and columns of the list from Options/ListColumn, with Label2.
    void ApplyListColumns();
    // A key-down and key-up for the control with the focus, as if typed.
    void SimulateKey(int qtKey);

    void SetStatusPanel(int index, const QString& text);
    void SetMessage(const QString& text, bool warning);
    // Loads a file of the working folder into the transfer view; returns its size.
    std::int64_t LoadFileIntoView(const std::string& name);
    // Timer2's handler during a send.
    void Timer2Timer();
    // After every transfer: its end counts for the exit status when the
    // command line or an end-after key asked for it, and the window closes
    // when the transfer asked for that or nobody can see it.
    void TransferEnded(TransferEnd end, bool fromCommandLine, bool exitAfterTransfer,
                       bool closeWindow);
    // The exit status of the program (0 completed, 1 aborted, 2 not started).
    int ExitStatus() const { return state_.Outcome.ExitStatus(); }

signals:
    // After the close query ran; main ends the program on it.
    void Closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    friend class ListMode;
    friend class InputLineMode;
    friend class SortPanel;
    friend class SendCommand;
    friend class CommPanel;
    friend class NcToolCommands;
    friend class ReceiveCommand;
    friend class SaveChoicePanel;
    friend class CopyCommand;
    friend class FileCommands;
    friend class ExtAppCommands;

    void CreateControls();  // mainunit1_layout.cpp
    void FormCreate(const std::vector<std::string>& args);
    void FormShow();
    void FirstIdle();
    bool FormCloseQuery();
    void ShowHelpLine(bool shift);
    // The view and the information line follow the model's cursor and marks.
    void ShowListCursor();
    // An open plot follows the cursor's file.
    void PlotFollowsCursor();
    void ChangeList(const std::function<void()>& change);

    Settings settings_;
    AppState state_;
    ProgramFiles files_;
    std::unique_ptr<MessageService> ownMessages_;
    std::unique_ptr<EchoedMessages> echoedMessages_;
    std::unique_ptr<ScreenSaver> ownScreenSaver_;
    std::unique_ptr<LauncherTrust> ownLauncherTrust_;
    MessageService* messages_;
    ScreenSaver* screenSaver_;
    FolderBrowser folderBrowser_;
    FileListModel fileList_;
    std::unique_ptr<DriveMenu> driveMenu_;
    std::unique_ptr<ListMode> listMode_;
    std::unique_ptr<InputLineMode> inputLine_;
    std::unique_ptr<SortPanel> sortPanel_;
    std::unique_ptr<UnattendedMessages> transferMessages_;
    std::unique_ptr<QtTransferHost> transferHost_;
    SerialLink link_;
    std::unique_ptr<TransferPanel> transferPanel_;
    std::unique_ptr<SendCommand> sendCommand_;
    std::unique_ptr<CommPanel> commPanel_;
    std::unique_ptr<OptionTakeHost> optionHost_;
    TOptionForm* optionForm_ = nullptr;  // a child of the window
    std::unique_ptr<NcToolCommands> ncTools_;
    std::unique_ptr<ReceiveCommand> receiveCommand_;
    std::unique_ptr<SaveChoicePanel> saveChoice_;
    CopyCommand* copyCommand_ = nullptr;  // a child of the window
    TFolderCheck* folderCheck_ = nullptr;    // a child of the window
    TFileInfoForm* fileInfoForm_ = nullptr;  // a child of the window
    std::unique_ptr<FileCommands> fileCommands_;
    std::unique_ptr<ExtAppCommands> extApps_;
    TPlotForm* plotForm_ = nullptr;  // a window owned by this one
    bool shown_ = false;
    bool firstIdleDone_ = false;
    bool closeQueryDone_ = false;
    Status loaded_;  // what reading the settings files said
};

}  // namespace wexal
