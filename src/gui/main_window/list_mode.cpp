#include "main_window/list_mode.h"

#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>

#include "main_window/copy_command.h"
#include "main_window/drive_menu.h"
#include "main_window/file_commands.h"
#include "main_window/ext_app_commands.h"
#include "main_window/input_line_mode.h"
#include "main_window/nctool_commands.h"
#include "main_window/mainunit1.h"
#include "main_window/save_choice_panel.h"
#include "main_window/send_command.h"
#include "main_window/sort_panel.h"
#include "main_window/transfer_panel.h"
#include "dialogs/comm_panel.h"
#include "dialogs/option.h"
#include "dialogs/file_info_form.h"
#include "main_window/file_list_box.h"
#include "plot/plot_form.h"
#include "files/input_line.h"
#include "serial/transfer_log.h"

namespace wexal {

namespace {

// The keypad separator (virtual-key code 108) as X11 reports it.
constexpr quint32 kKeypadSeparatorKeysym = 0xFFAC;

ListKey ToListKey(const QKeyEvent& event, char* letter) {
    const int qtKey = event.key();
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) {
        *letter = static_cast<char>('A' + (qtKey - Qt::Key_A));
        return ListKey::Letter;
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F10) {
        return static_cast<ListKey>(static_cast<int>(ListKey::F1) + (qtKey - Qt::Key_F1));
    }
    if (event.nativeVirtualKey() == kKeypadSeparatorKeysym ||
        (qtKey == Qt::Key_Comma && (event.modifiers() & Qt::KeypadModifier))) {
        return ListKey::Separator;
    }
    switch (qtKey) {
        case Qt::Key_Escape:
            return ListKey::Escape;
        case Qt::Key_Space:
            return ListKey::Space;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return ListKey::Enter;
        case Qt::Key_PageUp:
            return ListKey::PageUp;
        case Qt::Key_PageDown:
            return ListKey::PageDown;
        case Qt::Key_Home:
            return ListKey::Home;
        case Qt::Key_End:
            return ListKey::End;
        case Qt::Key_Up:
            return ListKey::Up;
        case Qt::Key_Down:
            return ListKey::Down;
        case Qt::Key_Left:
            return ListKey::Left;
        case Qt::Key_Right:
            return ListKey::Right;
        default:
            return ListKey::Other;
    }
}

int ToQtKey(ListKey key) {
    return Qt::Key_F1 + (static_cast<int>(key) - static_cast<int>(ListKey::F1));
}

}  // namespace

ListMode::ListMode(TForm1& form) : QObject(&form), form_(form) {
    form_.ListBox1->installEventFilter(this);
    form_.Label1->installEventFilter(this);
    connect(form_.ListBox1, &FileListBox::RowClicked, this,
            [this](int row, bool shift) { ListBox1Click(row, shift); });
    connect(form_.ListBox1, &FileListBox::DoubleClicked, this,
            [this] { form_.SimulateKey(Qt::Key_Return); });
}

bool ListMode::eventFilter(QObject* watched, QEvent* event) {
    if (watched == form_.ListBox1) {
        if (event->type() == QEvent::KeyPress) {
            // Every key is the list's: it has no incremental search.
            ListBox1KeyDown(static_cast<QKeyEvent*>(event));
            return true;
        }
        if (event->type() == QEvent::KeyRelease) {
            ListBox1KeyUp(static_cast<QKeyEvent*>(event));
            return true;
        }
    }
    if (watched == form_.Label1 && event->type() == QEvent::MouseButtonPress) {
        Label1Click(static_cast<QMouseEvent*>(event)->position().toPoint());
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void ListMode::Preamble(bool shift) {
    form_.Timer1->stop();
    form_.RichEdit1->clear();
    form_.GroupBox2->hide();
    form_.SetMessage(QString(), false);
    form_.SetStatusPanel(0, QString());
    form_.SetStatusPanel(2, QString());
    form_.ShowHelpLine(shift);
}

void ListMode::ListBox1KeyDown(QKeyEvent* event) {
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    Preamble(shift || event->key() == Qt::Key_Shift);

    char letter = 0;
    const ListKey key = ToListKey(*event, &letter);
    FileListModel& list = form_.fileList_;
    if (key == ListKey::Enter) {
        HandleListEnter();
        return;
    }
    if (const auto row = ArrowKeyRow(key, list.Cursor(), form_.ListBox1->VisibleRowsPerColumn(),
                                     list.RowCount())) {
        list.UserMoveCursor(*row);
        form_.ShowListCursor();
        return;
    }
    ExecuteListCommand(MapListKey(key, letter, shift), shift);
}

void ListMode::ListBox1KeyUp(QKeyEvent* event) {
    const bool shift = event->key() != Qt::Key_Shift && (event->modifiers() & Qt::ShiftModifier);
    form_.ShowHelpLine(shift);
    form_.GroupBox5->hide();
}

void ListMode::ListBox1Click(int row, bool shift) {
    form_.fileList_.ClickRow(row, shift);
    form_.ShowListCursor();
}

void ListMode::Label1Click(const QPoint& at) {
    const HelpLineHit hit = MapHelpLineClick(at.x(), at.y());
    if (hit.closeWindow) {
        form_.close();
        return;
    }
    if (hit.key != ListKey::Other) form_.SimulateKey(ToQtKey(hit.key));
}

void ListMode::HandleListEnter() {
    FileListModel& list = form_.fileList_;
    const int cursor = list.Cursor();
    const ListEnter enter = DecideListEnter(form_.settings_.DirPath, list.KindOfRow(cursor),
                                            list.FileNameOfRow(cursor));
    switch (enter.action) {
        case ListEnterAction::ChangeFolder:
            form_.settings_.DirPath = enter.newDirPath;
            form_.RefreshFileList();
            break;
        case ListEnterAction::ToggleMark:
            list.ToggleMark();
            form_.ShowListCursor();
            break;
        case ListEnterAction::Nothing:
            break;
    }
}

void ListMode::ExecuteListCommand(ListCommand command, bool shift) {
    FileListModel& list = form_.fileList_;
    const CommandCheck check =
        CheckCommand(command, list.KindOfRow(list.Cursor()), list.MarkedCount(), shift);
    switch (check.gate) {
        case CommandGate::Nothing:
            return;
        case CommandGate::MessageBox:
            check.box.Show(*form_.messages_);
            return;
        case CommandGate::MessageLine:
            form_.SetMessage(QString::fromStdString(check.line), false);
            form_.ListBox1->setFocus();
            return;
        case CommandGate::Proceed:
            break;
    }
    if (check.exitAfterTransfer) form_.state_.ExitAfterTransfer = *check.exitAfterTransfer;

    switch (command) {
        case ListCommand::Editor:
            form_.extApps_->OpenInEditor();
            break;
        case ListCommand::OpenAssociated:
            form_.extApps_->OpenWithShell();
            break;
        case ListCommand::EditorSettings:
            form_.extApps_->OpenEditorSettings();
            break;
        case ListCommand::ExtAppSettings:
            form_.extApps_->OpenExtAppSettings();
            break;
        case ListCommand::None:
            break;
        case ListCommand::Abort:
            form_.inputLine_->Apply(AbortInput());
            break;
        case ListCommand::Refresh:
            form_.RefreshFileList(FileListModel::kKeepCursor);
            form_.Timer1->start(1000);
            break;
        case ListCommand::PageUp:
            list.SetRowsPerColumn(form_.ListBox1->VisibleRowsPerColumn());
            list.PageUp();
            form_.ShowListCursor();
            break;
        case ListCommand::PageDown: {
            list.SetRowsPerColumn(form_.ListBox1->VisibleRowsPerColumn());
            // The top row of the last column of the next page first, so that
            // the whole next page scrolls into view.
            const int reveal = list.PageDown();
            form_.ListBox1->RevealRow(reveal);
            form_.ShowListCursor();
            break;
        }
        case ListCommand::UnmarkAll:
            list.UnmarkAll();
            form_.ShowListCursor();
            break;
        case ListCommand::MarkFromCursor:
            list.MarkFromCursor();
            form_.ShowListCursor();
            break;
        case ListCommand::ToTop:
            list.MoveCursor(0);
            form_.ShowListCursor();
            break;
        case ListCommand::ToBottom:
            list.MoveCursor(list.RowCount() - 1);
            form_.ShowListCursor();
            break;
        case ListCommand::SortType:
            form_.sortPanel_->Open();
            break;
        case ListCommand::DriveMenu:
            PopUpDriveMenu();
            break;
        case ListCommand::FolderEntry:
            form_.inputLine_->Open(OpenFolderEntry(form_.settings_));
            break;
        case ListCommand::FolderBrowse:
            OpenFolderBrowser();
            break;
        case ListCommand::Extension:
            form_.inputLine_->Open(OpenExtensionEntry(form_.settings_));
            break;
        case ListCommand::Exit:
            form_.close();
            break;
        case ListCommand::Send:
            form_.sendCommand_->StartFromList(form_.state_.ExitAfterTransfer, check.onMarkedFiles);
            break;
        case ListCommand::Receive:
            form_.saveChoice_->Open();
            break;
        case ListCommand::TransferLog:
            form_.transferPanel_->OpenViewer(kTransferLogCaption,
                                             TransferLog(form_.files_.log).ReadForView());
            break;
        case ListCommand::CommSettings:
            form_.commPanel_->Open();
            break;
        case ListCommand::Options:
            form_.optionForm_->show();
            break;
        case ListCommand::Split:
            form_.ncTools_->Split();
            break;
        case ListCommand::AxisDouble:
            form_.ncTools_->AxisDouble();
            break;
        case ListCommand::Join:
            form_.ncTools_->Join();
            break;
        case ListCommand::Copy:
        case ListCommand::Move:
            form_.copyCommand_->OpenCopyMoveDialog(command == ListCommand::Copy,
                                                   check.onMarkedFiles);
            break;
        case ListCommand::FileInfo:
            form_.fileInfoForm_->Open(list.FileNameOfRow(list.Cursor()),
                                      list.FullPathOfRow(list.Cursor()));
            break;
        case ListCommand::Delete:
            form_.fileCommands_->DeleteEntries(check.onMarkedFiles);
            break;
        case ListCommand::Rename:
            form_.fileCommands_->RenameEntries(check.onMarkedFiles);
            break;
        case ListCommand::Find:
            form_.fileCommands_->OpenFind();
            break;
        case ListCommand::View:
            form_.fileCommands_->ViewFile();
            break;
        case ListCommand::Revisions:
            form_.fileCommands_->OpenRevisions();
            break;
        case ListCommand::Compare:
            form_.fileCommands_->CompareFiles(check.onMarkedFiles);
            break;
        case ListCommand::Plot:
            form_.plotForm_->Open(list.FileNameOfRow(list.Cursor()),
                                  list.FullPathOfRow(list.Cursor()));
            break;
    }
}

void ListMode::OpenFolderBrowser() {
    const Settings& settings = form_.settings_;
    const std::optional<std::string> chosen =
        form_.folderBrowser_(FolderBrowserCaption(settings), settings.DirPath);
    // Shift went up while the browser had the keyboard.
    form_.ShowHelpLine(QGuiApplication::keyboardModifiers().testFlag(Qt::ShiftModifier));
    form_.inputLine_->Open(OpenFolderEntryFromBrowser(settings, chosen));
}

void ListMode::PopUpDriveMenu() {
    form_.driveMenu_->Build();
    const QPoint at(form_.x() + form_.ListBox1->x() + 30, form_.y() + form_.ListBox1->height() / 2);
    form_.driveMenu_->Popup(at);
}

}  // namespace wexal
