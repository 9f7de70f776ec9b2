// The NC simulator driven through its binary: the test plays the PC on the
// pseudo-terminal's slave with plain termios, as Wexal will.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/ncsim_process.h"
#include "support/test_env.h"

extern char** environ;

namespace wexal {
namespace {

using test::NcsimProcess;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

int OpenPort(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return -1;
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    return fd;
}

// Everything that arrives until the line has been quiet for `quiet`.
std::string ReadUntilQuiet(int fd, std::chrono::milliseconds quiet, size_t expected) {
    std::string got;
    const auto end = Clock::now() + 10s;
    char c = 0;
    while (Clock::now() < end && NcsimProcess::ReadWithin(fd, &c, quiet)) {
        got += c;
        if (got.size() == expected) break;
    }
    return got;
}

std::map<std::string, std::string> ReadReport(const std::filesystem::path& path) {
    std::map<std::string, std::string> report;
    std::istringstream in(test::ReadFileBytes(path));
    for (std::string line; std::getline(in, line);) {
        if (auto eq = line.find('='); eq != std::string::npos)
            report[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return report;
}

long long Number(const std::map<std::string, std::string>& report, const std::string& key) {
    auto it = report.find(key);
    return it == report.end() ? -1 : std::stoll(it->second);
}

// The ISO tape code, worked out here on its own: an eighth bit that makes the
// count of one bits even.
std::string Iso(const std::string& text) {
    std::string out;
    for (unsigned char c : text) out += static_cast<char>(__builtin_popcount(c) % 2 ? c | 0x80 : c);
    return out;
}

TEST(NcsimTest, HelpExplainsTheModesAndExitsZero) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    std::string bin = test::BinDir() + "/ncsim", help = "--help";
    char* argv[] = {bin.data(), help.data(), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(::posix_spawn(&pid, argv[0], &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    for (const char* word :
         {"receive", "punch", "request", "--drip", "--xoff-at", "--line", "--dc1", "--inject",
          "--leader", "--report"}) {
        EXPECT_NE(text.find(word), std::string::npos) << word;
    }
}

// The PC side sends as Wexal's byte writer does: ten bytes at the line's
// rate, then a look for XOFF with a 10 ms wait, and while held, waits for
// XON. The machine takes bytes in slower than the line brings them.
TEST(NcsimTest, ReceiveIsoHoldsAFastSenderWithXoffAtTheLineRate) {
    test::TempDir dir;
    NcsimProcess sim;
    ASSERT_TRUE(sim.Start({"receive",        "--dc1",
                           "--ready-delay",  "200",
                           "--line",         "4800,7,E,2",
                           "--code",         "iso",
                           "--xoff-at",      "64",
                           "--xon-at",       "16",
                           "--drain",        "200",
                           "--raw",          (dir / "raw.bin").string(),
                           "--text",         (dir / "text.nc").string(),
                           "--report",       (dir / "report.txt").string(),
                           "--idle-timeout", "10"}));

    // A probe that opens and closes at once is no transfer.
    int probe = ::open(sim.slave().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(probe, 0);
    termios before{};
    ASSERT_EQ(::tcgetattr(probe, &before), 0);
    EXPECT_EQ(::cfgetospeed(&before), static_cast<speed_t>(B4800));
    EXPECT_EQ(before.c_lflag & (ICANON | ECHO), 0u);
    std::this_thread::sleep_for(50ms);
    ::close(probe);
    std::this_thread::sleep_for(50ms);

    int fd = OpenPort(sim.slave());
    ASSERT_GE(fd, 0);
    char c = 0;
    ASSERT_TRUE(NcsimProcess::ReadWithin(fd, &c, 2s));
    EXPECT_EQ(c, '\x11');

    std::string program = "%\nO1000\n";
    for (int i = 0; i < 30; ++i)
        program += "N" + std::to_string(i) + " G01 X" + std::to_string(i) + ".5 Y-2.25\n";
    program += "M30\n%\n";
    std::string bytes = std::string(10, '\0') + Iso(program);
    const size_t badParity = bytes.find(static_cast<char>(0xD8));  // the first "X"
    bytes[badParity] = 'X';

    int xoffs = 0, xons = 0;
    bool held = false;
    const auto start = Clock::now();
    // The PC's side of the line is a UART: it writes no faster than 436
    // bytes a second; the machine takes in only 200.
    const auto byteTime = std::chrono::duration<double>(1.0 / 436.36);
    Clock::time_point lineFree = start;
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::this_thread::sleep_until(lineFree);
        lineFree = std::max(lineFree, Clock::now()) +
                   std::chrono::duration_cast<Clock::duration>(byteTime);
        ASSERT_EQ(::write(fd, &bytes[i], 1), 1);
        if ((i + 1) % 10 != 0 && i + 1 != bytes.size()) continue;
        do {
            if (NcsimProcess::ReadWithin(fd, &c, 10ms)) {
                if (c == '\x13') {
                    held = true;
                    ++xoffs;
                } else if (c == '\x11') {
                    held = false;
                    ++xons;
                }
            }
            ASSERT_LT(Clock::now() - start, 10s);
        } while (held);
    }
    const auto sendTime = Clock::now() - start;
    auto status = sim.WaitExit(5s);
    ::close(fd);
    ASSERT_EQ(status, 0);

    // The sender may have finished before the last XOFF and XON reached it.
    EXPECT_GE(xoffs, 1);
    EXPECT_GE(xons, 1);
    // 634 bytes taken in at 200 a second take about 3.2 s; the buffer limit
    // made the sender wait for much of that (the line alone: 1.45 s).
    EXPECT_GT(sendTime, 2s);
    EXPECT_EQ(test::ReadFileBytes(dir / "raw.bin"), bytes);
    EXPECT_EQ(test::ReadFileBytes(dir / "text.nc"), program.substr(0, program.size() - 1));

    auto report = ReadReport(dir / "report.txt");
    EXPECT_EQ(report["mode"], "receive");
    EXPECT_EQ(report["code"], "iso");
    EXPECT_EQ(report["end_reason"], "end-mark");
    EXPECT_EQ(report["bytes_per_s"], "436.36");
    EXPECT_EQ(Number(report, "opens"), 2);
    EXPECT_EQ(Number(report, "dc1_sent"), 1);
    EXPECT_EQ(Number(report, "bytes_received"), static_cast<long long>(bytes.size()));
    EXPECT_EQ(Number(report, "leader_bytes"), 10);
    EXPECT_EQ(Number(report, "parity_errors"), 1);
    EXPECT_EQ(Number(report, "first_parity_error"), static_cast<long long>(badParity));
    EXPECT_GE(Number(report, "xoff_sent"), xoffs);
    EXPECT_EQ(Number(report, "xon_sent"), Number(report, "xoff_sent"));
    // The sender stops within its ten-byte poll; a busy machine may delay
    // either process by a poll or two more.
    EXPECT_GE(Number(report, "max_buffer_fill"), 64);
    EXPECT_LE(Number(report, "max_buffer_fill"), 64 + 40);
    EXPECT_LE(Number(report, "bytes_after_xoff"), 40);
    EXPECT_GT(Number(report, "xoff_held_ms"), 300);
    EXPECT_GE(Number(report, "duration_ms"), 1300);
}

TEST(NcsimTest, ReceiveDetectsEiaAndAnswersWithInjectedDc4) {
    test::TempDir dir;
    const auto link = dir / "nc-port";
    NcsimProcess sim;
    ASSERT_TRUE(sim.Start({"receive", "--line", "none", "--code", "auto", "--ready-delay", "0",
                           "--inject", "14:DC4", "--link", link.string(), "--path-file",
                           (dir / "path").string(), "--text", (dir / "text.nc").string(),
                           "--report", (dir / "report.txt").string(), "--linger", "100"}));
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), sim.slave());
    EXPECT_EQ(test::ReadFileBytes(dir / "path"), sim.slave() + "\n");

    int fd = OpenPort(link.string());
    ASSERT_GE(fd, 0);
    // Blank tape and DC1 decide nothing; EIA "%" (0x0B, three holes) does.
    const std::string head = std::string("\x00\x00\x11\x0B\x80", 5) +
                             "\x45\x01\x20\x67\x20\x01\x37\x40\x01\x6B\x15\x80";  // N10G01X-1.5
    ASSERT_EQ(::write(fd, head.data(), head.size()), static_cast<ssize_t>(head.size()));
    char c = 0;
    ASSERT_TRUE(NcsimProcess::ReadWithin(fd, &c, 2s));
    EXPECT_EQ(c, '\x14');
    // 0x46 is "O", never ":"; 0x7F has no character; DC4 ends the tape.
    const std::string tail = "\x46\x01\x7F\x80\x14";
    ASSERT_EQ(::write(fd, tail.data(), tail.size()), static_cast<ssize_t>(tail.size()));
    ::close(fd);
    ASSERT_EQ(sim.WaitExit(5s), 0);

    EXPECT_EQ(test::ReadFileBytes(dir / "text.nc"), "%\nN10G01X-1.5\nO1\n");
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    auto report = ReadReport(dir / "report.txt");
    EXPECT_EQ(report["code"], "eia");
    EXPECT_EQ(report["end_reason"], "dc4");
    EXPECT_EQ(Number(report, "eia_unknown"), 1);
    EXPECT_EQ(Number(report, "leader_bytes"), 3);
    EXPECT_EQ(Number(report, "injected"), 1);
    EXPECT_EQ(Number(report, "dc4_received"), 1);
    EXPECT_EQ(Number(report, "bytes_received"), static_cast<long long>(head.size() + tail.size()));
}

TEST(NcsimTest, PunchIsoWaitsWhileThePcHoldsXoff) {
    test::TempDir dir;
    test::WriteFileBytes(dir / "O1.NC", "%\r\nO1(A)\r\nM30\r\n%\r\n");
    NcsimProcess sim;
    ASSERT_TRUE(sim.Start({"punch", (dir / "O1.NC").string(), "--code", "iso", "--line",
                           "1200,8,N,2", "--leader", "5", "--start-delay", "100", "--report",
                           (dir / "report.txt").string()}));
    int fd = OpenPort(sim.slave());
    ASSERT_GE(fd, 0);

    // The file has its own "%" lines, so no more are added; CR is left out.
    const std::string expected =
        std::string(5, '\0') + "\xA5\x0A\xCF\xB1\x28\x41\xA9\x0A\x4D\x33\x30\x0A\xA5\x0A";
    std::string got = ReadUntilQuiet(fd, 2s, 8);
    ASSERT_EQ(got.size(), 8u);
    const char xoff = '\x93';
    ASSERT_EQ(::write(fd, &xoff, 1), 1);
    // At most the byte on its way when XOFF came; then nothing while held.
    got += ReadUntilQuiet(fd, 60ms, expected.size());
    const size_t atHold = got.size();
    EXPECT_LE(atHold, 10u);
    std::this_thread::sleep_for(400ms);
    pollfd p{fd, POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 0), 0);
    const char xon = '\x11';
    ASSERT_EQ(::write(fd, &xon, 1), 1);
    got += ReadUntilQuiet(fd, 1s, expected.size());
    EXPECT_EQ(got, expected);

    const char dc4 = '\x14';
    ASSERT_EQ(::write(fd, &dc4, 1), 1);
    ASSERT_EQ(sim.WaitExit(3s), 0);
    ::close(fd);
    auto report = ReadReport(dir / "report.txt");
    EXPECT_EQ(report["mode"], "punch");
    EXPECT_EQ(report["end_reason"], "complete");
    EXPECT_EQ(Number(report, "bytes_sent"), static_cast<long long>(expected.size()));
    EXPECT_EQ(Number(report, "xoff_received"), 1);
    EXPECT_EQ(Number(report, "xon_received"), 1);
    EXPECT_GE(Number(report, "held_ms"), 400);
    EXPECT_EQ(Number(report, "dc4_received"), 1);
    // 19 bytes at 109 a second plus the hold.
    EXPECT_GE(Number(report, "duration_ms"), 500);
}

TEST(NcsimTest, PunchEiaSkipsCharactersWithoutACode) {
    test::TempDir dir;
    test::WriteFileBytes(dir / "P.NC", "N10G01X-1.5;\no100\n");
    NcsimProcess sim;
    ASSERT_TRUE(sim.Start({"punch", (dir / "P.NC").string(), "--code", "eia", "--line", "none",
                           "--leader", "3", "--leader-char", "space", "--start-delay", "50",
                           "--report", (dir / "report.txt").string()}));
    int fd = OpenPort(sim.slave());
    ASSERT_GE(fd, 0);
    const std::string expected =
        "\x10\x10\x10"
        "\x0B\x80"
        "\x45\x01\x20\x67\x20\x01\x37\x40\x01\x6B\x15\x80"
        "\x01\x20\x20\x80"
        "\x0B\x80";
    EXPECT_EQ(ReadUntilQuiet(fd, 1s, expected.size()), expected);
    ::close(fd);
    ASSERT_EQ(sim.WaitExit(3s), 0);
    auto report = ReadReport(dir / "report.txt");
    EXPECT_EQ(report["code"], "eia");
    EXPECT_EQ(report["end_reason"], "complete");
    EXPECT_EQ(Number(report, "unencodable"), 2);  // ";" and "o"
    EXPECT_EQ(Number(report, "dc4_received"), 0);
}

// The test plays a DNC server: it reads the request tape the NC punched,
// waits for the NC's DC1 and sends the program asked for.
TEST(NcsimTest, RequestPunchesTheAskAndReadsTheProgramThatComesBack) {
    struct Case {
        const char* name;
        bool drip;
        const char* code;
        std::string (*encode)(const std::string&);
        const char* request;  // the program-number line on the tape
    };
    const Case cases[] = {
        {"O1234", false, "iso", Iso, "O9999(REQ O1234)"},
        {"PART7.NC", true, "ascii", [](const std::string& t) { return t; },
         "O9999(DRIP PART7.NC)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        std::vector<std::string> args = {
            "request", c.name,      "--code",        c.code, "--line", "none", "--leader", "3",
            "--start-delay", "50",  "--dc1",         "--ready-delay", "100", "--text",
            (dir / "got.nc").string(), "--report", (dir / "report.txt").string(),
            "--idle-timeout", "10", "--linger",      "100"};
        if (c.drip) args.push_back("--drip");
        NcsimProcess sim;
        ASSERT_TRUE(sim.Start(args));
        int fd = OpenPort(sim.slave());
        ASSERT_GE(fd, 0);

        const std::string request =
            std::string(3, '\0') + c.encode("%\n" + std::string(c.request) + "\n%\n");
        EXPECT_EQ(ReadUntilQuiet(fd, 1s, request.size()), request);
        // Nothing is sent before the NC says it is ready for the program.
        char ready = 0;
        ASSERT_TRUE(NcsimProcess::ReadWithin(fd, &ready, 2s));
        EXPECT_EQ(ready, '\x11');

        const std::string program = "%\nO1234\nG00X1.5\nM30\n%\n";
        const std::string tape = std::string(5, '\0') + c.encode(program);
        ASSERT_EQ(::write(fd, tape.data(), tape.size()), static_cast<ssize_t>(tape.size()));
        ASSERT_EQ(sim.WaitExit(5s), 0);
        ::close(fd);

        EXPECT_EQ(test::ReadFileBytes(dir / "got.nc"), program.substr(0, program.size() - 1));
        auto report = ReadReport(dir / "report.txt");
        EXPECT_EQ(report["mode"], "request");
        EXPECT_EQ(report["request"], c.name);
        EXPECT_EQ(report["request_kind"], c.drip ? "DRIP" : "REQ");
        EXPECT_EQ(report["request_end"], "complete");
        EXPECT_EQ(Number(report, "request_bytes"), static_cast<long long>(request.size()));
        EXPECT_EQ(report["code"], c.code);
        EXPECT_EQ(report["end_reason"], "end-mark");
        EXPECT_EQ(report["program_number"], "O1234");
        EXPECT_EQ(Number(report, "dc1_sent"), 1);
        EXPECT_EQ(Number(report, "bytes_received"), static_cast<long long>(tape.size()));
        EXPECT_EQ(Number(report, "parity_errors"), 0);
    }
}

TEST(NcsimTest, SigtermEndsCleanlyWithReportAndWithoutLink) {
    test::TempDir dir;
    const auto link = dir / "nc-port";
    NcsimProcess sim;
    ASSERT_TRUE(
        sim.Start({"receive", "--link", link.string(), "--report", (dir / "report.txt").string()}));
    ASSERT_TRUE(std::filesystem::is_symlink(link));
    ASSERT_EQ(::kill(sim.pid(), SIGTERM), 0);
    EXPECT_EQ(sim.WaitExit(3s), 1);
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadReport(dir / "report.txt")["end_reason"], "signal");
}

}  // namespace
}  // namespace wexal
