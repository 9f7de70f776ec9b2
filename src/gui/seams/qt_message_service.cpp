#include "seams/qt_message_service.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>

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
    if (silenced_) {
        PrintMessage(text, caption, icon);
        return false;
    }
    const std::string title = caption.empty() ? DefaultCaption(icon) : caption;
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
        case Buttons::Yes:
            accept = box.addButton("はい(&Y)", QMessageBox::YesRole);
            box.setEscapeButton(accept);
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

ReplaceChoice QtMessageService::AskReplace(const std::string& text, const std::string& caption) {
    if (silenced_) {
        PrintMessage(text, caption, MessageIcon::Warning);
        return ReplaceChoice::Cancel;
    }
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::NoButton, anchor_);
    box.setAccessibleName(QString::fromStdString(caption));
    box.setAccessibleDescription(QString::fromStdString(text));
    QPushButton* yes = box.addButton("はい(&Y)", QMessageBox::YesRole);
    QPushButton* no = box.addButton("いいえ(&N)", QMessageBox::NoRole);
    QPushButton* all = box.addButton("すべて(&A)", QMessageBox::YesRole);
    QPushButton* cancel = box.addButton("キャンセル", QMessageBox::RejectRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(cancel);
    if (anchor_) box.move(anchor_->pos() + QPoint(50, 50));
    box.exec();
    if (silenced_) return ReplaceChoice::Cancel;
    if (box.clickedButton() == yes) return ReplaceChoice::Yes;
    if (box.clickedButton() == no) return ReplaceChoice::No;
    if (box.clickedButton() == all) return ReplaceChoice::All;
    return ReplaceChoice::Cancel;
}

void QtMessageService::Tell(const std::string& text, const std::string& caption, MessageIcon icon) {
    Show(text, caption, icon, Buttons::Ok);
}

void QtMessageService::TellWithYes(const std::string& text, const std::string& caption,
                                   MessageIcon icon) {
    Show(text, caption, icon, Buttons::Yes);
}

}  // namespace wexal
