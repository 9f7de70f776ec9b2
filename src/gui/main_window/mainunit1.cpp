#include "main_window/mainunit1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTimer>

#include "main_window/copy_command.h"
#include "main_window/drive_menu.h"
#include "main_window/folder_check.h"
#include "main_window/file_commands.h"
#include "main_window/ext_app_commands.h"
#include "main_window/input_line_mode.h"
#include "main_window/list_mode.h"
#include "main_window/nctool_commands.h"
#include "seams/qt_message_service.h"
#include "seams/qt_transfer_host.h"
#include "main_window/receive_command.h"
#include "main_window/save_choice_panel.h"
#include "main_window/send_command.h"
#include "main_window/sort_panel.h"
#include "main_window/transfer_panel.h"
#include "dialogs/comm_panel.h"
#include "config/command_line.h"
#include "dialogs/option.h"
#include "dialogs/file_info_form.h"
#include "main_window/file_list_box.h"
#include "plot/plot_form.h"
#include "programs/file_loader.h"
#include "platform/fit_text.h"
#include "seams/qt_launcher_trust.h"
#include "seams/qt_screen_saver.h"
#include "platform/text_codec.h"

namespace wexal {

namespace {

std::optional<std::string> BrowseForFolder(QWidget* parent, const std::string& caption,
                                           const std::string& start) {
    const QString chosen = QFileDialog::getExistingDirectory(
        parent, QString::fromStdString(caption), QString::fromStdString(start));
    if (chosen.isEmpty()) return std::nullopt;
    return QFile::encodeName(chosen).toStdString();
}

// What taking the options asks of the window.
class FormOptionHost : public OptionTakeHost {
public:
    explicit FormOptionHost(TForm1& form) : form_(form) {}
    void RefreshFileList(bool keepCursor) override {
        form_.RefreshFileList(keepCursor ? FileListModel::kKeepCursor : 0);
    }
    void ApplyListColumns() override { form_.ApplyListColumns(); }
    void StartIdleTimer() override { form_.Timer1->start(1000); }

private:
    TForm1& form_;
};

}  // namespace

TForm1::TForm1(std::vector<std::string> args, ProgramFiles files, Services services,
               QWidget* parent)
    : QWidget(parent),
      files_(std::move(files)),
      folderBrowser_(std::move(services.folderBrowser)),
      fileList_(settings_, state_.MarkedFileLimit) {
    if (!services.messages) ownMessages_ = std::make_unique<QtMessageService>(this);
    if (!services.screenSaver) ownScreenSaver_ = std::make_unique<QtScreenSaver>();
    if (!services.launcherTrust) ownLauncherTrust_ = std::make_unique<QtLauncherTrust>();
    messages_ = services.messages ? services.messages : ownMessages_.get();
    // A transfer asked for on the command line may be a scheduled job's: its
    // boxes go to standard error as well, where the job's caller reads why
    // nothing went.
    if (!messages_->Unattended() && AsksForTransfer(args)) {
        echoedMessages_ = std::make_unique<EchoedMessages>(*messages_);
        messages_ = echoedMessages_.get();
    }
    screenSaver_ = services.screenSaver ? services.screenSaver : ownScreenSaver_.get();
    if (!folderBrowser_) {
        folderBrowser_ = [this](const std::string& caption, const std::string& start) {
            return BrowseForFolder(this, caption, start);
        };
    }
    CreateControls();
    driveMenu_ = std::make_unique<DriveMenu>(this, [this](const std::string& mountPoint) {
        ChooseDrive(settings_, state_, mountPoint);
        RefreshFileList();
    });
    listMode_ = std::make_unique<ListMode>(*this);
    inputLine_ = std::make_unique<InputLineMode>(*this);
    sortPanel_ = std::make_unique<SortPanel>(*this);
    transferMessages_ = std::make_unique<UnattendedMessages>(*messages_);
    transferHost_ = std::make_unique<QtTransferHost>(this, *transferMessages_);
    link_.env = {&settings_, transferHost_.get(), transferMessages_.get(), files_.folder};
    if (services.createPort) link_.env.createPort = std::move(services.createPort);
    transferPanel_ = std::make_unique<TransferPanel>(*this, *transferHost_);
    sendCommand_ = std::make_unique<SendCommand>(*this, *transferPanel_, link_, *transferMessages_);
    commPanel_ = std::make_unique<CommPanel>(*this);
    optionHost_ = std::make_unique<FormOptionHost>(*this);
    optionForm_ = new TOptionForm(
        this, settings_, *messages_, *optionHost_,
        services.launcherTrust ? *services.launcherTrust : *ownLauncherTrust_);
    ncTools_ = std::make_unique<NcToolCommands>(*this);
    receiveCommand_ =
        std::make_unique<ReceiveCommand>(*this, *transferPanel_, link_, *transferMessages_);
    saveChoice_ = std::make_unique<SaveChoicePanel>(*this);
    copyCommand_ = new CopyCommand(*this);
    fileInfoForm_ = new TFileInfoForm(this, *messages_,
                                      [this] { RefreshFileList(FileListModel::kKeepCursor); });
    fileCommands_ = std::make_unique<FileCommands>(
        *this, services.moveToTrash ? std::move(services.moveToTrash) : DesktopTrash());
    extApps_ = std::make_unique<ExtAppCommands>(*this);
    plotForm_ = new TPlotForm(this, settings_, *messages_, [this] {
        activateWindow();
        ListBox1->setFocus();
    });
    connect(transferPanel_.get(), &TransferPanel::LineSent, plotForm_,
            [this](const std::string& path, std::size_t index) { plotForm_->LineSent(path, index); });
    fileList_.SetReadingHook([this] {
        ListBox1->ShowReading();
        Label7->setText(QString::fromStdString(fileList_.FolderLine()));
        Label7->repaint();
    });
    connect(Timer1, &QTimer::timeout, this, [this] { RestoreIdleDisplay(); });
    FormCreate(args);
}

TForm1::~TForm1() = default;

void TForm1::FormCreate(const std::vector<std::string>& args) {
    loaded_ = SettingsStore::Load(settings_, files_.settings);
    move(settings_.Left, settings_.Top);
    CollectArguments(args, settings_, state_, *messages_);
    state_.MarkedFileLimit = 100;
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_) return;
    shown_ = true;
    FormShow();
}

void TForm1::FormShow() {
    // A settings file that could not be read is said once, here; it is then
    // left as it is at exit. A command-line run saves nothing and must not
    // wait for an operator.
    if (!loaded_) {
        if (state_.CommandLineMode == "N") {
            messages_->Tell(loaded_.message, DefaultCaption(MessageIcon::Error), MessageIcon::Error);
        } else {
            PrintMessage(loaded_.message, kProgramName, MessageIcon::Error);
        }
        files_.settings.unreadReported = true;
    }
    const FolderCheckResult folder = RunFolderCheck(settings_, state_, *messages_);
    if (auto message = PortCheckedByTransfer(state_, settings_) ? std::nullopt
                                                     : PortCheckMessage(settings_, files_.folder)) {
        messages_->Tell(*message, DefaultCaption(MessageIcon::Error), MessageIcon::Error);
    }
    QTimer::singleShot(0, this, [this] { FirstIdle(); });
    folderCheck_ = new TFolderCheck(
        fileList_,
        [this] {
            // A transfer keeps the list as it is; its idle display refreshes.
            if (transferRunning()) {
                listRefreshPending = true;
                return;
            }
            RefreshFileList(FileListModel::kKeepCursor);
        },
        this);
    folderCheck_->Follow(settings_.DirPath);
    for (QGroupBox* box : {GroupBox1, GroupBox2, GroupBox3, GroupBox4}) box->hide();
    Edit1->setEnabled(false);
    SetStatusPanel(4, QString::fromStdString(settings_.Speed));
    SetStatusPanel(5, QString::fromStdString(settings_.Port));
    SetStatusPanel(6, QString::fromStdString(settings_.Signal));
    ShowHelpLine(false);
    Label6->setText(QString::fromUtf8(kShiftSpaceEscHelp));
    Label2->setText(QString::fromUtf8(kLetterCommandHelp));
    GroupBox5->hide();
    ApplyListColumns();
    ListBox1->setFocus();
    // Said after the help texts are set, so that nothing overwrites it.
    if (folder.message) SetMessage(QString::fromStdString(*folder.message), true);
}

void TForm1::FirstIdle() {
    if (firstIdleDone_) return;
    firstIdleDone_ = true;
    RefreshFileList();
    if (state_.SendOnStart == "Y") sendCommand_->StartFromCommandLine();
    receiveCommand_->StartFromCommandLine();
    // A run that can show no window ends here, also when its transfer could
    // not start: nobody would ever close it. With a window, one whose transfer
    // could not start ends too, so that a scheduled job never waits for F10.
    if (state_.Outcome.EndsNow(state_.ExitAfterTransfer, messages_->Unattended())) close();
}

void TForm1::TransferEnded(TransferEnd end, bool fromCommandLine, bool exitAfterTransfer,
                           bool closeWindow) {
    plotForm_->TransferEnded();
    if (fromCommandLine || exitAfterTransfer) {
        state_.Outcome.Request();
        state_.Outcome.Record(end);
    }
    if (closeWindow || (exitAfterTransfer && messages_->Unattended())) close();
}

bool TForm1::transferRunning() const { return transferPanel_->TransferRunning(); }

void TForm1::Timer2Timer() { sendCommand_->EstimateTick(); }

void TForm1::closeEvent(QCloseEvent* event) {
    // The engine runs inside a handler of this window: it ends on its abort
    // path first, and the window closes when it has returned.
    if (transferRunning()) {
        event->ignore();
        transferPanel_->RequestStop();
        return;
    }
    event->accept();
    // A close can be asked for twice (F10 and then the end of main); the
    // settings are saved once.
    if (closeQueryDone_) return;
    closeQueryDone_ = true;
    FormCloseQuery();
    emit Closed();
}

bool TForm1::FormCloseQuery() {
    settings_.Left = x();
    settings_.Top = y();
    Status saved = SaveOnClose(settings_, state_, files_);
    if (!saved) {
        messages_->Tell(saved.message, DefaultCaption(MessageIcon::Error), MessageIcon::Error);
    }
    screenSaver_->SetEnabled(true);
    return true;  // closing is never refused
}

void TForm1::ApplyListColumns() {
    const ListLayout layout = ApplyListColumnRule(settings_);
    ListBox1->setFixedWidth(layout.width);
    ListBox1->SetColumns(layout.columns);
    Label2->setVisible(layout.letterHelpVisible);
}

void TForm1::RefreshFileList(unsigned flags) {
    // The watcher moves with the list at once, not after the next change in
    // the folder listed before.
    if (folderCheck_ && (flags & FileListModel::kSortOnly) == 0) {
        folderCheck_->Follow(settings_.DirPath);
    }
    ChangeList([&] { fileList_.RefreshFileList(flags); });
    Label7->setText(QString::fromStdString(fileList_.FolderLine()));
    ListBox1->setFocus();
    fileList_.SetRowsPerColumn(ListBox1->VisibleRowsPerColumn());
    PlotFollowsCursor();
}

void TForm1::ChangeList(const std::function<void()>& change) {
    ListBox1->Rebuild(change);
    Label8->setText(QString::fromStdString(fileList_.DetailsLine()));
}

void TForm1::ShowListCursor() {
    ListBox1->ShowCursor();
    Label8->setText(QString::fromStdString(fileList_.DetailsLine()));
    PlotFollowsCursor();
}

void TForm1::PlotFollowsCursor() {
    const int cursor = fileList_.Cursor();
    if (plotForm_ == nullptr || fileList_.KindOfRow(cursor) != RowKind::File) return;
    plotForm_->Follow(fileList_.FileNameOfRow(cursor), fileList_.FullPathOfRow(cursor));
}

void TForm1::RestoreIdleDisplay() {
    StatusBar2->repaint();
    SetStatusPanel(3, QString());
    ShowHelpLine(false);
    RichEdit1->clear();
    GroupBox2->hide();
    SetMessage(QString(), false);
    Timer1->stop();
    ListBox1->setEnabled(true);
    if (listRefreshPending) RefreshFileList(FileListModel::kKeepCursor);
    listRefreshPending = false;
    ListBox1->setFocus();
    Edit1->setEnabled(false);
    screenSaver_->SetEnabled(true);
    ShowDsrLamp(LabeledEdit1, false);
    ShowCtsLamp(LabeledEdit2, false);
}

void TForm1::SimulateKey(int qtKey) {
    // Shift held on the keyboard gives the Shift command, as with the key
    // itself; the events queue behind the click that caused them.
    QWidget* target = focusWidget();
    if (target == nullptr || !target->isEnabled()) target = ListBox1;
    const Qt::KeyboardModifiers modifiers = QGuiApplication::keyboardModifiers();
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, qtKey, modifiers));
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, qtKey, modifiers));
}

void TForm1::ShowHelpLine(bool shift) {
    Label1->setText(QString::fromUtf8(shift ? kShiftHelpLine : kNormalHelpLine));
}

void TForm1::SetStatusPanel(int index, const QString& text) {
    if (index >= 0 && index < static_cast<int>(StatusPanels.size())) {
        StatusPanels[index]->setText(text);
    }
}

void TForm1::SetMessage(const QString& text, bool warning) {
    QPalette pal = Label11->palette();
    pal.setColor(QPalette::WindowText, warning ? Qt::red : Qt::green);
    Label11->setPalette(pal);
    // Right-aligned, a long message would lose its beginning: it is cut in
    // the middle instead, and read whole from the tooltip and by screen readers.
    const std::string whole = text.toStdString();
    const QFontMetrics metrics(Label11->font());
    const int room = Label11->width() - 2 * Label11->margin();
    QString shown = text;
    for (std::size_t columns = Cp932Width(whole); columns > 0 && metrics.horizontalAdvance(shown) > room;) {
        shown = QString::fromStdString(FitMiddle(whole, --columns));
    }
    Label11->setText(shown);
    Label11->setToolTip(text);
    Label11->setAccessibleName(text);
}

std::int64_t TForm1::LoadFileIntoView(const std::string& name) {
    // The program is read from the file as the view paints, never held whole.
    ProgramLoad loaded = LoadProgram(settings_.DirPath, name, *messages_);
    transferPanel_->ShowProgram(std::move(loaded.program));
    if (!loaded.problem.empty()) {
        SetMessage(QString::fromStdString(name + "を読み込めません。（" + loaded.problem + "）"), true);
    }
    return loaded.size;
}

}  // namespace wexal
