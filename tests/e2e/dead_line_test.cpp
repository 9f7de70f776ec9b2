// A line that takes nothing (a terminal whose far end never reads) must not
// hold up the end: the real Wexal, with a window and without, and the real
// wexal-dnc end within 5 s of SIGTERM, log the transfer as aborted and say why.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "config/run_outcome.h"
#include "support/dnc_fixture.h"
#include "support/test_env.h"
#include "support/wexal_process.h"
#include "support/x_display.h"

namespace wexal {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr const char* kStalled = "秒間データを受け取りませんでした。";

int Waiting(int fd) {
    int bytes = 0;
    return ::ioctl(fd, FIONREAD, &bytes) == 0 ? bytes : -1;
}

// The NC says it is ready (DC1) until bytes come, and then reads nothing:
// returns once the line holds no more. The writer keeps the line's pace, so
// filling the pseudo-terminal takes it a while; the test's own descriptor of
// the slave (watch) sees when nothing more fits.
bool WaitUntilFull(int master, int watch) {
    const auto until = Clock::now() + 45s;
    while (Waiting(master) <= 0 && Clock::now() < until) {
        (void)!::write(master, "\x11", 1);
        std::this_thread::sleep_for(200ms);
    }
    // A look during one of the writer's writes finds no room too, and the
    // kernel still takes a few hundred bytes into a buffer it began after
    // it says there is none: full is what three seconds of looks all find.
    int fullLooks = 0;
    while (Clock::now() < until) {
        pollfd p{watch, POLLOUT, 0};
        fullLooks = ::poll(&p, 1, 0) == 0 ? fullLooks + 1 : 0;
        if (fullLooks > 30) return true;
        std::this_thread::sleep_for(100ms);
    }
    return false;
}

// A descriptor of the slave of its own, opened before the program takes the
// line for itself.
int WatchSlave(const test::PseudoTerminal& line) {
    return ::open(line.slave().c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

std::string LongProgram() {
    std::string text = "%\nO1234\n";
    for (int i = 1; text.size() < 400000; ++i) {
        text += "N" + std::to_string(i) + "G01X" + std::to_string(i % 1000) + ".Y-5.F300\n";
    }
    return text + "M30\n%\n";
}

TEST(DeadLineTest, WexalEndsOnSigtermWhileItsLineTakesNothing) {
    test::VirtualDisplay display;
    struct Case {
        const char* name;
        bool window;
    };
    const Case cases[] = {{"command-line send", false}, {"send in a window", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.window && !display.ok()) {
            ADD_FAILURE() << "Xvfb is needed";
            continue;
        }
        test::TempDir program, runtime, nc;
        fs::permissions(runtime.path(), fs::perms::owner_all);
        test::WriteFileBytes(program / "Wexal.INI",
                             "[Setting]\nPort=COM1\nSpeed=19200,8,N,1\nCode=N\nSignal=Y\n"
                             "StartChar=N\nEndChar=Y\n");
        const fs::path file = nc / "O1234.NC";
        test::WriteFileBytes(file, LongProgram());
        test::PseudoTerminal line;
        ASSERT_TRUE(line.ok());

        const int watch = WatchSlave(line);
        ASSERT_GE(watch, 0);
        test::WexalProcess wexal(program.path(), runtime.path());
        if (c.window) wexal.SetEnvironment({"QT_QPA_PLATFORM=xcb", "DISPLAY=" + display.name()});
        ASSERT_TRUE(wexal.Start(line.slave(), {"S=" + file.string(), "END"}));
        const bool full = WaitUntilFull(line.master(), watch);
        ::close(watch);
        ASSERT_TRUE(full) << wexal.Stderr();
        ASSERT_EQ(wexal.WaitExit(0ms), std::nullopt) << "ended before the signal\n" << wexal.Stderr();

        const auto signalled = Clock::now();
        ::kill(wexal.pid(), SIGTERM);
        const std::optional<int> status = wexal.WaitExit(5s);
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - signalled);
        std::printf("[ measured ] %s: ended %lld ms after SIGTERM\n", c.name,
                    static_cast<long long>(took.count()));
        EXPECT_EQ(status, std::optional<int>(kExitAborted)) << wexal.Stderr();
        const std::regex entry("送信　　中止　[0-9/: ]+　" + file.string() + "\r\n");
        EXPECT_TRUE(std::regex_search(wexal.Log(), entry)) << wexal.Log();
        EXPECT_NE(wexal.Stderr().find(kStalled), std::string::npos) << wexal.Stderr();
    }
}

using test::DncServerTest;

// The NC asks for a program and then never reads again.
TEST_F(DncServerTest, ASendThatCannotGoOutEndsOnSigterm) {
    test::WriteFileBytes(SendDir("MC1") / "O1234.NC", LongProgram());
    test::PseudoTerminal nc;
    ASSERT_TRUE(nc.ok());
    Configure({{"MC1", nc.slave()}}, "Speed=19200,8,N,1\n");
    const int watch = WatchSlave(nc);
    ASSERT_GE(watch, 0);
    ASSERT_TRUE(dnc_.Start());
    ASSERT_TRUE(dnc_.WaitForOpen(nc.slave(), 20s)) << dnc_.Out();

    ASSERT_TRUE(test::PunchIso(nc.master(), "%\nO9999(REQ O1234)\n%\n"));
    ASSERT_TRUE(dnc_.WaitForOutput("要求　　受付", 20s)) << dnc_.Out();
    const bool full = WaitUntilFull(nc.master(), watch);
    ::close(watch);
    ASSERT_TRUE(full) << dnc_.Out();

    const auto signalled = Clock::now();
    dnc_.Signal(SIGTERM);
    const std::optional<int> status = dnc_.WaitExit(5s);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - signalled);
    std::printf("[ measured ] wexal-dnc: ended %lld ms after SIGTERM\n",
                static_cast<long long>(took.count()));
    ASSERT_EQ(status, std::optional<int>(0)) << dnc_.Out();
    EXPECT_TRUE(std::regex_search(
        dnc_.Log(), test::Entry("送信　　中止　", (SendDir("MC1") / "O1234.NC").string(), "MC1")))
        << dnc_.Log();
    EXPECT_NE(dnc_.Out().find(kStalled), std::string::npos) << dnc_.Out();
    EXPECT_EQ(dnc_.Out().find("時間内に停止できませんでした"), std::string::npos) << dnc_.Out();
}

}  // namespace
}  // namespace wexal
