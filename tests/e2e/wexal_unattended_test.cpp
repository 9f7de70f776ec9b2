// The real Wexal in runs that nobody watches (offscreen, "S=" or "R=" with
// END): each ends by itself, says why on standard error, and its exit status
// tells completed (0), aborted (1) and could not start (2) apart; with a
// window, such a run whose transfer cannot start ends as well.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "config/run_outcome.h"
#include "revisions/revision_store.h"
#include "support/ncsim_process.h"
#include "support/test_env.h"
#include "support/wexal_process.h"
#include "support/x_display.h"

namespace wexal {
namespace {

using namespace std::chrono_literals;
using test::NcsimProcess;

// A loopback port that nobody listens on.
int RefusingPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

class WexalUnattendedTest : public ::testing::Test {
public:
    test::TempDir program_;
    test::TempDir runtime_;
    test::TempDir nc_;

    WexalUnattendedTest() {
        std::filesystem::permissions(runtime_.path(), std::filesystem::perms::owner_all);
    }

    void Settings(const std::string& extra) {
        test::WriteFileBytes(program_ / "Wexal.INI",
                             "[Setting]\nPort=COM1\nSpeed=9600,8,N,2\nCode=N\nSignal=Y\n"
                             "StartChar=N\nEndChar=Y\n" +
                                 extra);
    }
    std::string Program(const std::string& name, const std::string& bytes = "O1\nG00X1.\nM30\n") {
        test::WriteFileBytes(nc_ / name, bytes);
        return (nc_ / name).string();
    }
};

struct Case {
    const char* name;
    std::string settings;  // lines after the common [Setting] ones
    // Makes what the case needs and gives the arguments; ncsim's slave when
    // the machine is wanted, else the port device itself.
    std::function<std::vector<std::string>(WexalUnattendedTest&)> arguments;
    std::vector<std::string> machine;  // ncsim's arguments, or none: port is below
    std::string port;
    int status;
    const char* says;  // on standard error
    const char* notSaid = nullptr;
};

TEST_F(WexalUnattendedTest, EveryRunEndsByItselfSaysWhyAndTellsTheOutcome) {
    const std::string refused = "tcp://127.0.0.1:" + std::to_string(RefusingPort());
    const auto send = [](const std::string& name, const std::string& bytes = "O1\nG00X1.\nM30\n") {
        return [=](WexalUnattendedTest& t) {
            return std::vector<std::string>{"S=" + t.Program(name, bytes), "END"};
        };
    };
    // A send with line parameters from the command line.
    const auto at = [](const std::string& speed) {
        return [=](WexalUnattendedTest& t) {
            return std::vector<std::string>{"S=" + t.Program("A.NC"), speed, "END"};
        };
    };
    const std::vector<std::string> machine = {"receive", "--line", "none", "--dc1"};
    const Case cases[] = {
        {"completed", "", send("A.NC"), machine, "", kExitCompleted, "送信完了しました。"},
        // The command line is the go-ahead that Signal "N" would ask for.
        {"completed without signal", "Signal=N\n", send("A.NC"), machine, "", kExitCompleted,
         "送信完了しました。"},
        {"missing file",
         "",
         [](WexalUnattendedTest& t) {
             return std::vector<std::string>{"S=" + (t.nc_ / "NOPE.NC").string(), "END"};
         },
         {}, "/dev/null", kExitNotStarted, "が見つかりません"},
        {"receive into a folder",
         "",
         [](WexalUnattendedTest& t) {
             std::filesystem::create_directory(t.nc_ / "IN.NC");
             return std::vector<std::string>{"R=" + (t.nc_ / "IN.NC").string(), "END"};
         },
         machine, "", kExitNotStarted, "には保存できません"},
        {"receive over a file whose old content nothing keeps: the safe answer",
         "[Options]\nKeepRevisions=0\n",
         [](WexalUnattendedTest& t) {
             return std::vector<std::string>{"R=" + t.Program("OLD.NC"), "END"};
         },
         machine, "", kExitNotStarted, "上書きしますか？ → いいえ"},
        // Said once, by the transfer that could not open it.
        {"missing port", "", send("A.NC"), {}, "/nonexistent/ttyS9", kExitNotStarted,
         "ポートが開きません", "使用不可"},
        {"no tty", "", send("A.NC"), {}, "/dev/null", kExitNotStarted, "ポート", "使用不可"},
        {"refused network port", "", send("A.NC"), {}, refused, kExitNotStarted,
         "ポートが開きません", "使用不可"},
        // A port kept for a modem opens: only the start's check says so.
        {"a port kept for a modem", "ModemePort1=COM1\n", send("A.NC"), machine, "",
         kExitCompleted, "使用不可"},
        {"refused speed", "", at("38400,8,N,2"), machine, "", kExitNotStarted, "通信設定"},
        {"unreadable speed", "", at("9600,X,Q,7"), machine, "", kExitNotStarted, "エラー"},
        {"only NUL bytes", "", send("Z.NC", std::string(64, '\0')), machine, "", kExitNotStarted,
         "ファイル形式が違います"},
        {"a FIFO",
         "",
         [](WexalUnattendedTest& t) {
             ::mkfifo((t.nc_ / "F.NC").c_str(), 0600);
             return std::vector<std::string>{"S=" + (t.nc_ / "F.NC").string(), "END"};
         },
         machine, "", kExitNotStarted, "が見つかりません"},
        {"a link loop",
         "",
         [](WexalUnattendedTest& t) {
             std::filesystem::create_symlink(t.nc_ / "L.NC", t.nc_ / "L.NC");
             return std::vector<std::string>{"S=" + (t.nc_ / "L.NC").string(), "END"};
         },
         machine, "", kExitNotStarted, "が見つかりません"},
        {"a folder named like a program",
         "",
         [](WexalUnattendedTest& t) {
             std::filesystem::create_directory(t.nc_ / "D.NC");
             return std::vector<std::string>{"S=" + (t.nc_ / "D.NC").string(), "END"};
         },
         machine, "", kExitNotStarted, "が見つかりません"},
        {"the NC stops while it is waited for", "[Options]\nop2=Y\n", send("A.NC"),
         {"receive", "--line", "none", "--inject", "0:DC4"}, "", kExitAborted,
         "送信中止しました。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WexalUnattendedTest& t = *this;
        std::filesystem::remove_all(nc_.path());
        std::filesystem::create_directories(nc_.path());
        std::filesystem::remove(program_ / "Wexal.log");
        Settings(c.settings);
        NcsimProcess sim;
        if (!c.machine.empty()) {
            ASSERT_TRUE(sim.Start(c.machine));
        }
        test::WexalProcess wexal(program_.path(), runtime_.path());
        ASSERT_TRUE(wexal.Start(c.machine.empty() ? c.port : sim.slave(), c.arguments(t)));

        const std::optional<int> status = wexal.WaitExit(30s);
        const std::string said = wexal.Stderr();
        ASSERT_EQ(status, std::optional<int>(c.status)) << said;
        EXPECT_NE(said.find(c.says), std::string::npos) << said;
        if (c.notSaid) {
            EXPECT_EQ(said.find(c.notSaid), std::string::npos) << said;
        }
        // Each thing once, under the program's name once, no line without a
        // text, and none of the offscreen platform's own complaints.
        EXPECT_EQ(said.find("Wexal: Wexal:"), std::string::npos) << said;
        EXPECT_EQ(said.find("Wexal: \n"), std::string::npos) << said;
        EXPECT_EQ(said.find("This plugin does not support"), std::string::npos) << said;
    }
}

// R= over a file of the last night's receive: with its old content kept as a
// revision nothing is lost by Yes, so the run replaces it (with nothing kept
// it takes the safe No: the table above).
TEST_F(WexalUnattendedTest, AReceiveOverAFileReplacesItWhileItsOldContentIsKept) {
    // The default, and a negative count that stands for it.
    for (const char* keep : {"", "KeepRevisions=-1\n"}) {
    const std::string old = "%\r\nO1(LAST NIGHT)\r\nM30\r\n%\r\n";
    const std::filesystem::path punched = program_ / "O1.punch";
    test::WriteFileBytes(punched, "%\nO1(NEW)\nG01X2.\nM30\n%\n");
        SCOPED_TRACE(keep);
        std::filesystem::remove_all(nc_.path());
        std::filesystem::create_directories(nc_.path());
        // A pseudo-terminal has no carrier line, so Signal is "N".
        test::WriteFileBytes(program_ / "Wexal.INI",
                             "[Setting]\nPort=COM1\nSpeed=19200,8,N,1\nSignal=N\nR_Code=1\n"
                             "StartChar=Y\nEndChar=Y\n[Options]\nRead_SP_Cut=N\n" +
                                 std::string(keep));
        const std::string target = Program("NIGHT.NC", old);
        NcsimProcess sim;
        ASSERT_TRUE(sim.Start({"punch", punched.string(), "--line", "none", "--code", "iso"}));
        test::WexalProcess wexal(program_.path(), runtime_.path());
        ASSERT_TRUE(wexal.Start(sim.slave(), {"R=" + target, "END"}));

        ASSERT_EQ(wexal.WaitExit(60s), std::optional<int>(kExitCompleted)) << wexal.Stderr();
        EXPECT_NE(wexal.Stderr().find("上書きしますか？ → はい"), std::string::npos)
            << wexal.Stderr();
        // The message line cleared at the start of the receive is no message.
        EXPECT_EQ(wexal.Stderr().find("Wexal: \n"), std::string::npos) << wexal.Stderr();
        EXPECT_EQ(test::ReadFileBytes(target), "%\r\nO1(NEW)\r\nG01 X2.\r\nM30\r\n%\r\n");
        const RevisionList kept = ListRevisions(target);
        ASSERT_EQ(kept.revisions.size(), 1u) << kept.error;
        EXPECT_EQ(kept.revisions[0].source, "Wexal");
        EXPECT_EQ(test::ReadFileBytes(kept.revisions[0].path), old);
    }
}

TEST_F(WexalUnattendedTest, ASecondStartThatWouldTransferSaysSoAndDoesNotStart) {
    Settings("");
    test::WexalProcess first(program_.path(), runtime_.path());
    ASSERT_TRUE(first.Start("/dev/null", {}));
    // The lock is the first thing a start takes.
    for (int i = 0; i < 1500 && !std::filesystem::exists(runtime_ / "Wexal.lock"); ++i) {
        std::this_thread::sleep_for(20ms);
    }
    test::WexalProcess second(program_.path(), runtime_.path());
    ASSERT_TRUE(second.Start("/dev/null", {"S=" + Program("A.NC"), "END"}));
    EXPECT_EQ(second.WaitExit(30s), std::optional<int>(kExitNotStarted));
    EXPECT_NE(second.Stderr().find("他のWexalが実行中です"), std::string::npos)
        << second.Stderr();
}

// An END run with a window whose transfer cannot start: it shows its box, if
// it has one, and ends after it with 2, the box's text on standard error, so
// that a scheduled job in a desktop session never waits for F10.
class WexalUnattendedOnDisplayTest : public WexalUnattendedTest {
public:
    test::VirtualDisplay display_;

    bool WaitForFocus(const std::string& title) const {
        for (int i = 0; i < 1000 && display_.FocusTitle() != title; ++i) {
            std::this_thread::sleep_for(20ms);
        }
        return display_.FocusTitle() == title;
    }
};

TEST_F(WexalUnattendedOnDisplayTest, ARunWhoseTransferCannotStartEndsAfterItsBox) {
    ASSERT_TRUE(display_.ok()) << "Xvfb is needed";
    struct Row {
        const char* name;
        bool fileThere;
        std::string port;  // none: the machine's
        const char* box;   // the caption of the box answered with Return, or none
        const char* says;
    };
    const Row rows[] = {
        {"a missing file", false, "", "確認", "が見つかりません。"},
        {"a port that does not open", true, "/nonexistent/ttyS9", nullptr,
         "COM1のポートが開きません。"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove_all(nc_.path());
        std::filesystem::create_directories(nc_.path());
        Settings("");
        const std::string file = row.fileThere ? Program("A.NC") : (nc_ / "NOPE.NC").string();
        NcsimProcess sim;
        ASSERT_TRUE(sim.Start({"receive", "--line", "none", "--dc1"}));
        test::WexalProcess wexal(program_.path(), runtime_.path());
        wexal.SetEnvironment({"QT_QPA_PLATFORM=xcb", "DISPLAY=" + display_.name()});
        ASSERT_TRUE(wexal.Start(row.port.empty() ? sim.slave() : row.port, {"S=" + file, "END"}));
        if (row.box) {
            ASSERT_TRUE(WaitForFocus(row.box)) << display_.FocusTitle() << wexal.Stderr();
            ASSERT_TRUE(display_.PressKey("Return"));
        }

        const std::optional<int> status = wexal.WaitExit(30s);
        const std::string said = wexal.Stderr();
        ASSERT_EQ(status, std::optional<int>(kExitNotStarted)) << said;
        EXPECT_NE(said.find(row.says), std::string::npos) << said;
        EXPECT_EQ(said.find("使用不可"), std::string::npos) << said;
    }
}

}  // namespace
}  // namespace wexal
