// The real wexal-dnc with a standard output nobody reads (a pipe the test
// fills and leaves), and stopped while a reload waits for a machine that
// hangs.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/dnc_fixture.h"
#include "support/ncsim_process.h"
#include "support/test_env.h"

extern char** environ;

namespace wexal {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::BigProgram;
using test::DncServerTest;
using test::NcsimProcess;
namespace fs = std::filesystem;

// wexal-dnc whose standard output is a pipe: read only when the test says,
// and filled by the test whenever it likes, through a write end of its own.
class PipedDnc {
public:
    explicit PipedDnc(fs::path home) : home_(std::move(home)) {}
    ~PipedDnc() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        for (const int fd : {read_, write_}) {
            if (fd >= 0) ::close(fd);
        }
    }

    bool Start() {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) return false;
        read_ = ends[0];
        ::fcntl(read_, F_SETFL, O_NONBLOCK);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (home_ / "dnc.err").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::string program = test::BinDir() + "/wexal-dnc";
        std::vector<std::string> env = {"WEXAL_HOME=" + home_.string()};
        for (char** e = environ; *e != nullptr; ++e) {
            if (!std::string_view(*e).starts_with("WEXAL_")) env.emplace_back(*e);
        }
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        char* argv[] = {program.data(), nullptr};
        const int rc = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&actions);
        // A description of the pipe apart from the server's, so that the
        // test's filling never waits and never makes the server's writes
        // non-blocking.
        write_ = ::open(("/proc/self/fd/" + std::to_string(ends[1])).c_str(),
                        O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        ::close(ends[1]);
        if (rc != 0) pid_ = -1;
        return rc == 0 && write_ >= 0;
    }

    // Fills the pipe to the last byte with lines of '#': the server's next
    // line waits. Writes of up to a page are whole or nothing.
    void Stall() const {
        for (const std::size_t size : {4096, 1024, 256, 64, 16, 4, 2}) {
            const std::string filler = std::string(size - 1, '#') + "\n";
            while (::write(write_, filler.data(), filler.size()) > 0) {
            }
        }
    }

    // Reads until the server's lines (the filler left out) hold the text,
    // or `limit` passed; what was read stays in Out().
    bool ReadUntil(const std::string& text, std::chrono::milliseconds limit) {
        const auto until = Clock::now() + limit;
        while (true) {
            char chunk[65536];
            ssize_t got;
            while ((got = ::read(read_, chunk, sizeof chunk)) > 0) {
                for (const char c : std::string_view(chunk, static_cast<std::size_t>(got))) {
                    line_ += c;
                    if (c != '\n') continue;
                    if (line_.find_first_not_of("#\n") != std::string::npos) out_ += line_;
                    line_.clear();
                }
            }
            if (out_.find(text) != std::string::npos) return true;
            if (Clock::now() >= until) return false;
            std::this_thread::sleep_for(20ms);
        }
    }
    const std::string& Out() const { return out_; }

    void Signal(int signal) const { ::kill(pid_, signal); }
    std::optional<int> WaitExit(std::chrono::milliseconds limit) {
        const auto until = Clock::now() + limit;
        while (Clock::now() < until) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(10ms);
        }
        return std::nullopt;
    }

private:
    fs::path home_;
    pid_t pid_ = -1;
    int read_ = -1;
    int write_ = -1;
    std::string line_;
    std::string out_;
};

// Lines that end in "　<machine>": the log's entries, in the file (CR LF) or
// on standard output (LF).
int Entries(const std::string& text, const std::string& machine) {
    const std::regex entry("　" + machine + "\r?\n");
    return static_cast<int>(std::distance(
        std::sregex_iterator(text.begin(), text.end(), entry), std::sregex_iterator()));
}

TEST_F(DncServerTest, AStalledOutputHoldsNoMachineAndNotTheEnd) {
    constexpr int kFloodRequests = 600;
    // Ports that come only once the output is stalled: the server tries
    // them every few seconds.
    Configure({{"FLOOD", (work_ / "flood.tty").string()},
               {"PUNCH", (work_ / "punch.tty").string()}});
    PipedDnc dnc(home_.path());
    ASSERT_TRUE(dnc.Start());
    ASSERT_TRUE(dnc.ReadUntil("PUNCH: COM2のポートが開きません", 20s)) << dnc.Out();
    ASSERT_TRUE(dnc.ReadUntil("FLOOD: COM1のポートが開きません", 20s)) << dnc.Out();
    dnc.Stall();

    // FLOOD asks for more files than the output can keep lines for later
    // (names no file has: each a refusal in the log and a line), while PUNCH
    // punches a program.
    std::string flood = "%\n";
    for (int i = 1; i <= kFloodRequests; ++i) {
        flood += "O9999(REQ NO/" + std::to_string(i) + std::string(100, 'X') + ")\nM30\n";
    }
    flood += "%\n";
    test::WriteFileBytes(work_ / "flood.nc", flood);
    test::WriteFileBytes(work_ / "punch.nc", "%\nO5000(ONE)\nG01X5.F100\nM30\n%\n");
    NcsimProcess floodNc, punchNc;
    ASSERT_TRUE(floodNc.Start({"punch", (work_ / "flood.nc").string(), "--line", "none", "--code",
                               "iso", "--link", (work_ / "flood.tty").string(), "--report",
                               (work_ / "flood.rep").string(), "--idle-timeout", "60"}));
    ASSERT_TRUE(punchNc.Start({"punch", (work_ / "punch.nc").string(), "--line", "none", "--code",
                               "iso", "--link", (work_ / "punch.tty").string(), "--report",
                               (work_ / "punch.rep").string(), "--idle-timeout", "60"}));
    EXPECT_EQ(punchNc.WaitExit(60s), std::optional<int>(0));
    EXPECT_EQ(floodNc.WaitExit(120s), std::optional<int>(0));

    // Saved and in the log, whatever the output does.
    const fs::path saved = ReceiveDir("PUNCH") / "O5000.NC";
    const auto until = Clock::now() + 60s;
    while (Clock::now() < until && Entries(dnc_.Log(), "FLOOD") < kFloodRequests) {
        std::this_thread::sleep_for(100ms);
    }
    const std::string log = dnc_.Log();
    EXPECT_EQ(test::ReadFileBytes(saved), "O5000(ONE)\r\nG01 X5. F100\r\nM30\r\n%\r\n");
    EXPECT_TRUE(std::regex_search(log, test::Entry("受信　　完了　", saved.string(), "PUNCH"))) << log;
    ASSERT_EQ(Entries(log, "FLOOD"), kFloodRequests);

    // Read again: what was kept comes out, then how many lines were left out
    // of the journal; the log has every one of them.
    ASSERT_TRUE(dnc.ReadUntil("行を省きました）\n", 30s)) << dnc.Out().substr(0, 2000);
    const std::string out = dnc.Out();
    std::smatch note;
    ASSERT_TRUE(std::regex_search(
        out, note, std::regex("wexal-dnc: （出力が止まっていた間の (\\d+) 行を省きました）\n")));
    const int dropped = std::stoi(note[1]);
    EXPECT_GT(dropped, 0);
    EXPECT_EQ(Entries(out, "FLOOD") + Entries(out, "PUNCH") + dropped,
              Entries(log, "FLOOD") + Entries(log, "PUNCH"));

    // Stalled once more, SIGTERM still ends it.
    dnc.Stall();
    const auto signalled = Clock::now();
    dnc.Signal(SIGTERM);
    EXPECT_EQ(dnc.WaitExit(5s), std::optional<int>(0));
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - signalled);
    std::printf("SIGTERM with the output stalled: ended after %lld ms\n",
                static_cast<long long>(took.count()));
}

TEST_F(DncServerTest, SigtermDuringAReloadThatWaitsForAHungMachineEndsWithin5Seconds) {
    // HUNG sends a program to a terminal nobody reads: once the terminal's
    // buffer is full its send waits and never notices a stop.
    test::WriteFileBytes(SendDir("HUNG") / "O1000.NC", BigProgram("O1000", 1024u * 1024u).first);
    test::PseudoTerminal hung, other;
    ASSERT_TRUE(hung.ok() && other.ok());
    Configure({{"HUNG", hung.slave()}, {"OTHER", other.slave()}});
    ASSERT_TRUE(dnc_.Start());
    ASSERT_TRUE(dnc_.WaitForOpen(hung.slave(), 20s)) << dnc_.Out();
    const std::string request = "%\nO9999(REQ O1000)\n%\n";
    ASSERT_EQ(::write(hung.master(), request.data(), request.size()),
              static_cast<ssize_t>(request.size()));
    ASSERT_TRUE(dnc_.WaitForOutput("要求　　受付", 20s)) << dnc_.Out();
    const char dc1 = 0x11;
    ASSERT_EQ(::write(hung.master(), &dc1, 1), 1);
    // Full: what waits in the terminal stops growing.
    int waiting = -1;
    for (int same = 0; same < 10;) {
        std::this_thread::sleep_for(100ms);
        int now = 0;
        ::ioctl(hung.master(), FIONREAD, &now);
        same = now > 0 && now == waiting ? same + 1 : 0;
        waiting = now;
    }

    // HUNG goes from the configuration: the reload stops it and waits.
    Configure({{"OTHER", other.slave()}});
    dnc_.Signal(SIGHUP);
    ASSERT_TRUE(dnc_.WaitForOutput("HUNG: 設定が変わったため停止します。", 20s)) << dnc_.Out();
    std::this_thread::sleep_for(200ms);
    const auto signalled = Clock::now();
    dnc_.Signal(SIGTERM);
    EXPECT_EQ(dnc_.WaitExit(5s), std::optional<int>(0)) << dnc_.Out();
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - signalled);
    std::printf("SIGTERM during the reload: ended after %lld ms\n",
                static_cast<long long>(took.count()));
    EXPECT_NE(dnc_.Out().find("HUNG: 時間内に停止できませんでした。"), std::string::npos)
        << dnc_.Out();
}

}  // namespace
}  // namespace wexal
