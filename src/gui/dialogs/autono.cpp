#include "dialogs/autono.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace wexal {

namespace {

constexpr const char* kRefusedKeyText = "この文字は変更できません。\n";
constexpr const char* kAllowed = "012345-";

}  // namespace

TAutoForm::TAutoForm(QWidget* mainWindow, MessageService& messages)
    : QDialog(mainWindow), mainWindow_(mainWindow), messages_(messages) {
    setObjectName(QStringLiteral("AutoForm"));
    setWindowTitle(QStringLiteral("自動切替"));
    setFixedSize(210, 115);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);

    auto* caption = new QLabel(QStringLiteral("自動選択番号"), this);
    caption->setGeometry(16, 8, 120, 16);
    LabeledEdit1 = new QLineEdit(this);
    LabeledEdit1->setObjectName(QStringLiteral("LabeledEdit1"));
    LabeledEdit1->setGeometry(16, 26, 80, 22);
    LabeledEdit1->setMaxLength(3);
    // Text may only come in through the key filter.
    LabeledEdit1->setContextMenuPolicy(Qt::NoContextMenu);
    LabeledEdit1->setAcceptDrops(false);
    LabeledEdit1->installEventFilter(this);
    caption->setBuddy(LabeledEdit1);

    Label1 = new QLabel(QStringLiteral("ﾂﾘｰ設定も可です。番号－番号"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(8, 54, 196, 16);
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);
    QPalette red = Label1->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    Label1->setPalette(red);

    Button1 = new QPushButton(QStringLiteral("ＯＮ"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(16, 80, 80, 26);
    Button1->setAutoDefault(false);
    Button2 = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(112, 80, 80, 26);
    Button2->setAutoDefault(false);
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

void TAutoForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TAutoForm::FormShow() {
    number_.clear();
    LabeledEdit1->clear();
    LabeledEdit1->setFocus();
    if (mainWindow_) {
        const QRect frame = mainWindow_->frameGeometry();
        move(frame.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2));
    }
}

void TAutoForm::Button1Click() {
    number_ = LabeledEdit1->text().toStdString();
    accept();
}

bool TAutoForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == LabeledEdit1 && event->type() == QEvent::KeyPress) {
        return LabeledEdit1KeyPress(static_cast<QKeyEvent*>(event));
    }
    return QDialog::eventFilter(watched, event);
}

bool TAutoForm::LabeledEdit1KeyPress(QKeyEvent* event) {
    const int key = event->key();
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    if (enter && !LabeledEdit1->text().isEmpty()) {
        Button1->setFocus();
        return true;
    }
    if (key == Qt::Key_Backspace) return false;
    // Keys without a character (arrows, Home, Tab, Esc) move or close as ever.
    const QString text = event->text();
    const bool character = enter || (!text.isEmpty() && key != Qt::Key_Escape &&
                                     key != Qt::Key_Tab && key != Qt::Key_Backtab &&
                                     key != Qt::Key_Delete);
    if (!character) return false;
    if (!enter && text.size() == 1 && QString::fromLatin1(kAllowed).contains(text[0])) {
        return false;
    }
    messages_.Tell(kRefusedKeyText, kInputErrorCaption, MessageIcon::Error);
    return true;
}

}  // namespace wexal
