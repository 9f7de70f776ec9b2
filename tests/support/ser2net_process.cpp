#include "support/ser2net_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

namespace wexal::test {

namespace {

namespace fs = std::filesystem;

// The loopback port a process listens on: its socket inodes matched against
// the kernel's table of listening TCP sockets.
std::optional<int> ListeningPort(pid_t pid) {
    std::set<std::string> inodes;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        const std::string target = fs::read_symlink(entry.path(), ec).string();
        if (target.rfind("socket:[", 0) == 0) inodes.insert(target.substr(8, target.size() - 9));
    }
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
        fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
            timeout >> inode;
        if (state == "0A" && inodes.count(inode) > 0) {
            return static_cast<int>(std::stoul(local.substr(local.find(':') + 1), nullptr, 16));
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> Ser2netProcess::Binary() {
    std::string path = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
    path += ":/usr/sbin:/usr/local/sbin";
    std::istringstream dirs(path);
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const fs::path candidate = fs::path(dir.empty() ? "." : dir) / "ser2net";
        if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    }
    return std::nullopt;
}

Ser2netProcess::~Ser2netProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
}

bool Ser2netProcess::Start(const std::string& tty, bool rfc2217, const std::string& line,
                           const fs::path& folder) {
    const std::optional<std::string> binary = Binary();
    if (!binary) return false;
    rfc2217_ = rfc2217;
    const fs::path config = folder / "ser2net.yaml";
    std::ofstream(config) << "connection: &machine\n  accepter: "
                          << (rfc2217 ? "telnet(rfc2217),tcp" : "tcp") << ",127.0.0.1,0\n"
                          << "  connector: serialdev," << tty << "," << line << ",local\n";
    std::vector<std::string> args = {*binary, "-n", "-c", config.string()};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string log = (folder / "ser2net.log").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    const int rc = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        pid_ = -1;
        return false;
    }
    for (int i = 0; i < 200; ++i) {
        if (const std::optional<int> port = ListeningPort(pid_)) {
            port_ = *port;
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return false;
}

std::string Ser2netProcess::Url() const {
    return std::string(rfc2217_ ? "rfc2217" : "tcp") + "://127.0.0.1:" + std::to_string(port_);
}

}  // namespace wexal::test
