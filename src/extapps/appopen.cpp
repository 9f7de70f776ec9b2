#include "extapps/appopen.h"

#include <QCheckBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "app/widget_style.h"
#include "extapps/launch_command.h"
#include "extapps/setting_text.h"
#include "nctools/tool_dialog.h"

namespace wexal {

namespace {

constexpr const char* kLegend =
    "$A:ﾌﾙﾊﾟｽ\n$B:ﾌﾙﾊﾟｽ(拡張子無)\n$C:ﾌｧｲﾙ名のみ\n$D:ﾌｧｲﾙ名のみ(拡張子無)";
constexpr int kRows = 26;

QString RowLetter(int row) { return QStringLiteral("Alt+") + QChar('A' + row); }

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setTextFormat(Qt::PlainText);
    label->setAccessibleName(text);
    return label;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, QLabel* caption, QRect geometry) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(geometry);
    edit->setAccessibleName(caption->text());
    caption->setBuddy(edit);
    return edit;
}

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

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, 640, 150);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);

    Label1 = MakeLabel(Panel1, "Label1", QString(), {12, 28, 72, 20});
    Label1->setFont(MonoFont(16, true));
    LabeledEdit1Label =
        MakeLabel(Panel1, "LabeledEdit1Label", QStringLiteral("設定名"), {92, 8, 220, 16});
    LabeledEdit1 = MakeEdit(Panel1, "LabeledEdit1", LabeledEdit1Label, {92, 26, 220, 24});
    CheckBox1 = new QCheckBox(QStringLiteral("引数使用"), Panel1);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(326, 28, 110, 20);
    CheckBox1->setAccessibleName(CheckBox1->text());
    LabeledEdit2Label = MakeLabel(Panel1, "LabeledEdit2Label", QStringLiteral("ｺﾏﾝﾄﾞｱﾌﾟﾘｹｰｼｮﾝ "),
                                  {12, 62, 400, 16});
    LabeledEdit2 = MakeEdit(Panel1, "LabeledEdit2", LabeledEdit2Label, {12, 80, 392, 24});
    BitBtn1 = new QPushButton(QStringLiteral("..."), Panel1);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(408, 80, 32, 24);
    BitBtn1->setAccessibleName(BitBtn1->text());
    BitBtn1->setAccessibleDescription(QString::fromUtf8(kAppFileDialogTitle));

    Button1 = new QPushButton(QStringLiteral("変更\n追加"), Panel1);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(458, 8, 80, 44);
    Button2 = new QPushButton(QStringLiteral("終了"), Panel1);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(548, 8, 80, 44);
    for (QPushButton* button : {BitBtn1, Button1, Button2}) button->setAutoDefault(false);
    Button1->setAccessibleName(Button1->text());
    Button2->setAccessibleName(Button2->text());

    Label2 = MakeLabel(Panel1, "Label2", QString::fromUtf8(kLegend), {458, 60, 176, 84});
    Label2->setFont(MonoFont(13));
    Label2->setAccessibleName(QStringLiteral("引数の置き換え"));
    Label2->setAccessibleDescription(Label2->text());

    ListView1 = new QTreeWidget(this);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setGeometry(8, 158, 624, 298);
    ListView1->setColumnCount(4);
    ListView1->setHeaderLabels({QStringLiteral("ｺﾏﾝﾄﾞ文字"), QStringLiteral("設定名"),
                                QStringLiteral("引数使用"), QStringLiteral("ｺﾏﾝﾄﾞｱﾌﾟﾘｹｰｼｮﾝ")});
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setAccessibleName(QStringLiteral("外部コマンド一覧"));
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
