// The real Wexal binary, started headless: single instance, the lock after a
// kill, and the settings files of normal and command-line runs.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/instance_lock.h"
#include "support/test_env.h"
#include "support/x_display.h"

extern char** environ;

namespace wexal {
namespace {

using namespace std::chrono_literals;

class WexalBinaryTest : public ::testing::Test {
protected:
    test::TempDir program_;
    test::TempDir runtime_;
    test::TempDir home_;
    test::PseudoTerminal pty_;
    test::ScopedEnv runtimeEnv_{"XDG_RUNTIME_DIR", runtime_.path().c_str()};
    std::vector<pid_t> started_;

    WexalBinaryTest() {
        std::filesystem::permissions(runtime_.path(), std::filesystem::perms::owner_all);
    }

    ~WexalBinaryTest() override { KillAll(); }

    void KillAll() {
        for (pid_t pid : started_) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        started_.clear();
    }

    // extraEnv entries come first, so they win over the defaults below.
    pid_t Start(std::vector<std::string> args = {}, std::vector<std::string> extraEnv = {}) {
        std::vector<std::string> env = std::move(extraEnv);
        env.insert(env.end(), {
                                  "QT_QPA_PLATFORM=offscreen",
                                  "WEXAL_HOME=" + program_.path().string(),
                                  "XDG_RUNTIME_DIR=" + runtime_.path().string(),
                                  "HOME=" + home_.path().string(),
                                  "WEXAL_COM1=" + pty_.slave(),
                              });
        args.insert(args.begin(), test::BinDir() + "/Wexal");
        std::vector<char*> argv, envp;
        for (auto& a : args) argv.push_back(a.data());
        for (auto& e : env) envp.push_back(e.data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
        pid_t pid = -1;
        if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) {
            return -1;
        }
        started_.push_back(pid);
        return pid;
    }

    // The exit status, or nothing when the process is still running at the end.
    std::optional<int> WaitExit(pid_t pid, std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        do {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                std::erase(started_, pid);
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(20ms);
        } while (std::chrono::steady_clock::now() < end);
        return std::nullopt;
    }

    static bool LockHeldByOther() { return InstanceLock::TryAcquire("Wexal", {}) == nullptr; }

    // Running means: holds the lock and has written nothing yet.
    bool WaitUntilRunning(pid_t pid) {
        for (int i = 0; i < 250; ++i) {
            if (LockHeldByOther()) {
                std::this_thread::sleep_for(300ms);  // let it reach its message loop
                return ::waitpid(pid, nullptr, WNOHANG) == 0;
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
};

TEST_F(WexalBinaryTest, SecondStartEndsAtOnceAndLeavesTheFirstRunning) {
    ASSERT_TRUE(pty_.ok());
    const pid_t first = Start();
    ASSERT_TRUE(WaitUntilRunning(first));

    const pid_t second = Start();
    EXPECT_EQ(WaitExit(second, 10s), std::optional<int>(0));
    EXPECT_EQ(::waitpid(first, nullptr, WNOHANG), 0) << "the first instance must go on";
    EXPECT_FALSE(std::filesystem::exists(program_ / "Wexal.INI"));

    // A normal end (as on logout) saves the settings and frees the lock.
    ::kill(first, SIGTERM);
    EXPECT_EQ(WaitExit(first, 10s), std::optional<int>(0));
    EXPECT_NE(test::ReadFileBytes(program_ / "Wexal.INI").find("Port=COM1"), std::string::npos);
    EXPECT_FALSE(LockHeldByOther());
}

TEST_F(WexalBinaryTest, LockIsFreeAgainAfterSigkill) {
    ASSERT_TRUE(pty_.ok());
    const pid_t first = Start();
    ASSERT_TRUE(WaitUntilRunning(first));
    ::kill(first, SIGKILL);
    ASSERT_TRUE(WaitExit(first, 10s).has_value());
    EXPECT_FALSE(LockHeldByOther());

    const pid_t again = Start();
    EXPECT_TRUE(WaitUntilRunning(again));
}

TEST_F(WexalBinaryTest, RunWithAnArgumentWritesNothing) {
    ASSERT_TRUE(pty_.ok());
    // Qt's own options are arguments too: Qt strips them before the program
    // could see them, so they must be taken from the original vector.
    for (const char* argument : {"END", "-reverse"}) {
        SCOPED_TRACE(argument);
        const std::string before = "[Setting]\nport=COM1\nListColumn=9\n";
        test::WriteFileBytes(program_ / "Wexal.INI", before);
        const pid_t pid = Start({argument});
        ASSERT_TRUE(WaitUntilRunning(pid));
        ::kill(pid, SIGTERM);
        EXPECT_EQ(WaitExit(pid, 10s), std::optional<int>(0));
        EXPECT_EQ(test::ReadFileBytes(program_ / "Wexal.INI"), before);
        EXPECT_FALSE(std::filesystem::exists(program_ / "OutApp_Sub.ini"));
    }
}

}  // namespace
}  // namespace wexal

namespace wexal {
namespace {

TEST_F(WexalBinaryTest, GarbageSettingsFileStartsWithDefaults) {
    ASSERT_TRUE(pty_.ok());
    std::string garbage;
    for (int i = 0; i < 100000; ++i) garbage += static_cast<char>((i * 7919) % 256);
    garbage += "\n[Options]\nListColumn=\x82\xA0\x82\n" + std::string(1 << 20, 'x') + "\n";
    test::WriteFileBytes(program_ / "Wexal.INI", garbage);
    const pid_t pid = Start();
    ASSERT_TRUE(WaitUntilRunning(pid));
    ::kill(pid, SIGTERM);
    EXPECT_EQ(WaitExit(pid, 10s), std::optional<int>(0));
    const std::string saved = test::ReadFileBytes(program_ / "Wexal.INI");
    EXPECT_NE(saved.find("\nPort=COM1\n"), std::string::npos);
    EXPECT_NE(saved.find("\nListColumn=2\n"), std::string::npos);
}

}  // namespace
}  // namespace wexal

namespace wexal {
namespace {

// On a real X server: what the window system shows, and signals that arrive
// while a start-up box waits for the operator.
class WexalOnDisplayTest : public WexalBinaryTest {
protected:
    test::VirtualDisplay display_;

    // Before the display goes, or Qt complains of a broken connection.
    ~WexalOnDisplayTest() override { KillAll(); }

    pid_t StartOnDisplay(std::vector<std::string> env) {
        env.push_back("QT_QPA_PLATFORM=xcb");
        env.push_back("DISPLAY=" + display_.name());
        return Start({}, std::move(env));
    }

    bool WaitForViewable(const std::string& title) {
        for (int i = 0; i < 500; ++i) {
            for (const std::string& shown : display_.ViewableTitles()) {
                if (shown == title) return true;
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    static bool WaitFor(const std::function<bool()>& condition) {
        for (int i = 0; i < 500; ++i) {
            if (condition()) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }

    bool WaitForFocus(const std::string& title) {
        return WaitFor([&] { return display_.FocusTitle() == title; });
    }

    static bool Contains(const std::string& text, const std::string& part) {
        return text.find(part) != std::string::npos;
    }
};

TEST_F(WexalOnDisplayTest, TitlesAreTheDesignedOnesAndASignalClosesTheOpenBox) {
    ASSERT_TRUE(display_.ok()) << "Xvfb is needed";
    const pid_t pid = StartOnDisplay({"WEXAL_COM1=/nonexistent/tty"});
    ASSERT_TRUE(WaitForViewable("エラー")) << "the port message must be up";
    bool mainWindowSeen = false;
    for (const auto& window : display_.Windows()) {
        EXPECT_FALSE(Contains(window.title, "\u2014")) << window.title;
        mainWindowSeen |= window.title == "Wexal(Win98/Me/2000/XP)";
    }
    EXPECT_TRUE(mainWindowSeen);

    ::kill(pid, SIGTERM);
    EXPECT_EQ(WaitExit(pid, 1000ms), std::optional<int>(0)) << "must end within one second";
    const std::string saved = test::ReadFileBytes(program_ / "Wexal.INI");
    EXPECT_TRUE(Contains(saved, "\nPort=COM1\n")) << saved;
    EXPECT_FALSE(LockHeldByOther());
}

TEST_F(WexalOnDisplayTest, SignalDuringTheFolderQuestionKeepsTheFolderAndAllowsTheNextStart) {
    ASSERT_TRUE(display_.ok()) << "Xvfb is needed";
    const std::string missing = (home_ / "nc" / "later").string();
    test::WriteFileBytes(program_ / "Wexal.INI", "[Setting]\nDirPath=" + missing + "\n");
    for (int sig : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(sig);
        const pid_t pid = StartOnDisplay({});
        ASSERT_TRUE(WaitForViewable("警告")) << "the create question must be up";
        ::kill(pid, sig);
        EXPECT_EQ(WaitExit(pid, 1000ms), std::optional<int>(0));
        // Nobody answered: the folder is neither created nor replaced.
        const std::string saved = test::ReadFileBytes(program_ / "Wexal.INI");
        EXPECT_TRUE(Contains(saved, "DirPath=" + missing + "\n")) << saved;
        EXPECT_TRUE(Contains(saved, "\nListColumn=2\n")) << saved;
        EXPECT_FALSE(std::filesystem::exists(missing));
    }
}

// Without a window manager X drops the focus to the root window when a
// focused box goes; the list must have the keyboard again after each one.
TEST_F(WexalOnDisplayTest, KeyboardComesBackAfterEveryBoxAndDialog) {
    ASSERT_TRUE(display_.ok()) << "Xvfb is needed";
    const std::string mainTitle = "Wexal(Win98/Me/2000/XP)";
    display_.MovePointer(1020, 764);  // keys must not reach the window by the pointer
    test::WriteFileBytes(home_ / "o1.nc", "%\nO1\n%\n");
    const pid_t pid = StartOnDisplay({"WEXAL_COM1=/nonexistent/tty"});
    ASSERT_TRUE(WaitForFocus("エラー")) << display_.FocusTitle();
    ASSERT_TRUE(display_.PressKey("Return"));
    ASSERT_TRUE(WaitForFocus(mainTitle)) << display_.FocusTitle();

    ASSERT_TRUE(display_.PressKey("f"));
    ASSERT_TRUE(WaitForFocus("絞り込み・検索")) << display_.FocusTitle();
    // Typed into the dialog's box, "/" is refused with a box of its own.
    ASSERT_TRUE(display_.PressKey("slash"));
    ASSERT_TRUE(WaitForFocus("確認")) << display_.FocusTitle();
    ASSERT_TRUE(display_.PressKey("Return"));
    ASSERT_TRUE(WaitForFocus("絞り込み・検索")) << display_.FocusTitle();
    ASSERT_TRUE(display_.PressKey("Escape"));
    ASSERT_TRUE(WaitForFocus(mainTitle)) << display_.FocusTitle();

    // Rename: a case choice made with the arrow keys leaves Enter to the name.
    for (const char* key : {"Down", "r"}) ASSERT_TRUE(display_.PressKey(key));
    ASSERT_TRUE(WaitForFocus("名前変更")) << display_.FocusTitle();
    for (const char* key : {"Tab", "Down", "Return"}) ASSERT_TRUE(display_.PressKey(key));
    ASSERT_TRUE(WaitForFocus(mainTitle)) << display_.FocusTitle();
    EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(home_ / "O1.NC"); }));

    ASSERT_TRUE(display_.PressKey("F10"));
    EXPECT_EQ(WaitExit(pid, 10s), std::optional<int>(0)) << "F10 reaches the list";
}

}  // namespace
}  // namespace wexal
