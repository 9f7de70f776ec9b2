#include "support/ncsim_process.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "support/test_paths.h"

extern char** environ;

namespace wexal::test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

NcsimProcess::~NcsimProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) ::close(out_);
}

bool NcsimProcess::Start(std::vector<std::string> args) {
    int fds[2];
    if (::pipe(fds) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    args.insert(args.begin(), BinDir() + "/ncsim");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    out_ = fds[0];
    if (rc != 0) {
        pid_ = -1;
        return false;
    }
    std::string line;
    char c = 0;
    while (ReadWithin(out_, &c, 5s) && c != '\n') line += c;
    slave_ = line;
    // A pseudo-terminal's path, or the URL of the TCP port it serves.
    return slave_.rfind("/dev/", 0) == 0 || slave_.find("://") != std::string::npos;
}

std::optional<int> NcsimProcess::WaitExit(std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    do {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(10ms);
    } while (Clock::now() < end);
    return std::nullopt;
}

bool NcsimProcess::ReadWithin(int fd, char* c, std::chrono::milliseconds limit) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(limit.count())) == 1 && ::read(fd, c, 1) == 1;
}

}  // namespace wexal::test
