#include "dialogs/divides.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <sys/stat.h>

#include "seams/field_keys.h"
#include "seams/widget_style.h"
#include "files/file_list_model.h"
#include "programs/file_loader.h"
#include "files/history_list.h"
#include "files/input_line.h"
#include "programs/program_names.h"
#include "platform/error_text.h"
#include "platform/path_rules.h"
#include "platform/text_codec.h"

namespace wexal {

namespace {

constexpr const char* kCreateQuestion = "ディレクトリが見つかりません。ディレクトリを作成しますか？";
constexpr const char* kDone = "Ｏ番号毎に分割完了しました。";
constexpr const char* kNoProgram = "プログラム番号が見つかりませんでした。。";

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

TDividesForm::TDividesForm(NcToolContext context, QWidget* parent)
    : QDialog(parent), context_(std::move(context)) {
    CreateControls();
}

void TDividesForm::CreateControls() {
    SetUpToolDialog(*this, "DividesForm", QStringLiteral("Ｏ番号毎分割"), {420, 372});

    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    MainMenu1->setGeometry(0, 0, 420, 24);
    QMenu* menu = MainMenu1->addMenu(QStringLiteral("分割ｵﾌﾟｼｮﾝ"));
    const auto addOption = [&](const char* name, const char* text, bool SplitOptions::*flag) {
        QAction* action = menu->addAction(QString::fromUtf8(text));
        action->setObjectName(QString::fromLatin1(name));
        action->setCheckable(true);
        connect(action, &QAction::triggered, this, [this, action, flag] {
            options_.*flag = !(options_.*flag);
            action->setChecked(options_.*flag);
        });
        return action;
    };
    op_f = addOption("op_f", "先頭に％付加", &SplitOptions::F_Set);
    op_b = addOption("op_b", "末尾に％付加", &SplitOptions::B_Set);
    op_n = addOption("op_n", "分割名に連番付加", &SplitOptions::N_Set);

    Label1 = AddControl<QLabel>(this, {"Label1", {12, 32, 396, 20}});
    Label1->setTextFormat(Qt::PlainText);
    ListBox1 = AddControl<QListWidget>(
        this, {"ListBox1", {12, 56, 396, 160}, QStringLiteral("プログラム番号")});
    Label2 = AddControl<QLabel>(this, {"Label2", {12, 224, 100, 18}}, QStringLiteral("保存先"));
    ComboBox1 = AddHistoryBox(*this, {"ComboBox1", {12, 244, 356, 26}, Label2->text()}, *Label2);
    Button3 = AddControl<QPushButton>(
        this, {"Button3", {374, 244, 34, 26}, QStringLiteral("保存先の選択")},
        QStringLiteral("..."));
    ProgressBar1 = AddControl<QProgressBar>(
        this, {"ProgressBar1", {12, 282, 396, 18}, QStringLiteral("分割の進み具合")});
    Button1 =
        AddControl<QPushButton>(this, {"Button1", {196, 322, 100, 30}}, QStringLiteral("ＯＫ"));
    Button2 =
        AddControl<QPushButton>(this, {"Button2", {308, 322, 100, 30}}, QStringLiteral("ｷｬﾝｾﾙ"));
    for (QPushButton* button : {Button1, Button2, Button3}) button->setAutoDefault(false);

    connect(ComboBox1, &QComboBox::editTextChanged, this,
            [this](const QString& text) { Button1->setEnabled(!text.isEmpty()); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, &TDividesForm::reject);
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
}

void TDividesForm::Open(const std::string& sourceName) {
    sourceName_ = sourceName;
    ListBox1->clear();
    show();
}

void TDividesForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TDividesForm::FormShow() {
    options_ = LoadSplitOptions(context_.programFolder / kSplitOptionsFile);
    CentreOnMainWindow(*this, context_.mainWindow);
    const std::string& dirPath = context_.settings->DirPath;
    if (auto entries = ReadHistoryList(context_.programFolder / kPathHistoryFile)) {
        history_ = std::move(*entries);
        ShowHistory(*ComboBox1, history_);
        ComboBox1->setEditText(
            QString::fromStdString(history_.empty() ? dirPath : history_.front()));
    } else {
        ComboBox1->setEditText(QString::fromStdString(dirPath));
    }
    Label1->setText(QString::fromStdString(sourceName_));
    ProgressBar1->setRange(0, kProgressSteps);
    ProgressBar1->setValue(0);
    Button1->setEnabled(true);
    ComboBox1->setFocus();
    op_f->setChecked(options_.F_Set);
    op_b->setChecked(options_.B_Set);
    op_n->setChecked(options_.N_Set);
}

void TDividesForm::done(int result) {
    if (running_ != nullptr) {
        running_->Cancel();
        return;
    }
    FormClose();
    QDialog::done(result);
}

void TDividesForm::FormClose() {
    MessageService& messages = *context_.messages;
    if (Status saved = SaveSplitOptions(context_.programFolder / kSplitOptionsFile, options_);
        !saved) {
        messages.Tell(saved.message, DefaultCaption(MessageIcon::Error), MessageIcon::Error);
    }
    if (context_.restoreHelpLine) context_.restoreHelpLine();
    if (Status saved = WriteHistoryList(context_.programFolder / kPathHistoryFile, history_);
        !saved) {
        messages.Tell(saved.message, DefaultCaption(MessageIcon::Error), MessageIcon::Error);
    }
    context_.screenSaver->SetEnabled(true);
}

bool TDividesForm::eventFilter(QObject* watched, QEvent* event) {
    if (IsHistoryBox(watched, *ComboBox1) &&
        HistoryBoxInput(*event, *ComboBox1, kDestinationFolderRule, *context_.messages,
                      [this] { Button1Click(); })) {
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TDividesForm::Button3Click() {
    const std::string& dirPath = context_.settings->DirPath;
    const std::optional<std::string> chosen =
        context_.browseFolder ? context_.browseFolder("現ﾃﾞｨﾚｸﾄﾘ " + dirPath, dirPath)
                              : std::nullopt;
    ComboBox1->setEditText(
        QString::fromStdString(chosen && !chosen->empty() ? *chosen : dirPath));
    Button1->setEnabled(true);
    ComboBox1->setFocus();
}

bool TDividesForm::CheckDestination(const std::string& folder) {
    // The root stands where a bare drive stood: it is never checked.
    if (PathRules::IsDriveRoot(folder) || IsFolder(folder)) return true;
    MessageService& messages = *context_.messages;
    if (!messages.AskYesNo(kCreateQuestion, DefaultCaption(MessageIcon::Warning),
                           MessageIcon::Warning)) {
        ComboBox1->setEditText(history_.empty() ? QString()
                                                : QString::fromStdString(history_.front()));
        ComboBox1->repaint();
        Button1->setEnabled(true);
        return false;
    }
    const Status made = CreateDestinationFolder(folder);
    if (made) return true;
    messages.Tell(made.message, DefaultCaption(MessageIcon::Error), MessageIcon::Error);
    ComboBox1->setFocus();
    return false;
}

void TDividesForm::Button1Click() {
    if (running_ != nullptr) return;
    context_.screenSaver->SetEnabled(false);
    const std::string typed = ComboBox1->currentText().toStdString();
    if (typed.empty()) {
        ComboBox1->setFocus();
        return;
    }
    ConfirmHistoryEntry(history_, typed);
    ShowHistory(*ComboBox1, history_);
    const std::string folder = PathRules::StripTrailingSeparator(typed);
    context_.state->CurrentFolder = folder;
    if (!CheckDestination(folder)) return;

    Button1->setEnabled(false);
    ListBox1->clear();
    DialogProgress progress(*ProgressBar1);
    running_ = &progress;
    const ProgramFound found = [this](std::string_view line, int index) {
        ListBox1->addItem(QString::fromStdString(Cp932ToUtf8Lossy(line)));
        ListBox1->setCurrentRow(index);
    };
    const std::filesystem::path source =
        std::filesystem::path(context_.settings->DirPath) / sourceName_;
    const ToolResult result =
        SplitIntoFolder(source, options_, MaskExtension(context_.settings->Mask), folder,
                        *context_.messages, found, &progress,
                        RevisionPolicyOf(context_.settings->KeepRevisions));
    running_ = nullptr;
    MessageService& messages = *context_.messages;
    switch (result.outcome) {
        case ToolOutcome::Done:
            ProgressBar1->setValue(ProgressBar1->maximum());
            context_.refreshList(FileListModel::kKeepCursor);
            messages.Tell(kDone, "完了", MessageIcon::Information);
            reject();
            return;
        case ToolOutcome::NothingFound:
            messages.Tell(kNoProgram, "中止", MessageIcon::Warning);
            reject();
            return;
        case ToolOutcome::Cancelled:
            context_.refreshList(FileListModel::kKeepCursor);
            if (context_.showAborted) context_.showAborted();
            reject();
            return;
        case ToolOutcome::Refused:
        case ToolOutcome::Failed:
            if (result.count > 0) context_.refreshList(FileListModel::kKeepCursor);
            messages.Tell(result.message, DefaultCaption(MessageIcon::Error), MessageIcon::Error);
            Button1->setEnabled(true);
            ComboBox1->setFocus();
            return;
    }
}

}  // namespace wexal
