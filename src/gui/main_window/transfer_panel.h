#pragma once

#include <QColor>
#include <QObject>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "serial/receive_panel.h"
#include "serial/send_panel.h"

class QKeyEvent;
class QLabel;
class QListWidget;

namespace wexal {

class ProgramView;

inline constexpr const char* kTransferLogCaption = "送受信ログ";
inline constexpr const char* kFileViewCaption = "ファイルビュー";

class TForm1;
class QtTransferHost;

// The transfer panel GroupBox2: the view RichEdit1, the queue or program list
// ListBox2, the remaining line Label17 and the footer Label16. It shows a
// transfer's data (send and receive alike) and the log and file views, and it
// holds what a transfer needs to know about the window closing under it.
// A program (the file view and the data of a send) is shown by ProgramView1
// in RichEdit1's place, which reads it from the file as it paints; the
// received data and the log stay texts in RichEdit1.
class TransferPanel : public QObject, public SendPanel, public ReceivePanel {
    Q_OBJECT

public:
    TransferPanel(TForm1& form, QtTransferHost& host);

    QListWidget* ListBox2 = nullptr;  // the files of a queue
    QLabel* Label17 = nullptr;        // remaining bytes and time
    QLabel* Label16 = nullptr;        // footer, its band acts as F3
    ProgramView* ProgramView1 = nullptr;  // a program in RichEdit1's place

    struct Place {
        int left;
        int top;
        int width;
    };
    // The panel for a transfer: the caption, where it stands and its colour;
    // with a queue the list of files beside the view, the first highlighted.
    void OpenForTransfer(const char* caption, Place place, const QColor& colour,
                         const std::vector<std::string>& queue);
    // The log view: the text read-only under the caption.
    void OpenViewer(const char* caption, const std::string& text);
    // The file view: ProgramView1 under the caption, empty until a program
    // is shown in it (ShowProgram).
    void OpenProgramViewer(const char* caption);
    void ShowProgram(std::shared_ptr<const ProgramText> program);
    bool ViewerOpen() const;

    // A transfer runs from Begin to End. A close asked for meanwhile is held
    // back and stops the transfer; End says whether the window must close now.
    void BeginTransfer();
    bool EndTransfer();
    bool TransferRunning() const { return running_; }
    void RequestStop();

    // SendPanel
    void ShowView(const SendView& view) override;
    void ClearView() override;
    void ShowViewTop() override;
    void HighlightLine(std::size_t index) override;
    void HighlightQueueEntry(int position) override;
    void SetRemainingLine(const std::string& text) override;
    void ShowRemainingLine() override;
    void HideTransferPanel() override;
    void EnableFileList() override;
    void Repaint() override;
    void StartEstimateTimer() override;
    void StopEstimateTimer() override;
    void StartIdleTimer(std::chrono::milliseconds delay) override;
    void CloseMainWindow() override;
    bool StopRequested() override;

    // ReceivePanel; ClearView, EnableFileList and CloseMainWindow serve both.
    void ShowReceivePanel() override;
    void HideReceivePanel() override;
    void DisableInputLine() override;
    void FocusView() override;
    void AddViewLine(const std::string& line) override;
    void AddProgramLine(const std::string& line) override;
    void StartIdleTimer(int milliseconds, bool refreshList) override;
    bool CloseRequested() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // Line index of the program in the view (the file at path) is going out.
    void LineSent(const std::string& path, std::size_t index);

private:
    void Show(const char* caption, Place place, const QColor& colour, bool withQueue);
    // Which of the two views stands in the panel.
    void ShowProgramView(bool program);
    void TellFileTrouble(const QString& text);
    bool RichEdit1KeyDown(const QKeyEvent& event);
    void Label16Click(int x);

    // Received lines reach the view at the host's refresh, not one by one.
    void ShowPendingLines();

    TForm1& form_;
    QtTransferHost& host_;
    QStringList pendingLines_;
    bool running_ = false;
    bool stop_ = false;
    bool closeAfter_ = false;
    std::string sentPath_;  // the file of the program in the send view
};

}  // namespace wexal
