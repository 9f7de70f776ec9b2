#include "support/dnc_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string_view>
#include <thread>

#include "platform/text_codec.h"
#include "support/test_env.h"

extern char** environ;

namespace wexal::test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

DncProcess::DncProcess(fs::path home)
    : DncProcess(home, {BinDir() + "/wexal-dnc"}, home.string(), {}) {}

DncProcess::DncProcess(fs::path home, std::vector<std::string> command, std::string homeAsSeen,
                       std::vector<std::string> extraEnv)
    : home_(std::move(home)),
      command_(std::move(command)),
      homeAsSeen_(std::move(homeAsSeen)),
      extraEnv_(std::move(extraEnv)) {}

DncProcess::~DncProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

bool DncProcess::Start(std::vector<std::string> args) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (home_ / "dnc.out").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (home_ / "dnc.err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    args.insert(args.begin(), command_.begin(), command_.end());
    std::vector<std::string> env = {"WEXAL_HOME=" + homeAsSeen_};
    env.insert(env.end(), extraEnv_.begin(), extraEnv_.end());
    for (char** e = environ; *e != nullptr; ++e) {
        if (std::string_view(*e).starts_with("WEXAL_")) continue;
        env.emplace_back(*e);
    }
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    const int rc = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) pid_ = -1;
    return rc == 0;
}

void DncProcess::Signal(int signal) const { ::kill(pid_, signal); }

bool DncProcess::WaitForOpen(const std::string& device, std::chrono::milliseconds limit) const {
    const auto until = Clock::now() + limit;
    const fs::path fds = "/proc/" + std::to_string(pid_) + "/fd";
    while (Clock::now() < until) {
        std::error_code error;
        for (const auto& fd : fs::directory_iterator(fds, error)) {
            std::error_code ignored;
            if (fs::read_symlink(fd.path(), ignored) == device) return true;
        }
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

std::optional<int> DncProcess::WaitExit(std::chrono::milliseconds limit) {
    const auto until = Clock::now() + limit;
    while (Clock::now() < until) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            if (WIFEXITED(status)) return WEXITSTATUS(status);
            return 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(10ms);
    }
    return std::nullopt;
}

std::string DncProcess::Out() const { return ReadFileBytes(home_ / "dnc.out"); }

std::string DncProcess::Err() const { return ReadFileBytes(home_ / "dnc.err"); }

std::string DncProcess::Log() const { return Cp932ToUtf8Lossy(ReadFileBytes(home_ / "Wexal.log")); }

int DncProcess::Count(const std::string& text) const {
    const std::string out = Out();
    int n = 0;
    for (std::size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + 1)) ++n;
    return n;
}

bool DncProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds limit,
                               int seen) const {
    const auto until = Clock::now() + limit;
    while (Clock::now() < until) {
        if (Count(text) > seen) return true;
        std::this_thread::sleep_for(50ms);
    }
    return false;
}

}  // namespace wexal::test
