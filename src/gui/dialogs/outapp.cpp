#include "dialogs/outapp.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "seams/widget_style.h"
#include "extapps/launch_command.h"
#include "files/file_names.h"
#include "dialogs/tool_dialog.h"

namespace wexal {

namespace {}  // namespace

TOutAppForm::TOutAppForm(QWidget* mainWindow, ProgramStarter start, std::function<void()> onShow)
    : QDialog(mainWindow),
      mainWindow_(mainWindow),
      start_(std::move(start)),
      onShow_(std::move(onShow)) {
    CreateControls();
}

void TOutAppForm::CreateControls() {
    SetUpToolDialog(*this, "OutAppForm", QStringLiteral("引数"), {342, 173});

    Label1 = AddPlainLabel(this, "Label1", {12, 8, 318, 20}, QStringLiteral("外部ｱﾌﾟﾘ"));
    Label1->setFont(MonoFont(16, true));
    Label2 = AddPlainLabel(this, "Label2", {12, 34, 318, 16}, QStringLiteral("起動ｱﾌﾟﾘｹｰｼｮﾝ"));
    Label3 = AddPlainLabel(this, "Label3", {24, 52, 306, 16}, QStringLiteral("App"));
    LabeledEdit1Label =
        AddPlainLabel(this, "LabeledEdit1Label", {12, 76, 318, 16}, QStringLiteral("引数"));
    LabeledEdit1 = AddCaptionedEdit(this, "LabeledEdit1", {12, 94, 318, 24}, *LabeledEdit1Label);

    Button1 =
        AddTextControl<QPushButton>(this, "Button1", {126, 132, 96, 30}, QStringLiteral("OK"));
    Button2 =
        AddTextControl<QPushButton>(this, "Button2", {234, 132, 96, 30}, QStringLiteral("ｷｬﾝｾﾙ"));
    for (QPushButton* button : {Button1, Button2}) button->setAutoDefault(false);

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
