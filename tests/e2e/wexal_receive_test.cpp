// The real Wexal started with R=<absolute path> END against ncsim punching on
// a pseudo-terminal: the saved lines in every tape code, the log line, a line
// that dies and SIGTERM during a receive; on a real X server, a receive into
// an existing file that the operator agreed to replace, cut off half way.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "revisions/revision_store.h"
#include "support/ncsim_process.h"
#include "support/test_env.h"
#include "support/wexal_process.h"
#include "support/x_display.h"

namespace wexal {
namespace {

using namespace std::chrono_literals;
using test::NcsimProcess;

constexpr const char* kCompletedHead = "受信　　完了　";
constexpr const char* kAbortedHead = "受信　　中止　";

class WexalReceiveTest : public ::testing::Test {
protected:
    test::TempDir program_;
    test::TempDir runtime_;
    test::TempDir nc_;
    test::WexalProcess wexal_{program_.path(), runtime_.path()};

    WexalReceiveTest() {
        std::filesystem::permissions(runtime_.path(), std::filesystem::perms::owner_all);
    }

    // A pseudo-terminal has no carrier line, so Signal is "N".
    void Settings(const std::string& speed, int rCode, const std::string& op5 = "N") {
        test::WriteFileBytes(program_ / "Wexal.INI",
                             "[Setting]\nPort=COM1\nSpeed=" + speed + "\nSignal=N\nR_Code=" +
                                 std::to_string(rCode) +
                                 "\nStartChar=Y\nEndChar=Y\n[Options]\nRead_SP_Cut=N\nop5=" + op5 +
                                 "\n");
    }

    std::filesystem::path Target() const { return nc_ / "in" / "IN.NC"; }
    std::string Saved() const { return test::ReadFileBytes(Target()); }
    std::filesystem::path Report() const { return nc_ / "report.txt"; }

    bool StartWexal(NcsimProcess& sim, bool end) {
        std::filesystem::create_directories(Target().parent_path());
        std::vector<std::string> args = {"R=" + Target().string()};
        if (end) args.push_back("END");
        return wexal_.Start(sim.slave(), args);
    }

    // 2000 numbered blocks: paced at 4800 baud the punch lasts over a minute.
    std::filesystem::path LongProgram() {
        std::string text = "%\nO2000\n";
        for (int i = 1; i <= 2000; ++i)
            text += "N" + std::to_string(i) + "G01X" + std::to_string(i) + ".Y-5.F300\n";
        text += "M30\n%\n";
        const auto file = nc_ / "O2000.NC";
        test::WriteFileBytes(file, text);
        return file;
    }
    // What a receive of the whole long program saves, without its closing "%".
    static std::string LongProgramSaved() {
        std::string text = "%\r\nO2000\r\n";
        for (int i = 1; i <= 2000; ++i)
            text += "N" + std::to_string(i) + " G01 X" + std::to_string(i) + ". Y-5. F300\r\n";
        return text + "M30\r\n";
    }
    bool StartPacedPunch(NcsimProcess& sim) {
        return sim.Start({"punch", LongProgram().string(), "--line", "4800,8,N,2", "--code", "iso",
                          "--report", Report().string()});
    }
};

struct Case {
    const char* name;
    const char* speed;
    const char* simCode;  // what ncsim punches
    int rCode;            // Setting/R_Code: 0 detects
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class WexalReceiveCodesTest : public WexalReceiveTest, public ::testing::WithParamInterface<Case> {};

TEST_P(WexalReceiveCodesTest, SavesTheCleanedLinesWithCrLfLogsAndEnds) {
    const Case& c = GetParam();
    Settings(c.speed, c.rCode);
    const auto punched = nc_ / "O1234.NC";
    test::WriteFileBytes(punched, "%\nO1234(TEST)\nG00X10.Y-5.\nG01Z-2.F100\nM30\n%\n");

    NcsimProcess sim;
    ASSERT_TRUE(sim.Start({"punch", punched.string(), "--line", "none", "--code", c.simCode,
                           "--report", Report().string()}));
    ASSERT_TRUE(StartWexal(sim, true));

    EXPECT_EQ(wexal_.WaitExit(120s), std::optional<int>(0)) << wexal_.Stderr();
    EXPECT_EQ(sim.WaitExit(30s), std::optional<int>(0));
    EXPECT_EQ(Saved(), "%\r\nO1234(TEST)\r\nG00 X10. Y-5.\r\nG01 Z-2. F100\r\nM30\r\n%\r\n");
    const std::regex entry(std::string(kCompletedHead) +
                           "\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}　" + Target().string() +
                           "\r\n");
    EXPECT_TRUE(std::regex_search(wexal_.Log(), entry)) << wexal_.Log();
    EXPECT_EQ(wexal_.Log().find(kAbortedHead), std::string::npos);
    // The machine was told to stop.
    EXPECT_NE(test::ReadFileBytes(Report()).find("dc4_received=1"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Codes, WexalReceiveCodesTest,
                         ::testing::Values(Case{"IsoDetected", "19200,8,N,1", "iso", 0},
                                           Case{"Iso", "19200,8,N,1", "iso", 1},
                                           Case{"EiaDetected", "9600,8,N,2", "eia", 0},
                                           Case{"Eia", "9600,8,N,2", "eia", 2},
                                           Case{"AsciiDetected", "19200,8,N,1", "ascii", 0},
                                           Case{"Ascii", "4800,7,E,2", "ascii", 3}),
                         [](const ::testing::TestParamInfo<Case>& param) {
                             return std::string(param.param.name);
                         });

TEST_F(WexalReceiveTest, ALineThatDiesAbortsDeletesTheNamedFileAndTheProgramEnds) {
    Settings("4800,8,N,2", 0);
    NcsimProcess sim;
    ASSERT_TRUE(StartPacedPunch(sim));
    ASSERT_TRUE(StartWexal(sim, true));
    std::this_thread::sleep_for(3s);
    ::kill(sim.pid(), SIGKILL);

    EXPECT_EQ(wexal_.WaitExit(60s), std::optional<int>(1));
    EXPECT_NE(wexal_.Log().find(kAbortedHead), std::string::npos) << wexal_.Log();
    EXPECT_EQ(wexal_.Log().find(kCompletedHead), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Target()));
    // Nobody would close a box in this run: the reason goes to standard error.
    EXPECT_NE(wexal_.Stderr().find("回線が切断されました。"), std::string::npos) << wexal_.Stderr();
}

TEST_F(WexalReceiveTest, ALineThatDiesKeepsWhatArrivedWithOp5) {
    Settings("4800,8,N,2", 0, "Y");
    NcsimProcess sim;
    ASSERT_TRUE(StartPacedPunch(sim));
    ASSERT_TRUE(StartWexal(sim, true));
    std::this_thread::sleep_for(3s);
    ::kill(sim.pid(), SIGKILL);

    EXPECT_EQ(wexal_.WaitExit(60s), std::optional<int>(0));
    EXPECT_NE(wexal_.Log().find(kCompletedHead), std::string::npos) << wexal_.Log();
    // Whole lines as they came, the unfinished one dropped, no closing "%".
    const std::string saved = Saved();
    const std::string whole = LongProgramSaved();
    EXPECT_GT(saved.size(), std::string("%\r\nO2000\r\nN1 G01 X1. Y-5. F300\r\n").size());
    EXPECT_LT(saved.size(), whole.size());
    EXPECT_EQ(whole.substr(0, saved.size()), saved);
    EXPECT_TRUE(saved.ends_with("\r\n"));
}

TEST_F(WexalReceiveTest, SigtermDuringAReceiveAbortsItWithDc4AndEndsTheProgram) {
    Settings("4800,8,N,2", 1);
    NcsimProcess sim;
    ASSERT_TRUE(StartPacedPunch(sim));
    ASSERT_TRUE(StartWexal(sim, false));
    std::this_thread::sleep_for(3s);
    ::kill(wexal_.pid(), SIGTERM);

    EXPECT_EQ(wexal_.WaitExit(60s), std::optional<int>(1));
    EXPECT_NE(wexal_.Log().find(kAbortedHead), std::string::npos) << wexal_.Log();
    EXPECT_EQ(wexal_.Log().find(kCompletedHead), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Target()));
    EXPECT_EQ(sim.WaitExit(30s), std::optional<int>(0));
    EXPECT_NE(test::ReadFileBytes(Report()).find("dc4_received=1"), std::string::npos)
        << test::ReadFileBytes(Report());
}

// On a real X server: `R=<existing file>` asks before replacing it (a run
// without a display will take the safe answer and not receive at all), and
// the operator answers with a key. The program punched is the one the file
// holds a version of; the old file must survive anything but a completion.
class WexalReceiveOnDisplayTest : public WexalReceiveTest {
protected:
    test::VirtualDisplay display_;

    // Before the display goes, or Qt complains of a broken connection.
    ~WexalReceiveOnDisplayTest() override {
        if (wexal_.pid() > 0) {
            ::kill(wexal_.pid(), SIGKILL);
            (void)wexal_.WaitExit(10s);
        }
    }

    static constexpr const char* kOld = "%\r\nO1(OLD VERSION)\r\nG00 X1.\r\nM30\r\n%\r\n";
    std::filesystem::path Folder() const { return nc_ / "in"; }
    std::filesystem::path Old() const { return Folder() / "O1.NC"; }
    std::filesystem::path Snapshot() const { return nc_ / "snapshot" / "O1.NC"; }

    // O1.NC in the folder, and a hard-link snapshot of it (cp -al).
    void PutOldFile() {
        std::filesystem::create_directories(Folder());
        test::WriteFileBytes(Old(), kOld);
        std::filesystem::create_directories(Snapshot().parent_path());
        std::filesystem::create_hard_link(Old(), Snapshot());
        oldInode_ = Inode(Old());
    }
    static ino_t Inode(const std::filesystem::path& path) {
        struct stat info {};
        return ::lstat(path.c_str(), &info) == 0 ? info.st_ino : 0;
    }

    // O1 with 5000 blocks: at 19200 baud the first 1000 lines take some
    // seconds, the whole program half a minute.
    bool StartPunchOfO1(NcsimProcess& sim) {
        std::string text = "%\nO1\n";
        for (int i = 1; i <= 5000; ++i)
            text += "N" + std::to_string(i) + "G1X" + std::to_string(i) + "\n";
        text += "M30\n%\n";
        const auto file = nc_ / "O1.punch";
        test::WriteFileBytes(file, text);
        return sim.Start({"punch", file.string(), "--line", "19200,8,N,1", "--code", "iso",
                          "--report", Report().string()});
    }

    bool StartOnDisplay(NcsimProcess& sim, bool end) {
        wexal_.SetEnvironment({"QT_QPA_PLATFORM=xcb", "DISPLAY=" + display_.name()});
        std::vector<std::string> args = {"R=" + Old().string()};
        if (end) args.push_back("END");
        return wexal_.Start(sim.slave(), args);
    }

    bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            if (condition()) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    // The size of the file Wexal is writing the program into in the folder,
    // seen through its descriptor (the file has no name of its own).
    std::optional<std::uintmax_t> UnfinishedSize() const {
        const std::filesystem::path folder = std::filesystem::canonical(Folder());
        try {
            for (const auto& fd : std::filesystem::directory_iterator(
                     "/proc/" + std::to_string(wexal_.pid()) + "/fd")) {
                std::error_code error;
                const std::filesystem::path to = std::filesystem::read_symlink(fd.path(), error);
                if (error || to.parent_path() != folder) continue;
                const std::uintmax_t size = std::filesystem::file_size(fd.path(), error);
                if (!error) return size;
            }
        } catch (const std::filesystem::filesystem_error&) {
        }
        return std::nullopt;
    }

    // Up to the question, Return (はい is the default), and on until the
    // first thousand lines are in the unfinished file.
    void AnswerYesAndReceiveHalfWay() {
        ASSERT_TRUE(WaitFor([&] { return display_.FocusTitle() == "警告"; }, 20s))
            << "the overwrite question must be up: " << display_.FocusTitle() << wexal_.Stderr();
        // Nothing is written before the answer.
        EXPECT_EQ(test::ReadFileBytes(Old()), kOld);
        ASSERT_TRUE(display_.PressKey("Return"));
        ASSERT_TRUE(WaitFor([&] { return UnfinishedSize().value_or(0) > 0; }, 60s))
            << "the receive must have written its first batch";
        // Half way: the old file is still the old file.
        EXPECT_EQ(test::ReadFileBytes(Old()), kOld);
        EXPECT_EQ(Inode(Old()), oldInode_);
    }

    void ExpectOldFileAsItWas() {
        EXPECT_EQ(test::ReadFileBytes(Old()), kOld);
        EXPECT_EQ(Inode(Old()), oldInode_);
        EXPECT_EQ(test::ReadFileBytes(Snapshot()), kOld);
        // No temporary, no part, nothing else left behind.
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(Folder())) {
            names.push_back(entry.path().filename().string());
        }
        EXPECT_EQ(names, std::vector<std::string>{"O1.NC"});
        EXPECT_NE(wexal_.Log().find(kAbortedHead), std::string::npos) << wexal_.Log();
        EXPECT_EQ(wexal_.Log().find(kCompletedHead), std::string::npos) << wexal_.Log();
    }

    ino_t oldInode_ = 0;
};

TEST_F(WexalReceiveOnDisplayTest, ALineLostHalfWayLeavesTheReplacedFileAsItWas) {
    ASSERT_TRUE(display_.ok()) << "Xvfb is needed";
    Settings("19200,8,N,1", 1);
    PutOldFile();
    NcsimProcess sim;
    ASSERT_TRUE(StartPunchOfO1(sim));
    ASSERT_TRUE(StartOnDisplay(sim, true));
    AnswerYesAndReceiveHalfWay();
    ::kill(sim.pid(), SIGKILL);

    ASSERT_TRUE(wexal_.WaitExit(60s).has_value()) << "END: the program ends";
    ExpectOldFileAsItWas();
    EXPECT_NE(wexal_.Stderr().find("回線が切断されました。"), std::string::npos) << wexal_.Stderr();
}

class WexalReceiveSignalOnDisplayTest : public WexalReceiveOnDisplayTest,
                                        public ::testing::WithParamInterface<int> {};

TEST_P(WexalReceiveSignalOnDisplayTest, ASignalHalfWayLeavesTheReplacedFileAsItWas) {
    ASSERT_TRUE(display_.ok()) << "Xvfb is needed";
    Settings("19200,8,N,1", 1);
    PutOldFile();
    NcsimProcess sim;
    ASSERT_TRUE(StartPunchOfO1(sim));
    ASSERT_TRUE(StartOnDisplay(sim, false));
    AnswerYesAndReceiveHalfWay();
    ::kill(wexal_.pid(), GetParam());

    ASSERT_TRUE(wexal_.WaitExit(60s).has_value());
    ExpectOldFileAsItWas();
    // The abort path told the machine to stop.
    EXPECT_EQ(sim.WaitExit(30s), std::optional<int>(0));
    EXPECT_NE(test::ReadFileBytes(Report()).find("dc4_received=1"), std::string::npos)
        << test::ReadFileBytes(Report());
}

INSTANTIATE_TEST_SUITE_P(Signals, WexalReceiveSignalOnDisplayTest,
                         ::testing::Values(SIGTERM, SIGHUP, SIGINT),
                         [](const ::testing::TestParamInfo<int>& param) {
                             return std::string(sigabbrev_np(param.param));
                         });

// And the end that is designed to replace it: the whole program arrives.
TEST_F(WexalReceiveOnDisplayTest, ACompleteProgramReplacesTheFileAndNotItsSnapshot) {
    ASSERT_TRUE(display_.ok()) << "Xvfb is needed";
    Settings("19200,8,N,1", 1);
    PutOldFile();
    const auto punched = nc_ / "O1.punch";
    test::WriteFileBytes(punched, "%\nO1(NEW)\nG01X2.\nM30\n%\n");
    NcsimProcess sim;
    ASSERT_TRUE(sim.Start({"punch", punched.string(), "--line", "none", "--code", "iso", "--report",
                           Report().string()}));
    ASSERT_TRUE(StartOnDisplay(sim, true));
    ASSERT_TRUE(WaitFor([&] { return display_.FocusTitle() == "警告"; }, 20s)) << wexal_.Stderr();
    ASSERT_TRUE(display_.PressKey("Return"));

    ASSERT_TRUE(wexal_.WaitExit(60s).has_value());
    EXPECT_EQ(test::ReadFileBytes(Old()), "%\r\nO1(NEW)\r\nG01 X2.\r\nM30\r\n%\r\n");
    EXPECT_NE(Inode(Old()), oldInode_);
    EXPECT_EQ(test::ReadFileBytes(Snapshot()), kOld);
    EXPECT_NE(wexal_.Log().find(kCompletedHead), std::string::npos) << wexal_.Log();
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Folder())) {
        names.insert(entry.path().filename().string());
    }
    // Nothing unfinished beside it; the old program is its one revision.
    EXPECT_EQ(names, (std::set<std::string>{".wexal-revisions", "O1.NC"}));
    const RevisionList kept = ListRevisions(Old());
    ASSERT_EQ(kept.revisions.size(), 1u) << kept.error;
    EXPECT_EQ(test::ReadFileBytes(kept.revisions[0].path), kOld);
}

}  // namespace
}  // namespace wexal
