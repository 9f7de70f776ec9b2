#include "dialogs/editapp.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "seams/widget_style.h"
#include "dialogs/setting_text.h"
#include "dialogs/tool_dialog.h"

namespace wexal {

TEditAppForm::TEditAppForm(QWidget* mainWindow, Settings& settings)
    : QDialog(mainWindow),
      mainWindow_(mainWindow),
      settings_(settings),
      chooseFile_(DesktopAppFileChooser(this)) {
    CreateControls();
}

void TEditAppForm::CreateControls() {
    SetUpToolDialog(*this, "EditAppForm", QStringLiteral("編集アプリ設定"), {440, 156});

    PageControl1 = AddControl<QTabWidget>(this, {"PageControl1", {8, 8, 424, 96}});
    auto* page = new QWidget(PageControl1);
    page->setObjectName(QStringLiteral("TabSheet1"));
    PageControl1->addTab(page, QStringLiteral("編集ｱﾌﾟﾘｹｰｼｮﾝ"));

    LabeledEdit1Label =
        AddPlainLabel(page, "LabeledEdit1Label", {12, 8, 300, 16}, QStringLiteral("ｴﾃﾞｨﾀｿﾌﾄ"));
    LabeledEdit1 = AddCaptionedEdit(page, "LabeledEdit1", {12, 26, 356, 24}, *LabeledEdit1Label);
    BitBtn1 =
        AddTextControl<QPushButton>(page, "BitBtn1", {372, 26, 32, 24}, QStringLiteral("..."));
    BitBtn1->setAccessibleDescription(QString::fromUtf8(kAppFileDialogTitle));

    Button1 =
        AddTextControl<QPushButton>(this, "Button1", {224, 116, 96, 30}, QStringLiteral("保存"));
    Button2 =
        AddTextControl<QPushButton>(this, "Button2", {332, 116, 96, 30}, QStringLiteral("ｷｬﾝｾﾙ"));
    for (QPushButton* button : {BitBtn1, Button1, Button2}) button->setAutoDefault(false);

    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, &TEditAppForm::reject);
}

void TEditAppForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CentreOnMainWindow(*this, mainWindow_);
    LabeledEdit1->setText(SettingText(settings_.EditApp));
    LabeledEdit1->setFocus();
}

void TEditAppForm::BitBtn1Click() {
    if (!chooseFile_) return;
    // The editor is one program path, never split: it goes in as chosen.
    if (const auto chosen =
            chooseFile_(QString::fromUtf8(kAppFileDialogTitle), kAppFileDialogStart)) {
        LabeledEdit1->setText(QString::fromStdString(*chosen));
    }
}

void TEditAppForm::Button1Click() {
    settings_.EditApp = TakeSettingText(*LabeledEdit1, settings_.EditApp);
    accept();
}

}  // namespace wexal
