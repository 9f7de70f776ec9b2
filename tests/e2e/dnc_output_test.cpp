// The real wexal-dnc with a standard output nobody reads (a pipe the test
// fills and leaves), and stopped while a reload waits for a machine that
// hangs.

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/unique_fd.h"
#include "support/dnc_fixture.h"
#include "support/ncsim_process.h"
#include "support/test_env.h"

namespace wexal {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::BigProgram;
using test::DncServerTest;
using test::NcsimProcess;
namespace fs = std::filesystem;

// The server's standard output as a FIFO in place of its dnc.out: read only
// when the test says, and filled by the test through a write end of its own
// (a description apart from the server's, so the server's writes still wait).
class StalledOutput {
public:
    explicit StalledOutput(const fs::path& fifo)
        : read_((::mkfifo(fifo.c_str(), 0600),
                 ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC))),
          write_(::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) {}
    // Fills the pipe to the last byte with lines of '#': the server's next
    // line waits. Writes of up to a page are whole or nothing.
    void Stall() const {
        for (const std::size_t size : {4096, 1024, 256, 64, 16, 4, 2}) {
            const std::string filler = std::string(size - 1, '#') + "\n";
            while (::write(write_.get(), filler.data(), filler.size()) > 0) {
            }
        }
    }
    // Reads until the server's lines (the filler left out) hold the text.
    bool ReadUntil(const std::string& text, std::chrono::milliseconds limit) {
        for (const auto until = Clock::now() + limit; Clock::now() < until;) {
            char chunk[65536];
            for (ssize_t got; (got = ::read(read_.get(), chunk, sizeof chunk)) > 0;)
                raw_.append(chunk, got);
            for (std::size_t end; (end = raw_.find('\n')) != std::string::npos;
                 raw_.erase(0, end + 1)) {
                if (raw_[0] != '#') out_ += raw_.substr(0, end + 1);
            }
            if (out_.find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    const std::string& Out() const { return out_; }

private:
    UniqueFd read_, write_;
    std::string raw_, out_;
};

// Lines that end in "　<machine>": the log's entries, in the file (CR LF) or
// on standard output (LF).
int Entries(const std::string& text, const std::string& machine) {
    const std::regex entry("　" + machine + "\r?\n");
    return static_cast<int>(std::distance(std::sregex_iterator(text.begin(), text.end(), entry),
                                          std::sregex_iterator()));
}

void EndsWithin5Seconds(test::DncProcess& dnc, const char* when) {
    const auto signalled = Clock::now();
    dnc.Signal(SIGTERM);
    EXPECT_EQ(dnc.WaitExit(5s), std::optional<int>(0)) << when;
    std::printf("SIGTERM %s: ended after %lld ms\n", when,
                static_cast<long long>((Clock::now() - signalled) / 1ms));
}

TEST_F(DncServerTest, AStalledOutputHoldsNoMachineAndNotTheEnd) {
    constexpr int kFloodPrograms = 1500;
    // Ports that come only once the output is stalled: the server tries
    // them every few seconds.
    const auto Port = [this](const std::string& machine) {
        return (work_ / machine).string() + ".tty";
    };
    Configure({{"FLOOD", Port("FLOOD")}, {"PUNCH", Port("PUNCH")}});
    StalledOutput output(home_ / "dnc.out");
    ASSERT_TRUE(dnc_.Start());
    ASSERT_TRUE(output.ReadUntil("PUNCH: COM2のポートが開きません", 20s)) << output.Out();
    ASSERT_TRUE(output.ReadUntil("FLOOD: COM1のポートが開きません", 20s)) << output.Out();
    output.Stall();

    // FLOOD punches more programs than the output can keep lines for later
    // (each an entry in the log and a line), while PUNCH punches one.
    std::string flood = "%\n";
    for (int i = 1; i <= kFloodPrograms; ++i) {
        flood += "O" + std::to_string(i) + "(" + std::string(100, 'X') + ")\nM30\n";
    }
    flood += "%\n";
    test::WriteFileBytes(work_ / "FLOOD.nc", flood);
    test::WriteFileBytes(work_ / "PUNCH.nc", "%\nO5000(ONE)\nG01X5.F100\nM30\n%\n");
    NcsimProcess floodNc, punchNc;
    for (auto [nc, name] : {std::pair{&floodNc, "FLOOD"}, std::pair{&punchNc, "PUNCH"}}) {
        ASSERT_TRUE(nc->Start({"punch", (work_ / (std::string(name) + ".nc")).string(), "--line",
                               "none", "--code", "iso", "--link", Port(name), "--idle-timeout",
                               "60", "--report", (work_ / name).string()}));
    }
    EXPECT_EQ(punchNc.WaitExit(60s), std::optional<int>(0));
    EXPECT_EQ(floodNc.WaitExit(120s), std::optional<int>(0));

    // Saved and in the log, whatever the output does.
    const fs::path saved = ReceiveDir("PUNCH") / "O5000.NC";
    const auto until = Clock::now() + 60s;
    while (Clock::now() < until && Entries(dnc_.Log(), "FLOOD") < kFloodPrograms) {
        std::this_thread::sleep_for(100ms);
    }
    const std::string log = dnc_.Log();
    EXPECT_EQ(test::ReadFileBytes(saved), "O5000(ONE)\r\nG01 X5. F100\r\nM30\r\n%\r\n");
    EXPECT_TRUE(std::regex_search(log, test::Entry("受信　　完了　", saved.string(), "PUNCH")))
        << log;
    ASSERT_EQ(Entries(log, "FLOOD"), kFloodPrograms);

    // Read again: what was kept comes out, then how many lines were left out
    // of the journal; the log has every one of them.
    ASSERT_TRUE(output.ReadUntil("行を省きました）\n", 30s)) << output.Out().substr(0, 2000);
    const std::string out = output.Out();
    std::smatch note;
    ASSERT_TRUE(std::regex_search(
        out, note, std::regex("wexal-dnc: （出力が止まっていた間の (\\d+) 行を省きました）\n")));
    const int dropped = std::stoi(note[1]);
    EXPECT_GT(dropped, 0);
    // The count also takes in lines that are no entries ("…のポートが開きました。").
    const std::string logNow = dnc_.Log();
    const int shown = Entries(out, "FLOOD") + Entries(out, "PUNCH");
    const int logged = Entries(logNow, "FLOOD") + Entries(logNow, "PUNCH");
    EXPECT_LT(shown, logged);
    EXPECT_GE(shown + dropped, logged);

    // Stalled once more, SIGTERM still ends it.
    output.Stall();
    EndsWithin5Seconds(dnc_, "with the output stalled");
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
    // Full: what waits in the terminal stops growing for a second.
    for (int same = 0, waiting = -1, now = 0; same < 10; waiting = now) {
        std::this_thread::sleep_for(100ms);
        ::ioctl(hung.master(), FIONREAD, &now);
        same = now > 0 && now == waiting ? same + 1 : 0;
    }

    // HUNG goes from the configuration: the reload stops it and waits.
    Configure({{"OTHER", other.slave()}});
    dnc_.Signal(SIGHUP);
    ASSERT_TRUE(dnc_.WaitForOutput("HUNG: 設定が変わったため停止します。", 20s)) << dnc_.Out();
    std::this_thread::sleep_for(200ms);
    EndsWithin5Seconds(dnc_, "during the reload");
}

}  // namespace
}  // namespace wexal
