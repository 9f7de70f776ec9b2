// The main window's controls, placed as the layout table gives them.
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTimer>

#include "main_window/mainunit1.h"

#include "main_window/hint_tracker.h"
#include "seams/widget_style.h"
#include "main_window/file_list_box.h"
#include "files/key_dispatch.h"

namespace wexal {

namespace {

const char* const kFolderLineIdle = " ﾌｧｲﾙ・ﾃﾞｨﾚｸﾄﾘ [                            ]";

QLabel* MakeLabel(QWidget* parent, const char* name, QRect geometry, const QColor& text,
                  Qt::Alignment align = Qt::AlignLeft | Qt::AlignTop) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setFont(MonoFont(16));
    label->setAlignment(align);
    label->setTextFormat(Qt::PlainText);
    Paint(label, text, Qt::black);
    return label;
}

QGroupBox* MakeGroupBox(QWidget* parent, const char* name, const char* caption, QRect geometry,
                        const QColor& colour) {
    auto* box = new QGroupBox(QString::fromUtf8(caption), parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(geometry);
    box->setFont(MonoFont(14));
    Paint(box, Qt::white, colour);
    box->hide();
    return box;
}

QLineEdit* MakeLamp(QWidget* parent, const char* name, const char* caption, int left) {
    auto* title = new QLabel(QString::fromLatin1(caption), parent);
    title->setGeometry(left - 2, 1, 26, 13);
    title->setFont(MonoFont(10));
    title->setAlignment(Qt::AlignCenter);
    Paint(title, Qt::white, Qt::black);
    auto* lamp = new QLineEdit(parent);
    lamp->setObjectName(QString::fromLatin1(name));
    lamp->setGeometry(left, 15, 20, 15);
    lamp->setReadOnly(true);
    lamp->setFocusPolicy(Qt::NoFocus);
    lamp->setFrame(true);
    Paint(lamp, Qt::black, Qt::gray);
    return lamp;
}

}  // namespace

void TForm1::CreateControls() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Wexal(Win98/Me/2000/XP)"));
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(728, 518);
    setFont(MonoFont(16));
    Paint(this, Qt::white, Qt::black);

    Label4 = MakeLabel(this, "Label4", {0, 0, 728, 35}, Qt::yellow, Qt::AlignCenter);
    Label4->setFont(MonoFont(24, true));
    Label4->setText(QStringLiteral("ＰＣ←→ＮＣ機ファイル通信 Ver5.16"));
    LabeledEdit1 = MakeLamp(this, "LabeledEdit1", "DSR", 670);
    LabeledEdit2 = MakeLamp(this, "LabeledEdit2", "CTS", 700);

    Label7 = MakeLabel(this, "Label7", {0, 35, 728, 16}, Qt::white);
    Label7->setText(QString::fromUtf8(kFolderLineIdle));
    Label8 = MakeLabel(this, "Label8", {0, 51, 728, 16}, Qt::green);

    auto* rule = new QFrame(this);
    rule->setGeometry(0, 67, 728, 2);
    Paint(rule, Qt::gray, Qt::gray);

    ListBox1 = new FileListBox(fileList_, this);
    ListBox1->setGeometry(0, 69, 728, 338);
    ListBox1->setFont(MonoFont(16));
    Paint(ListBox1, Qt::white, Qt::black);

    Label2 = MakeLabel(this, "Label2", {616, 69, 112, 340}, QColor(0xC0, 0xC0, 0xC0));
    Label2->setFont(MonoFont(14));  // twenty lines must fit the list height
    Label11 =
        MakeLabel(this, "Label11", {0, 407, 305, 22}, Qt::green, Qt::AlignRight | Qt::AlignVCenter);

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(304, 407, 425, 22);
    Edit1->setFont(MonoFont(16));
    Edit1->setFrame(false);
    Paint(Edit1, Qt::white, Qt::black);

    Label3 = MakeLabel(this, "Label3", {0, 428, 728, 16}, Qt::white);
    Label6 = MakeLabel(this, "Label6", {0, 444, 728, 16}, Qt::magenta);
    Label1 = MakeLabel(this, "Label1", {0, 460, 728, 32}, Qt::white);
    Label1->setCursor(Qt::PointingHandCursor);

    StatusBar2 = new QWidget(this);
    StatusBar2->setObjectName(QStringLiteral("StatusBar2"));
    StatusBar2->setGeometry(0, 494, 728, 24);
    Paint(StatusBar2, Qt::black, QColor(0xF0, 0xF0, 0xF0));
    int left = 0;
    const int widths[] = {250, 100, 90, 140, 70, 50, 50};
    for (int i = 0; i < 7; ++i) {
        auto* panel = new QLabel(StatusBar2);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        // The widths add up to more than the bar: the last takes what is left.
        const int width = i == 6 ? StatusBar2->width() - left : widths[i];
        panel->setGeometry(left, 0, width, 24);
        panel->setFont(MonoFont(12));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setAlignment((i >= 3 ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
        StatusPanels.push_back(panel);
        left += widths[i];
    }
    ProgressBar1 = new QProgressBar(StatusBar2);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(252, 2, 98, StatusBar2->height() - 2);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setValue(0);

    GroupBox1 =
        MakeGroupBox(this, "GroupBox1", "通信設定", {504, 70, 201, 390}, QColor(0x80, 0x80, 0x00));
    GroupBox2 =
        MakeGroupBox(this, "GroupBox2", "受信データ", {24, 96, 650, 289}, QColor(0x00, 0x80, 0x80));
    RichEdit1 = new QPlainTextEdit(GroupBox2);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setGeometry(8, 20, 634, 240);
    RichEdit1->setReadOnly(true);
    RichEdit1->setFont(MonoFont(14));
    GroupBox3 = MakeGroupBox(this, "GroupBox3", "ソートタイプ", {120, 248, 201, 170},
                             QColor(0x80, 0x80, 0x80));
    Label20 = MakeLabel(GroupBox3, "Label20", {8, 20, 185, 52}, Qt::white);
    Label20->setFont(MonoFont(14));
    Label20->setWordWrap(true);
    Label20->setText(
        QStringLiteral("Ｎ：名前　Ｓ：サイズ　Ｔ：日付　Ｄ：昇順　Ｕ：降順　例：Ｎ－Ｄ"));
    Label21 = MakeLabel(GroupBox3, "Label21", {8, 78, 185, 16}, Qt::white);
    Label21->setFont(MonoFont(14));
    Edit7 = new QLineEdit(GroupBox3);
    Edit7->setObjectName(QStringLiteral("Edit7"));
    Edit7->setGeometry(8, 102, 64, 24);
    Edit7->setFont(MonoFont(16));
    Edit7->setMaxLength(3);
    Paint(Edit7, Qt::white, Qt::black);
    Label22 = MakeLabel(GroupBox3, "Label22", {8, 140, 100, 16}, Qt::white);
    Label22->setFont(MonoFont(14));
    Label22->setText(QStringLiteral("Esc :中止"));
    Label22->setCursor(Qt::PointingHandCursor);
    GroupBox4 = MakeGroupBox(this, "GroupBox4", "データ保存", {328, 370, 250, 80},
                             QColor(0x00, 0x80, 0x00));
    GroupBox5 = MakeGroupBox(this, "GroupBox5", "", {16, 88, 515, 235}, Qt::black);

    Timer1 = new QTimer(this);
    Timer1->setSingleShot(true);
    Timer2 = new QTimer(this);
    Timer2->setInterval(10000);

    // Hints: the list shows its own as a tool tip; status panel 0 shows the
    // hint of whatever element the mouse is over.
    const std::pair<QWidget*, const char*> hints[] = {
        {Label4, "パソコン←→ＮＣファイル転送が行えます。"},
        {Label7, "設定フォルダーの状態を表示します。"},
        {Label6, "各操作を中止する際はＥｓｃを押してください。"},
        {Label1, "対応するファンクションキーを押してください。"},
        {ListBox1, "ファイルを選択してください。"},
        {StatusBar2, "送受信の設定を表示します。"},
        {GroupBox1, "通信設定が行えます。"},
    };
    for (const auto& [widget, hint] : hints) {
        widget->setProperty("hint", QString::fromUtf8(hint));
    }
    new HintTracker(this, [this](const QString& hint) { SetStatusPanel(0, hint); });
    ListBox1->setToolTip(QString::fromUtf8("ファイルを選択してください。"));
}

}  // namespace wexal
