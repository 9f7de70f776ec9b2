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

#include "app/mainunit1.h"
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

}  // namespace

int main(int argc, char** argv) {
    // A second start ends at once, silently, before touching any window.
    auto lock = wexal::InstanceLock::TryAcquire(wexal::ExecutableName(), wexal::ProgramFolder());
    if (!lock) return 0;

    // SIGTERM, SIGINT and SIGHUP close the window the normal way, so the
    // settings are saved as on F10. Caught from here on; acted upon once the
    // window exists.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) == 0) {
        struct sigaction action = {};
        action.sa_handler = OnTerminate;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (int sig : {SIGTERM, SIGINT, SIGHUP}) sigaction(sig, &action, nullptr);
    } else {
        g_signalPipe[0] = g_signalPipe[1] = -1;
    }

    WexalApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Wexal"));
    QApplication::setApplicationDisplayName(QStringLiteral("Wexal"));

    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);

    try {
        wexal::TForm1 form(args, wexal::ProgramFiles::Locate());

        if (g_signalPipe[1] >= 0) {
            auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, &form);
            QObject::connect(notifier, &QSocketNotifier::activated, &form, [&form] {
                char byte;
                [[maybe_unused]] ssize_t n = ::read(g_signalPipe[1], &byte, 1);
                form.close();
            });
        }

        form.show();
        QApplication::exec();
    } catch (const std::exception& e) {
        ShowException(e.what());
    }
    return 0;
}
