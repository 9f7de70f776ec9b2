#include "platform/server_process.h"

#include <pthread.h>
#include <signal.h>

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

const char* ServerRequestsHelp() {
    return "  SIGTERM で終了（転送中は中止）、SIGHUP で Machines.ini を読み直します。\n";
}

}  // namespace wexal
