#include "extapps/outapp.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/widget_style.h"
#include "extapps/launch_command.h"
#include "files/file_names.h"
#include "nctools/tool_dialog.h"

namespace wexal {

namespace {

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setTextFormat(Qt::PlainText);
    label->setAccessibleName(text);
    return label;
}

}  // namespace

TOutAppForm::TOutAppForm(QWidget* mainWindow, ProgramStarter start, std::function<void()> onShow)
    : QDialog(mainWindow),
      mainWindow_(mainWindow),
      start_(std::move(start)),
      onShow_(std::move(onShow)) {
    CreateControls();
}

void TOutAppForm::CreateControls() {
    SetUpToolDialog(*this, "OutAppForm", QStringLiteral("引数"), {342, 173});

    Label1 = MakeLabel(this, "Label1", QStringLiteral("外部ｱﾌﾟﾘ"), {12, 8, 318, 20});
    Label1->setFont(MonoFont(16, true));
    Label2 = MakeLabel(this, "Label2", QStringLiteral("起動ｱﾌﾟﾘｹｰｼｮﾝ"), {12, 34, 318, 16});
    Label3 = MakeLabel(this, "Label3", QStringLiteral("App"), {24, 52, 306, 16});
    LabeledEdit1Label =
        MakeLabel(this, "LabeledEdit1Label", QStringLiteral("引数"), {12, 76, 318, 16});
    LabeledEdit1 = new QLineEdit(this);
    LabeledEdit1->setObjectName(QStringLiteral("LabeledEdit1"));
    LabeledEdit1->setGeometry(12, 94, 318, 24);
    LabeledEdit1->setAccessibleName(LabeledEdit1Label->text());
    LabeledEdit1Label->setBuddy(LabeledEdit1);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(126, 132, 96, 30);
    Button2 = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(234, 132, 96, 30);
    for (QPushButton* button : {Button1, Button2}) {
        button->setAutoDefault(false);
        button->setAccessibleName(button->text());
    }

    connect(LabeledEdit1, &QLineEdit::returnPressed, this, [this] { Button1Click(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, &TOutAppForm::reject);
}

void TOutAppForm::Open(const std::string& name, const std::string& command,
                       const std::string& argument) {
    command_ = command;
    argument_ = argument;
    Label1->setText(QString::fromStdString(DisplayName(name)));
    Label3->setText(QString::fromStdString(DisplayName(command)));
    LabeledEdit1->setText(QString::fromStdString(DisplayName(argument)));
    for (QLabel* label : {Label1, Label3}) label->setAccessibleName(label->text());
    show();
}

void TOutAppForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CentreOnMainWindow(*this, mainWindow_);
    if (onShow_) onShow_();
    LabeledEdit1->setFocus();
}

void TOutAppForm::Button1Click() {
    const QString typed = LabeledEdit1->text();
    const std::string argument =
        typed == QString::fromStdString(DisplayName(argument_)) ? argument_ : typed.toStdString();
    const std::vector<std::string> argv = ArgumentDialogCommand(command_, argument);
    if (!argv.empty() && start_) start_(argv);
    accept();
}

}  // namespace wexal
