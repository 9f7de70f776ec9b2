// The Windows wexal-dnc.exe under Wine, serving ncsim on pseudo-terminals
// through Wine's COM port mapping and over RFC 2217 to ncsim --serve; the
// Linux build serves the same machines, and both must save and send the same
// bytes. Skipped where the Windows build or Wine is missing.

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/text_codec.h"
#include "support/dnc_process.h"
#include "support/ncsim_process.h"
#include "support/test_env.h"
#include "support/wine.h"

extern char** environ;

namespace wexal {
namespace {

using namespace std::chrono_literals;
using test::DncProcess;
using test::NcsimProcess;
namespace fs = std::filesystem;

const fs::path kWindowsServer = test::WindowsBinDir() + "/wexal-dnc.exe";

// Runs a command to its end; its exit status, or -1.
int RunToEnd(std::vector<std::string> args, const std::vector<std::string>& extraEnv) {
    std::vector<std::string> env = extraEnv;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) return -1;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// What one server made of the four machines.
struct Served {
    std::string punchedCom1000, punchedCom12, punchedNet1000, punchedNet12;
    std::string requestedCom, requestedNet;
    std::string out, log;
};

class DncWindowsTest : public ::testing::Test {
protected:
    // One Wine prefix for the suite, COM1 and COM2 mapped to links that the
    // pty machines make: the registry key is read when the Wine server
    // starts, which it does anew for each run of the server.
    static void SetUpTestSuite() {
        wine_ = test::WineProgram();
        wineServer_ = test::WineServer();
        if (!wine_ || !wineServer_ || !fs::exists(kWindowsServer)) return;
        prefix_ = new test::TempDir;
        for (int n = 1; n <= 2; ++n) {
            const std::string link = Link(n).string();
            if (RunToEnd({wine_->string(), "reg", "add", "HKLM\\Software\\Wine\\Ports", "/v",
                          "COM" + std::to_string(n), "/t", "REG_SZ", "/d", link, "/f"},
                         WineEnv()) != 0) {
                return;
            }
        }
        StopWineServer();
        ready_ = true;
    }

    static void TearDownTestSuite() {
        if (prefix_ != nullptr) StopWineServer();
        delete prefix_;
        prefix_ = nullptr;
    }

    static void StopWineServer() { RunToEnd({wineServer_->string(), "-k"}, WineEnv()); }

    static fs::path Link(int n) { return prefix_->path() / ("com" + std::to_string(n) + ".tty"); }

    static std::vector<std::string> WineEnv() {
        // UTF-8 names from the Linux side reach the program as they are.
        return {"WINEPREFIX=" + (prefix_->path() / "wine").string(), "WINEDEBUG=-all",
                "WINEDLLOVERRIDES=mscoree,mshtml=", "DISPLAY=", "LANG=C.UTF-8"};
    }

    void SetUp() override {
        if (!ready_) {
            GTEST_SKIP()
                << "needs Wine and the Windows build (cmake --preset windows, cmake --build "
                   "--preset windows)";
        }
    }

    Served Serve(bool windows) {
        test::TempDir top, work;
        // A program folder with a Japanese name, given as WEXAL_HOME.
        const fs::path home = top / "プログラムフォルダ";
        fs::create_directories(home);
        const auto folder = [&](const std::string& name) {
            fs::create_directories(work / name);
            return work / name;
        };
        const auto named = [&](const fs::path& path) {
            return windows ? test::AsWindowsPath(path) : path.string();
        };
        test::WriteFileBytes(home / "Wexal.INI",
                             "[Setting]\nSpeed=19200,8,N,1\nCode=N\nSignal=Y\nStartChar=N\n"
                             "EndChar=Y\nMask=*.NC\nR_Code=0\n[Options]\nAdd_No=N\n");
        const std::string tape = "%\nO1000(FIRST)\nG01X1.F100\nM30\nO1/2(SECOND)\nG01Y2.\nM30\n%\n";
        test::WriteFileBytes(work / "tape.nc", tape);
        const std::string program = "%\nO1000\nG00X10.Y-5.\nG01Z-2.F100\nM30\n%\n";
        test::WriteFileBytes(folder("send") / "O1000.NC", program);

        // The machines on terminals end before the server: links, which ncsim
        // removes as it ends, keep the freed terminals out of the server's way.
        NcsimProcess punchCom, requestCom, punchNet, requestNet;
        EXPECT_TRUE(
            punchCom.Start({"punch", (work / "tape.nc").string(), "--line", "none", "--code", "iso",
                            "--link", Link(1).string(), "--idle-timeout", "60"}));
        EXPECT_TRUE(requestCom.Start({"request", "O1000", "--line", "19200,8,N,1", "--code", "iso",
                                      "--dc1", "--text", (work / "com.nc").string(),
                                      "--idle-timeout", "60", "--link", Link(2).string()}));
        EXPECT_TRUE(punchNet.Start({"punch", (work / "tape.nc").string(), "--serve",
                                    "rfc2217://127.0.0.1:0", "--line", "none", "--code", "iso",
                                    "--idle-timeout", "60"}));
        EXPECT_TRUE(requestNet.Start({"request", "O1000", "--serve", "rfc2217://127.0.0.1:0",
                                      "--line", "19200,8,N,1", "--code", "iso", "--dc1", "--text",
                                      (work / "net.nc").string(), "--idle-timeout", "60"}));
        std::string machines;
        const std::pair<std::string, std::string> ports[] = {{"PUNCH", "COM1"},
                                                             {"REQ", "COM2"},
                                                             {"NPUNCH", punchNet.slave()},
                                                             {"NREQ", requestNet.slave()}};
        for (const auto& [name, port] : ports) {
            machines += "[" + name + "]\nPort=" + port + "\nSendDir=" + named(work / "send") +
                        "\nReceiveDir=" + named(folder("受信-" + name)) + "\n";
        }
        // Settings files are cp932, Japanese folder names included.
        test::WriteFileBytes(home / "Machines.ini", Utf8ToCp932(machines).value());
        // The Linux build reaches the same links through the port map.
        test::WriteFileBytes(home / "Ports.ini", "[Ports]\nCOM1=" + Link(1).string() +
                                                     "\nCOM2=" + Link(2).string() + "\n");

        DncProcess dnc = windows
                             ? DncProcess(home, {wine_->string(), kWindowsServer.string()},
                                          test::AsWindowsPath(home), WineEnv())
                             : DncProcess(home);
        EXPECT_TRUE(dnc.Start());
        for (NcsimProcess* machine : {&punchCom, &requestCom, &punchNet, &requestNet}) {
            EXPECT_EQ(machine->WaitExit(90s), std::optional<int>(0));
        }
        // A finished send writes its entry after the drain, a receive after
        // the line has gone quiet.
        for (const char* entry :
             {"O1000.NC　NREQ", "O1000.NC　REQ", "O1%2F2.NC　PUNCH", "O1%2F2.NC　NPUNCH"}) {
            EXPECT_TRUE(dnc.WaitForOutput(entry, 30s)) << entry << "\n" << dnc.Out() << dnc.Err();
        }
        dnc.Signal(SIGTERM);
        if (windows) {
            // Wine ends the process on SIGTERM without a console event.
            StopWineServer();
        } else {
            EXPECT_EQ(dnc.WaitExit(5s), std::optional<int>(0)) << dnc.Out();
        }

        Served served;
        served.punchedCom1000 = test::ReadFileBytes(work / "受信-PUNCH" / "O1000.NC");
        served.punchedCom12 = test::ReadFileBytes(work / "受信-PUNCH" / "O1%2F2.NC");
        served.punchedNet1000 = test::ReadFileBytes(work / "受信-NPUNCH" / "O1000.NC");
        served.punchedNet12 = test::ReadFileBytes(work / "受信-NPUNCH" / "O1%2F2.NC");
        served.requestedCom = test::ReadFileBytes(work / "com.nc");
        served.requestedNet = test::ReadFileBytes(work / "net.nc");
        served.out = dnc.Out();
        served.log = dnc.Log();
        return served;
    }

    static inline std::optional<fs::path> wine_, wineServer_;
    static inline test::TempDir* prefix_ = nullptr;
    static inline bool ready_ = false;
};

TEST_F(DncWindowsTest, PunchedAndRequestedProgramsAreTheBytesTheLinuxBuildMakes) {
    const Served windows = Serve(true);
    const Served linux = Serve(false);

    const std::string first = "O1000(FIRST)\r\nG01 X1. F100\r\nM30\r\n%\r\n";
    const std::string second = "O1/2(SECOND)\r\nG01 Y2.\r\nM30\r\n%\r\n";
    const std::string requested = "\nO1000\nG00X10.Y-5.\nG01Z-2.F100\nM30\n\n%";
    for (const Served* served : {&windows, &linux}) {
        const char* build = served == &windows ? "Windows" : "Linux";
        EXPECT_EQ(served->punchedCom1000, first) << build;
        EXPECT_EQ(served->punchedCom12, second) << build;
        EXPECT_EQ(served->punchedNet1000, first) << build;
        EXPECT_EQ(served->punchedNet12, second) << build;
        EXPECT_EQ(served->requestedCom, requested) << build;
        EXPECT_EQ(served->requestedNet, requested) << build;
    }
    // The Windows log: the design's entries, cp932 with CR LF, with the
    // folders as Windows names them.
    for (const char* entry : {"受信　　完了　", "要求　　受付　", "送信　　完了　"}) {
        EXPECT_NE(windows.log.find(entry), std::string::npos) << entry << "\n" << windows.log;
    }
    EXPECT_NE(windows.log.find("\\受信-PUNCH\\O1%2F2.NC　PUNCH\r\n"), std::string::npos)
        << windows.log;
    EXPECT_NE(windows.out.find("PUNCH: 開始します（COM1、19200,8,N,1、送信 Z:\\"),
              std::string::npos)
        << windows.out;
}

// ncpath.exe prints the toolpath the Linux ncpath prints, byte for byte, of a
// program in a folder with a Japanese name (wide paths from the command line
// to the file).
TEST_F(DncWindowsTest, NcpathPrintsWhatTheLinuxBuildPrints) {
    test::TempDir work;
    const fs::path folder = work / "加工プログラム";
    fs::create_directories(folder);
    const fs::path program = folder / "工程１.NC";
    test::WriteFileBytes(program,
                         "%\nO1(ARC)\nG90G00X0Y0Z5.\nG01Z-1.F100\nG02X10.Y10.I10.J0\n"
                         "G03X0Y0R10.\n/G00Z20.\nG81X5.Y5.Z-3.R1.F50\nG80\n#1=5\nM30\n%\n");
    const std::vector<std::string> env = WineEnv();
    ASSERT_EQ(RunToEnd({"/bin/sh", "-c", "\"$0\" \"$1\" > \"$2\"", test::BinDir() + "/ncpath",
                        program.string(), (work / "linux.txt").string()},
                       {}),
              0);
    ASSERT_EQ(RunToEnd({"/bin/sh", "-c", "\"$0\" \"$1\" \"$2\" > \"$3\"", wine_->string(),
                        (kWindowsServer.parent_path() / "ncpath.exe").string(),
                        test::AsWindowsPath(program), (work / "windows.txt").string()},
                       env),
              0);
    const std::string linux = test::ReadFileBytes(work / "linux.txt");
    EXPECT_NE(linux.find("N5 CW X10.0000 Y10.0000"), std::string::npos) << linux;
    EXPECT_EQ(test::ReadFileBytes(work / "windows.txt"), linux);
}

}  // namespace
}  // namespace wexal
