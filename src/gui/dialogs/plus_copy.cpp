#include "dialogs/plus_copy.h"

#include <sys/stat.h>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "seams/field_keys.h"
#include "seams/widget_style.h"
#include "files/copy_destination.h"
#include "programs/file_loader.h"
#include "files/history_list.h"
#include "files/input_line.h"
#include "platform/error_text.h"
#include "platform/path_rules.h"

namespace wexal {

namespace {

constexpr const char* kCreateQuestion =
    "ディレクトリが見つかりません。ディレクトリを作成しますか？";

}  // namespace

TPlusCopyForm::TPlusCopyForm(NcToolContext context, CopyOrMoveRun run, QWidget* parent)
    : QDialog(parent), context_(std::move(context)), run_(std::move(run)) {
    CreateControls();
}

void TPlusCopyForm::CreateControls() {
    SetUpToolDialog(*this, "PlusCopyForm", QStringLiteral("ﾌｧｲﾙｺﾋﾟｰ"), {420, 318});

    Label1 = AddControl<QLabel>(this, {"Label1", {12, 8, 396, 18}},
                                QStringLiteral("選択ファイル一覧 (同一ﾌｫﾙﾀﾞｰには不可!!)"));
    ListBox1 = AddControl<QListWidget>(this, {"ListBox1", {12, 28, 396, 170}, Label1->text()});
    Label2 = AddControl<QLabel>(this, {"Label2", {12, 206, 200, 18}}, QStringLiteral("ｺﾋﾟｰ先"));
    // Its accessible name follows Label2, which changes with copy and move.
    ComboBox1 = AddHistoryBox(*this, {"ComboBox1", {12, 226, 356, 26}}, *Label2);
    Button3 = AddControl<QPushButton>(
        this, {"Button3", {374, 226, 34, 26}, QStringLiteral("フォルダーの選択")},
        QStringLiteral("..."));
    Button1 =
        AddControl<QPushButton>(this, {"Button1", {196, 272, 100, 30}}, QStringLiteral("ＯＫ"));
    Button2 =
        AddControl<QPushButton>(this, {"Button2", {308, 272, 100, 30}}, QStringLiteral("ｷｬﾝｾﾙ"));
    for (QPushButton* button : {Button1, Button2, Button3}) button->setAutoDefault(false);

    connect(ComboBox1, &QComboBox::editTextChanged, this,
            [this](const QString& text) { Button1->setEnabled(!text.isEmpty()); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, &TPlusCopyForm::reject);
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
}

void TPlusCopyForm::Open(std::vector<std::string> names, bool copyMode) {
    names_ = std::move(names);
    copyMode_ = copyMode;
    ListBox1->clear();
    for (const std::string& name : names_) ListBox1->addItem(QString::fromStdString(name));
    if (ListBox1->count() > 0) ListBox1->setCurrentRow(0);
    show();
}

void TPlusCopyForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TPlusCopyForm::FormShow() {
    CentreOnMainWindow(*this, context_.mainWindow);
    const QString title = copyMode_ ? QStringLiteral("ﾌｧｲﾙｺﾋﾟｰ") : QStringLiteral("ﾌｧｲﾙ移動");
    setWindowTitle(title);
    setAccessibleName(title);
    Label2->setText(copyMode_ ? QStringLiteral("ｺﾋﾟｰ先") : QStringLiteral("移動先"));
    ComboBox1->setAccessibleName(Label2->text());
    Button1->setEnabled(false);
    if (auto entries = ReadHistoryList(context_.programFolder / kPathHistoryFile)) {
        history_ = std::move(*entries);
        ShowHistory(*ComboBox1, history_);
    }
    if (!history_.empty()) {
        ComboBox1->setEditText(QString::fromStdString(history_.front()));
        Button1->setEnabled(true);
    }
    ComboBox1->setFocus();
}

void TPlusCopyForm::done(int result) {
    if (running_) return;
    FormClose();
    QDialog::done(result);
}

void TPlusCopyForm::FormClose() {
    if (context_.restoreHelpLine) context_.restoreHelpLine();
    if (Status saved = WriteHistoryList(context_.programFolder / kPathHistoryFile, history_);
        !saved) {
        context_.messages->Tell(saved.message, DefaultCaption(MessageIcon::Error),
                                MessageIcon::Error);
    }
    context_.screenSaver->SetEnabled(true);
}

bool TPlusCopyForm::eventFilter(QObject* watched, QEvent* event) {
    if (IsHistoryBox(watched, *ComboBox1) &&
        HistoryBoxInput(*event, *ComboBox1, kDestinationFolderRule,
                      *context_.messages, [this] { Button1Click(); })) {
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TPlusCopyForm::Button3Click() {
    const std::string& dirPath = context_.settings->DirPath;
    const std::optional<std::string> chosen =
        context_.browseFolder ? context_.browseFolder("現ﾃﾞｨﾚｸﾄﾘ " + dirPath, dirPath)
                              : std::nullopt;
    ComboBox1->setEditText(QString::fromStdString(chosen && !chosen->empty() ? *chosen : dirPath));
    Button1->setEnabled(!ComboBox1->currentText().isEmpty());
    ComboBox1->setFocus();
}

std::optional<std::string> TPlusCopyForm::CheckDestination(const std::string& folder) {
    if (!NeedsCreateQuestion(folder)) return folder;
    MessageService& messages = *context_.messages;
    const std::string& dirPath = context_.settings->DirPath;
    if (!messages.AskYesNo(kCreateQuestion, DefaultCaption(MessageIcon::Warning),
                           MessageIcon::Warning)) {
        // "No" means the current folder, which the next check then refuses.
        ComboBox1->setEditText(QString::fromStdString(dirPath));
        return dirPath;
    }
    const Status made = CreateDestinationFolder(folder);
    if (made) return folder;
    messages.Tell(made.message, DefaultCaption(MessageIcon::Error), MessageIcon::Error);
    ComboBox1->setFocus();
    return std::nullopt;
}

void TPlusCopyForm::Button1Click() {
    if (running_) return;
    context_.screenSaver->SetEnabled(false);
    const std::string typed = ComboBox1->currentText().toStdString();
    if (typed.empty()) {
        ComboBox1->setFocus();
        return;
    }
    // Kept even when the entry is refused below.
    ConfirmHistoryEntry(history_, typed);
    ShowHistory(*ComboBox1, history_);
    const std::optional<std::string> destination = CheckDestination(DestinationFolder(typed));
    if (!destination) return;
    const std::string& dirPath = context_.settings->DirPath;
    if (IsSameFolder(*destination, dirPath)) {
        context_.messages->Tell(SameFolderWarning(dirPath), DefaultCaption(MessageIcon::Warning),
                                MessageIcon::Warning);
        ComboBox1->setFocus();
        return;
    }
    std::vector<std::string> sources;
    for (const std::string& name : names_) sources.push_back(PathRules::Join(dirPath, name));
    running_ = true;
    Button1->setEnabled(false);
    run_(sources, *destination);
    running_ = false;
    reject();
}

}  // namespace wexal
