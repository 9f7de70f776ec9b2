#pragma once

#include <QDialog>
#include <string>

#include "platform/message_service.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace wexal {

// The auto-select number dialog: the number a port switching box in front of
// several machines is sent before a transfer ("1", or "1-3" for cascaded boxes).
class TAutoForm : public QDialog {
    Q_OBJECT

public:
    // Centred over mainWindow when shown; refused keys are told through messages.
    TAutoForm(QWidget* mainWindow, MessageService& messages);

    // The number confirmed with "ＯＮ".
    const std::string& number() const { return number_; }

    QLineEdit* LabeledEdit1 = nullptr;
    QLabel* Label1 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormShow();
    // True when the key is taken care of here and must not reach the edit.
    bool LabeledEdit1KeyPress(QKeyEvent* event);
    void Button1Click();

    QWidget* mainWindow_;
    MessageService& messages_;
    std::string number_;
};

}  // namespace wexal
