// ncrev run as an operator at a terminal runs it: the real binary puts
// programs back over a file, and its list is read back line by line against
// the bytes each revision must hold. Its diff is held against GNU diff and
// patch on real programs. The Windows build under Wine reads and adds to the
// same revisions, and prints the same diff.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/debian_samples.h"
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

// Runs args (the first looked up in PATH when it has no folder) with the
// environment's WEXAL_ variables replaced by env.
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
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
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

// The comparison as an operator meets it: the options one by one on a
// program punched back against its master, and every kind of trouble.
TEST(NcrevTest, DiffExitsAsDiffDoesWithEachOption) {
    test::TempDir dir;
    const auto at = [&](const std::string& name) { return (dir / name).string(); };
    const auto unreadable = [&](const std::string& name, const std::string& why) {
        return "ncrev: ファイルを読み込めません。\n" + at(name) + "\n" + why + "\n";
    };
    const std::string master =
        "%\nO1000(MASTER)\nN10G90G54G00X0Y0\nN20G01Z-1.F100\nN30X10.Y5.\nN40M30\n%\n";
    const std::vector<std::pair<std::string, std::string>> files = {
        {"master.nc", master},
        {"punched.nc",
         "%\nO1000(MASTER)\nN10 G90 G54 G00 X0 Y0\nN20 G01 Z-1. F100\n"
         "N30 X10.  Y5.\t\nN40 M30\n%\n"},
        {"renumbered.nc",
         "%\nO1000(MASTER)\nN1G90G54G00X0Y0\nN2G01Z-1.F100\nN3X10.Y5.\nN4M30\n%\n"},
        {"lower.nc", "%\no1000(master)\nn10g90g54g00x0y0\nn20g01z-1.f100\nn30x10.y5.\nn40m30\n%\n"},
        {"all.nc",
         "%\no1000(master)\nn1 g90 g54 g00 x0 y0\nn2 g01 z-1. f100\nn3 x10. y5.\nn4 m30\n%\n"},
        {"crlf.nc",
         "%\r\nO1000(MASTER)\r\nN10G90G54G00X0Y0\r\nN20G01Z-1.F100\r\nN30X10.Y5.\r\n"
         "N40M30\r\n%\r\n"},
        {"no-end.nc", master.substr(0, master.size() - 1)},
        {"edited.nc",
         "%\nO1000(MASTER)\nN10G90G54G00X0Y0\nN20G01Z-2.F100\nN30X10.Y5.\nN35Y10.\nN40M30\n%(END)"},
        {"punched-edited.nc",
         "%\nO1000(MASTER)\nN10 G90 G54 G00 X0 Y0\nN20 G01 Z-2. F100\nN30 X10. Y5.\nN40 M30\n%\n"},
        {"million.nc", std::string(1'000'000, '\n')},
        {"million-and-one.nc", std::string(1'000'001, '\n')},
    };
    for (const auto& [name, bytes] : files) test::WriteFileBytes(dir / name, bytes);
    fs::create_directory(dir / "folder");
    ASSERT_EQ(mkfifo(at("fifo.nc").c_str(), 0644), 0);

    const auto header = [&](const std::string& a, const std::string& b) {
        return "--- " + at(a) + "\n+++ " + at(b) + "\n";
    };
    const std::string blanks =
        "@@ -1,7 +1,7 @@\n %\n O1000(MASTER)\n"
        "-N10G90G54G00X0Y0\n-N20G01Z-1.F100\n-N30X10.Y5.\n-N40M30\n"
        "+N10 G90 G54 G00 X0 Y0\n+N20 G01 Z-1. F100\n+N30 X10.  Y5.\t\n"
        "+N40 M30\n %\n";
    const std::string edited =
        "@@ -1,7 +1,8 @@\n %\n O1000(MASTER)\n N10G90G54G00X0Y0\n"
        "-N20G01Z-1.F100\n+N20G01Z-2.F100\n N30X10.Y5.\n+N35Y10.\n"
        " N40M30\n-%\n+%(END)\n\\ No newline at end of file\n";
    // Context from the first file, changed lines as each file has them.
    const std::string punchedEdited =
        "@@ -1,7 +1,7 @@\n %\n O1000(MASTER)\n N10G90G54G00X0Y0\n"
        "-N20G01Z-1.F100\n+N20 G01 Z-2. F100\n N30X10.Y5.\n"
        " N40M30\n %\n";
    const std::string usage = "使い方: ncrev list ファイル";
    struct Case {
        std::string what;
        std::vector<std::string> args;  // a name of `files` stands for its path
        int code;
        std::string out;  // exactly
        std::string err;  // a part of standard error; "" when it must be empty
    };
    const std::vector<Case> cases = {
        {"the same file", {"diff", "master.nc", "master.nc"}, 0, "", ""},
        {"blanks count without the option",
         {"diff", "master.nc", "punched.nc"},
         1,
         header("master.nc", "punched.nc") + blanks,
         ""},
        {"--ignore-blanks", {"diff", "--ignore-blanks", "master.nc", "punched.nc"}, 0, "", ""},
        {"N words count without the option",
         {"diff", "--ignore-blanks", "master.nc", "renumbered.nc"},
         1,
         "{some}",
         ""},
        {"--ignore-n", {"diff", "master.nc", "renumbered.nc", "--ignore-n"}, 0, "", ""},
        {"case counts without the option", {"diff", "master.nc", "lower.nc"}, 1, "{some}", ""},
        {"--ignore-case", {"diff", "--ignore-case", "master.nc", "lower.nc"}, 0, "", ""},
        {"all three at once",
         {"diff", "--ignore-case", "--ignore-n", "--ignore-blanks", "master.nc", "all.nc"},
         0,
         "",
         ""},
        {"two of the three are not enough",
         {"diff", "--ignore-case", "--ignore-n", "master.nc", "all.nc"},
         1,
         "{some}",
         ""},
        {"CR LF against LF", {"diff", "crlf.nc", "master.nc"}, 0, "", ""},
        {"no line end at the end", {"diff", "master.nc", "no-end.nc"}, 0, "", ""},
        {"a changed and an added line",
         {"diff", "master.nc", "edited.nc"},
         1,
         header("master.nc", "edited.nc") + edited,
         ""},
        {"an option hides only what it names",
         {"diff", "--ignore-blanks", "master.nc", "punched-edited.nc"},
         1,
         header("master.nc", "punched-edited.nc") + punchedEdited,
         ""},
        {"a million lines are compared", {"diff", "million.nc", "million.nc"}, 0, "", ""},
        {"one more is too long",
         {"diff", "million.nc", "million-and-one.nc"},
         2,
         "",
         "ncrev: " + at("million-and-one.nc") + ": 100万行を超えるプログラムは比較できません。\n"},
        {"no such file",
         {"diff", "master.nc", "none.nc"},
         2,
         "",
         unreadable("none.nc", "ファイルまたはフォルダーが見つかりません。")},
        {"both said",
         {"diff", "gone.nc", "none.nc"},
         2,
         "",
         unreadable("gone.nc", "ファイルまたはフォルダーが見つかりません。") +
             unreadable("none.nc", "ファイルまたはフォルダーが見つかりません。")},
        {"a folder",
         {"diff", "folder", "master.nc"},
         2,
         "",
         unreadable("folder", "フォルダーです。")},
        {"a FIFO is refused, never waited for",
         {"diff", "master.nc", "fifo.nc"},
         2,
         "",
         unreadable("fifo.nc", "通常のファイルではありません。")},
        {"one file", {"diff", "master.nc"}, 2, "", "ncrev: 引数の数が正しくありません。"},
        {"three files",
         {"diff", "master.nc", "lower.nc", "all.nc"},
         2,
         "",
         "ncrev: 引数の数が正しくありません。"},
        {"an unknown option",
         {"diff", "--ignore-all", "master.nc", "lower.nc"},
         2,
         "",
         "ncrev: 引数が正しくありません: --ignore-all"},
        {"an option of diff on list",
         {"list", "--ignore-n", "master.nc"},
         2,
         "",
         "ncrev: 引数が正しくありません: --ignore-n\n" + usage},
        {"an option alone",
         {"--ignore-case"},
         2,
         "",
         "ncrev: 引数が正しくありません: --ignore-case"},
        {"--help names diff", {"diff", "--help"}, 0, "{usage}", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> args = {test::BinDir() + "/ncrev"};
        for (const std::string& arg : c.args) {
            args.push_back(arg.ends_with(".nc") || arg == "folder" ? at(arg) : arg);
        }
        const Ran ran = RunCommand(args, {"WEXAL_HOME=" + at("home")}, dir.path());
        EXPECT_EQ(ran.code, c.code) << ran.err;
        if (c.out == "{some}") {
            EXPECT_TRUE(ran.out.starts_with("--- ")) << ran.out;
        } else if (c.out == "{usage}") {
            EXPECT_NE(ran.out.find("ncrev diff [--ignore-blanks] [--ignore-n] [--ignore-case]"),
                      std::string::npos)
                << ran.out;
        } else {
            EXPECT_EQ(ran.out, c.out);
        }
        if (c.err.empty()) {
            EXPECT_EQ(ran.err, "");
        } else {
            EXPECT_NE(ran.err.find(c.err), std::string::npos) << ran.err;
        }
    }
    EXPECT_FALSE(fs::exists(dir / "home")) << "a comparison reads no settings";
}

// A program's lines with their own ends, split here apart from the program.
std::vector<std::string> LinesWithEnds(const std::string& bytes) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t end = bytes.find('\n', at);
        const std::size_t next = end == std::string::npos ? bytes.size() : end + 1;
        lines.push_back(bytes.substr(at, next - at));
        at = next;
    }
    return lines;
}

// The program as an operator leaves it after an edit: lines and runs of lines
// inserted, deleted and changed at pseudo-random places (the same on every
// run), every line keeping its own end and the last one its lack of one.
std::string Edited(const std::vector<std::string>& lines, std::uint32_t seed) {
    std::uint32_t state = seed * 2654435761u + 1;
    const auto next = [&](std::uint32_t below) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % below;
    };
    const auto endOf = [](const std::string& line) {
        return line.ends_with("\r\n") ? std::string("\r\n") : std::string("\n");
    };
    std::string out;
    int edits = 0;
    const std::size_t forced = next(static_cast<std::uint32_t>(lines.size()));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::uint32_t roll = next(100);
        const std::uint32_t run = 1 + next(3);
        if (roll < 2) {  // inserted before this line
            for (std::uint32_t k = 0; k < run; ++k) {
                out += "(EDIT " + std::to_string(++edits) + ")G01X" + std::to_string(next(999)) +
                       "." + endOf(lines[i]);
            }
        } else if (roll < 4) {  // deleted, with the lines after it in the run
            edits += static_cast<int>(run);
            i += run - 1;
            continue;
        }
        if ((roll >= 4 && roll < 6) || (edits == 0 && i == forced)) {
            // Changed in its text; its end stays.
            const std::string& line = lines[i];
            const std::size_t endSize = line.ends_with("\r\n") ? 2 : line.ends_with("\n") ? 1 : 0;
            out += line.substr(0, line.size() - endSize) + " (CHANGED " + std::to_string(++edits) +
                   ")" + line.substr(line.size() - endSize);
            continue;
        }
        out += lines[i];
    }
    return out;
}

// Lines removed and added that a unified diff holds, its two header lines
// aside.
std::pair<std::size_t, std::size_t> Counted(const std::string& diff) {
    std::size_t removed = 0, added = 0;
    std::size_t at = 0;
    if (diff.starts_with("--- ")) {
        at = diff.find('\n', diff.find('\n') + 1);
        at = at == std::string::npos ? diff.size() : at + 1;
    }
    while (at < diff.size()) {
        if (diff[at] == '-') ++removed;
        if (diff[at] == '+') ++added;
        const std::size_t end = diff.find('\n', at);
        at = end == std::string::npos ? diff.size() : end + 1;
    }
    return {removed, added};
}

// Real programs of another controller, each against an edited copy: ncrev's
// diff has as many removed and added lines as GNU diff's shortest one, ends
// as diff ends, and patch turns the program into its copy byte for byte.
TEST(NcrevTest, DiffAgreesWithGnuDiffAndPatchOnDebianSamplePrograms) {
    if (std::system("command -v diff >/dev/null && command -v patch >/dev/null") != 0) {
        GTEST_SKIP() << "needs GNU diff and patch (Debian: diffutils, patch)";
    }
    const test::SamplePrograms& debian = test::DebianSamplePrograms();
    if (!debian.skip.empty()) GTEST_SKIP() << debian.skip;
    ASSERT_EQ(debian.error, "");
    ASSERT_GE(debian.files.size(), 100u) << "the package no longer ships its samples";
    test::TempDir dir;
    // The program is taken as a copy: some samples are links, which patch
    // refuses.
    const fs::path program = dir / "program.nc", copy = dir / "copy.nc";
    const fs::path patch = dir / "ncrev.diff", out = dir / "patched.nc";
    const std::string ncrev = test::BinDir() + "/ncrev";
    std::size_t removed = 0, added = 0, unchanged = 0;
    for (std::size_t i = 0; i < debian.files.size(); ++i) {
        const fs::path& sample = debian.files[i];
        SCOPED_TRACE(sample.string());
        const std::string bytes = test::ReadFileBytes(sample);
        // Every tenth against a copy as it was.
        const bool same = i % 10 == 0;
        const std::string edited =
            same ? bytes : Edited(LinesWithEnds(bytes), static_cast<std::uint32_t>(i));
        test::WriteFileBytes(program, bytes);
        test::WriteFileBytes(copy, edited);

        const Ran ours = RunCommand({ncrev, "diff", program, copy}, {}, dir.path());
        const Ran gnu = RunCommand({"diff", "-u", "--minimal", program, copy}, {}, dir.path());
        ASSERT_EQ(ours.err, "");
        ASSERT_EQ(ours.code, gnu.code) << gnu.err;
        ASSERT_EQ(Counted(ours.out), Counted(gnu.out)) << ours.out << "\nGNU diff:\n" << gnu.out;
        if (same) {
            EXPECT_EQ(ours.out, "");
            ++unchanged;
            continue;
        }
        ASSERT_TRUE(
            ours.out.starts_with("--- " + program.string() + "\n+++ " + copy.string() + "\n"));
        test::WriteFileBytes(patch, ours.out);
        fs::remove(out);
        const Ran patched = RunCommand(
            {"patch", "-s", "-f", "--fuzz=0", "-i", patch, "-o", out, program}, {}, dir.path());
        ASSERT_EQ(patched.code, 0) << patched.out << patched.err;
        ASSERT_EQ(test::ReadFileBytes(out), edited);
        removed += Counted(ours.out).first;
        added += Counted(ours.out).second;
    }
    std::printf(
        "%zu samples of %s (%zu unchanged): %zu lines removed, %zu added, as diff --minimal\n",
        debian.files.size(), debian.package.c_str(), unchanged, removed, added);
}

// Revisions kept on one system are read and added to on the other, as on a
// folder two PCs share.
TEST(NcrevTest, WindowsBuildUnderWineSharesTheRevisions) {
    const fs::path exe = test::WindowsBinDir() + "/ncrev.exe";
    const std::optional<fs::path> wine = test::WineProgram();
    const std::optional<fs::path> wineServer = test::WineServer();
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
    const Ran restored = windows({"restore", test::AsWindowsPath(program), r1.filename().string()});
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

    // The same diff, byte for byte, of paths given alike: line ends kept,
    // none at the end said, cp932 untouched.
    test::WriteFileBytes(folder / "a.nc", "%\nO1(\x8d\x48\x92\xf6)\nG01X1.\nM30\n%");
    test::WriteFileBytes(folder / "b.nc",
                         "%\r\nO1(\x8d\x48\x92\xf6)\r\nG01X2.\r\nM30\r\n%(END)\r\n");
    const std::string a = fs::relative(folder / "a.nc").string();
    const std::string b = fs::relative(folder / "b.nc").string();
    const Ran onLinux = linux({"diff", a, b});
    EXPECT_EQ(onLinux.code, 1) << onLinux.err;
    EXPECT_EQ(onLinux.out,
              "--- " + a + "\n+++ " + b +
                  "\n@@ -1,5 +1,5 @@\n %\n O1(\x8d\x48\x92\xf6)\n"
                  "-G01X1.\n+G01X2.\r\n M30\n-%\n\\ No newline at end of file\n+%(END)\r\n");
    const Ran onWindows = windows({"diff", a, b});
    EXPECT_EQ(onWindows.code, 1) << onWindows.err;
    EXPECT_EQ(onWindows.out, onLinux.out);
    RunCommand({wineServer->string(), "-k"}, wineEnv, dir.path());
}

}  // namespace
}  // namespace wexal
