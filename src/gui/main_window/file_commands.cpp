#include "main_window/file_commands.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStandardPaths>
#include <QTimer>

#include "main_window/mainunit1.h"
#include "main_window/program_view.h"
#include "main_window/transfer_panel.h"
#include "main_window/file_list_box.h"
#include "dialogs/compare_form.h"
#include "dialogs/find_form.h"
#include "dialogs/revisions_form.h"
#include "files/file_names.h"
#include "files/list_row_format.h"
#include "files/rename_entries.h"
#include "platform/os_file.h"
#include "programs/file_loader.h"
#include "dialogs/rname.h"

namespace wexal {

namespace {

// Files renamed one after another stand this far apart.
constexpr int kRenameSpacingMs = 100;

// Waits without freezing the window; keys typed meanwhile wait their turn,
// as they would behind a busy window, rather than start a second command.
void Pause(int milliseconds) {
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// Qt 6.4 finds no home trash when the folder that holds it is missing (a
// new account's ~/.local/share) and then fills "files" and "info" in the
// working folder instead. The folder is made first, as a desktop session
// would have; where it cannot be, there is no trash.
bool HomeTrashFolderReady() {
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return !data.isEmpty() && QDir().mkpath(data);
}

}  // namespace

MoveToTrash DesktopTrash() {
    return [](const std::string& path) {
        const QString name = QFile::decodeName(QByteArray::fromStdString(path));
        if (QFile::encodeName(name).toStdString() != path) return false;
        if (!HomeTrashFolderReady()) return false;
        return QFile::moveToTrash(name);
    };
}

FileCommands::FileCommands(TForm1& form, MoveToTrash moveToTrash)
    : form_(form), moveToTrash_(std::move(moveToTrash)) {
    rname_ = new TRNameForm(&form);
    rnameA_ = new TRNameAForm(&form);
    FindContext context;
    context.mainWindow = &form;
    context.settings = &form.settings_;
    context.messages = form.messages_;
    context.programFolder = form.files_.folder;
    context.narrow = [&form](const std::string& pattern) {
        form.fileList_.SetSearchPattern(pattern);
        form.RefreshFileList(FileListModel::kKeepPattern);
    };
    context.restoreHelpLine = [&form] { form.ShowHelpLine(false); };
    find_ = new TFindForm(std::move(context), &form);

    RevisionsContext revisions;
    revisions.mainWindow = &form;
    revisions.settings = &form.settings_;
    revisions.messages = form.messages_;
    revisions.refreshList = [&form] { form.RefreshFileList(FileListModel::kKeepCursor); };
    revisions.showInView = [this](const RevisionRow& row) { ShowRevisionRow(row); };
    revisions.compareWithFile = [this](const std::string& name, const std::filesystem::path& file,
                                       const RevisionRow& row) { CompareRevision(name, file, row); };
    revisions_ = new TRevisionsForm(std::move(revisions), &form);
    compare_ = new TCompareForm({&form, form.messages_}, &form);
}

void FileCommands::DeleteEntries(bool onMarkedFiles) {
    FileListModel& list = form_.fileList_;
    std::vector<DeleteItem> items;
    if (onMarkedFiles) {
        list.CompactMarks();
        for (std::string& name : list.CollectMarkedFiles())
            items.push_back({std::move(name), false});
        list.ClearMarks();
        form_.ShowListCursor();
        form_.ListBox1->viewport()->update();
    } else {
        const int cursor = list.Cursor();
        items.push_back({list.FileNameOfRow(cursor), list.KindOfRow(cursor) == RowKind::Folder});
    }
    const DeleteOutcome outcome =
        ::wexal::DeleteEntries(form_.settings_.DirPath, items, *form_.messages_, moveToTrash_);
    if (outcome.aborted) return;
    form_.RefreshFileList();
    form_.Timer1->start(1000);
}

void FileCommands::RenameEntries(bool onMarkedFiles) {
    FileListModel& list = form_.fileList_;
    list.SetRefreshSuspended(true);
    if (onMarkedFiles) {
        RenameMarkedFiles();
    } else {
        RenameCursorEntry();
    }
    list.SetRefreshSuspended(false);
}

void FileCommands::RenameMarkedFiles() {
    FileListModel& list = form_.fileList_;
    if (!rnameA_->Execute()) return;
    form_.ListBox1->repaint();
    list.CompactMarks();
    std::vector<MarkedFile> files;
    for (int row : list.MarkedRows()) {
        if (list.KindOfRow(row) == RowKind::File) files.push_back({row, list.FileNameOfRow(row)});
    }
    MarkedRenameHost host;
    host.moveCursor = [&](int row) {
        list.MoveCursor(row);
        form_.ShowListCursor();
    };
    host.askName = [&](const std::string& name) -> std::optional<std::string> {
        if (!rname_->Execute(name)) return std::nullopt;
        return rname_->NewName();
    };
    host.showRenamed = [&](int row, const std::string& newName) {
        list.ShowRenamedFile(row, newName);
        form_.ShowListCursor();
        form_.ListBox1->viewport()->update();
    };
    host.pause = [] { Pause(kRenameSpacingMs); };
    const std::vector<RenameResult> refused =
        ::wexal::RenameMarkedFiles(form_.settings_.DirPath, files, rnameA_->Choice(), host);
    list.SetRefreshSuspended(false);
    form_.RefreshFileList();
    if (!refused.empty())
        form_.SetMessage(QString::fromStdString(RefusedRenamesLine(refused)), true);
}

void FileCommands::RenameCursorEntry() {
    FileListModel& list = form_.fileList_;
    const std::string name = list.FileNameOfRow(list.Cursor());
    if (!rname_->Execute(name)) return;
    const RenameResult result = RenameEntry(form_.settings_.DirPath, name, rname_->NewName());
    list.SetRefreshSuspended(false);
    form_.RefreshFileList();
    if (result.refused()) form_.SetMessage(QString::fromStdString(result.message), true);
}

void FileCommands::OpenFind() { find_->Open(); }

void FileCommands::ViewFile() {
    const FileListModel& list = form_.fileList_;
    ShowInFileView(form_.settings_.DirPath, list.FileNameOfRow(list.Cursor()));
}

void FileCommands::OpenRevisions() {
    const FileListModel& list = form_.fileList_;
    const int cursor = list.Cursor();
    revisions_->Open(list.FileNameOfRow(cursor), Utf8Path(list.FullPathOfRow(cursor)));
}

void FileCommands::CompareFiles(bool onMarkedFiles) {
    FileListModel& list = form_.fileList_;
    const auto side = [&list](int row, std::string caption) {
        return CompareSide{Utf8Path(list.FullPathOfRow(row)), std::move(caption)};
    };
    if (onMarkedFiles) {
        // In the order they were marked: the first is the older.
        list.CompactMarks();
        std::vector<int> rows;
        for (int row : list.MarkedRows()) {
            if (list.KindOfRow(row) == RowKind::File) rows.push_back(row);
        }
        if (rows.size() != 2) return;
        compare_->Open(side(rows[0], DisplayName(list.FileNameOfRow(rows[0]))),
                       side(rows[1], DisplayName(list.FileNameOfRow(rows[1]))));
        return;
    }
    const int cursor = list.Cursor();
    const std::string name = DisplayName(list.FileNameOfRow(cursor));
    const std::filesystem::path file = Utf8Path(list.FullPathOfRow(cursor));
    const RevisionList kept = ListRevisions(file);
    if (!kept.error.empty() || kept.revisions.empty()) {
        const bool none = kept.error.empty();
        form_.messages_->Tell(none ? kNoRevisionToCompare : kept.error,
                              DefaultCaption(none ? MessageIcon::Information : MessageIcon::Error),
                              none ? MessageIcon::Information : MessageIcon::Error);
        return;
    }
    const Revision& newest = kept.revisions.front();
    compare_->Open({newest.path, name + "  " + RevisionCaption(newest)},
                   side(cursor, name + "  " + kCurrentFileSource));
}

void FileCommands::CompareRevision(const std::string& name, const std::filesystem::path& file,
                                   const RevisionRow& row) {
    const std::string shown = DisplayName(name);
    compare_->Open({row.path, shown + "  " + RevisionCaption(row)},
                   {file, shown + "  " + kCurrentFileSource});
}

void FileCommands::ShowRevisionRow(const RevisionRow& row) {
    // Which version is on show, unless the view says why it has none.
    if (ShowInFileView(PathText(row.path.parent_path()), PathText(row.path.filename()))) {
        form_.SetMessage(QString::fromStdString(RevisionCaption(row)), false);
    }
}

bool FileCommands::ShowInFileView(const std::string& folder, const std::string& name) {
    form_.transferPanel_->OpenProgramViewer(kFileViewCaption);
    ProgramLoad loaded = LoadProgram(folder, name, *form_.messages_);
    form_.transferPanel_->ShowProgram(std::move(loaded.program));
    if (!loaded.problem.empty()) {
        form_.SetMessage(
            QString::fromStdString(name + "を読み込めません。（" + loaded.problem + "）"), true);
    }
    form_.SetStatusPanel(
        2, QString::fromStdString("ｻｲｽﾞ : " +
                                  FormatFileSize(static_cast<std::uint64_t>(loaded.size))));
    form_.transferPanel_->Label17->hide();
    form_.SetStatusPanel(3, QString::fromUtf8(kFileViewCaption));
    form_.transferPanel_->ProgramView1->setFocus();
    return loaded.problem.empty();
}

}  // namespace wexal
