#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <memory>

class QLineEdit;

#include "platform/message_service.h"
#include "serial/transfer_host.h"

namespace wexal {

class TForm1;
class TAutoForm;

// The DSR lamp's mark in blue (on) or red (off); the CTS lamp " ●" or " ○".
void ShowDsrLamp(QLineEdit* lamp, bool on);
void ShowCtsLamp(QLineEdit* lamp, bool on);

// The main window as the transfers see it. An application-wide event filter
// follows F3 and Esc: held now, and pressed since last asked. Releasing the
// keys forgets both and swallows the key until it comes up, so it never
// reaches the file list after the transfer.
class QtTransferHost : public QObject, public TransferHost {
    Q_OBJECT

public:
    QtTransferHost(TForm1* form, MessageService& messages);
    ~QtTransferHost() override;

    void ProcessPendingEvents() override;
    bool AbortKeyDown() override;
    bool AbortKeyPressed() override;
    void ReleaseAbortKeys() override;
    void SetDsrLamp(bool on) override;
    void SetCtsLamp(bool on) override;
    void SetStatusPanel(int index, const std::string& text) override;
    void SetProgressRange(int maximum) override;
    void SetProgressPosition(int position) override;
    void SetMessageLine(const std::string& text, MessageLineColour colour) override;
    void Sleep(std::chrono::microseconds duration) override;
    std::optional<std::string> AskAutoSelectNumber() override;

    // The window is closing during a transfer: the engine is told as if F3
    // had been pressed, until it releases the keys on its way out, so that
    // every wait it may be in (XOFF included) ends.
    void RequestStop() { stopPending_ = true; }

    // What a transfer changes line by line (the progress bar, the received
    // lines) is shown a few times a second and all at once: one repaint of
    // the window, where a repaint per line would cost more than the receive.
    void ScheduleRefresh();

signals:
    void Refresh();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct KeyState {
        bool held = false;
        bool pressed = false;  // since the last AbortKeyPressed
        bool swallow = false;  // released by the program; ignored until it comes up
    };
    KeyState* StateOf(int key);

    TForm1* form_;
    MessageService& messages_;
    std::unique_ptr<TAutoForm> autoForm_;
    KeyState f3_;
    KeyState esc_;
    bool stopPending_ = false;
    QElapsedTimer sinceEvents_;
    void ShowProgress();
    QTimer refreshTimer_;
    int progress_ = 0;
};

}  // namespace wexal
