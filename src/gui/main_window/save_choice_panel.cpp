#include "main_window/save_choice_panel.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>

#include "main_window/input_line_mode.h"
#include "main_window/mainunit1.h"
#include "main_window/receive_command.h"
#include "main_window/file_list_box.h"

namespace wexal {

namespace {

constexpr char kEscape = 0x1B;

// The caption as its three rows (Y, N, Esc), broken where the box's width
// breaks it.
QString RowsOf(const QString& text) {
    QString rows = text;
    for (const QString& end : {QStringLiteral("(Y)"), QStringLiteral("(N)")}) {
        const qsizetype at = rows.indexOf(end);
        if (at >= 0) rows.insert(at + end.size(), QLatin1Char('\n'));
    }
    return rows;
}

void PaintWhiteOn(QWidget* widget, const QColor& base) {
    QPalette pal = widget->palette();
    pal.setColor(QPalette::WindowText, Qt::white);
    pal.setColor(QPalette::Text, Qt::white);
    pal.setColor(QPalette::Base, base);
    widget->setPalette(pal);
}

}  // namespace

SaveChoicePanel::SaveChoicePanel(TForm1& form) : QObject(&form), form_(form) {
    QGroupBox* box = form_.GroupBox4;
    const QString text = QString::fromUtf8(kSaveChoiceText);
    QFont font = box->font();
    font.setPixelSize(13);
    rowHeight_ = QFontMetrics(font).lineSpacing();

    Label27 = new QLabel(box);
    Label27->setObjectName(QStringLiteral("Label27"));
    Label27->setFont(font);
    Label27->setTextFormat(Qt::PlainText);
    Label27->setText(RowsOf(text));
    Label27->setAccessibleName(text);
    Label27->setCursor(Qt::PointingHandCursor);
    Label27->setGeometry(8, 18, 204, 3 * rowHeight_);
    PaintWhiteOn(Label27, Qt::black);

    Edit5 = new QLineEdit(box);
    Edit5->setObjectName(QStringLiteral("Edit5"));
    Edit5->setFont(form_.Edit1->font());
    Edit5->setMaxLength(1);
    Edit5->setGeometry(box->width() - 34, 18, 24, 22);
    Edit5->setAccessibleName(box->title());
    Edit5->setAccessibleDescription(text);
    PaintWhiteOn(Edit5, Qt::black);

    Edit5->installEventFilter(this);
    Label27->installEventFilter(this);
}

void SaveChoicePanel::Open() {
    form_.ListBox1->setEnabled(false);
    Edit5->clear();
    form_.GroupBox4->show();
    form_.GroupBox4->raise();
    Edit5->setFocus();
}

bool SaveChoicePanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Edit5 && event->type() == QEvent::KeyPress) {
        // Only the three choices act; nothing else is typed into the field.
        Edit5KeyDown(*static_cast<QKeyEvent*>(event));
        return true;
    }
    if (watched == Label27 && event->type() == QEvent::MouseButtonPress) {
        Label27MouseDown(static_cast<QMouseEvent*>(event)->position().toPoint().y());
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void SaveChoicePanel::Edit5KeyDown(const QKeyEvent& event) {
    char key = 0;
    if (event.key() == Qt::Key_Escape) {
        key = kEscape;
    } else if (event.text().size() == 1 && event.text().front().unicode() < 0x80) {
        key = static_cast<char>(event.text().front().unicode());
    }
    Choose(SaveChoiceForKey(key));
}

void SaveChoicePanel::Label27MouseDown(int y) {
    const SaveChoice choice = SaveChoiceForLabelRow(y, rowHeight_);
    if (choice != SaveChoice::Cancel) {
        Choose(choice);
        return;
    }
    // The Esc row goes through Edit5 as the key itself would.
    Edit5->setFocus();
    QCoreApplication::postEvent(Edit5, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    QCoreApplication::postEvent(Edit5,
                                new QKeyEvent(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier));
}

void SaveChoicePanel::Choose(SaveChoice choice) {
    switch (choice) {
        case SaveChoice::None:
            return;
        case SaveChoice::Named:
            form_.GroupBox4->hide();
            form_.inputLine_->Open({InputMode::ReceiveName, kReceiveNamePrompt, std::string()});
            return;
        case SaveChoice::Automatic:
            form_.GroupBox4->hide();
            form_.receiveCommand_->StartAutomatic(form_.state_.ExitAfterTransfer);
            return;
        case SaveChoice::Cancel:
            form_.GroupBox4->hide();
            form_.inputLine_->Apply(InputLineKeyDown(ListKey::Escape));
            return;
    }
}

}  // namespace wexal
