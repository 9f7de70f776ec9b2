#include "main_window/input_line_mode.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

#include "main_window/copy_command.h"
#include "main_window/mainunit1.h"
#include "main_window/receive_command.h"
#include "main_window/file_list_box.h"

namespace wexal {

InputLineMode::InputLineMode(TForm1& form) : QObject(&form), form_(form) {
    form_.Edit1->installEventFilter(this);
}

void InputLineMode::Open(const InputLineOpening& opening) {
    mode_ = opening.mode;
    form_.ListBox1->setEnabled(false);
    form_.Edit1->setEnabled(true);
    form_.SetMessage(QString::fromStdString(opening.messageLine), false);
    openedBytes_ = opening.text.value_or(std::string());
    openedText_ = QString::fromStdString(openedBytes_);
    if (opening.text) form_.Edit1->setText(openedText_);
    form_.Edit1->setFocus();
}

void InputLineMode::Apply(const InputLineOutcome& outcome) {
    if (outcome.clearText) form_.Edit1->clear();
    if (outcome.refreshList) form_.RefreshFileList();
    if (outcome.message) {
        form_.SetMessage(QString::fromStdString(outcome.message->text), outcome.message->red);
    }
    if (outcome.timer1Ms > 0) form_.Timer1->start(outcome.timer1Ms);
    if (outcome.closeLine) {
        form_.ListBox1->setEnabled(true);
        form_.ListBox1->setFocus();
        form_.Edit1->setEnabled(false);
    }
    if (outcome.closeWindow) form_.close();
}

bool InputLineMode::eventFilter(QObject* watched, QEvent* event) {
    if (watched == form_.Edit1 && event->type() == QEvent::KeyPress) {
        const auto& key = static_cast<const QKeyEvent&>(*event);
        if (!Edit1KeyPress(key)) return true;
        Edit1KeyDown(key);
        return key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter ||
               key.key() == Qt::Key_Escape || key.key() == Qt::Key_F10;
    }
    return QObject::eventFilter(watched, event);
}

bool InputLineMode::Edit1KeyPress(const QKeyEvent& event) {
    for (const char32_t c : event.text().toUcs4()) {
        if (const auto box = RefusedInputLineChar(mode_, form_.settings_, c)) {
            box->Show(*form_.messages_);
            return false;
        }
    }
    return true;
}

void InputLineMode::Edit1KeyDown(const QKeyEvent& event) {
    switch (event.key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            const InputLineOutcome outcome = InputLineEnter(mode_, Edit1Bytes(), form_.settings_,
                                                            form_.state_, *form_.messages_);
            if (outcome.handOn == InputMode::ReceiveName) {
                form_.receiveCommand_->NameEntered(Edit1Bytes());
                break;
            }
            if (outcome.handOn == InputMode::CopyName) {
                form_.copyCommand_->CopyNameEntered(Edit1Bytes());
                break;
            }
            Apply(outcome);
            break;
        }
        case Qt::Key_Escape:
            Apply(InputLineKeyDown(ListKey::Escape));
            break;
        case Qt::Key_F10:
            Apply(InputLineKeyDown(ListKey::F10));
            break;
        default:
            break;
    }
}

std::string InputLineMode::Edit1Bytes() const {
    const QString text = form_.Edit1->text();
    if (!openedText_.isEmpty() && text == openedText_) return openedBytes_;
    return text.toStdString();
}

}  // namespace wexal
