// The real Wexal started with S=<file> END against ncsim on a pseudo-terminal:
// what the machine decodes, the log line, and the ends that are no completion.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/ncsim_process.h"
#include "support/test_env.h"
#include "support/wexal_process.h"

namespace wexal {
namespace {

using namespace std::chrono_literals;
using test::NcsimProcess;

constexpr const char* kCompletedHead = "送信　　完了　";
constexpr const char* kAbortedHead = "送信　　中止　";

class WexalSendTest : public ::testing::Test {
protected:
    test::TempDir program_;
    test::TempDir runtime_;
    test::TempDir nc_;
    test::WexalProcess wexal_{program_.path(), runtime_.path()};

    WexalSendTest() {
        std::filesystem::permissions(runtime_.path(), std::filesystem::perms::owner_all);
    }

    void Settings(const std::string& speed, const std::string& code) {
        test::WriteFileBytes(program_ / "Wexal.INI",
                             "[Setting]\nPort=COM1\nSpeed=" + speed + "\nCode=" + code +
                                 "\nSignal=Y\nStartChar=N\nEndChar=Y\nEndChar_Type=1\n");
    }

    bool Start(const std::string& port, std::vector<std::string> args,
               const std::string& portName = "COM1") {
        return wexal_.Start(port, std::move(args), portName);
    }
    std::optional<int> WaitExit(std::chrono::seconds limit) { return wexal_.WaitExit(limit); }
    std::string Log() { return wexal_.Log(); }
    std::string Stderr() { return wexal_.Stderr(); }

    // A long program, so that a transfer paced at 4800 baud is still running
    // seconds after it began.
    std::filesystem::path LongProgram() {
        std::string text = "%\nO2000\n";
        for (int i = 1; i <= 2000; ++i)
            text += "N" + std::to_string(i) + "G01X" + std::to_string(i) + ".Y-5.F300\n";
        text += "M30\n%\n";
        const auto file = nc_ / "O2000.NC";
        test::WriteFileBytes(file, text);
        return file;
    }

    // ncsim playing a machine that reads at the 4800 baud line rate.
    bool StartPacedMachine(NcsimProcess& sim) {
        return sim.Start({"receive", "--line", "4800,8,N,2", "--code", "iso", "--dc1", "--xoff-at",
                          "200", "--xon-at", "50", "--report", (nc_ / "report.txt").string()});
    }
};

struct Case {
    const char* name;
    const char* speed;
    const char* code;     // Setting/Code
    const char* simCode;  // what ncsim decodes
    const char* lineEnd;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class WexalSendCodesTest : public WexalSendTest, public ::testing::WithParamInterface<Case> {};

TEST_P(WexalSendCodesTest, TheMachineDecodesTheProgramAndTheProgramEnds) {
    const Case& c = GetParam();
    Settings(c.speed, c.code);
    const std::string end = c.lineEnd;
    const auto file = nc_ / "O1000.NC";
    test::WriteFileBytes(file, "%" + end + "O1000" + end + "G00X10.Y-5." + end + "G01Z-2.F100" +
                                   end + "M30" + end + "%" + end);

    NcsimProcess sim;
    const auto text = nc_ / "received.nc";
    ASSERT_TRUE(sim.Start({"receive", "--line", "none", "--code", c.simCode, "--dc1", "--text",
                           text.string(), "--report", (nc_ / "report.txt").string()}));
    ASSERT_TRUE(Start(sim.slave(), {"S=" + file.string(), "END"}));

    EXPECT_EQ(WaitExit(120s), std::optional<int>(0)) << Stderr();
    EXPECT_EQ(sim.WaitExit(30s), std::optional<int>(0));
    // The single LF that stands for no start characters, the lines without
    // their "%" lines, and LF % as the end.
    EXPECT_EQ(test::ReadFileBytes(text), "\nO1000\nG00X10.Y-5.\nG01Z-2.F100\nM30\n\n%");
    const std::regex entry(std::string(kCompletedHead) +
                           "\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}　" + file.string() + "\r\n");
    EXPECT_TRUE(std::regex_search(Log(), entry)) << Log();
    EXPECT_EQ(Log().find(kAbortedHead), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Codes, WexalSendCodesTest,
                         ::testing::Values(Case{"IsoCrLf", "19200,8,N,1", "N", "iso", "\r\n"},
                                           Case{"IsoLf", "19200,8,N,1", "N", "iso", "\n"},
                                           Case{"EiaCrLf", "9600,8,N,2", "Y", "eia", "\r\n"},
                                           Case{"EiaLf", "9600,8,N,2", "Y", "eia", "\n"},
                                           Case{"Ascii7CrLf", "4800,7,E,2", "N", "ascii", "\r\n"},
                                           Case{"Ascii7Lf", "4800,7,E,2", "N", "ascii", "\n"}),
                         [](const ::testing::TestParamInfo<Case>& param) {
                             return std::string(param.param.name);
                         });

// A program of several megabytes streams from its file to the machine: every
// line arrives, byte for byte, in the order of the file.
// The writer keeps the line's pace on a pseudo-terminal too: 40 KB take
// 21 s at 19200 baud.
TEST_F(WexalSendTest, ALongProgramOfMixedLineEndsArrivesExactly) {
    Settings("19200,8,N,1", "N");
    std::string program = "%\r\nO3000(BIG)\r\n";
    std::string expected = "\nO3000(BIG)\n";
    for (int n = 1; program.size() < 40'000; ++n) {
        const std::string line = "N" + std::to_string(n) + "G01X" + std::to_string(n % 997) +
                                 ".125Y-" + std::to_string(n % 313) + ".5F300";
        // CR LF, bare LF and a lone CR, as files come.
        program += line + (n % 7 == 0 ? "\n" : n % 11 == 0 ? "\r" : "\r\n");
        expected += line + "\n";
    }
    program += "M30\r\n%\r\n";
    expected += "M30\n\n%";
    const auto file = nc_ / "O3000.NC";
    test::WriteFileBytes(file, program);

    NcsimProcess sim;
    const auto text = nc_ / "received.nc";
    ASSERT_TRUE(sim.Start({"receive", "--line", "none", "--code", "iso", "--dc1", "--text",
                           text.string(), "--report", (nc_ / "report.txt").string()}));
    ASSERT_TRUE(Start(sim.slave(), {"S=" + file.string(), "END"}));
    EXPECT_EQ(WaitExit(300s), std::optional<int>(0)) << Stderr();
    EXPECT_EQ(sim.WaitExit(30s), std::optional<int>(0));
    const std::string received = test::ReadFileBytes(text);
    EXPECT_EQ(received.size(), expected.size());
    EXPECT_TRUE(received == expected) << "the received program differs";
    EXPECT_NE(Log().find(kCompletedHead), std::string::npos) << Log();
}

TEST_F(WexalSendTest, ALineThatDiesEndsTheTransferAbortedAndTheProgramStillEnds) {
    Settings("4800,8,N,2", "N");
    const auto file = LongProgram();
    NcsimProcess sim;
    ASSERT_TRUE(StartPacedMachine(sim));
    ASSERT_TRUE(Start(sim.slave(), {"S=" + file.string(), "END"}));
    std::this_thread::sleep_for(2s);
    ::kill(sim.pid(), SIGKILL);

    EXPECT_EQ(WaitExit(60s), std::optional<int>(1));
    EXPECT_NE(Log().find(kAbortedHead), std::string::npos) << Log();
    EXPECT_EQ(Log().find(kCompletedHead), std::string::npos);
    // Nobody would close a box in this run: the reason goes to standard error.
    EXPECT_NE(Stderr().find("回線が切断されました。"), std::string::npos) << Stderr();
}

TEST_F(WexalSendTest, SigtermDuringASendAbortsItWithDc4AndEndsTheProgram) {
    Settings("4800,8,N,2", "N");
    const auto file = LongProgram();
    NcsimProcess sim;
    ASSERT_TRUE(StartPacedMachine(sim));
    ASSERT_TRUE(Start(sim.slave(), {"S=" + file.string()}));
    std::this_thread::sleep_for(2s);
    ::kill(wexal_.pid(), SIGTERM);

    EXPECT_EQ(WaitExit(60s), std::optional<int>(1));
    EXPECT_NE(Log().find(kAbortedHead), std::string::npos) << Log();
    EXPECT_EQ(Log().find(kCompletedHead), std::string::npos);
    // The machine heard the DC4 of the abort path before the port closed.
    EXPECT_EQ(sim.WaitExit(30s), std::optional<int>(0));
    EXPECT_NE(test::ReadFileBytes(nc_ / "report.txt").find("dc4_received=1"), std::string::npos)
        << test::ReadFileBytes(nc_ / "report.txt");
}

// The argument forms as a launcher would give them: a "/"-separated list
// with blanks in a path and another port, or a name relative to the folder;
// the machine hears the program and the settings file stays as it was.
TEST_F(WexalSendTest, ArgumentFormsChooseFileFolderAndPortForThisRunOnly) {
    std::filesystem::create_directories(nc_ / "my prg");
    const auto file = nc_ / "my prg" / "A.NC";
    test::WriteFileBytes(file, "%\nO1\nM30\n%\n");
    struct Row {
        std::vector<std::string> args;
        std::string folder;  // DirPath in the settings file
    };
    const Row rows[] = {
        {{"/S=" + file.string() + " /COM2 /END"}, "/elsewhere"},
        {{"/S=" + file.string(), "/com2", "/END"}, "/elsewhere"},
        {{"S=A.NC", "com2", "END"}, (nc_ / "my prg").string()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.front());
        const std::string ini = "[Setting]\nPort=COM1\nSpeed=19200,8,N,1\nSignal=Y\nDirPath=" +
                                row.folder + "\n";
        test::WriteFileBytes(program_ / "Wexal.INI", ini);
        NcsimProcess sim;
        const auto text = nc_ / "received.nc";
        ASSERT_TRUE(sim.Start({"receive", "--line", "none", "--code", "iso", "--dc1", "--text",
                               text.string()}));
        ASSERT_TRUE(Start(sim.slave(), row.args, "COM2"));
        EXPECT_EQ(WaitExit(120s), std::optional<int>(0)) << Stderr();
        EXPECT_EQ(sim.WaitExit(30s), std::optional<int>(0));
        EXPECT_EQ(test::ReadFileBytes(text), "\nO1\nM30\n\n%");
        EXPECT_NE(Log().find(std::string(kCompletedHead)), std::string::npos) << Log();
        EXPECT_EQ(test::ReadFileBytes(program_ / "Wexal.INI"), ini);
        std::filesystem::remove(program_ / "Wexal.log");
    }
}

// A folder at the root whose name begins like a keyword ("/common/nc") is a
// folder argument, not a "/"-list: a bare name sent from it is found there.
TEST_F(WexalSendTest, AFolderThatBeginsLikeAKeywordIsAFolder) {
    const std::filesystem::path folder = "/comwexal" + std::to_string(::getpid());
    std::error_code ec;
    if (!std::filesystem::create_directory(folder, ec)) GTEST_SKIP() << "/ is not writable";
    struct Remove {
        std::filesystem::path path;
        ~Remove() { std::filesystem::remove_all(path); }
    } remove{folder};
    test::WriteFileBytes(folder / "A.NC", "%\nO1\nM30\n%\n");
    test::WriteFileBytes(program_ / "Wexal.INI",
                         "[Setting]\nPort=COM1\nSpeed=19200,8,N,1\nSignal=Y\nDirPath=" +
                             nc_.path().string() + "\n");
    NcsimProcess sim;
    const auto text = nc_ / "received.nc";
    ASSERT_TRUE(sim.Start({"receive", "--line", "none", "--code", "iso", "--dc1", "--text",
                           text.string()}));
    ASSERT_TRUE(Start(sim.slave(), {folder.string(), "S=A.NC", "END"}));
    EXPECT_EQ(WaitExit(120s), std::optional<int>(0)) << Stderr();
    EXPECT_EQ(test::ReadFileBytes(text), "\nO1\nM30\n\n%");
}

// Arguments no launcher would give: the program neither crashes nor hangs
// on them, ends on a signal as always, and writes nothing.
TEST_F(WexalSendTest, HostileArgumentsNeitherCrashNorWrite) {
    const std::string fifo = (nc_ / "pipe.NC").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Hostile {
        std::vector<std::string> args;
        int status;  // an S= or R= that sent nothing could not start
    };
    const std::vector<Hostile> cases = {
        {{"S="}, 2},          {{"/"}, 0},           {{std::string(100000, 'x')}, 0},
        {{"\xff\xfe/S=\x80"}, 2}, {{"S=" + fifo}, 2}, {{"R=" + fifo}, 2},
        {{"R=" + nc_.path().string()}, 2},
    };
    for (const auto& [args, status] : cases) {
        SCOPED_TRACE(args.front().substr(0, 20));
        ASSERT_TRUE(Start("/nonexistent/tty", args));
        std::this_thread::sleep_for(1500ms);
        ::kill(wexal_.pid(), SIGTERM);
        EXPECT_EQ(WaitExit(30s), std::optional<int>(status)) << Stderr();
        EXPECT_FALSE(std::filesystem::exists(program_ / "Wexal.INI"));
        EXPECT_EQ(std::filesystem::status(fifo).type(), std::filesystem::file_type::fifo);
    }
}

}  // namespace
}  // namespace wexal
