// Entry point: single instance, application start, orderly end on signals.
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QtGlobal>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "main_window/focus_return.h"
#include "main_window/mainunit1.h"
#include "seams/qt_message_service.h"
#include "seams/qt_translations.h"
#include "config/startup.h"
#include "config/command_line.h"
#include "config/run_outcome.h"
#include "platform/instance_lock.h"
#include "platform/program_folder.h"
#include "serial/serial_port.h"

namespace {

int g_signalPipe[2] = {-1, -1};
// No window can be shown: messages go to standard error, never into a box.
bool g_headless = false;

void OnTerminate(int) {
    // A transfer blocked on a line that takes nothing sees no event: the
    // port's own wait must learn of the end.
    wexal::InterruptPortWaits();
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[0], &byte, 1);
}

void ShowException(const char* what) {
    if (g_headless) {
        wexal::PrintMessage(what, wexal::kProgramName, wexal::MessageIcon::Error);
        return;
    }
    QMessageBox::critical(nullptr, QStringLiteral("Wexal"), QString::fromUtf8(what));
}

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// The offscreen platform, or nothing to connect a window to.
bool NoWindowPossible() {
    if (Set("QT_QPA_PLATFORM")) {
        const std::string platform = std::getenv("QT_QPA_PLATFORM");
        return platform.starts_with("offscreen") || platform.starts_with("minimal");
    }
    return !Set("DISPLAY") && !Set("WAYLAND_DISPLAY");
}

// The offscreen platform has no window manager to raise a window or to pass
// size hints to, and a session without a desktop has no runtime folder; Qt
// says so at every such start, which reads like a fault of the run.
QtMessageHandler g_qtHandler = nullptr;
void FilterQtMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (g_headless && (text.startsWith(QStringLiteral("This plugin does not support")) ||
                       text.startsWith(QStringLiteral("QStandardPaths: XDG_RUNTIME_DIR not set")))) {
        return;
    }
    if (g_qtHandler) g_qtHandler(type, context, text);
}

// An exception inside an event handler is shown and the program goes on.
class WexalApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            ShowException(e.what());
        } catch (...) {
            ShowException("unknown error");
        }
        return false;
    }
};

// SIGTERM, SIGINT and SIGHUP end the program as F10 does, whatever box is
// open: the handler only writes a byte, the event loop does the rest.
bool InstallSignalPipe() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0) return false;
    struct sigaction action = {};
    action.sa_handler = OnTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // Taken before Qt strips its own options (-style, -reverse, ...): any
    // argument at all makes this a command-line run.
    std::vector<std::string> args(argv + 1, argv + argc);

    // A second start ends at once, before touching any window: silently, but
    // for a run that was to transfer, whose caller must learn that nothing went.
    auto lock = wexal::InstanceLock::TryAcquire(wexal::kProgramName, wexal::ProgramFolder());
    if (!lock) {
        if (!wexal::AsksForTransfer(args)) return wexal::kExitCompleted;
        wexal::PrintMessage("他のWexalが実行中です。転送は行いません。", wexal::kProgramName,
                            wexal::MessageIcon::Error);
        return wexal::kExitNotStarted;
    }

    g_headless = NoWindowPossible();
    if (g_headless && !args.empty() && !Set("QT_QPA_PLATFORM")) {
        // A command-line run needs no screen; Qt would abort without one.
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    } else if (g_headless && !Set("QT_QPA_PLATFORM")) {
        wexal::PrintMessage("画面を表示できません（DISPLAY も WAYLAND_DISPLAY も有りません）。",
                            wexal::kProgramName, wexal::MessageIcon::Error);
        return wexal::kExitNotStarted;
    }
    g_qtHandler = qInstallMessageHandler(FilterQtMessages);
    const bool signalsCaught = InstallSignalPipe();
    wexal::ConsoleMessages consoleMessages;

    WexalApplication app(argc, argv);
    // No display name: Qt would append it to every window title.
    QApplication::setApplicationName(QStringLiteral("Wexal"));
    // Ties the window to the package's desktop entry (its icon, on Wayland its app id).
    QGuiApplication::setDesktopFileName(QStringLiteral("jp.wexal.Wexal"));
    wexal::InstallQtTranslations(app);
    wexal::FocusReturn focusReturn;
    app.installEventFilter(&focusReturn);

    bool terminating = false;
    wexal::TForm1* mainWindow = nullptr;
    if (signalsCaught) {
        auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [&] {
            char byte;
            [[maybe_unused]] ssize_t n = ::read(g_signalPipe[1], &byte, 1);
            terminating = true;
            wexal::QtMessageService::SilenceAll();
            consoleMessages.Interrupt();
            // Leaves every running event loop, the nested ones of open boxes too.
            QCoreApplication::exit(0);
            // A transfer runs inside a handler, not in a loop: it is told to
            // take its abort path, and the main loop ends once it has returned.
            if (mainWindow && mainWindow->transferRunning()) mainWindow->close();
        });
    }

    int status = wexal::kExitCompleted;
    try {
        wexal::MainWindowServices services;
        // A command-line run that can show no window asks nobody.
        if (g_headless && !args.empty()) services.messages = &consoleMessages;
        wexal::TForm1 form(args, wexal::ProgramFiles::Locate(), std::move(services));
        mainWindow = &form;
        // A close that happens before the main loop runs (a signal while a
        // start-up box was open) must still end the program.
        QObject::connect(&form, &wexal::TForm1::Closed, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        if (!terminating) form.show();
        if (!terminating) QApplication::exec();
        form.close();  // saves unless the close query already ran
        mainWindow = nullptr;
        status = form.ExitStatus();
    } catch (const std::exception& e) {
        ShowException(e.what());
        status = wexal::kExitAborted;
    }
    return status;
}
