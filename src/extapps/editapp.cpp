#include "extapps/editapp.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "extapps/setting_text.h"
#include "nctools/tool_dialog.h"

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

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(8, 8, 424, 96);
    auto* page = new QWidget(PageControl1);
    page->setObjectName(QStringLiteral("TabSheet1"));
    PageControl1->addTab(page, QStringLiteral("編集ｱﾌﾟﾘｹｰｼｮﾝ"));

    LabeledEdit1Label = new QLabel(QStringLiteral("ｴﾃﾞｨﾀｿﾌﾄ"), page);
    LabeledEdit1Label->setObjectName(QStringLiteral("LabeledEdit1Label"));
    LabeledEdit1Label->setGeometry(12, 8, 300, 16);
    LabeledEdit1Label->setTextFormat(Qt::PlainText);
    LabeledEdit1Label->setAccessibleName(LabeledEdit1Label->text());
    LabeledEdit1 = new QLineEdit(page);
    LabeledEdit1->setObjectName(QStringLiteral("LabeledEdit1"));
    LabeledEdit1->setGeometry(12, 26, 356, 24);
    LabeledEdit1->setAccessibleName(LabeledEdit1Label->text());
    LabeledEdit1Label->setBuddy(LabeledEdit1);
    BitBtn1 = new QPushButton(QStringLiteral("..."), page);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(372, 26, 32, 24);
    BitBtn1->setAccessibleName(BitBtn1->text());
    BitBtn1->setAccessibleDescription(QString::fromUtf8(kAppFileDialogTitle));

    Button1 = new QPushButton(QStringLiteral("保存"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(224, 116, 96, 30);
    Button2 = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(332, 116, 96, 30);
    for (QPushButton* button : {BitBtn1, Button1, Button2}) button->setAutoDefault(false);
    Button1->setAccessibleName(Button1->text());
    Button2->setAccessibleName(Button2->text());

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
