// Entry point: single instance, application start, orderly end on signals.
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <csignal>
#include <exception>
#include <string>
#include <vector>

#include "app/focus_return.h"
#include "app/mainunit1.h"
#include "app/qt_message_service.h"
#include "app/startup.h"
#include "platform/instance_lock.h"
#include "platform/program_folder.h"

namespace {

int g_signalPipe[2] = {-1, -1};

void OnTerminate(int) {
    const char byte = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[0], &byte, 1);
}

void ShowException(const char* what) {
    QMessageBox::critical(nullptr, QStringLiteral("Wexal"), QString::fromUtf8(what));
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
    // A second start ends at once, silently, before touching any window.
    auto lock = wexal::InstanceLock::TryAcquire(wexal::ExecutableName(), wexal::ProgramFolder());
    if (!lock) return 0;

    // Taken before Qt strips its own options (-style, -reverse, ...): any
    // argument at all makes this a command-line run.
    std::vector<std::string> args(argv + 1, argv + argc);
    const bool signalsCaught = InstallSignalPipe();

    WexalApplication app(argc, argv);
    // No display name: Qt would append it to every window title.
    QApplication::setApplicationName(QStringLiteral("Wexal"));
    wexal::FocusReturn focusReturn;
    app.installEventFilter(&focusReturn);

    bool terminating = false;
    wexal::TForm1* mainWindow = nullptr;
    if (signalsCaught) {
        auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, &app, [&terminating, &mainWindow] {
            char byte;
            [[maybe_unused]] ssize_t n = ::read(g_signalPipe[1], &byte, 1);
            terminating = true;
            wexal::QtMessageService::SilenceAll();
            // Leaves every running event loop, the nested ones of open boxes too.
            QCoreApplication::exit(0);
            // A transfer runs inside a handler, not in a loop: it is told to
            // take its abort path, and the main loop ends once it has returned.
            if (mainWindow && mainWindow->transferRunning()) mainWindow->close();
        });
    }

    try {
        wexal::TForm1 form(args, wexal::ProgramFiles::Locate());
        mainWindow = &form;
        // A close that happens before the main loop runs (a signal while a
        // start-up box was open) must still end the program.
        QObject::connect(&form, &wexal::TForm1::Closed, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        if (!terminating) form.show();
        if (!terminating) QApplication::exec();
        form.close();  // saves unless the close query already ran
        mainWindow = nullptr;
    } catch (const std::exception& e) {
        ShowException(e.what());
    }
    return 0;
}
