#include "dialogs/plus.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <sys/stat.h>

#include "seams/field_keys.h"
#include "seams/widget_style.h"
#include "files/history_list.h"
#include "files/input_line.h"
#include "programs/program_names.h"
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

    Label1 = AddControl<QLabel>(this, {"Label1", {12, 8, 316, 18}}, QStringLiteral("ﾌｧｲﾙ結合一覧"));
    ListBox1 = AddControl<QListWidget>(this, {"ListBox1", {12, 28, 316, 180}, Label1->text()});
    Label2 = AddControl<QLabel>(this, {"Label2", {12, 216, 316, 18}}, QStringLiteral("結合ﾌｧｲﾙ名"));
    ComboBox1 = AddHistoryBox(*this, {"ComboBox1", {12, 236, 316, 26}, Label2->text()}, *Label2);
    progressBar_ = AddControl<QProgressBar>(
        this, {"ProgressBar1", {12, 272, 316, 14}, QStringLiteral("結合の進み具合")});
    progressBar_->setTextVisible(false);
    Button1 = AddControl<QPushButton>(this, {"Button1", {116, 300, 100, 30}}, QStringLiteral("OK"));
    Button2 =
        AddControl<QPushButton>(this, {"Button2", {228, 300, 100, 30}}, QStringLiteral("ｷｬﾝｾﾙ"));
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
    if (IsHistoryBox(watched, *ComboBox1) &&
        HistoryBoxInput(*event, *ComboBox1, kFileNameNoDotRule, *context_.messages,
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
    if (const std::optional<BoxMessage> refused = RefusedJoinName(typed)) {
        refused->Show(messages);
        ComboBox1->setFocus();
        return;
    }
    if (Exists(output) &&
        !messages.AskYesNo("すでに" + output.string() + "が有ります。\n" + "上書きしますか？",
                           DefaultCaption(MessageIcon::Warning), MessageIcon::Warning)) {
        ComboBox1->setFocus();
        return;
    }
    if (JoinOutputIsInput(folder, outputName, names_)) {
        messages.Tell(kOutputIsInput, kInputErrorCaption, MessageIcon::Error);
        ComboBox1->setFocus();
        return;
    }

    Button1->setEnabled(false);
    DialogProgress progress(*progressBar_);
    running_ = &progress;
    const ToolResult result = JoinFiles(
        folder, names_, outputName, messages, [this](int index) { ListBox1->setCurrentRow(index); },
        &progress, RevisionPolicyOf(context_.settings->KeepRevisions));
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
            messages.Tell(result.message, kInputErrorCaption, MessageIcon::Error);
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
