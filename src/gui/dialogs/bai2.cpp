#include "dialogs/bai2.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "seams/field_keys.h"
#include "seams/widget_style.h"
#include "config/entry_field.h"
#include "files/file_list_model.h"
#include "nctools/axis_double.h"

namespace wexal {

namespace {

constexpr const char* kNotThisChar = "この文字は変更できません。\n";

}  // namespace

TBai2Form::TBai2Form(NcToolContext context, QWidget* parent)
    : QDialog(parent), context_(std::move(context)) {
    CreateControls();
}

void TBai2Form::CreateControls() {
    SetUpToolDialog(*this, "Bai2Form", QStringLiteral("選択軸２倍変換"), {360, 200});

    Label2 = AddControl<QLabel>(this, {"Label2", {16, 12, 328, 20}});
    Label3 = AddControl<QLabel>(this, {"Label3", {16, 36, 328, 20}});
    for (QLabel* label : {Label2, Label3}) label->setTextFormat(Qt::PlainText);
    Label1 =
        AddControl<QLabel>(this, {"Label1", {16, 72, 120, 24}}, QStringLiteral("２倍に変換軸"));
    Edit1 = AddCaptionedEdit(this, "Edit1", {140, 70, 40, 26}, *Label1);
    Edit1->setMaxLength(1);
    GuardField(Edit1);
    Edit1->installEventFilter(this);
    ProgressBar1 = AddControl<QProgressBar>(
        this, {"ProgressBar1", {16, 112, 328, 18}, QStringLiteral("変換の進み具合")});
    Button1 =
        AddControl<QPushButton>(this, {"Button1", {132, 150, 100, 30}}, QStringLiteral("ＯＫ"));
    Button2 =
        AddControl<QPushButton>(this, {"Button2", {244, 150, 100, 30}}, QStringLiteral("ｷｬﾝｾﾙ"));
    for (QPushButton* button : {Button1, Button2}) button->setAutoDefault(false);

    connect(Edit1, &QLineEdit::textChanged, this,
            [this](const QString& text) { Button1->setEnabled(!text.isEmpty()); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, &TBai2Form::reject);
}

void TBai2Form::Open(const std::string& sourceName, const std::string& outputName) {
    sourceName_ = sourceName;
    outputName_ = outputName;
    show();
}

void TBai2Form::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FormShow();
}

void TBai2Form::FormShow() {
    CentreOnMainWindow(*this, context_.mainWindow);
    Button1->setEnabled(false);
    Label2->setText(QStringLiteral("変換前:") + QString::fromStdString(sourceName_));
    Label3->setText(QStringLiteral("変換後:") + QString::fromStdString(outputName_));
    ProgressBar1->setRange(0, kProgressSteps);
    ProgressBar1->setValue(0);
    Edit1->setFocus();
}

void TBai2Form::done(int result) {
    if (running_ != nullptr) {
        running_->Cancel();
        return;
    }
    if (context_.restoreHelpLine) context_.restoreHelpLine();
    context_.screenSaver->SetEnabled(true);
    QDialog::done(result);
}

bool TBai2Form::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Edit1 && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (!Edit1->text().isEmpty() && Button1->isEnabled()) Button1Click();
            return true;
        }
        const std::optional<char32_t> c = TypedChar(*key);
        if (c && *c != kBackspaceChar && !IsCharAllowed(*c, kAxisLetters)) {
            context_.messages->Tell(kNotThisChar, kInputErrorCaption, MessageIcon::Error);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TBai2Form::Button1Click() {
    if (running_ != nullptr) return;
    context_.screenSaver->SetEnabled(false);
    if (Edit1->text().isEmpty()) {
        Edit1->setFocus();
        return;
    }
    Button1->setEnabled(false);
    const char axis = static_cast<char>(Edit1->text().toUpper().at(0).toLatin1());
    DialogProgress progress(*ProgressBar1);
    running_ = &progress;
    const ToolResult result = DoubleAxisIntoFile(axis, context_.settings->DirPath, sourceName_,
                                                 outputName_, *context_.messages, &progress,
                                                 RevisionPolicyOf(context_.settings->KeepRevisions));
    running_ = nullptr;
    MessageService& messages = *context_.messages;
    switch (result.outcome) {
        case ToolOutcome::Done:
            ProgressBar1->setValue(ProgressBar1->maximum());
            context_.refreshList(FileListModel::kKeepCursor);
            messages.Tell(std::string(1, axis) + "軸を２倍に変換しました。\n" +
                              "変換ファイル名は " + outputName_ + "です。",
                          "完了", MessageIcon::Information);
            reject();
            return;
        case ToolOutcome::Cancelled:
            if (context_.showAborted) context_.showAborted();
            reject();
            return;
        case ToolOutcome::Refused:
            messages.Tell(result.message, kInputErrorCaption, MessageIcon::Error);
            return;
        case ToolOutcome::NothingFound:
        case ToolOutcome::Failed:
            // Button1 stays disabled until the dialog is closed.
            messages.Tell(result.message, DefaultCaption(MessageIcon::Error), MessageIcon::Error);
            return;
    }
}

}  // namespace wexal
