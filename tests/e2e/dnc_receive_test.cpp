// The real wexal-dnc receiving from NCs that misbehave: a punch cut off, a
// folder gone under it, line noise, a punch instead of the go-ahead of a
// request. The NC is a terminal of the test's own, punching in ISO.

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "revisions/revision_store.h"
#include "support/dnc_fixture.h"
#include "support/test_env.h"

namespace wexal {
namespace {

using namespace std::chrono_literals;
using test::DncServerTest;
using test::Entry;
namespace fs = std::filesystem;

void Punch(const test::PseudoTerminal& nc, const std::string& text) {
    ASSERT_TRUE(test::PunchIso(nc.master(), text));
}

std::vector<std::string> FilesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class DncReceiveTest : public DncServerTest {
protected:
    test::PseudoTerminal nc_;

    void StartOn(const std::string& extra) {
        ASSERT_TRUE(nc_.ok());
        Configure({{"MC1", nc_.slave()}}, extra);
        ASSERT_TRUE(dnc_.Start());
        ASSERT_TRUE(dnc_.WaitForOpen(nc_.slave(), 20s)) << dnc_.Out();
    }

    void TearDown() override {
        dnc_.Signal(SIGTERM);
        EXPECT_EQ(dnc_.WaitExit(5s), std::optional<int>(0));
    }
};

TEST_F(DncReceiveTest, APunchCutOffIsSetAsideAndTheNextTapeStartsAfresh) {
    const fs::path good = ReceiveDir("MC1") / "O1000.NC";
    test::WriteFileBytes(good, "O1000\r\nG01 X1.\r\nM30\r\n%\r\n");
    StartOn("ReceiveIdle=2\n");

    // The NC is reset in the middle of its punch, and punches again later.
    Punch(nc_, "%\nO1000\nG01X9.\n");
    ASSERT_TRUE(dnc_.WaitForOutput("受信　　中止", 20s)) << dnc_.Out();
    EXPECT_NE(test::TakeBack(nc_.master()).find('\x14'), std::string::npos) << "the NC is told with DC4";
    EXPECT_EQ(test::ReadFileBytes(good), "O1000\r\nG01 X1.\r\nM30\r\n%\r\n");
    EXPECT_EQ(test::ReadFileBytes(ReceiveDir("MC1") / "O1000.NC.part"), "O1000\r\nG01 X9.\r\n");
    EXPECT_TRUE(std::regex_search(
        dnc_.Log(), Entry("受信　　中止　", good.string() +
                                              "（ＮＣから 2 秒間何も届かないため、受信を中止しました。）",
                          "MC1")))
        << dnc_.Log();

    Punch(nc_, "%\nO1000\nG01X2.\nM30\n%\n");
    ASSERT_TRUE(dnc_.WaitForOutput("受信　　完了", 20s)) << dnc_.Out();
    EXPECT_EQ(test::ReadFileBytes(good), "O1000\r\nG01 X2.\r\nM30\r\n%\r\n");
    // The good copy it replaced is kept, and no cut program ever stood there.
    const RevisionList kept = ListRevisions(good);
    ASSERT_EQ(kept.revisions.size(), 1u);
    EXPECT_EQ(test::ReadFileBytes(kept.revisions[0].path),
              "O1000\r\nG01 X1.\r\nM30\r\n%\r\n");
}

TEST_F(DncReceiveTest, APunchWhoseLineGoesAwayIsSetAsideEvenWithOp5) {
    StartOn("op5=Y\n");
    Punch(nc_, "%\nO1000\nG01X9.\n");
    std::this_thread::sleep_for(1s);
    nc_.CloseMaster();
    ASSERT_TRUE(dnc_.WaitForOutput("受信　　中止", 20s)) << dnc_.Out();
    EXPECT_EQ(FilesIn(ReceiveDir("MC1")), std::vector<std::string>{"O1000.NC.part"});
    EXPECT_EQ(test::ReadFileBytes(ReceiveDir("MC1") / "O1000.NC.part"), "O1000\r\nG01 X9.\r\n");
    EXPECT_NE(dnc_.Log().find("/O1000.NC（回線が切断されました。"), std::string::npos) << dnc_.Log();
}

TEST_F(DncReceiveTest, AFolderGoneUnderAPunchTellsTheNcAndEndsOnce) {
    StartOn("ReceiveIdle=0\n");
    fs::remove_all(ReceiveDir("MC1"));
    // Two programs: the second must not be taken for receives of its own.
    Punch(nc_, "%\nO1000\nG01X1.\nM30\nO2000\nG01X2.\nM30\n%\n");
    ASSERT_TRUE(dnc_.WaitForOutput("受信　　中止", 20s)) << dnc_.Out();
    EXPECT_NE(test::TakeBack(nc_.master()).find('\x14'), std::string::npos);
    std::this_thread::sleep_for(3s);
    EXPECT_EQ(dnc_.Count("受信　　中止"), 1) << dnc_.Out();
    EXPECT_NE(dnc_.Log().find("　" + (ReceiveDir("MC1") / "O1000.NC").string() + "（"),
              std::string::npos)
        << dnc_.Log();

    // Once the folder is back, the next punch is saved.
    fs::create_directories(ReceiveDir("MC1"));
    Punch(nc_, "%\nO3000\nG01X3.\nM30\n%\n");
    ASSERT_TRUE(dnc_.WaitForOutput("受信　　完了", 20s)) << dnc_.Out();
    EXPECT_EQ(test::ReadFileBytes(ReceiveDir("MC1") / "O3000.NC"), "O3000\r\nG01 X3.\r\nM30\r\n%\r\n");
}

TEST_F(DncReceiveTest, LineNoiseIsNoProgram) {
    StartOn("ReceiveIdle=2\n");
    // Random bytes at about 1920 B/s, among which the noise makes program
    // numbers; no "%" and no DC4 in them, which would only end the receive
    // sooner, and no XON or XOFF, which hold the server's own output.
    std::mt19937 random(11);
    for (int segment = 0; segment < 10; ++segment) {
        std::string noise = "\nO" + std::to_string(1000 + random() % 9000) + "\n";
        while (noise.size() < 200) {
            const auto byte = static_cast<unsigned char>(random() & 0xFF);
            const int code = byte & 0x7F;
            if (code != '%' && code != 0x11 && code != 0x13 && byte != 0x14) {
                noise += static_cast<char>(byte);
            }
        }
        ASSERT_EQ(::write(nc_.master(), noise.data(), noise.size()),
                  static_cast<ssize_t>(noise.size()));
        std::this_thread::sleep_for(100ms);
    }
    // The server has read all of it, and the noise has gone quiet for
    // ReceiveIdle before the NC punches.
    {
        const int slave = ::open(nc_.slave().c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(slave, 0);
        int unread = 1;
        for (int i = 0; i < 600 && unread > 0; ++i) {
            ASSERT_EQ(::ioctl(slave, FIONREAD, &unread), 0);
            std::this_thread::sleep_for(100ms);
        }
        ::close(slave);
        EXPECT_EQ(unread, 0);
    }
    std::this_thread::sleep_for(6s);
    Punch(nc_, "%\nO1000\nG01X1.\nM30\n%\n");
    ASSERT_TRUE(dnc_.WaitForOutput("O1000.NC", 30s)) << dnc_.Out();
    EXPECT_EQ(FilesIn(ReceiveDir("MC1")), std::vector<std::string>{"O1000.NC"}) << dnc_.Log();
    EXPECT_EQ(test::ReadFileBytes(ReceiveDir("MC1") / "O1000.NC"), "O1000\r\nG01 X1.\r\nM30\r\n%\r\n");
    EXPECT_EQ(dnc_.Count("受信　　完了"), 1) << dnc_.Out();
    // Said, but once a minute at most, with the bytes it came to.
    EXPECT_EQ(dnc_.Count("雑音　　破棄"), 1) << dnc_.Out();
}

TEST_F(DncReceiveTest, WhatLooksLikeARequestButIsNotIsSavedAndAPunchEndsTheWait) {
    test::WriteFileBytes(SendDir("MC1") / "O1000.NC", "%\nO1000\nG01X1.\nM30\n%\n");
    StartOn("RequestWait=30\n");

    // A program whose number line carries a comment that starts like a
    // request, and a request whose name lost bytes to the filter, are
    // programs.
    Punch(nc_, "%\nO3000(REQ O1000)\nG01X3.\nM30\nO4000(REQ o1000)\n%\n");
    ASSERT_TRUE(dnc_.WaitForOutput("O4000.NC", 20s)) << dnc_.Out();
    EXPECT_EQ(test::ReadFileBytes(ReceiveDir("MC1") / "O3000.NC"),
              "O3000(REQ O1000)\r\nG01 X3.\r\nM30\r\n%\r\n");
    EXPECT_EQ(test::ReadFileBytes(ReceiveDir("MC1") / "O4000.NC"), "O4000(REQ 1000)\r\n%\r\n");

    // A real request, and then the NC punches instead of reading: the punch
    // is saved and nothing goes out to it.
    (void)test::TakeBack(nc_.master());
    Punch(nc_, "%\nO9999(REQ O1000)\n%\n");
    ASSERT_TRUE(dnc_.WaitForOutput("要求　　受付", 20s)) << dnc_.Out();
    std::this_thread::sleep_for(500ms);
    Punch(nc_, "%\nO2000\nG01X2.\nM30\n%\n");
    ASSERT_TRUE(dnc_.WaitForOutput("O2000.NC", 20s)) << dnc_.Out();
    EXPECT_EQ(test::ReadFileBytes(ReceiveDir("MC1") / "O2000.NC"),
              "O2000\r\nG01 X2.\r\nM30\r\n%\r\n");
    EXPECT_EQ(test::TakeBack(nc_.master()).find("G01X1."), std::string::npos);
    EXPECT_EQ(dnc_.Count("送信　　完了"), 0) << dnc_.Out();
    EXPECT_EQ(dnc_.Count("要求　　中止"), 1) << dnc_.Out();
}

}  // namespace
}  // namespace wexal
