#include "main_window/sort_panel.h"

#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include "main_window/mainunit1.h"
#include "main_window/file_list_box.h"
#include "files/sort_entry.h"

namespace wexal {

SortPanel::SortPanel(TForm1& form) : QObject(&form), form_(form) {
    form_.Edit7->installEventFilter(this);
    form_.Label22->installEventFilter(this);
}

void SortPanel::Open() {
    form_.ListBox1->setEnabled(false);
    form_.Label21->setText(QString::fromStdString(SortEntryCurrentText(form_.settings_)));
    form_.Edit7->setText(QString::fromStdString(SortEntryInitialText(form_.settings_)));
    form_.GroupBox3->show();
    form_.GroupBox3->raise();
    form_.Edit7->setFocus();
}

bool SortPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == form_.Edit7 && event->type() == QEvent::KeyPress) {
        return Edit7KeyPress(static_cast<const QKeyEvent&>(*event));
    }
    if (watched == form_.Label22 && event->type() == QEvent::MouseButtonPress) {
        form_.SimulateKey(Qt::Key_Escape);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

bool SortPanel::Edit7KeyPress(const QKeyEvent& event) {
    switch (event.key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            Edit7Enter();
            return true;
        case Qt::Key_Escape:
            Edit7Escape();
            return true;
        default:
            break;
    }
    // Keys that type no character (arrows, Backspace, Delete) keep their
    // ordinary editing use; of the characters only the sort letters count.
    const QString text = event.text();
    const char16_t first = text.isEmpty() ? 0 : text[0].unicode();
    if (text.isEmpty() || (text.size() == 1 && (first < 0x20 || first == 0x7F))) return false;
    if (text.size() == 1 && first < 0x80) {
        if (const auto taken = SortEntryChar(static_cast<char>(first))) {
            form_.Edit7->insert(QString(QChar(*taken)));
        }
    }
    return true;
}

void SortPanel::Edit7Enter() {
    SortEntryOutcome outcome = SortEntryOutcome::Ignore;
    const std::string text = form_.Edit7->text().toStdString();
    form_.ChangeList([&] { outcome = ApplySortEntry(text, form_.settings_, form_.fileList_); });
    switch (outcome) {
        case SortEntryOutcome::Ignore:
            break;
        case SortEntryOutcome::Refuse:
            form_.messages_->Tell(kSortEntryRefused, DefaultCaption(MessageIcon::None),
                                  MessageIcon::None);
            form_.Edit7->setFocus();
            break;
        case SortEntryOutcome::Apply:
            Close();
            form_.SetStatusPanel(4, QString::fromStdString(form_.settings_.Speed));
            form_.SetStatusPanel(5, QString::fromStdString(form_.settings_.Port));
            form_.SetStatusPanel(6, QString::fromStdString(form_.settings_.Signal));
            break;
    }
}

void SortPanel::Edit7Escape() {
    form_.Edit7->clear();
    Close();
    form_.SetMessage(QStringLiteral("操作中止!!"), true);
    form_.Timer1->start(1000);
}

void SortPanel::Close() {
    form_.GroupBox3->hide();
    form_.ListBox1->setEnabled(true);
    form_.ListBox1->setFocus();
}

}  // namespace wexal
