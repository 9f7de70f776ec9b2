// The real wexal-dnc against machines played by ncsim (on pseudo-terminals,
// behind ser2net's RFC 2217 and on ncsim's own raw TCP port) and by a
// terminal the test fills with garbage.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/os_file.h"
#include "platform/text_codec.h"
#include "revisions/revision_store.h"
#include "support/dnc_fixture.h"
#include "support/dnc_process.h"
#include "support/ncsim_process.h"
#include "support/ser2net_process.h"
#include "support/test_env.h"

namespace wexal {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::DncProcess;
using test::DncServerTest;
using test::Entry;
using test::BigProgram;
using test::NoisyMachine;
using test::NcsimProcess;
namespace fs = std::filesystem;

TEST_F(DncServerTest, FourMachinesPunchRequestDripAndNoiseAtOnce) {
    const std::optional<std::string> ser2net = test::Ser2netProcess::Binary();
    if (!ser2net) GTEST_SKIP() << "ser2net is not installed";

    // PUNCH, on ncsim's raw TCP port: two programs, one whose number is no
    // plain file name.
    const fs::path tape = work_ / "punch.nc";
    test::WriteFileBytes(tape, "%\nO1000(FIRST)\nG01X1.F100\nM30\nO1/2(SECOND)\nG01Y2.\nM30\n%\n");
    NcsimProcess punch;
    ASSERT_TRUE(punch.Start({"punch", tape.string(), "--serve", "tcp://127.0.0.1:0", "--line",
                             "none", "--code", "iso", "--report", (work_ / "punch.rep").string()}));

    // REQ, behind ser2net's RFC 2217 at the line rate, asks for O1000.
    test::WriteFileBytes(SendDir("REQ") / "O1000.NC",
                         "%\nO1000\nG00X10.Y-5.\nG01Z-2.F100\nM30\n%\n");
    // The machines that end before the server are reached through links
    // that ncsim removes as it ends: a freed terminal's number soon belongs
    // to another test, and the server (or ser2net) tries its port again.
    const fs::path requestLink = work_ / "req.tty";
    NcsimProcess request;
    ASSERT_TRUE(request.Start({"request", "O1000", "--line", "19200,8,N,1", "--code", "iso",
                               "--dc1", "--text", (work_ / "req.nc").string(), "--report",
                               (work_ / "req.rep").string(), "--idle-timeout", "60", "--link",
                               requestLink.string()}));
    test::Ser2netProcess server;
    ASSERT_TRUE(server.Start(requestLink.string(), true, "19200n81", work_.path()));

    // DRIP, on a terminal without line rate, asks for 40 KB as a drip feed:
    // the server keeps the line's pace there too, 21 s at 19200 baud.
    const auto [big, bigDecoded] = BigProgram("O7000", 40u * 1024u);
    test::WriteFileBytes(SendDir("DRIP") / "O7000.NC", big);
    const fs::path dripLink = work_ / "drip.tty";
    NcsimProcess drip;
    ASSERT_TRUE(drip.Start({"request", "O7000", "--drip", "--line", "none", "--code", "iso",
                            "--dc1", "--text", (work_ / "drip.nc").string(), "--report",
                            (work_ / "drip.rep").string(), "--idle-timeout", "60", "--link",
                            dripLink.string()}));

    // NOISE, the fourth, sends garbage all the time.
    test::PseudoTerminal noiseLine;
    ASSERT_TRUE(noiseLine.ok());
    NoisyMachine noise(noiseLine.master());

    Configure({{"PUNCH", punch.slave()},
               {"REQ", server.Url()},
               {"DRIP", dripLink.string()},
               {"NOISE", noiseLine.slave()}});
    ASSERT_TRUE(dnc_.Start());

    EXPECT_EQ(punch.WaitExit(60s), std::optional<int>(0));
    EXPECT_EQ(request.WaitExit(60s), std::optional<int>(0));
    EXPECT_EQ(drip.WaitExit(300s), std::optional<int>(0));

    // Each punched program under its safe name, as F2 with "N" saves it.
    EXPECT_EQ(test::ReadFileBytes(ReceiveDir("PUNCH") / "O1000.NC"),
              "O1000(FIRST)\r\nG01 X1. F100\r\nM30\r\n%\r\n");
    EXPECT_EQ(test::ReadFileBytes(ReceiveDir("PUNCH") / "O1%2F2.NC"),
              "O1/2(SECOND)\r\nG01 Y2.\r\nM30\r\n%\r\n");
    // What F1 sends of the file, byte for byte as decoded.
    EXPECT_EQ(test::ReadFileBytes(work_ / "req.nc"), "\nO1000\nG00X10.Y-5.\nG01Z-2.F100\nM30\n\n%");
    const std::string dripped = test::ReadFileBytes(work_ / "drip.nc");
    EXPECT_EQ(dripped.size(), bigDecoded.size());
    EXPECT_TRUE(dripped == bigDecoded) << "the dripped program differs";
    EXPECT_GT(noise.sent(), 0);
    // The request itself was never saved as a program.
    EXPECT_FALSE(fs::exists(ReceiveDir("REQ") / "O9999.NC"));
    EXPECT_FALSE(fs::exists(ReceiveDir("DRIP") / "O9999.NC"));

    // Wait for the entries a finished send writes after its drain.
    ASSERT_TRUE(dnc_.WaitForOutput("O7000.NC　DRIP", 30s)) << dnc_.Out();
    const std::string log = dnc_.Log();
    const std::string out = dnc_.Out();
    const struct {
        const char* head;
        fs::path file;
        const char* machine;
    } entries[] = {
        {"受信　　完了　", ReceiveDir("PUNCH") / "O1000.NC", "PUNCH"},
        {"受信　　完了　", ReceiveDir("PUNCH") / "O1%2F2.NC", "PUNCH"},
        {"要求　　受付　", SendDir("REQ") / "O1000.NC", "REQ"},
        {"送信　　完了　", SendDir("REQ") / "O1000.NC", "REQ"},
        {"送信　　完了　", SendDir("DRIP") / "O7000.NC", "DRIP"},
    };
    for (const auto& e : entries) {
        EXPECT_TRUE(std::regex_search(log, Entry(e.head, e.file.string(), e.machine)))
            << e.head << e.file << "\n" << log;
    }
    // Standard output has the same entries, in UTF-8 without the CR.
    EXPECT_NE(out.find("要求　　受付　"), std::string::npos) << out;
    EXPECT_NE(log.find((SendDir("DRIP") / "O7000.NC").string() + "（DRIP）　DRIP"),
              std::string::npos)
        << log;
    // Whatever the noise made of its own receives, nobody else stopped.
    EXPECT_FALSE(std::regex_search(log, std::regex("中止[^\r\n]*　(PUNCH|REQ|DRIP)\r\n")))
        << log;

    // ncsim's TCP port went with its punch: tried again every few seconds
    // since, and said once.
    std::this_thread::sleep_for(7s);
    EXPECT_EQ(dnc_.Count("PUNCH: COM1のポートが開きません。"), 1) << dnc_.Out();

    dnc_.Signal(SIGTERM);
    EXPECT_EQ(dnc_.WaitExit(5s), std::optional<int>(0)) << dnc_.Out();
}

TEST_F(DncServerTest, SigtermAbortsRunningTransfersAndEndsWithin5Seconds) {
    // A send and a receive, each paced at 19200 baud and far from done.
    const auto [program, decoded] = BigProgram("O2000", 200u * 1024u);
    test::WriteFileBytes(SendDir("SEND") / "O2000.NC", program);
    NcsimProcess request;
    ASSERT_TRUE(
        request.Start({"request", "O2000", "--line", "19200,8,N,1", "--code", "iso", "--dc1",
                       "--xoff-at", "200", "--xon-at", "50", "--report",
                       (work_ / "send.rep").string(), "--link", (work_ / "send.tty").string()}));
    const fs::path tape = work_ / "tape.nc";
    test::WriteFileBytes(tape, BigProgram("O3000", 200u * 1024u).first);
    NcsimProcess punch;
    ASSERT_TRUE(
        punch.Start({"punch", tape.string(), "--line", "19200,8,N,1", "--code", "iso", "--report",
                     (work_ / "punch.rep").string(), "--link", (work_ / "recv.tty").string()}));
    Configure({{"SEND", (work_ / "send.tty").string()}, {"RECV", (work_ / "recv.tty").string()}});
    ASSERT_TRUE(dnc_.Start());
    ASSERT_TRUE(dnc_.WaitForOutput("要求　　受付", 20s)) << dnc_.Out();
    std::this_thread::sleep_for(3s);

    const auto signalled = Clock::now();
    dnc_.Signal(SIGTERM);
    EXPECT_EQ(dnc_.WaitExit(5s), std::optional<int>(0)) << dnc_.Out();
    EXPECT_LE(Clock::now() - signalled, 5s);

    EXPECT_EQ(request.WaitExit(30s), std::optional<int>(0));
    EXPECT_EQ(punch.WaitExit(30s), std::optional<int>(0));
    EXPECT_EQ(Report(work_ / "send.rep", "dc4_received"), "1");
    EXPECT_EQ(Report(work_ / "punch.rep", "dc4_received"), "1");
    const std::string log = dnc_.Log();
    EXPECT_TRUE(std::regex_search(
        log, Entry("送信　　中止　", (SendDir("SEND") / "O2000.NC").string(), "SEND")))
        << log;
    EXPECT_NE(log.find("受信　　中止　"), std::string::npos) << log;
    EXPECT_NE(log.find("　RECV\r\n"), std::string::npos) << log;
    // The program cut short was not saved as a whole one.
    EXPECT_FALSE(fs::exists(ReceiveDir("RECV") / "O3000.NC"));
}

TEST_F(DncServerTest, BadRequestsSendNothingAndTheMachineIsStillServed) {
    test::WriteFileBytes(SendDir("MC1") / "O1000.NC", "%\nO1000\nG01X1.\nM30\n%\n");
    test::WriteFileBytes(SendDir("MC1") / "EMPTY.NC", "");
    fs::create_directories(SendDir("MC1") / "DIR.NC");
    const fs::path link = work_ / "nc1";
    Configure({{"MC1", link.string()}}, "RequestWait=2\n");
    ASSERT_TRUE(dnc_.Start());

    // The requests are punched by a terminal of the test's own, in ISO (even
    // parity), so that any name can be asked for and anything that comes
    // back is seen.
    const struct {
        const char* name;
        const char* logged;  // the name as the entry shows it
        const char* reason;
    } refused[] = {
        {"../../ETC/PASSWD", "../../ETC/PASSWD", "フォルダを含む名前は使えません。"},
        {"O4444", "O4444", "ファイルが有りません。"},
        {"DIR", "DIR", "通常のファイルではありません。"},
        {"EMPTY", "EMPTY", "空のファイルです。"},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.logged);
        test::PseudoTerminal nc;
        ASSERT_TRUE(nc.ok());
        fs::create_symlink(nc.slave(), link);
        ASSERT_TRUE(dnc_.WaitForOpen(nc.slave(), 20s)) << dnc_.Out();
        const int refusals = dnc_.Count("要求　　拒否");
        ASSERT_TRUE(test::PunchIso(nc.master(), "%\nO9999(REQ " + std::string(r.name) + ")\n%\n"));
        EXPECT_TRUE(dnc_.WaitForOutput("要求　　拒否", 20s, refusals)) << dnc_.Out();
        EXPECT_NE(dnc_.Log().find(std::string(r.logged) + "（" + r.reason + "）　MC1\r\n"),
                  std::string::npos)
            << dnc_.Log();
        // Nothing comes back, not even the DC4 of a finished receive.
        std::this_thread::sleep_for(1s);
        EXPECT_EQ(test::TakeBack(nc.master()), "");
        fs::remove(link);
    }
    EXPECT_EQ(dnc_.Log().find("送信"), std::string::npos) << dnc_.Log();

    {
        // An NC that asks and then never says it is ready (no DC1) holds the
        // machine for RequestWait only: the send ends on its abort path.
        NcsimProcess silent;
        const fs::path report = work_ / "silent.rep";
        ASSERT_TRUE(silent.Start({"request", "O1000", "--link", link.string(), "--line", "none",
                                  "--code", "iso", "--report", report.string(),
                                  "--idle-timeout", "20"}));
        EXPECT_TRUE(silent.WaitExit(60s).has_value());
        EXPECT_EQ(Report(report, "dc4_received"), "1");
        EXPECT_EQ(Report(report, "text_bytes"), "0");
        EXPECT_TRUE(std::regex_search(
            dnc_.Log(), Entry("送信　　中止　", (SendDir("MC1") / "O1000.NC").string(), "MC1")))
            << dnc_.Log();
        EXPECT_EQ(dnc_.Count("2 秒待ちましたが来ないため"), 1) << dnc_.Out();
    }

    NcsimProcess nc;
    ASSERT_TRUE(nc.Start({"request", "O1000", "--link", link.string(), "--line", "none", "--code",
                          "iso", "--dc1", "--text", (work_ / "got.nc").string(),
                          "--idle-timeout", "10"}));
    EXPECT_EQ(nc.WaitExit(60s), std::optional<int>(0));
    EXPECT_EQ(test::ReadFileBytes(work_ / "got.nc"), "\nO1000\nG01X1.\nM30\n\n%");

    dnc_.Signal(SIGTERM);
    EXPECT_EQ(dnc_.WaitExit(5s), std::optional<int>(0));
}

TEST_F(DncServerTest, PunchesOfOneNumberKeepEveryProgram) {
    // Two machines saving into one folder, on terminals of the test's own.
    const fs::path shared = Folder("shared");
    test::PseudoTerminal nc1, nc2;
    ASSERT_TRUE(nc1.ok() && nc2.ok());
    std::string ini;
    for (const char* name : {"MC1", "MC2"}) {
        ini += "[" + std::string(name) + "]\nPort=COM" + std::string(name + 2) + "\nSendDir=" +
               shared.string() + "\nReceiveDir=" + shared.string() + "\n";
    }
    test::WriteFileBytes(home_ / "Machines.ini", ini);
    test::WriteFileBytes(home_ / "Ports.ini",
                         "[Ports]\nCOM1=" + nc1.slave() + "\nCOM2=" + nc2.slave() + "\n");
    ASSERT_TRUE(dnc_.Start());
    ASSERT_TRUE(dnc_.WaitForOpen(nc1.slave(), 20s) && dnc_.WaitForOpen(nc2.slave(), 20s));
    const auto punch = [](test::PseudoTerminal& nc, const std::string& comment) {
        return test::PunchIso(nc.master(), "%\nO1234(" + comment + ")\nG01X1.\n%\n");
    };
    const fs::path file = shared / "O1234.NC";
    const auto kept = [&] {
        std::vector<std::string> programs = {test::ReadFileBytes(file)};
        for (const Revision& revision : ListRevisions(file).revisions) {
            programs.push_back(test::ReadFileBytes(revision.path));
        }
        for (std::string& program : programs) {
            const std::size_t open = program.find('(') + 1;
            program = program.substr(open, program.find(')') - open);
        }
        return programs;  // the file's first, then newest first
    };

    // One machine, twice: the second under the name, the first its revision.
    ASSERT_TRUE(punch(nc1, "FIRST"));
    ASSERT_TRUE(dnc_.WaitForOutput("受信　　完了", 20s)) << dnc_.Out();
    ASSERT_TRUE(punch(nc1, "SECOND"));
    ASSERT_TRUE(dnc_.WaitForOutput("受信　　完了", 20s, 1)) << dnc_.Out();
    ASSERT_TRUE(dnc_.WaitForOutput("前版　　保存", 20s)) << dnc_.Out();
    EXPECT_EQ(kept(), (std::vector<std::string>{"SECOND", "FIRST"}));
    const RevisionList first = ListRevisions(file);
    ASSERT_EQ(first.revisions.size(), 1u);
    EXPECT_EQ(first.revisions[0].source, "MC1");
    EXPECT_NE(dnc_.Log().find("前版　　保存　"), std::string::npos);
    EXPECT_NE(dnc_.Log().find(PathText(first.revisions[0].path) + "　MC1\r\n"), std::string::npos)
        << dnc_.Log();

    // Both machines at the same moment: both programs are there.
    ASSERT_TRUE(punch(nc1, "THIRD") && punch(nc2, "FOURTH"));
    ASSERT_TRUE(dnc_.WaitForOutput("受信　　完了", 20s, 3)) << dnc_.Out();
    ASSERT_TRUE(dnc_.WaitForOutput("前版　　保存", 20s, 2)) << dnc_.Out();
    std::vector<std::string> all = kept();
    std::sort(all.begin(), all.end());
    EXPECT_EQ(all, (std::vector<std::string>{"FIRST", "FOURTH", "SECOND", "THIRD"}));

    // ncrev lists the three revisions, newest first.
    FILE* list = ::popen((test::BinDir() + "/ncrev list '" + file.string() + "'").c_str(), "r");
    ASSERT_NE(list, nullptr);
    std::string listed;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, list)) > 0;) listed.append(chunk, n);
    EXPECT_EQ(::pclose(list), 0);
    const RevisionList three = ListRevisions(file);
    ASSERT_EQ(three.revisions.size(), 3u);
    std::string expected;
    for (const Revision& r : three.revisions) {
        expected += RevisionTimeText(r.timeMs) + "\t" + r.source + "\t" + std::to_string(r.size) +
                    "\t" + PathText(r.path) + "\n";
    }
    EXPECT_EQ(listed, expected);

    dnc_.Signal(SIGTERM);
    EXPECT_EQ(dnc_.WaitExit(5s), std::optional<int>(0));
}

TEST_F(DncServerTest, SighupStartsNewMachinesAndLeavesUnchangedOnesAlone) {
    test::PseudoTerminal one, two;
    ASSERT_TRUE(one.ok() && two.ok());
    Configure({{"MC1", one.slave()}});
    ASSERT_TRUE(dnc_.Start());
    ASSERT_TRUE(dnc_.WaitForOpen(one.slave(), 20s)) << dnc_.Out();

    Configure({{"MC1", one.slave()}, {"MC2", two.slave()}});
    dnc_.Signal(SIGHUP);
    ASSERT_TRUE(dnc_.WaitForOutput("設定を読み直しました（機械 2 台）", 20s)) << dnc_.Out();
    ASSERT_TRUE(dnc_.WaitForOpen(two.slave(), 20s)) << dnc_.Out();
    EXPECT_EQ(dnc_.Count("MC1: 開始します"), 1) << dnc_.Out();
    EXPECT_EQ(dnc_.Count("MC2: 開始します"), 1) << dnc_.Out();

    // A changed machine starts again; a broken file changes nothing.
    Configure({{"MC1", one.slave()}, {"MC2", two.slave()}}, "Speed=9600,8,N,2\n");
    dnc_.Signal(SIGHUP);
    ASSERT_TRUE(dnc_.WaitForOutput("設定を読み直しました", 20s, 1)) << dnc_.Out();
    EXPECT_EQ(dnc_.Count("開始します（COM1、9600,8,N,2"), 1) << dnc_.Out();
    fs::remove(home_ / "Machines.ini");
    dnc_.Signal(SIGHUP);
    ASSERT_TRUE(dnc_.WaitForOutput("今の設定で続けます。", 20s)) << dnc_.Out();
    EXPECT_TRUE(dnc_.WaitForOpen(two.slave(), 5s));

    dnc_.Signal(SIGTERM);
    EXPECT_EQ(dnc_.WaitExit(5s), std::optional<int>(0));
}

TEST_F(DncServerTest, AConfigurationWithoutMachinesEndsWith2) {
    test::WriteFileBytes(home_ / "Machines.ini", "; no machine yet\n");
    ASSERT_TRUE(dnc_.Start());
    EXPECT_EQ(dnc_.WaitExit(10s), std::optional<int>(2));
    EXPECT_NE(dnc_.Err().find("機械が有りません"), std::string::npos) << dnc_.Err();

    DncProcess missing(home_.path());
    ASSERT_TRUE(missing.Start({"--config", (work_ / "nothing.ini").string()}));
    EXPECT_EQ(missing.WaitExit(10s), std::optional<int>(2));
    EXPECT_NE(missing.Err().find("を読み込めません"), std::string::npos) << missing.Err();
}

}  // namespace
}  // namespace wexal
