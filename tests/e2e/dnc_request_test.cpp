// What the real wexal-dnc makes of the names an NC asks for, and of an NC
// that repeats a bad request as fast as its line goes.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>

#include <gtest/gtest.h>

#include "support/dnc_fixture.h"
#include "support/test_env.h"

namespace wexal {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::DncServerTest;
using test::Entry;
using test::IsoTape;
using test::TakeBack;

// A request tape whose name is the bytes given, as the NC punches them.
std::string RequestTape(std::string_view name) {
    return IsoTape("%\nO9999(REQ " + std::string(name) + ")\n%\n");
}

// utime + stime of a process, in seconds.
double CpuSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string skip;
    for (int i = 3; i < 14; ++i) fields >> skip;
    long long user = 0, system = 0;
    fields >> user >> system;
    return static_cast<double>(user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

TEST_F(DncServerTest, ANameIsTakenAsItStandsAndFoundWhateverTheCaseOfItsLetters) {
    // Each name would find a file if it were taken otherwise.
    for (const char* file : {"o3000.nc", "O2000#1.NC", ".HIDDEN", "O2000.NC", "o2000.nc", "POOO.NC"}) {
        test::WriteFileBytes(SendDir("MC1") / file, "%\n" + std::string(file) + "\nM30\n%\n");
    }
    test::PseudoTerminal nc;
    ASSERT_TRUE(nc.ok());
    Configure({{"MC1", nc.slave()}}, "Signal=N\n");
    ASSERT_TRUE(dnc_.Start());
    ASSERT_TRUE(dnc_.WaitForOpen(nc.slave(), 20s)) << dnc_.Out();

    const struct {
        const char* punched;  // the name's bytes on the tape
        const char* logged;   // the refusal in the log; "" when the program is sent
    } cases[] = {
        {"O3000", ""},
        {"O2000#1", "O2000#1（名前に使えない文字「#」が有ります。使えるのは半角の英数字と「.」「-」「_」です。）"},
        {".HIDDEN", ".HIDDEN（「.」で始まる名前は使えません。）"},
        {"O2000", "O2000（大文字と小文字だけが違うファイル「O2000.NC」「o2000.nc」が有り、"
                  "どれを送るか決められません。）"},
        // "Ｏ１０００" in Shift_JIS: the receive drops the bytes it cannot
        // take, and what is left (POOO) is no request at all.
        {"\x82\x6E\x82\x50\x82\x4F\x82\x4F\x82\x4F", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logged ? c.logged : "Ｏ１０００ in Shift_JIS");
        const int refusals = dnc_.Count("要求　　拒否");
        const std::string tape = RequestTape(c.punched);
        ASSERT_EQ(::write(nc.master(), tape.data(), tape.size()), static_cast<ssize_t>(tape.size()));
        if (c.logged && *c.logged == '\0') {
            // Every byte of the file in ISO code, after the LF that stands
            // for no start characters.
            ASSERT_TRUE(dnc_.WaitForOutput("送信　　完了", 30s)) << dnc_.Out();
            EXPECT_EQ(TakeBack(nc.master()), IsoTape("\no3000.nc\nM30\n\n%"));
            const std::string file = (SendDir("MC1") / "o3000.nc").string();
            EXPECT_TRUE(std::regex_search(dnc_.Log(), Entry("要求　　受付　", file, "MC1")));
            continue;
        }
        if (c.logged) {
            EXPECT_TRUE(dnc_.WaitForOutput("要求　　拒否", 20s, refusals)) << dnc_.Out();
            EXPECT_NE(dnc_.Log().find(std::string(c.logged) + "　MC1\r\n"), std::string::npos);
        }
        EXPECT_FALSE(dnc_.WaitForOutput("要求　　受付", 3s, 1)) << dnc_.Out();
        // No program comes back, at most a control character.
        const std::string back = TakeBack(nc.master());
        EXPECT_TRUE(std::none_of(back.begin(), back.end(), [](char b) { return std::isgraph(b & 0x7F); }));
    }
    EXPECT_EQ(dnc_.Count("送信　　"), 1) << dnc_.Out();

    dnc_.Signal(SIGTERM);
    EXPECT_EQ(dnc_.WaitExit(5s), std::optional<int>(0));
}

TEST_F(DncServerTest, AFloodOfOneBadRequestIsLoggedOnceAMinuteWithTheCountOfRepeats) {
    test::PseudoTerminal nc;
    ASSERT_TRUE(nc.ok());
    Configure({{"MC1", nc.slave()}});
    ASSERT_TRUE(dnc_.Start());
    ASSERT_TRUE(dnc_.WaitForOpen(nc.slave(), 20s)) << dnc_.Out();

    // The NC punches the same request for a missing program as fast as the
    // server takes it, for 10 seconds.
    const std::string tape = RequestTape("O4444");
    ::fcntl(nc.master(), F_SETFL, ::fcntl(nc.master(), F_GETFL) | O_NONBLOCK);
    long punched = 0;
    const double cpuBefore = CpuSeconds(dnc_.pid());
    const auto start = Clock::now();
    std::size_t at = 0;
    while (Clock::now() - start < 10s) {
        const ssize_t n = ::write(nc.master(), tape.data() + at, tape.size() - at);
        if (n > 0) {
            at += static_cast<std::size_t>(n);
            if (at == tape.size()) {
                at = 0;
                ++punched;
            }
            continue;
        }
        (void)TakeBack(nc.master());
        pollfd ready{nc.master(), POLLOUT, 0};
        ::poll(&ready, 1, 20);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = CpuSeconds(dnc_.pid()) - cpuBefore;
    std::printf("request flood: %ld requests punched in %.1f s; server CPU %.2f s = %.1f%% of one core\n",
                punched, seconds, cpu, cpu / seconds * 100);

    ASSERT_GT(punched, 10);
    // (Not the output itself in a failure: before, it ran to megabytes.)
    ASSERT_EQ(dnc_.Count("要求　　拒否"), 1);

    // A minute on, the same refusal is logged again with the count of those
    // that were not.
    std::this_thread::sleep_until(start + 61s);
    (void)TakeBack(nc.master());
    ::fcntl(nc.master(), F_SETFL, ::fcntl(nc.master(), F_GETFL) & ~O_NONBLOCK);
    ASSERT_EQ(::write(nc.master(), tape.data(), tape.size()), static_cast<ssize_t>(tape.size()));
    ASSERT_TRUE(dnc_.WaitForOutput("要求　　拒否", 20s, 1));
    std::smatch repeats;
    const std::string log = dnc_.Log();
    ASSERT_TRUE(std::regex_search(log, repeats,
                                  std::regex("\\d　O4444（ファイルが有りません。）（前回の記録の後に"
                                             "同じ拒否 (\\d+) 回）　MC1\r\n")));
    EXPECT_GE(std::stol(repeats[1]), 1);
    EXPECT_LE(std::stol(repeats[1]), punched);

    dnc_.Signal(SIGTERM);
    EXPECT_EQ(dnc_.WaitExit(5s), std::optional<int>(0));
}

}  // namespace
}  // namespace wexal
