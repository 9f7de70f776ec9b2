#include "platform/launch_program.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "support/argv_record.h"
#include "support/test_env.h"

namespace wexal {
namespace {

using Words = std::vector<std::string>;
using test::ArgvRecord;

TEST(SplitCommandLine, BlanksSplitQuotesHold) {
    const struct {
        const char* line;
        Words words;
    } cases[] = {
        {"", {}},
        {" \t ", {}},
        {"  view  -a\tfile ", {"view", "-a", "file"}},
        {"\"/opt/My App/view\" $A", {"/opt/My App/view", "$A"}},
        {"view 'a b'c \"d'e\"", {"view", "a bc", "d'e"}},
        {"view \"\" x", {"view", "", "x"}},
        {"view \"open to the end", {"view", "open to the end"}},
        {"C:\\TOOLS\\VIEW.EXE $A", {"C:\\TOOLS\\VIEW.EXE", "$A"}},
    };
    for (const auto& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.words) << c.line;
}

TEST(FindProgram, PathsAsTheyStandNamesOnPath) {
    ArgvRecord record;  // fake_bin first on PATH
    EXPECT_EQ(FindProgram(ArgvRecord::Helper()), ArgvRecord::Helper());
    EXPECT_EQ(FindProgram("xdg-open"), test::TestDataDir() + "/fake_bin/xdg-open");
    EXPECT_EQ(FindProgram(test::TestDataDir()), std::nullopt);  // a folder
    EXPECT_EQ(FindProgram("/no/such/program"), std::nullopt);
    EXPECT_EQ(FindProgram("no-such-program-wexal"), std::nullopt);
    EXPECT_EQ(FindProgram(""), std::nullopt);
}

// Nothing between the program and its arguments reads them: no shell expands,
// splits or runs anything, and a leading dash stays a plain argument.
TEST(StartProgram, EveryArgumentArrivesExactlyAndTheChildIsReaped) {
    ArgvRecord record;
    const Words arguments = {"/nc/my prg/O1 2.NC", "quo\"te's",    "$HOME", "a;rm -rf x",
                             "$(touch pwned)",     "`id`",         "-rf",   "",
                             "new\nline",          "\xFF\xFE raw", "*"};
    Words argv = {ArgvRecord::Helper()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    pid_t pid = -1;
    ASSERT_TRUE(StartProgram(argv, &pid));
    const auto got = record.Wait();
    ASSERT_TRUE(got);
    Words expected = {"record_argv"};
    expected.insert(expected.end(), arguments.begin(), arguments.end());
    EXPECT_EQ(*got, expected);

    // Once it has ended, its process table entry goes too: no zombie.
    bool gone = false;
    for (int i = 0; i < 3000 && !gone; ++i) {
        gone = ::kill(pid, 0) != 0 && errno == ESRCH;
        if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(gone);
}

TEST(StartProgram, AProgramThatCannotStartIsSaid) {
    test::TempDir dir;
    const auto notExecutable = dir / "viewer";
    test::WriteFileBytes(notExecutable, "#!/bin/sh\n");
    ::chmod(notExecutable.c_str(), 0644);
    const struct {
        std::string program;
        std::string message;
    } cases[] = {
        {"/no/such/viewer", "viewerを起動できません。\nファイルまたはフォルダーが見つかりません。"},
        {"no-such-viewer-wexal",
         "no-such-viewer-wexalを起動できません。\nファイルまたはフォルダーが見つかりません。"},
        {notExecutable.string(), "viewerを起動できません。\nアクセス権がありません。"},
    };
    for (const auto& c : cases) {
        const Status started = StartProgram({c.program, "x"});
        EXPECT_FALSE(started) << c.program;
        EXPECT_EQ(started.message, c.message);
    }
}

// A document goes to the desktop's association; so does a data file whose
// execute bit is set (every file on a FAT stick has it), never run itself.
TEST(LaunchProgram, ProgramsRunDocumentsOpen) {
    ArgvRecord record;
    test::TempDir dir;
    const auto document = dir / "O1000.NC";
    test::WriteFileBytes(document, "%\nO1000\n%\n");
    ::chmod(document.c_str(), 0644);

    ASSERT_TRUE(LaunchProgram(ArgvRecord::Helper(), {}));
    EXPECT_EQ(record.Wait(), Words{"record_argv"});

    ASSERT_TRUE(LaunchProgram(ArgvRecord::Helper(), {"a b", "-c"}));
    EXPECT_EQ(record.Wait(), (Words{"record_argv", "a b", "-c"}));

    ASSERT_TRUE(LaunchProgram(document.string(), {}));
    EXPECT_EQ(record.Wait(), (Words{"xdg-open", document.string()}));

    ::chmod(document.c_str(), 0755);
    ASSERT_TRUE(OpenWithAssociation(document.string()));
    EXPECT_EQ(record.Wait(), (Words{"xdg-open", document.string()}));

    ASSERT_TRUE(OpenWithAssociation("-x.NC"));
    EXPECT_EQ(record.Wait(), (Words{"xdg-open", "./-x.NC"}));
}

}  // namespace
}  // namespace wexal
