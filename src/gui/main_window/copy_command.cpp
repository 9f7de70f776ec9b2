#include "main_window/copy_command.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QTimer>
#include <limits>

#include "main_window/input_line_mode.h"
#include "main_window/mainunit1.h"
#include "main_window/nctool_commands.h"
#include "files/copy_destination.h"
#include "files/copy_move.h"
#include "main_window/file_list_box.h"
#include "files/file_names.h"
#include "dialogs/plus_copy.h"
#include "platform/path_rules.h"

namespace wexal {

namespace {

constexpr const char* kCopied = "ファイルをコピーしました。";
constexpr const char* kMoved = "ファイルを移動しました。";
constexpr const char* kCopyDone = "ファイルコピー完了";
constexpr const char* kAborted = "操作中止!!";
constexpr const char* kReplaceCaption = "ファイルの置き換え";
// The window takes its events this often at most while files are copied.
constexpr qint64 kEventsEveryMs = 40;
// A run that lasts longer shows its progress dialog.
constexpr qint64 kProgressAfterMs = 500;

// The operation's reports shown in a progress dialog that appears when the
// run takes longer than half a second; its ｷｬﾝｾﾙ aborts, also inside a file.
// The dialog is shown from here, not by its own timer: that timer would
// bring it up over an open replace question, which it then blocks, and the
// answer typed for the question would press its ｷｬﾝｾﾙ.
class ProgressHost : public CopyMoveHost {
public:
    ProgressHost(QProgressDialog& dialog, MessageService& messages)
        : dialog_(dialog), messages_(messages) {
        running_.start();
    }

    bool Progress(const std::string& path, std::uint64_t done, std::uint64_t total) override {
        if (!sinceEvents_.isValid() || sinceEvents_.elapsed() >= kEventsEveryMs) {
            const QString name = QString::fromStdString(DisplayName(PathRules::FileName(path)));
            dialog_.setLabelText(name);
            dialog_.setAccessibleDescription(name);
            const int permille = total == 0 ? 0 : static_cast<int>(done * 1000 / total);
            dialog_.setValue(std::min(permille, 999));
            if (!dialog_.isVisible() && running_.elapsed() >= kProgressAfterMs) dialog_.show();
            QCoreApplication::processEvents();
            sinceEvents_.start();
        }
        // A signal that ends the program ends the run as ｷｬﾝｾﾙ does, at once.
        return !dialog_.wasCanceled() && !messages_.Interrupted();
    }
    ReplaceChoice AskReplace(const std::string& destination) override {
        const ReplaceChoice choice =
            messages_.AskReplace(ReplaceQuestion(destination), kReplaceCaption);
        // The time the question was open is no time of the run.
        if (!dialog_.isVisible()) running_.start();
        return choice;
    }

private:
    QProgressDialog& dialog_;
    MessageService& messages_;
    QElapsedTimer sinceEvents_;
    QElapsedTimer running_;
};

std::string NameOf(const std::string& path) {
    return DisplayName(PathRules::FileName(DestinationFolder(path)));
}

}  // namespace

CopyCommand::CopyCommand(TForm1& form) : QObject(&form), form_(form) {
    dialog_ = new TPlusCopyForm(
        NcToolCommands::ToolContext(form),
        [this](const std::vector<std::string>& sources, const std::string& destination) {
            return ShellCopyOrMove(sources, destination);
        },
        &form);
    connect(form_.ListBox1, &FileListBox::RowDragMoved, this,
            [this](int row) { ListBox1DragOver(row); });
    connect(form_.ListBox1, &FileListBox::RowDropped, this,
            [this](int row) { ListBox1DragDrop(row); });
    connect(form_.ListBox1, &FileListBox::FilesDropped, this,
            [this](const std::vector<std::string>& paths) { FilesDropped(paths); });
}

void CopyCommand::OpenCopyMoveDialog(bool copy, bool onMarkedFiles) {
    copyMode_ = copy;
    FileListModel& list = form_.fileList_;
    if (onMarkedFiles) {
        list.CompactMarks();
        std::vector<std::string> names = list.CollectMarkedFiles();
        dialog_->Open(std::move(names), copyMode_);
        list.ClearMarks();
        form_.ShowListCursor();
        return;
    }
    const int cursor = list.Cursor();
    const std::string name = list.FileNameOfRow(cursor);
    if (list.KindOfRow(cursor) == RowKind::File && copyMode_) {
        copySource_ = name;
        form_.inputLine_->Open({InputMode::CopyName, CopyNamePrompt(name), std::nullopt});
        return;
    }
    dialog_->ComboBox1->setEditText(QString());
    dialog_->Open({name}, copyMode_);
}

void CopyCommand::CopyNameEntered(const std::string& typed) {
    const std::string destination = CopyNameDestination(form_.settings_, typed);
    const Status copied =
        CopyFileReplacing(PathRules::Join(form_.settings_.DirPath, copySource_), destination,
                          RevisionPolicyOf(form_.settings_.KeepRevisions));
    InputLineOutcome outcome;
    outcome.clearText = true;
    outcome.refreshList = true;
    outcome.closeLine = true;
    if (copied) {
        outcome.message = InputLineOutcome::Message{kCopyDone, false};
        outcome.timer1Ms = 1000;
    }
    form_.inputLine_->Apply(outcome);
    if (!copied) ReportCopyFailure(NameOf(destination), destination, copied.message);
}

void CopyCommand::FilesDropped(const std::vector<std::string>& paths) {
    std::vector<std::pair<std::string, Status>> failures;
    for (const std::string& path : paths) {
        const std::string name = PathRules::FileName(DestinationFolder(path));
        Status copied = CopyFileReplacing(path, PathRules::Join(form_.settings_.DirPath, name),
                                          RevisionPolicyOf(form_.settings_.KeepRevisions));
        if (!copied) failures.emplace_back(path, std::move(copied));
    }
    form_.RefreshFileList();
    form_.ListBox1->setEnabled(true);
    if (failures.empty()) {
        form_.SetMessage(QString::fromUtf8(kCopyDone), false);
        form_.Timer1->start(1000);
        return;
    }
    std::string names;
    std::string reasons;
    for (const auto& [path, status] : failures) {
        names += (names.empty() ? "" : " ") + NameOf(path);
        reasons += (reasons.empty() ? "" : "\n") + path + "\n" + status.message;
    }
    ReportCopyFailure(names, reasons, std::string());
}

void CopyCommand::ReportCopyFailure(const std::string& name, const std::string& path,
                                    const std::string& reason) {
    // Not cleared by the idle display: it stays until the next key.
    form_.Timer1->stop();
    form_.SetMessage(QString::fromStdString("ｺﾋﾟｰ失敗 " + name), true);
    form_.messages_->Tell(
        "ファイルをコピーできませんでした。\n" + path + (reason.empty() ? "" : "\n" + reason),
        DefaultCaption(MessageIcon::Error), MessageIcon::Error);
    form_.ListBox1->setFocus();
}

bool CopyCommand::ShellCopyOrMove(const std::vector<std::string>& sources,
                                  const std::string& destination) {
    QWidget* owner = dialog_->isVisible() ? static_cast<QWidget*>(dialog_) : &form_;
    const QString title = copyMode_ ? QStringLiteral("ﾌｧｲﾙｺﾋﾟｰ") : QStringLiteral("ﾌｧｲﾙ移動");
    QProgressDialog progress(owner);
    progress.setObjectName(QStringLiteral("CopyProgress"));
    progress.setWindowTitle(title);
    progress.setAccessibleName(title);
    progress.setCancelButtonText(QStringLiteral("ｷｬﾝｾﾙ"));
    progress.setMinimumWidth(420);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    progress.setMinimumDuration(std::numeric_limits<int>::max());  // shown by the host
    progress.setRange(0, 1000);
    progress.setValue(0);
    ProgressHost host(progress, *form_.messages_);
    // The window takes events during the run; no second command may start
    // before the progress dialog shows.
    const bool listEnabled = form_.ListBox1->isEnabled();
    form_.ListBox1->setEnabled(false);
    const CopyMoveResult result = CopyOrMove(sources, destination, copyMode_, host,
                                             RevisionPolicyOf(form_.settings_.KeepRevisions));
    progress.close();
    form_.ListBox1->setEnabled(listEnabled);
    if (listEnabled) form_.ListBox1->setFocus();

    MessageService& messages = *form_.messages_;
    switch (result.outcome) {
        case CopyMoveOutcome::Done:
            if (!copyMode_) form_.RefreshFileList(FileListModel::kKeepCursor);
            messages.Tell(copyMode_ ? kCopied : kMoved, "完了", MessageIcon::Information);
            return true;
        case CopyMoveOutcome::Aborted:
            if (!copyMode_) form_.RefreshFileList(FileListModel::kKeepCursor);
            form_.SetMessage(QString::fromUtf8(kAborted), true);
            form_.Timer1->start(1000);
            return false;
        case CopyMoveOutcome::Refused:
        case CopyMoveOutcome::Failed:
            if (!copyMode_) form_.RefreshFileList(FileListModel::kKeepCursor);
            messages.Tell(result.message, DefaultCaption(MessageIcon::Error), MessageIcon::Error);
            return false;
    }
    return false;
}

std::optional<std::string> CopyCommand::DragTargetOf(int row) const {
    const FileListModel& list = form_.fileList_;
    const int dragged = list.Cursor();
    // A row dropped onto itself stays where it is.
    if (row == dragged && list.MarkedCount() == 0) return std::nullopt;
    return DragTarget(form_.settings_.DirPath, list.KindOfRow(row), list.FileNameOfRow(row));
}

void CopyCommand::ListBox1DragOver(int row) {
    const FileListModel& list = form_.fileList_;
    if (list.KindOfRow(list.Cursor()) == RowKind::Parent) {
        form_.ListBox1->ShowDragCursor(false);
        return;
    }
    const std::optional<std::string> target = DragTargetOf(row);
    form_.Label3->setText(target ? QString::fromStdString(DisplayName(DragTargetLine(*target)))
                                 : QString());
    form_.ListBox1->ShowDragCursor(target.has_value());
}

void CopyCommand::ListBox1DragDrop(int row) {
    form_.Label3->setText(QString());
    FileListModel& list = form_.fileList_;
    if (list.KindOfRow(list.Cursor()) == RowKind::Parent) return;
    const std::optional<std::string> target = DragTargetOf(row);
    if (!target) return;
    copyMode_ = false;  // a drag always moves
    const std::string& dirPath = form_.settings_.DirPath;
    std::vector<std::string> sources;
    if (list.MarkedCount() > 0) {
        list.CompactMarks();
        for (const std::string& name : list.CollectMarkedFiles()) {
            sources.push_back(PathRules::Join(dirPath, name));
        }
        list.ClearMarks();
        form_.ShowListCursor();
    } else {
        sources.push_back(PathRules::Join(dirPath, list.FileNameOfRow(list.Cursor())));
    }
    ShellCopyOrMove(sources, *target);
}

}  // namespace wexal
