#include "dialogs/appopen.h"

#include <QCheckBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "seams/widget_style.h"
#include "extapps/launch_command.h"
#include "dialogs/setting_text.h"
#include "dialogs/tool_dialog.h"

namespace wexal {

namespace {

constexpr const char* kLegend =
    "$A:ﾌﾙﾊﾟｽ\n$B:ﾌﾙﾊﾟｽ(拡張子無)\n$C:ﾌｧｲﾙ名のみ\n$D:ﾌｧｲﾙ名のみ(拡張子無)";
constexpr int kRows = 26;

QString RowLetter(int row) { return QStringLiteral("Alt+") + QChar('A' + row); }

}  // namespace

TAppopenForm::TAppopenForm(QWidget* mainWindow, Settings& settings, std::function<void()> onShow)
    : QDialog(mainWindow),
      mainWindow_(mainWindow),
      settings_(settings),
      onShow_(std::move(onShow)),
      chooseFile_(DesktopAppFileChooser(this)) {
    CreateControls();
}

void TAppopenForm::CreateControls() {
    SetUpToolDialog(*this, "AppopenForm", QStringLiteral("外部コマンド設定"), {640, 464});

    Panel1 = AddControl<QFrame>(this, {"Panel1", {0, 0, 640, 150}});
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);

    Label1 = AddPlainLabel(Panel1, "Label1", {12, 28, 72, 20}, QString());
    Label1->setFont(MonoFont(16, true));
    LabeledEdit1Label =
        AddPlainLabel(Panel1, "LabeledEdit1Label", {92, 8, 220, 16}, QStringLiteral("設定名"));
    LabeledEdit1 = AddCaptionedEdit(Panel1, "LabeledEdit1", {92, 26, 220, 24}, *LabeledEdit1Label);
    CheckBox1 = AddTextControl<QCheckBox>(Panel1, "CheckBox1", {326, 28, 110, 20},
                                          QStringLiteral("引数使用"));
    LabeledEdit2Label = AddPlainLabel(Panel1, "LabeledEdit2Label", {12, 62, 400, 16},
                                      QStringLiteral("ｺﾏﾝﾄﾞｱﾌﾟﾘｹｰｼｮﾝ "));
    LabeledEdit2 = AddCaptionedEdit(Panel1, "LabeledEdit2", {12, 80, 392, 24}, *LabeledEdit2Label);
    BitBtn1 =
        AddTextControl<QPushButton>(Panel1, "BitBtn1", {408, 80, 32, 24}, QStringLiteral("..."));
    BitBtn1->setAccessibleDescription(QString::fromUtf8(kAppFileDialogTitle));

    Button1 = AddTextControl<QPushButton>(Panel1, "Button1", {458, 8, 80, 44},
                                          QStringLiteral("変更\n追加"));
    Button2 =
        AddTextControl<QPushButton>(Panel1, "Button2", {548, 8, 80, 44}, QStringLiteral("終了"));
    for (QPushButton* button : {BitBtn1, Button1, Button2}) button->setAutoDefault(false);

    Label2 = AddPlainLabel(Panel1, "Label2", {458, 60, 176, 84}, QString::fromUtf8(kLegend));
    Label2->setFont(MonoFont(13));
    Label2->setAccessibleName(QStringLiteral("引数の置き換え"));
    Label2->setAccessibleDescription(Label2->text());

    ListView1 = AddControl<QTreeWidget>(
        this, {"ListView1", {8, 158, 624, 298}, QStringLiteral("外部コマンド一覧")});
    ListView1->setColumnCount(4);
    ListView1->setHeaderLabels({QStringLiteral("ｺﾏﾝﾄﾞ文字"), QStringLiteral("設定名"),
                                QStringLiteral("引数使用"), QStringLiteral("ｺﾏﾝﾄﾞｱﾌﾟﾘｹｰｼｮﾝ")});
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setColumnWidth(0, 90);
    ListView1->setColumnWidth(1, 150);
    ListView1->setColumnWidth(2, 70);
    // The selected row stays marked while the fields have the focus.
    QPalette palette = ListView1->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
        palette.setColor(QPalette::Inactive, role, palette.color(QPalette::Active, role));
    }
    ListView1->setPalette(palette);
    for (int row = 0; row < kRows; ++row) new QTreeWidgetItem(ListView1);

    connect(ListView1, &QTreeWidget::itemSelectionChanged, this, [this] { ListView1Click(); });
    connect(ListView1, &QTreeWidget::itemClicked, this, [this] { ListView1Click(); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, &TAppopenForm::accept);
}

void TAppopenForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TAppopenForm::FormShow() {
    CentreOnMainWindow(*this, mainWindow_);
    if (onShow_) onShow_();
    {
        const QSignalBlocker quiet(ListView1);
        ListView1->clearSelection();
        ListView1->setCurrentItem(nullptr);
        for (int row = 0; row < kRows; ++row) FillRow(row);
    }
    ListView1Click();
    ListView1->setFocus();
}

void TAppopenForm::FillRow(int row) {
    const OutAppEntry& entry = settings_.OutApp[static_cast<std::size_t>(row)];
    QTreeWidgetItem* item = ListView1->topLevelItem(row);
    item->setText(0, RowLetter(row));
    item->setText(1, SettingText(entry.Name));
    item->setText(2, SettingText(entry.PassFile));
    item->setText(3, SettingText(entry.Command));
}

int TAppopenForm::SelectedRow() const {
    const QList<QTreeWidgetItem*> selected = ListView1->selectedItems();
    return selected.isEmpty() ? -1 : ListView1->indexOfTopLevelItem(selected.front());
}

void TAppopenForm::ListView1Click() {
    CheckBox1->setChecked(false);
    const int row = SelectedRow();
    if (row < 0) {
        Label1->clear();
        LabeledEdit1->clear();
        LabeledEdit2->clear();
    } else {
        const OutAppEntry& entry = settings_.OutApp[static_cast<std::size_t>(row)];
        Label1->setText(RowLetter(row));
        LabeledEdit1->setText(SettingText(entry.Name));
        CheckBox1->setChecked(PassesFile(entry));
        LabeledEdit2->setText(SettingText(entry.Command));
    }
    Label1->setAccessibleName(Label1->text());
}

void TAppopenForm::BitBtn1Click() {
    const int row = SelectedRow();
    if (chooseFile_) {
        if (const auto chosen =
                chooseFile_(QString::fromUtf8(kAppFileDialogTitle), kAppFileDialogStart)) {
            // The path must stay one word when the command line is split.
            LabeledEdit2->setText(QString::fromStdString(QuoteProgramPath(*chosen)));
        }
    }
    ListView1->setFocus();
    if (row >= 0) {
        const QSignalBlocker quiet(ListView1);
        ListView1->setCurrentItem(ListView1->topLevelItem(row));
        ListView1->scrollToItem(ListView1->topLevelItem(row));
    }
}

void TAppopenForm::Button1Click() {
    const int row = SelectedRow();
    if (row < 0) return;
    OutAppEntry& entry = settings_.OutApp[static_cast<std::size_t>(row)];
    entry.Name = TakeSettingText(*LabeledEdit1, entry.Name);
    entry.PassFile.assign(1, CheckBox1->isChecked() ? 'Y' : 'N');
    entry.Command = TakeSettingText(*LabeledEdit2, entry.Command);
    FillRow(row);
    ListView1->viewport()->update();
}

}  // namespace wexal
