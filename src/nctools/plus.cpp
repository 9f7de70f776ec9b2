#include "nctools/plus.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <sys/stat.h>

#include "app/field_keys.h"
#include "app/widget_style.h"
#include "files/history_list.h"
#include "files/input_line.h"
#include "files/program_names.h"
#include "nctools/concatenate.h"

namespace wexal {

namespace {

constexpr const char* kOutputIsInput = "この結合ﾌｧｲﾙ名は選択したﾌｧｲﾙに存在します。";

bool Exists(const std::filesystem::path& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

TPlusForm::TPlusForm(NcToolContext context, QWidget* parent)
    : QDialog(parent), context_(std::move(context)) {
    CreateControls();
}

void TPlusForm::CreateControls() {
    SetUpToolDialog(*this, "PlusForm", QStringLiteral("ﾌｧｲﾙ結合"), {340, 348});

    Label1 = new QLabel(QStringLiteral("ﾌｧｲﾙ結合一覧"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(12, 8, 316, 18);
    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(12, 28, 316, 180);
    ListBox1->setAccessibleName(Label1->text());
    Label2 = new QLabel(QStringLiteral("結合ﾌｧｲﾙ名"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(12, 216, 316, 18);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setEditable(true);
    ComboBox1->setInsertPolicy(QComboBox::NoInsert);
    ComboBox1->setGeometry(12, 236, 316, 26);
    ComboBox1->setAccessibleName(Label2->text());
    Label2->setBuddy(ComboBox1);
    GuardField(ComboBox1->lineEdit());
    WatchHistoryBoxKeys(*ComboBox1, this);
    progressBar_ = new QProgressBar(this);
    progressBar_->setObjectName(QStringLiteral("ProgressBar1"));
    progressBar_->setGeometry(12, 272, 316, 14);
    progressBar_->setAccessibleName(QStringLiteral("結合の進み具合"));
    progressBar_->setTextVisible(false);
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(116, 300, 100, 30);
    Button2 = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(228, 300, 100, 30);
    for (QPushButton* button : {Button1, Button2}) button->setAutoDefault(false);

    connect(ComboBox1, &QComboBox::editTextChanged, this,
            [this](const QString& text) { Button1->setEnabled(!text.isEmpty()); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, &TPlusForm::reject);
}

void TPlusForm::Open(std::vector<std::string> names) {
    names_ = std::move(names);
    ListBox1->clear();
    for (const std::string& name : names_) ListBox1->addItem(QString::fromStdString(name));
    show();
}

void TPlusForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TPlusForm::FormShow() {
    CentreOnMainWindow(*this, context_.mainWindow);
    Button1->setEnabled(false);
    if (auto entries = ReadHistoryList(context_.programFolder / kNameHistoryFile)) {
        history_ = std::move(*entries);
        ShowHistory(*ComboBox1, history_);
        if (!history_.empty()) {
            ComboBox1->setEditText(QString::fromStdString(history_.front()));
            Button1->setEnabled(true);
        }
    }
    progressBar_->setRange(0, static_cast<int>(names_.size()));
    progressBar_->setValue(0);
    ComboBox1->setFocus();
}

void TPlusForm::done(int result) {
    if (running_ != nullptr) {
        running_->Cancel();
        return;
    }
    if (context_.restoreHelpLine) context_.restoreHelpLine();
    if (Status saved = WriteHistoryList(context_.programFolder / kNameHistoryFile, history_);
        !saved) {
        context_.messages->Tell(saved.message, DefaultCaption(MessageIcon::Error),
                                MessageIcon::Error);
    }
    context_.screenSaver->SetEnabled(true);
    QDialog::done(result);
}

bool TPlusForm::eventFilter(QObject* watched, QEvent* event) {
    if (IsHistoryBox(watched, *ComboBox1) && event->type() == QEvent::KeyPress &&
        HistoryBoxKey(*static_cast<QKeyEvent*>(event), *ComboBox1, kFileNameNoDotRule, *context_.messages,
                      [this] { Button1Click(); })) {
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TPlusForm::Button1Click() {
    if (running_ != nullptr) return;
    context_.screenSaver->SetEnabled(false);
    const std::string typed = ComboBox1->currentText().toStdString();
    if (typed.empty()) {
        ComboBox1->setFocus();
        return;
    }
    const std::string outputName = JoinOutputName(typed, MaskExtension(context_.settings->Mask));
    const std::filesystem::path folder = context_.settings->DirPath;
    const std::filesystem::path output = folder / outputName;
    ConfirmHistoryEntry(history_, typed);
    ShowHistory(*ComboBox1, history_);
    MessageService& messages = *context_.messages;
    if (Exists(output) &&
        !messages.AskYesNo("すでに" + output.string() + "が有ります。\n" + "上書きしますか？",
                           DefaultCaption(MessageIcon::Warning), MessageIcon::Warning)) {
        ComboBox1->setFocus();
        return;
    }
    if (JoinOutputIsInput(folder, outputName, names_)) {
        messages.Tell(kOutputIsInput, "確認", MessageIcon::Error);
        ComboBox1->setFocus();
        return;
    }

    Button1->setEnabled(false);
    DialogProgress progress(*progressBar_);
    running_ = &progress;
    const ToolResult result = JoinFiles(
        folder, names_, outputName, messages, [this](int index) { ListBox1->setCurrentRow(index); },
        &progress);
    running_ = nullptr;
    switch (result.outcome) {
        case ToolOutcome::Done:
            context_.refreshList(0);
            messages.Tell("ファイル結合完了しました。", "完了", MessageIcon::Information);
            reject();
            return;
        case ToolOutcome::Cancelled:
            if (context_.showAborted) context_.showAborted();
            reject();
            return;
        case ToolOutcome::Refused:
            messages.Tell(result.message, "確認", MessageIcon::Error);
            break;
        case ToolOutcome::NothingFound:
        case ToolOutcome::Failed:
            messages.Tell(result.message, DefaultCaption(MessageIcon::Error), MessageIcon::Error);
            break;
    }
    Button1->setEnabled(true);
    ComboBox1->setFocus();
}

}  // namespace wexal
