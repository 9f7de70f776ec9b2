#include "platform/server_process.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace wexal {

namespace {

sigset_t Wanted() {
    sigset_t wanted;
    sigemptyset(&wanted);
    sigaddset(&wanted, SIGTERM);
    sigaddset(&wanted, SIGINT);
    sigaddset(&wanted, SIGHUP);
    return wanted;
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void PrepareConsoleOutput() {}

void TakeServerRequests() {
    // Taken by the calling thread alone, at sigwait; every thread started
    // later inherits the mask.
    const sigset_t wanted = Wanted();
    pthread_sigmask(SIG_BLOCK, &wanted, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

ServerRequest WaitServerRequest() {
    const sigset_t wanted = Wanted();
    while (true) {
        int signal = 0;
        if (sigwait(&wanted, &signal) != 0) continue;
        return signal == SIGHUP ? ServerRequest::Reload : ServerRequest::Stop;
    }
}

bool StopPending() {
    sigset_t pending;
    sigemptyset(&pending);
    if (sigpending(&pending) != 0) return false;
    return sigismember(&pending, SIGTERM) == 1 || sigismember(&pending, SIGINT) == 1;
}

bool WriteStandardOutput(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
        if (put > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(put));
            continue;
        }
        if (put < 0 && errno == EINTR) continue;
        // Another process sharing the terminal may have made it non-blocking.
        if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{STDOUT_FILENO, POLLOUT, 0};
            (void)::poll(&p, 1, -1);
            continue;
        }
        return false;
    }
    return true;
}

const char* ServerRequestsHelp() {
    return "  SIGTERM で終了（転送中は中止）、SIGHUP で Machines.ini を読み直します。\n";
}

}  // namespace wexal
