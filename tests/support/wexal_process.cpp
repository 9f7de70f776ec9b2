#include "support/wexal_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

#include "platform/text_codec.h"
#include "support/test_env.h"

namespace wexal::test {

WexalProcess::~WexalProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

bool WexalProcess::Start(const std::string& port, std::vector<std::string> args,
                         const std::string& portName) {
    std::vector<std::string> env = {
        "QT_QPA_PLATFORM=offscreen",
        "WEXAL_HOME=" + program_.string(),
        "XDG_RUNTIME_DIR=" + runtime_.string(),
        "HOME=" + program_.string(),
        "WEXAL_" + portName + "=" + port,
    };
    for (const std::string& entry : extraEnv_) {
        const std::string name = entry.substr(0, entry.find('=') + 1);
        std::erase_if(env, [&](const std::string& e) { return e.starts_with(name); });
        env.push_back(entry);
    }
    args.insert(args.begin(), BinDir() + "/Wexal");
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    for (auto& e : env) envp.push_back(e.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    const std::string err = (program_ / "stderr.txt").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int rc = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0;
}

std::optional<int> WexalProcess::WaitExit(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    do {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < end);
    return std::nullopt;
}

std::string WexalProcess::Log() const { return Cp932ToUtf8Lossy(ReadFileBytes(program_ / "Wexal.log")); }

std::string WexalProcess::Stderr() const { return ReadFileBytes(program_ / "stderr.txt"); }

}  // namespace wexal::test
