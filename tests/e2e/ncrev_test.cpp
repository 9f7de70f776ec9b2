// ncrev run as an operator at a terminal runs it: the real binary puts
// programs back over a file, and its list is read back line by line against
// the bytes each revision must hold. The Windows build under Wine reads and
// adds to the same revisions.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/test_env.h"
#include "support/wine.h"

extern char** environ;

namespace wexal {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Ran {
    int code = -1;  // -1: did not start, was killed or did not end in time
    std::string out;
    std::string err;
};

// Runs args with the environment's WEXAL_ variables replaced by env.
Ran RunCommand(const std::vector<std::string>& args, const std::vector<std::string>& env,
               const fs::path& dir) {
    Ran ran;
    const fs::path out = dir / "stdout.txt", err = dir / "stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> entries = env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (!std::string_view(*e).starts_with("WEXAL_")) entries.emplace_back(*e);
    }
    std::vector<char*> argv, envp;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    for (std::string& entry : entries) envp.push_back(entry.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return ran;
    int status = 0;
    // A hang guard, never a timing check: Wine's first start makes its prefix.
    const auto deadline = std::chrono::steady_clock::now() + 180s;
    while (waitpid(pid, &status, WNOHANG) != pid) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return ran;
        }
        std::this_thread::sleep_for(5ms);
    }
    ran.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ran.out = test::ReadFileBytes(out);
    ran.err = test::ReadFileBytes(err);
    return ran;
}

// "20261208T030405.678Z_..." -> "2026-12-08T03:04:05.678Z", read from the name
// apart from the program's own formatting.
std::string TimeOfName(const fs::path& revision) {
    const std::string n = revision.filename().string().substr(0, 20);
    return n.substr(0, 4) + "-" + n.substr(4, 2) + "-" + n.substr(6, 2) + "T" + n.substr(9, 2) +
           ":" + n.substr(11, 2) + ":" + n.substr(13, 2) + n.substr(15, 5);
}

std::string Line(const fs::path& revision, const std::string& source, std::size_t size) {
    return TimeOfName(revision) + "\t" + source + "\t" + std::to_string(size) + "\t" +
           revision.string() + "\n";
}

TEST(NcrevTest, ListsRestoresAndRefusesThroughTheRealBinary) {
    test::TempDir dir;
    const fs::path home = dir / "home", unreadHome = dir / "unread";
    fs::create_directories(home);
    fs::create_directories(unreadHome / "Wexal.INI");  // a folder: no settings to read
    test::WriteFileBytes(home / "Wexal.INI", "[Options]\r\nKeepRevisions=3\r\n");

    const fs::path program = dir / "O1000.NC";
    const fs::path revisions = dir / ".wexal-revisions" / "O1000.NC";
    const std::string v1 = "%\nO1000(ONE)\nM30\n%\n", v2 = "%\nO1000(TWO)\nG01X1.\nM30\n%\n",
                      v3 = "%\nO1000(THREE)\n%\n";
    test::WriteFileBytes(program, v1);
    test::WriteFileBytes(dir / "two.nc", v2);
    test::WriteFileBytes(dir / "three.nc", v3);
    // One that another PC's machine left and that cannot be read as a file.
    const fs::path odd = revisions / "20200101T000000.000Z_M1.NC";

    // A file whose revisions folder is a file: nothing can be listed or kept.
    const fs::path blocked = dir / "sub" / "A.NC";
    fs::create_directories(blocked.parent_path());
    test::WriteFileBytes(blocked, v1);
    test::WriteFileBytes(blocked.parent_path() / ".wexal-revisions", "");

    // Each "{keep}" step prints one revision, checked to hold what the file
    // held before it; later steps name the n-th as {Rnname} and its list
    // line as {Ln}.
    struct Step {
        std::string what;
        std::vector<std::string> args;
        int code;
        std::string out;     // exactly, {Rnname} and {Ln} put in; or "{keep}"
        std::string err;     // a part of standard error; "" when it must be empty
        std::string holds;   // the program's bytes after the step
        fs::path home = {};  // WEXAL_HOME, `home` when empty
        std::function<void()> before = {};
    };
    const std::string p = program.string(), two = (dir / "two.nc").string();
    const std::string three = "./" + fs::relative(dir / "three.nc").string();
    const std::string link = (dir / "LINK.NC").string(), fresh = (dir / "NEW.NC").string();
    const std::string b = blocked.string(), missing = "20991231T235959.999Z_Wexal.NC";
    const std::string oddLine = TimeOfName(odd) + "\tM1\t0\t" + odd.string() + "\n";
    const auto makeLink = [&] { fs::create_symlink("O1000.NC", link); };
    const auto makeOdd = [&] { fs::create_directory(odd); };
    const std::vector<Step> steps = {
        {"no revisions yet", {"list", p}, 0, "", "", v1},
        {"a path puts its bytes back", {"restore", p, two}, 0, "{keep}", "", v2},
        {"a relative path too", {"restore", p, three}, 0, "{keep}", "", v3},
        {"newest first, exact sizes", {"list", p}, 0, "{L2}{L1}", "", v3},
        {"the older one by its bare name", {"restore", p, "{R1name}"}, 0, "{keep}", "", v1},
        {"one more in the list", {"list", p}, 0, "{L3}{L2}{L1}", "", v1},
        {"a link: its program's", {"list", link}, 0, "{L3}{L2}{L1}", "", v1, {}, makeLink},
        {"no such revision", {"restore", p, missing}, 2, "", "ncrev: 版を読めません。", v1},
        {"an unreadable revision is listed and said",
         {"list", p},
         0,
         "{L3}{L2}{L1}" + oddLine,
         "ncrev: " + odd.string() + ": 通常のファイルではありません。",
         v1,
         {},
         makeOdd},
        {"KeepRevisions=3 drops the oldest two", {"restore", p, "{R2name}"}, 0, "{keep}", "", v2},
        {"three left", {"list", p}, 0, "{L4}{L3}{L2}", "", v2},
        {"Wexal.INI unreadable: 50, said",
         {"restore", p, "{R3name}"},
         0,
         "{keep}",
         "既定の設定 (KeepRevisions=50) で続けます。",
         v3,
         unreadHome},
        {"four: nothing dropped", {"list", p}, 0, "{L5}{L4}{L3}{L2}", "", v3},
        {"a new file: nothing kept or printed", {"restore", fresh, two}, 0, "", "", v3},
        {"folder is a file: list", {"list", b}, 2, "", "がフォルダではありません。", v3},
        {"folder is a file: restore refused",
         {"restore", b, two},
         2,
         "",
         "前の版を残せないため、置き換えませんでした。",
         v3},
        {"no arguments", {}, 2, "", "使い方: ncrev list", v3},
        {"--help", {"--help"}, 0, "{usage}", "", v3},
        {"unknown command", {"show", p}, 2, "", "ncrev: 引数が正しくありません: show", v3},
        {"too few", {"restore", p}, 2, "", "ncrev: 引数の数が正しくありません。", v3},
        {"unknown switch", {"list", "--all", p}, 2, "", "ncrev: 引数が正しくありません: --all", v3},
        {"a folder is no file",
         {"list", dir.path().string() + "/"},
         2,
         "",
         "ncrev: ファイルを指定してください",
         v3},
    };

    std::vector<fs::path> kept;
    std::vector<std::string> lines;  // kept's list lines
    const auto fill = [&](std::string text) {
        const auto put = [&](const std::string& key, const std::string& value) {
            for (std::size_t at; (at = text.find(key)) != std::string::npos;) {
                text.replace(at, key.size(), value);
            }
        };
        for (std::size_t n = 1; n <= kept.size(); ++n) {
            put("{R" + std::to_string(n) + "name}", kept[n - 1].filename().string());
            put("{L" + std::to_string(n) + "}", lines[n - 1]);
        }
        return text;
    };
    std::string previous = v1;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        if (step.before) step.before();
        std::vector<std::string> args = {test::BinDir() + "/ncrev"};
        for (const std::string& arg : step.args) args.push_back(fill(arg));
        const fs::path stepHome = step.home.empty() ? home : step.home;
        const Ran ran = RunCommand(args, {"WEXAL_HOME=" + stepHome.string()}, dir.path());
        ASSERT_EQ(ran.code, step.code) << ran.err;
        if (step.out == "{keep}") {
            // One line: a new revision in the file's folder holding what the
            // file held before.
            ASSERT_FALSE(ran.out.empty());
            ASSERT_EQ(ran.out.find('\n'), ran.out.size() - 1) << ran.out;
            const fs::path revision = ran.out.substr(0, ran.out.size() - 1);
            EXPECT_EQ(revision.parent_path(), revisions);
            EXPECT_EQ(std::find(kept.begin(), kept.end(), revision), kept.end());
            EXPECT_EQ(test::ReadFileBytes(revision), previous);
            kept.push_back(revision);
            lines.push_back(Line(revision, "Wexal", previous.size()));
        } else if (step.out == "{usage}") {
            EXPECT_TRUE(ran.out.starts_with("使い方: ncrev list ファイル\n")) << ran.out;
        } else {
            EXPECT_EQ(ran.out, fill(step.out));
        }
        if (step.err.empty()) {
            EXPECT_EQ(ran.err, "");
        } else {
            EXPECT_NE(ran.err.find(step.err), std::string::npos) << ran.err;
        }
        EXPECT_EQ(test::ReadFileBytes(program), step.holds);
        previous = step.holds;
    }
    EXPECT_EQ(test::ReadFileBytes(blocked), v1);
    EXPECT_FALSE(fs::exists(odd)) << "the oldest beyond KeepRevisions stayed";
    // Settings are only read: nothing written beside them.
    EXPECT_EQ(test::ReadFileBytes(home / "Wexal.INI"), "[Options]\r\nKeepRevisions=3\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(home), fs::directory_iterator()), 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(unreadHome), fs::directory_iterator()), 1);
}


// Revisions kept on one system are read and added to on the other, as on a
// folder two PCs share.
TEST(NcrevTest, WindowsBuildUnderWineSharesTheRevisions) {
    const fs::path exe = test::WindowsBinDir() + "/ncrev.exe";
    const std::optional<fs::path> wine =
        test::WineProgram();
    const std::optional<fs::path> wineServer =
        test::WineServer();
    if (!wine || !wineServer || !fs::exists(exe)) {
        GTEST_SKIP() << "needs Wine and the Windows build (cmake --preset windows)";
    }
    test::TempDir dir;
    const fs::path home = dir / "home", folder = dir / "加工";
    fs::create_directories(home);
    fs::create_directories(folder);
    const fs::path program = folder / "工程１.NC";
    const std::string v1 = "%\nO1(LINUX)\nM30\n%\n", v2 = "%\nO1(SECOND)\nG01X1.\nM30\n%\n";
    test::WriteFileBytes(program, v1);
    test::WriteFileBytes(dir / "two.nc", v2);
    const std::vector<std::string> linuxEnv = {"WEXAL_HOME=" + home.string()};
    const std::vector<std::string> wineEnv = {"WEXAL_HOME=" + test::AsWindowsPath(home),
                                              "WINEPREFIX=" + (dir / "wine").string(),
                                              "WINEDEBUG=-all",
                                              "WINEDLLOVERRIDES=mscoree,mshtml=",
                                              "DISPLAY=",
                                              "LANG=C.UTF-8"};
    const auto linux = [&](std::vector<std::string> args) {
        args.insert(args.begin(), test::BinDir() + "/ncrev");
        return RunCommand(args, linuxEnv, dir.path());
    };
    const auto windows = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {wine->string(), exe.string()});
        return RunCommand(args, wineEnv, dir.path());
    };

    const Ran first = linux({"restore", program.string(), (dir / "two.nc").string()});
    ASSERT_EQ(first.code, 0) << first.err;
    const fs::path r1 = first.out.substr(0, first.out.find('\n'));
    const Ran listed = windows({"list", test::AsWindowsPath(program)});
    EXPECT_EQ(listed.code, 0) << listed.err;
    EXPECT_EQ(listed.out, TimeOfName(r1) + "\tWexal\t" + std::to_string(v1.size()) + "\t" +
                              test::AsWindowsPath(r1) + "\n");
    const Ran restored =
        windows({"restore", test::AsWindowsPath(program), r1.filename().string()});
    EXPECT_EQ(restored.code, 0) << restored.err;
    std::string name = restored.out.substr(0, restored.out.find('\n'));
    name = name.substr(name.rfind('\\') + 1);
    const fs::path r2 = r1.parent_path() / name;
    EXPECT_NE(r2, r1);
    EXPECT_EQ(restored.out, test::AsWindowsPath(r2) + "\n");
    EXPECT_EQ(test::ReadFileBytes(program), v1);
    EXPECT_EQ(test::ReadFileBytes(r2), v2);
    const Ran both = linux({"list", program.string()});
    EXPECT_EQ(both.code, 0) << both.err;
    EXPECT_EQ(both.out, Line(r2, "Wexal", v2.size()) + Line(r1, "Wexal", v1.size()));
    RunCommand({wineServer->string(), "-k"}, wineEnv, dir.path());
}

}  // namespace
}  // namespace wexal
