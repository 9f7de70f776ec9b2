#include "app/mainunit1.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTimer>
#include <cstdio>

#include "app/drive_menu.h"
#include "app/qt_message_service.h"
#include "config/command_line.h"
#include "files/file_loader.h"
#include "platform/qt_screen_saver.h"
#include "platform/text_codec.h"

namespace wexal {

namespace {

ListKey ToListKey(int qtKey, char* letter) {
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) {
        *letter = static_cast<char>('A' + (qtKey - Qt::Key_A));
        return ListKey::Letter;
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F10) {
        return static_cast<ListKey>(static_cast<int>(ListKey::F1) + (qtKey - Qt::Key_F1));
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
        default:
            return ListKey::Other;
    }
}

int ToQtKey(ListKey key) {
    return Qt::Key_F1 + (static_cast<int>(key) - static_cast<int>(ListKey::F1));
}

}  // namespace

TForm1::TForm1(std::vector<std::string> args, ProgramFiles files, Services services,
               QWidget* parent)
    : QWidget(parent), files_(std::move(files)) {
    if (!services.messages) ownMessages_ = std::make_unique<QtMessageService>(this);
    if (!services.screenSaver) ownScreenSaver_ = std::make_unique<QtScreenSaver>();
    messages_ = services.messages ? services.messages : ownMessages_.get();
    screenSaver_ = services.screenSaver ? services.screenSaver : ownScreenSaver_.get();
    CreateControls();
    driveMenu_ = std::make_unique<DriveMenu>(this, [this](const std::string& mountPoint) {
        ChooseDrive(settings_, state_, mountPoint);
        RefreshFileList();
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
            std::fprintf(stderr, "Wexal: %s\n", loaded_.message.c_str());
        }
        files_.settings.unreadReported = true;
    }
    const FolderCheckResult folder = RunFolderCheck(settings_, state_, *messages_);
    if (auto message = PortCheckMessage(settings_, files_.folder)) {
        messages_->Tell(*message, DefaultCaption(MessageIcon::Error), MessageIcon::Error);
    }
    QTimer::singleShot(0, this, [this] { FirstIdle(); });
    for (QGroupBox* box : {GroupBox1, GroupBox2, GroupBox3, GroupBox4}) box->hide();
    Edit1->setEnabled(false);
    SetStatusPanel(4, QString::fromStdString(settings_.Speed));
    SetStatusPanel(5, QString::fromStdString(settings_.Port));
    SetStatusPanel(6, QString::fromStdString(settings_.Signal));
    ShowHelpLine(false);
    Label6->setText(QString::fromUtf8(kShiftSpaceEscHelp));
    Label2->setText(QString::fromUtf8(kLetterCommandHelp));
    GroupBox5->hide();
    const ListLayout layout = ApplyListColumnRule(settings_);
    ListBox1->setFixedWidth(layout.width);
    Label2->setVisible(layout.letterHelpVisible);
    ListBox1->setFocus();
    // Said after the help texts are set, so that nothing overwrites it.
    if (folder.message) SetMessage(QString::fromStdString(*folder.message), true);
}

void TForm1::FirstIdle() {
    if (firstIdleDone_) return;
    firstIdleDone_ = true;
    RefreshFileList();
    // Transfers requested on the command line start here once their engines exist.
}

void TForm1::closeEvent(QCloseEvent* event) {
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

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListBox1) {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            ListBox1KeyDown(key);
            return key->isAccepted();
        }
        if (event->type() == QEvent::KeyRelease) {
            ListBox1KeyUp(static_cast<QKeyEvent*>(event));
            return false;
        }
    }
    if (watched == Label1 && event->type() == QEvent::MouseButtonPress) {
        Label1Click(static_cast<QMouseEvent*>(event)->position().toPoint());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::ListBox1KeyDown(QKeyEvent* event) {
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    Timer1->stop();
    RichEdit1->clear();
    viewBytes_.clear();
    GroupBox2->hide();
    SetMessage(QString(), false);
    SetStatusPanel(0, QString());
    SetStatusPanel(2, QString());
    ShowHelpLine(shift || event->key() == Qt::Key_Shift);

    char letter = 0;
    const ListKey key = ToListKey(event->key(), &letter);
    const ListCommand command = MapListKey(key, letter, shift);
    if (command == ListCommand::None) {
        // Arrow keys keep their ordinary list behaviour; everything else is
        // consumed, the list has no incremental search.
        const int k = event->key();
        const bool arrow =
            k == Qt::Key_Up || k == Qt::Key_Down || k == Qt::Key_Left || k == Qt::Key_Right;
        event->setAccepted(!arrow);
        return;
    }
    event->accept();
    ExecuteListCommand(command, shift);
}

void TForm1::ListBox1KeyUp(QKeyEvent* event) {
    const bool shift = event->key() != Qt::Key_Shift && (event->modifiers() & Qt::ShiftModifier);
    ShowHelpLine(shift);
    GroupBox5->hide();
}

void TForm1::Label1Click(const QPoint& at) {
    const HelpLineHit hit = MapHelpLineClick(at.x(), at.y());
    if (hit.closeWindow) {
        close();
        return;
    }
    if (hit.key == ListKey::Other) return;
    // Shift held on the keyboard gives the Shift command, as with the key itself.
    const Qt::KeyboardModifiers modifiers = QGuiApplication::keyboardModifiers();
    QKeyEvent press(QEvent::KeyPress, ToQtKey(hit.key), modifiers);
    QKeyEvent release(QEvent::KeyRelease, ToQtKey(hit.key), modifiers);
    QCoreApplication::sendEvent(ListBox1, &press);
    QCoreApplication::sendEvent(ListBox1, &release);
}

void TForm1::ExecuteListCommand(ListCommand command, bool shift) {
    switch (command) {
        case ListCommand::Abort:
            SetMessage(QStringLiteral("操作中止!!"), true);
            Timer1->start(1000);
            ListBox1->setEnabled(true);
            Edit1->setEnabled(false);
            break;
        case ListCommand::Refresh:
            RefreshFileList();
            Timer1->start(1000);
            break;
        case ListCommand::DriveMenu: {
            driveMenu_->Build();
            const QPoint at(x() + ListBox1->x() + 30, y() + ListBox1->height() / 2);
            driveMenu_->Popup(at);
            break;
        }
        case ListCommand::Exit:
            close();
            break;
        case ListCommand::Send:
        case ListCommand::Receive:
            state_.ExitAfterTransfer = shift;
            break;
        default:
            // The remaining commands plug in here as their parts of the program arrive.
            break;
    }
}

void TForm1::RefreshFileList() {
    // The file list model fills ListBox1 here once it exists.
}

void TForm1::RestoreIdleDisplay() {
    SetMessage(QString(), false);
    SetStatusPanel(0, QString());
    SetStatusPanel(2, QString());
    SetStatusPanel(3, QString());
    ShowHelpLine(false);
    ListBox1->setEnabled(true);
    ListBox1->setFocus();
    screenSaver_->SetEnabled(true);
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
    Label11->setText(text);
}

std::int64_t TForm1::LoadFileIntoView(const std::string& name) {
    ViewLoad loaded = ::wexal::LoadFileIntoView(settings_.DirPath, name, *messages_);
    viewBytes_ = std::move(loaded.text);
    RichEdit1->setPlainText(QString::fromStdString(Cp932ToUtf8Lossy(viewBytes_)));
    RichEdit1->moveCursor(QTextCursor::Start);
    RichEdit1->ensureCursorVisible();
    return loaded.size;
}

}  // namespace wexal
