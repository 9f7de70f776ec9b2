// A line that takes nothing (a terminal whose far end never reads) must not
// hold up the end: the real Wexal, with a window and without, and the real
// wexal-dnc end within 5 s of SIGTERM, log the transfer as aborted and say why.
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
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

// Calls poke until the far end of the terminal holds bytes, then waits until
// they stop growing: the line takes nothing more.
bool WaitUntilFull(int master, const std::function<void()>& poke) {
    const auto until = Clock::now() + 20s;
    while (Waiting(master) <= 0 && Clock::now() < until) {
        poke();
        std::this_thread::sleep_for(200ms);
    }
    int last = -1;
    while (Waiting(master) != last && Clock::now() < until) {
        last = Waiting(master);
        std::this_thread::sleep_for(500ms);
    }
    return last > 0 && Clock::now() < until;
}

bool HoldsOpen(pid_t pid, const std::string& device) {
    const auto until = Clock::now() + 20s;
    while (Clock::now() < until) {
        std::error_code error;
        for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", error)) {
            std::error_code ignored;
            if (fs::read_symlink(fd.path(), ignored) == device) return true;
        }
        std::this_thread::sleep_for(20ms);
    }
    return false;
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
        const char* mode;  // S= or R=
        bool window;
        const char* entry;
        const char* says;  // on standard error
    };
    const Case cases[] = {
        {"command-line send", "S=", false, "送信　　中止　", kStalled},
        // On the signal the receive sends no DC4: nothing waits for the line.
        {"command-line receive", "R=", false, "受信　　中止　", "受信を中止しました。"},
        {"send in a window", "S=", true, "送信　　中止　", kStalled},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.window && !display.ok()) {
            ADD_FAILURE() << "Xvfb is needed";
            continue;
        }
        test::TempDir program, runtime, nc;
        fs::permissions(runtime.path(), fs::perms::owner_all);
        test::WriteFileBytes(program / "Wexal.INI",
                             "[Setting]\nPort=COM1\nSpeed=9600,8,N,2\nCode=N\nSignal=Y\n"
                             "StartChar=N\nEndChar=Y\nR_Code=1\n[Options]\nKeepRevisions=1\n");
        const fs::path file = nc / "O1234.NC";
        if (std::string(c.mode) == "S=") test::WriteFileBytes(file, LongProgram());
        test::PseudoTerminal line;
        ASSERT_TRUE(line.ok());
        // The receive writes nothing but its DC4: the test's own writer on
        // the port fills what the far end never reads.
        const int writer = ::open(line.slave().c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(writer, 0);

        test::WexalProcess wexal(program.path(), runtime.path());
        if (c.window) wexal.SetEnvironment({"QT_QPA_PLATFORM=xcb", "DISPLAY=" + display.name()});
        ASSERT_TRUE(wexal.Start(line.slave(), {c.mode + file.string(), "END"}));
        if (std::string(c.mode) == "S=") {
            // The NC says it is ready once, and then reads nothing.
            ASSERT_TRUE(WaitUntilFull(line.master(), [&] { (void)!::write(line.master(), "\x11", 1); }))
                << wexal.Stderr();
        } else {
            ASSERT_TRUE(HoldsOpen(wexal.pid(), line.slave()));
            std::this_thread::sleep_for(1s);  // past the purge of the opening
            const std::string block(4096, 'X');
            ASSERT_TRUE(WaitUntilFull(line.master(), [&] {
                for (std::size_t size : {block.size(), std::size_t{1}}) {
                    while (::write(writer, block.data(), size) > 0) {
                    }
                }
            }));
        }
        ::close(writer);
        ASSERT_EQ(wexal.WaitExit(0ms), std::nullopt) << "ended before the signal\n" << wexal.Stderr();

        const auto signalled = Clock::now();
        ::kill(wexal.pid(), SIGTERM);
        const std::optional<int> status = wexal.WaitExit(5s);
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - signalled);
        std::printf("[ measured ] %s: ended %lld ms after SIGTERM\n", c.name,
                    static_cast<long long>(took.count()));
        EXPECT_EQ(status, std::optional<int>(kExitAborted)) << wexal.Stderr();
        const std::regex entry(std::string(c.entry) + "[0-9/: ]+　" + file.string() + "\r\n");
        EXPECT_TRUE(std::regex_search(wexal.Log(), entry)) << wexal.Log();
        EXPECT_NE(wexal.Stderr().find(c.says), std::string::npos) << wexal.Stderr();
    }
}

// The NC asks for a program and then never reads again.
using test::DncServerTest;

TEST_F(DncServerTest, ASendThatCannotGoOutEndsOnSigterm) {
    test::WriteFileBytes(SendDir("MC1") / "O1234.NC", LongProgram());
    test::PseudoTerminal nc;
    ASSERT_TRUE(nc.ok());
    Configure({{"MC1", nc.slave()}});
    ASSERT_TRUE(dnc_.Start());
    ASSERT_TRUE(dnc_.WaitForOpen(nc.slave(), 20s)) << dnc_.Out();

    std::string tape;  // ISO: even parity in the eighth bit
    for (const char c : std::string("%\nO9999(REQ O1234)\n%\n")) {
        const auto byte = static_cast<unsigned char>(c);
        tape += static_cast<char>(__builtin_parity(byte) ? byte | 0x80 : byte);
    }
    ASSERT_EQ(::write(nc.master(), tape.data(), tape.size()), static_cast<ssize_t>(tape.size()));
    ASSERT_TRUE(dnc_.WaitForOutput("要求　　受付", 20s)) << dnc_.Out();
    ASSERT_TRUE(WaitUntilFull(nc.master(), [&] { (void)!::write(nc.master(), "\x11", 1); }))
        << dnc_.Out();

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
