#include "app/qt_message_service.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <cstdio>

namespace wexal {

namespace {

QMessageBox::Icon ToQt(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

void QtMessageService::SilenceAll() {
    silenced_ = true;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* dialog = qobject_cast<QDialog*>(widget); dialog && dialog->isVisible()) {
            dialog->reject();
        }
    }
}

bool QtMessageService::Show(const std::string& text, const std::string& caption, MessageIcon icon,
                            Buttons buttons) {
    const std::string title = caption.empty() ? DefaultCaption(icon) : caption;
    if (silenced_) {
        std::fprintf(stderr, "Wexal: %s: %s\n", title.c_str(), text.c_str());
        return false;
    }
    QMessageBox box(ToQt(icon), QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::NoButton, anchor_);
    // Screen readers announce the box by its message.
    box.setAccessibleName(QString::fromStdString(title));
    box.setAccessibleDescription(QString::fromStdString(text));
    QPushButton* accept = nullptr;
    switch (buttons) {
        case Buttons::YesNo:
            accept = box.addButton("はい(&Y)", QMessageBox::YesRole);
            box.addButton("いいえ(&N)", QMessageBox::NoRole);
            break;
        case Buttons::OkCancel:
            accept = box.addButton("OK", QMessageBox::AcceptRole);
            box.addButton("キャンセル", QMessageBox::RejectRole);
            break;
        case Buttons::Ok:
            accept = box.addButton("OK", QMessageBox::AcceptRole);
            break;
    }
    box.setDefaultButton(accept);
    if (anchor_) {
        // Before the main window is shown its stored position is already set.
        box.move(anchor_->pos() + QPoint(50, 50));
    }
    box.exec();
    return !silenced_ && box.clickedButton() == accept;
}

bool QtMessageService::AskYesNo(const std::string& text, const std::string& caption,
                                MessageIcon icon) {
    return Show(text, caption, icon, Buttons::YesNo);
}

bool QtMessageService::AskOkCancel(const std::string& text, const std::string& caption,
                                   MessageIcon icon) {
    return Show(text, caption, icon, Buttons::OkCancel);
}

void QtMessageService::Tell(const std::string& text, const std::string& caption, MessageIcon icon) {
    Show(text, caption, icon, Buttons::Ok);
}

}  // namespace wexal
