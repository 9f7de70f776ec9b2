// The real wexal-dnc on Machines.ini files as they are found on a shop's PC:
// written by a Linux editor, with mistakes in them, naming folders that are
// not there.

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/dnc_fixture.h"
#include "support/dnc_process.h"
#include "support/ncsim_process.h"
#include "support/test_env.h"

namespace wexal {
namespace {

using namespace std::chrono_literals;
using test::DncProcess;
using test::DncServerTest;
using test::Entry;
using test::NcsimProcess;
namespace fs = std::filesystem;

constexpr const char* kSaved = "O1000(FIRST)\r\nG01 X1. F100\r\nM30\r\n%\r\n";

class DncConfigTest : public DncServerTest {
protected:
    // ncsim punches O1000 from a terminal reached through `link`.
    bool StartPunch(NcsimProcess& nc, const fs::path& link) {
        test::WriteFileBytes(work_ / "tape.nc", "%\nO1000(FIRST)\nG01X1.F100\nM30\n%\n");
        return nc.Start({"punch", (work_ / "tape.nc").string(), "--line", "none", "--code", "iso",
                         "--link", link.string()});
    }
    void WriteConfig(const std::string& machines, const std::string& ports) {
        test::WriteFileBytes(home_ / "Machines.ini", machines);
        test::WriteFileBytes(home_ / "Ports.ini", "[Ports]\n" + ports + "\n");
    }
};

TEST_F(DncConfigTest, Utf8MachinesIniWithJapaneseFoldersWithOrWithoutAMark) {
    for (const std::string mark : {"", "\xEF\xBB\xBF"}) {
        SCOPED_TRACE(mark.empty() ? "without a mark" : "with a mark");
        const fs::path send = Folder("加工/旋盤1 送信");
        const fs::path receive = Folder("加工/旋盤1 受信");
        NcsimProcess nc;
        ASSERT_TRUE(StartPunch(nc, work_ / "nc1"));
        WriteConfig(mark + "[旋盤1]\nPort=COM1\nSendDir=" + send.string() + "\nReceiveDir=" +
                        receive.string() + "\n",
                    "COM1=" + (work_ / "nc1").string());
        DncProcess dnc(home_.path());
        ASSERT_TRUE(dnc.Start());
        EXPECT_EQ(nc.WaitExit(30s), std::optional<int>(0));
        EXPECT_TRUE(dnc.WaitForOutput("受信　　完了", 20s)) << dnc.Out();
        EXPECT_EQ(test::ReadFileBytes(receive / "O1000.NC"), kSaved);
        EXPECT_TRUE(std::regex_search(
            dnc.Log(), Entry("受信　　完了　", (receive / "O1000.NC").string(), "旋盤1")))
            << dnc.Log();
        dnc.Signal(SIGTERM);
        EXPECT_EQ(dnc.WaitExit(5s), std::optional<int>(0));
        fs::remove_all(work_ / "加工");
    }
}

TEST_F(DncConfigTest, MistakesInMachinesIniAreRefusedAtStartAndAtReload) {
    const std::string one = (work_ / "nc1").string(), two = (work_ / "nc2").string();
    const std::regex control("[\\x00-\\x09\\x0B-\\x1F\\x7F]");
    const struct {
        const char* what;
        std::string ini, ports;
        const char* said;  // naming both sections, escaped as shown
    } mistakes[] = {
        {"one name in two cases", "[MC1]\nPort=COM1\n[mc1]\nPort=COM2\n",
         "COM1=" + one + "\nCOM2=" + two, "[MC1] と [mc1] は同じ名前です"},
        {"one device behind two port names", "[MC1]\nPort=COM1\n[MC2]\nPort=COM2\n",
         "COM1=" + one + "\nCOM2=" + one, "[MC1] と [MC2] は同じポートです"},
        {"one device server, as RFC 2217 and raw TCP", "[MC1]\nPort=COM1\n[MC2]\nPort=COM2\n",
         "COM1=rfc2217://LOCALHOST:4001\nCOM2=tcp://localhost:4001",
         "[MC1] と [MC2] は同じポートです"},
        {"an escape sequence", "[MC\x1B[2J]\nPort=COM1\n", "COM1=" + one,
         "[MC\\x1B[2J] の名前に制御文字"},
        {"a bracket", "[MC]1]\nPort=COM1\n", "COM1=" + one, "[MC]1] の名前に「]」"},
    };
    for (const auto& m : mistakes) {
        SCOPED_TRACE(m.what);
        WriteConfig(m.ini, m.ports);
        DncProcess dnc(home_.path());
        ASSERT_TRUE(dnc.Start());
        EXPECT_EQ(dnc.WaitExit(10s), std::optional<int>(2)) << dnc.Out();
        EXPECT_NE(dnc.Err().find(m.said), std::string::npos) << dnc.Err();
        EXPECT_FALSE(std::regex_search(dnc.Err(), control)) << dnc.Err();
    }

    // A running server keeps its machine through every one of them.
    Configure({{"MC1", one}});
    ASSERT_TRUE(dnc_.Start());
    ASSERT_TRUE(dnc_.WaitForOutput("MC1: 開始します", 20s)) << dnc_.Out();
    int refused = 0;
    for (const auto& m : mistakes) {
        SCOPED_TRACE(m.what);
        WriteConfig(m.ini, m.ports);
        const int before = dnc_.Count(m.said);
        dnc_.Signal(SIGHUP);
        ASSERT_TRUE(dnc_.WaitForOutput("今の設定で続けます。", 20s, refused++)) << dnc_.Out();
        EXPECT_EQ(dnc_.Count(m.said), before + 1) << dnc_.Out();
    }
    EXPECT_EQ(dnc_.Count("停止"), 0) << dnc_.Out();
    Configure({{"MC1", one}});  // its folders and Ports.ini as at the start
    NcsimProcess nc;
    ASSERT_TRUE(StartPunch(nc, one));
    EXPECT_EQ(nc.WaitExit(30s), std::optional<int>(0));
    ASSERT_TRUE(dnc_.WaitForOutput("受信　　完了", 20s)) << dnc_.Out();
    EXPECT_EQ(test::ReadFileBytes(ReceiveDir("MC1") / "O1000.NC"), kSaved);
    EXPECT_FALSE(std::regex_search(dnc_.Out(), control));
    dnc_.Signal(SIGTERM);
    EXPECT_EQ(dnc_.WaitExit(5s), std::optional<int>(0));
}

TEST_F(DncConfigTest, AMachineWhoseFoldersFailIsNotStartedAndTheOthersServe) {
    const fs::path missing = work_ / "missing", file = work_ / "file", dangling = work_ / "dangling";
    test::WriteFileBytes(file, "");
    fs::create_symlink(work_ / "gone", dangling);
    const std::string send = "SendDir=" + SendDir("ANY").string() + "\n";
    struct Machine {
        std::string name, keys, said;
    };
    std::vector<Machine> machines = {
        {"MISSING", send + "ReceiveDir=" + missing.string(),
         "ReceiveDir「" + missing.string() + "」が無いため、この機械は開始しません。"},
        {"FILE", send + "ReceiveDir=" + file.string(),
         "ReceiveDir「" + file.string() + "」がフォルダではないため"},
        {"LINK", send + "ReceiveDir=" + dangling.string(),
         "ReceiveDir「" + dangling.string() + "」のリンク先が無いため"},
        {"NOSEND", "SendDir=" + missing.string() + "\nReceiveDir=" + ReceiveDir("NOSEND").string(),
         "SendDir「" + missing.string() + "」が無いため"},
    };
    // Permission bits refuse nobody running as root; creating a file does.
    if (fs::is_directory("/sys")) {
        machines.push_back({"SYS", send + "ReceiveDir=/sys", "ReceiveDir「/sys」に書き込めない（"});
    }
    const auto write = [&](const std::string& goodKeys) {
        std::string ini = "[GOOD]\nPort=COM1\n" + goodKeys + "\n";
        std::string ports = "COM1=" + (work_ / "nc1").string();
        for (std::size_t n = 0; n < machines.size(); ++n) {
            const std::string port = "COM" + std::to_string(n + 2);
            ini += "[" + machines[n].name + "]\nPort=" + port + "\n" + machines[n].keys + "\n";
            ports += "\n" + port + "=" + (work_ / machines[n].name).string();
        }
        WriteConfig(ini, ports);
    };
    // GOOD has no ReceiveDir: what it punches goes to its SendDir.
    write("SendDir=" + SendDir("GOOD").string());
    NcsimProcess nc;
    ASSERT_TRUE(StartPunch(nc, work_ / "nc1"));
    ASSERT_TRUE(dnc_.Start());
    EXPECT_EQ(nc.WaitExit(30s), std::optional<int>(0));
    ASSERT_TRUE(dnc_.WaitForOutput("受信　　完了", 20s)) << dnc_.Out();
    EXPECT_EQ(test::ReadFileBytes(SendDir("GOOD") / "O1000.NC"), kSaved);
    EXPECT_EQ(dnc_.Count("GOOD: ReceiveDir の指定が無いため、受信したプログラムは SendDir（" +
                         SendDir("GOOD").string() + "）に保存します。"),
              1)
        << dnc_.Out();
    for (const Machine& m : machines) {
        EXPECT_EQ(dnc_.Count(m.name + ": " + m.said), 1) << dnc_.Out();
        EXPECT_EQ(dnc_.Count(m.name + ": 開始します"), 0) << dnc_.Out();
    }

    // At a reload the folder made starts its machine; GOOD, now pointed at a
    // missing folder, stops.
    fs::create_directories(missing);
    write("SendDir=" + SendDir("GOOD").string() + "\nReceiveDir=" + (work_ / "none").string());
    dnc_.Signal(SIGHUP);
    ASSERT_TRUE(dnc_.WaitForOutput("設定を読み直しました（機械 2 台）", 20s)) << dnc_.Out();
    EXPECT_EQ(dnc_.Count("MISSING: 開始します"), 1) << dnc_.Out();
    EXPECT_EQ(dnc_.Count("GOOD: 設定が変わったため停止します。"), 1) << dnc_.Out();
    EXPECT_EQ(dnc_.Count("GOOD: ReceiveDir「" + (work_ / "none").string() + "」が無い"), 1);
    EXPECT_EQ(dnc_.Count("ReceiveDir の指定が無いため"), 1) << dnc_.Out();
    dnc_.Signal(SIGTERM);
    EXPECT_EQ(dnc_.WaitExit(5s), std::optional<int>(0));

    // No machine that can start: the server cannot.
    fs::remove(missing);
    machines.resize(1);
    write("SendDir=" + missing.string());
    DncProcess none(home_.path());
    ASSERT_TRUE(none.Start());
    EXPECT_EQ(none.WaitExit(10s), std::optional<int>(2)) << none.Out();
    EXPECT_NE(none.Err().find("どれも開始できません"), std::string::npos) << none.Err();
}

}  // namespace
}  // namespace wexal
