#include "revisions/revision_store.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "nctools/axis_double.h"
#include "nctools/concatenate.h"
#include "nctools/split_programs.h"
#include "platform/atomic_file.h"
#include "serial/received_data.h"
#include "support/scripted_messages.h"
#include "support/test_env.h"
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>

#include "files/copy_move.h"
#endif

namespace wexal {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

const RevisionPolicy kKeep = RevisionPolicyOf(50);
// 2020-01-02 03:04:05 UTC: the old file's time, which its revision keeps.
constexpr std::chrono::nanoseconds kOldTime{1577934245'000'000'000};

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        names.push_back(PathText(it->path().filename()));
    }
    return names;
}

#ifndef _WIN32
class YesHost : public CopyMoveHost {
public:
    bool Progress(const std::string&, std::uint64_t, std::uint64_t) override { return true; }
    ReplaceChoice AskReplace(const std::string&) override { return ReplaceChoice::Yes; }
};
#endif

// Every way Wexal replaces a program, each writing the program "NEW" over
// folder/O1234.NC from files it may put in folder/in.
struct Way {
    const char* name;
    std::function<std::string(const fs::path& folder)> replace;  // "" or what failed
};

std::string Text(const Status& status) { return status ? "" : status.message; }
std::string Text(const ToolResult& result) {
    return result.outcome == ToolOutcome::Done ? "" : "tool: " + result.message;
}

std::string Receive(const fs::path& folder, bool named) {
    Settings settings;
    settings.DirPath = PathText(folder);
    settings.Add_No = "N";
    settings.EndChar = "N";
    ReceivedData data;
    data.revisions = kKeep;
    ReceivedView view;
    if (named) {
        if (Status created = CreateNamedTarget(data, PathText(folder / "O1234.NC")); !created) {
            return created.message;
        }
        view.Add("O1234");
        if (Status written = WriteReceivedView(data, view, settings, 0); !written) {
            return written.message;
        }
        return Text(FinishTarget(data));
    }
    if (Status started = StartProgramFile(data, view, "O1234", settings, 0); !started) {
        return started.message;
    }
    view.Add("O1234");
    return Text(FinishProgramFile(data, view, settings, 1));
}

const std::vector<Way>& Ways() {
    static const std::vector<Way> ways = {
        {"named receive", [](const fs::path& f) { return Receive(f, true); }},
        // The automatic receive saves the program-number line itself.
        {"automatic receive", [](const fs::path& f) { return Receive(f, false); }},
        {"import and every whole write",
         [](const fs::path& f) {
             return Text(WriteFileAtomically(f / "O1234.NC", "O1234\r\n", LinkMode::Follow, kKeep));
         }},
        {"split (B)",
         [](const fs::path& f) {
             WriteFileBytes(f / "in" / "ALL.NC", "O1234\r\n");
             test::ScriptedMessages messages;
             return Text(SplitIntoFolder(f / "in" / "ALL.NC", {}, ".NC", f, messages, {}, nullptr,
                                         kKeep));
         }},
        {"double (H)",
         [](const fs::path& f) {
             WriteFileBytes(f / "SRC.NC", "O1234\r\n");
             test::ScriptedMessages messages;
             return Text(
                 DoubleAxisIntoFile('X', f, "SRC.NC", "O1234.NC", messages, nullptr, kKeep));
         }},
        {"join (K)",
         [](const fs::path& f) {
             WriteFileBytes(f / "A.NC", "O1234\r\n");
             test::ScriptedMessages messages;
             return Text(JoinFiles(f, {"A.NC"}, "O1234.NC", messages, {}, nullptr, kKeep));
         }},
#ifndef _WIN32
        {"copy with a typed name (C) and a drop",
         [](const fs::path& f) {
             WriteFileBytes(f / "in" / "X.NC", "O1234\r\n");
             return Text(CopyFileReplacing(PathText(f / "in" / "X.NC"), PathText(f / "O1234.NC"),
                                           kKeep));
         }},
        {"copy dialog",
         [](const fs::path& f) {
             WriteFileBytes(f / "in" / "O1234.NC", "O1234\r\n");
             YesHost host;
             return CopyOrMove({PathText(f / "in" / "O1234.NC")}, PathText(f), true, host, kKeep)
                 .message;
         }},
        {"move dialog",
         [](const fs::path& f) {
             WriteFileBytes(f / "in" / "O1234.NC", "O1234\r\n");
             YesHost host;
             return CopyOrMove({PathText(f / "in" / "O1234.NC")}, PathText(f), false, host, kKeep)
                 .message;
         }},
#endif
    };
    return ways;
}

TEST(RevisionStoreTest, EveryWayOfReplacingKeepsTheOldBytesAndTimeAndIdenticalContentNothing) {
    for (const Way& way : Ways()) {
        SCOPED_TRACE(way.name);
        TempDir dir;
        fs::create_directories(dir / "in");
        const fs::path file = dir / "O1234.NC";
        WriteFileBytes(file, "OLD\r\n");
        test::SetModifiedTime(file, kOldTime);
        const auto oldTime = fs::last_write_time(file);

        ASSERT_EQ(way.replace(dir.path()), "");
        EXPECT_EQ(ReadFileBytes(file), "O1234\r\n");
        const RevisionList list = ListRevisions(file);
        EXPECT_EQ(list.error, "");
        ASSERT_EQ(list.revisions.size(), 1u);
        const Revision& kept = list.revisions[0];
        EXPECT_EQ(ReadFileBytes(kept.path), "OLD\r\n");
        EXPECT_EQ(fs::last_write_time(kept.path), oldTime);
        EXPECT_EQ(kept.source, "Wexal");
        EXPECT_EQ(kept.size, 5);
        EXPECT_EQ(kept.path.parent_path(), dir / ".wexal-revisions" / "O1234.NC");
        EXPECT_TRUE(PathText(kept.path.filename()).ends_with("_Wexal.NC"));
        // Only the revision: no lock and no temporary file stays behind.
        EXPECT_EQ(Names(kept.path.parent_path()).size(), 1u);

        // The same program again keeps nothing, and leaves no folder.
        fs::remove_all(dir / ".wexal-revisions");
        ASSERT_EQ(way.replace(dir.path()), "");
        EXPECT_EQ(ReadFileBytes(file), "O1234\r\n");
        EXPECT_FALSE(fs::exists(dir / ".wexal-revisions"));
    }
}

TEST(RevisionStoreTest, NothingIsKeptForANewFileOrWithKeepZero) {
    TempDir dir;
    const fs::path file = dir / "O1.NC";
    ASSERT_TRUE(WriteFileAtomically(file, "A", LinkMode::Follow, kKeep));
    EXPECT_FALSE(fs::exists(dir / ".wexal-revisions"));
    ASSERT_TRUE(WriteFileAtomically(file, "B", LinkMode::Follow, RevisionPolicyOf(0)));
    EXPECT_EQ(ReadFileBytes(file), "B");
    EXPECT_FALSE(fs::exists(dir / ".wexal-revisions"));
    // A negative count is a typing error, not "keep none".
    EXPECT_EQ(RevisionPolicyOf(-1).keep, 50);
}

TEST(RevisionStoreTest, TheLimitRemovesOnlyTheOldestAndARestoreKeepsTheCurrentFirst) {
    TempDir dir;
    const fs::path file = dir / "P.NC";
    const RevisionPolicy three = RevisionPolicyOf(3, "MC1");
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(WriteFileAtomically(file, "V" + std::to_string(i), LinkMode::Follow, three));
    }
    RevisionList list = ListRevisions(file);
    ASSERT_EQ(list.revisions.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ReadFileBytes(list.revisions[i].path), "V" + std::to_string(4 - i));
        EXPECT_EQ(list.revisions[i].source, "MC1");
    }
    EXPECT_GE(list.revisions[0].timeMs, list.revisions[2].timeMs);

    // Back to V2, the oldest kept; V5 becomes a revision, V2's drops out.
    ASSERT_TRUE(RestoreRevision(file, list.revisions[2].path, three));
    EXPECT_EQ(ReadFileBytes(file), "V2");
    list = ListRevisions(file);
    ASSERT_EQ(list.revisions.size(), 3u);
    EXPECT_EQ(ReadFileBytes(list.revisions[0].path), "V5");
    EXPECT_EQ(ReadFileBytes(list.revisions[2].path), "V3");

    // With KeepRevisions=0 a restore still keeps what it replaces.
    ASSERT_TRUE(RestoreRevision(file, list.revisions[0].path, RevisionPolicyOf(0)));
    EXPECT_EQ(ReadFileBytes(file), "V5");
    EXPECT_EQ(ListRevisions(file).revisions.size(), 4u);

    const Status gone = RestoreRevision(file, dir / "nothing", three);
    EXPECT_FALSE(gone);
    EXPECT_NE(gone.message.find("版を読めません。"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(file), "V5");
}

TEST(RevisionStoreTest, OddNamesAndSourcesMakeNamesThatFitAndReadBack) {
    struct Row {
        std::string file;
        std::string source;
        std::string expectedSource;  // as read back
    };
    const std::vector<Row> rows = {
        {"加工　Ｏ１.NC", "旋盤１", "旋盤１"},
        {"O1.NC", "MC/1:*", "MC%2F1%3A%2A"},
        {"NOEXT", "MC_2", "MC_2"},
#ifndef _WIN32
        // 255 bytes of name: the revision's name gives up source, then
        // extension, but is always made. (Windows paths end at 260.)
        {std::string(252, 'A') + ".NC", "MC1", "MC1"},
        {"A." + std::string(250, 'E'), "MC1", ""},
#endif
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file.substr(0, 20));
        TempDir dir;
        const fs::path file = dir.path() / Utf8Path(row.file);
        WriteFileBytes(file, "OLD");
        // Through the receive: its unfinished file's own name is short.
        ReceivedData data;
        data.revisions = RevisionPolicyOf(50, row.source);
        ASSERT_TRUE(CreateNamedTarget(data, PathText(file)));
        ASSERT_EQ(data.file.Append("NEW"), 0);
        ASSERT_TRUE(FinishTarget(data));
        EXPECT_EQ(ReadFileBytes(file), "NEW");
        const RevisionList list = ListRevisions(file);
        ASSERT_EQ(list.revisions.size(), 1u) << list.error;
        EXPECT_EQ(ReadFileBytes(list.revisions[0].path), "OLD");
        EXPECT_LE(PathText(list.revisions[0].path.filename()).size(), 255u);
        if (row.file.size() < 200) {
            EXPECT_EQ(list.revisions[0].source, row.expectedSource);
        }
    }
    EXPECT_EQ(RevisionTimeText(1577934245678), "2020-01-02T03:04:05.678Z");
}

TEST(RevisionStoreTest, ARevisionThatCannotBeKeptLeavesTheFileAsItWas) {
    struct Row {
        const char* name;
        std::function<void(const fs::path& folder)> spoil;
    };
    const std::vector<Row> rows = {
        {"revisions folder is a file",
         [](const fs::path& f) { WriteFileBytes(f / ".wexal-revisions", "x"); }},
        {"the file's folder in it is a file",
         [](const fs::path& f) {
             fs::create_directory(f / ".wexal-revisions");
             WriteFileBytes(f / ".wexal-revisions" / "O1.NC", "x");
         }},
#ifndef _WIN32
        {"revisions folder is a link",
         [](const fs::path& f) {
             fs::create_directory(f / "elsewhere");
             fs::create_directory_symlink(f / "elsewhere", f / ".wexal-revisions");
         }},
#endif
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const fs::path file = dir / "O1.NC";
        WriteFileBytes(file, "OLD");
        row.spoil(dir.path());
        const Status written = WriteFileAtomically(file, "NEW", LinkMode::Follow, kKeep);
        EXPECT_FALSE(written);
        EXPECT_NE(written.message.find("前の版を残せないため、置き換えませんでした。"),
                  std::string::npos)
            << written.message;
        EXPECT_EQ(ReadFileBytes(file), "OLD");
        EXPECT_FALSE(fs::exists(dir / "elsewhere" / "O1.NC"));

        // The receive sets its program aside instead, as for any failed save.
        ReceivedData data;
        data.revisions = kKeep;
        ASSERT_TRUE(CreateNamedTarget(data, PathText(file)));
        ASSERT_EQ(data.file.Append("NEW"), 0);
        EXPECT_FALSE(FinishTarget(data));
        EXPECT_EQ(ReadFileBytes(file), "OLD");
        EXPECT_EQ(ReadFileBytes(SetAsideUnfinishedTarget(data)), "NEW");
    }
}

TEST(RevisionStoreTest, TheListSaysWhatIsWrongAndTakesThousands) {
    TempDir dir;
    const fs::path file = dir / "O1.NC";
    const fs::path folder = dir / ".wexal-revisions" / "O1.NC";
    fs::create_directories(folder);
    for (int i = 0; i < 2000; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "20261208T%02d%02d%02d.%03dZ_MC%d.NC", i / 3600 % 24,
                      i / 60 % 60, i % 60, i % 1000, i % 3);
        WriteFileBytes(folder / name, std::to_string(i));
    }
    // Not revisions: a person's note, a temporary, a lock.
    WriteFileBytes(folder / "notes.txt", "x");
    WriteFileBytes(folder / ".lock", "");
    fs::create_directory(folder / "20261208T235959.999Z_MC1.NC");
    RevisionList list = ListRevisions(file);
    ASSERT_EQ(list.revisions.size(), 2001u);
    EXPECT_EQ(list.revisions[0].problem, "通常のファイルではありません。");
    EXPECT_EQ(ReadFileBytes(list.revisions[1].path), "1999");
    EXPECT_EQ(list.revisions[1].source, "MC1");
    EXPECT_EQ(ReadFileBytes(list.revisions.back().path), "0");

    WriteFileBytes(dir / "O2.NC", "x");
    fs::create_directories(dir / ".wexal-revisions");
    WriteFileBytes(dir / ".wexal-revisions" / "O2.NC", "not a folder");
    EXPECT_NE(ListRevisions(dir / "O2.NC").error, "");
    EXPECT_TRUE(ListRevisions(dir / "O3.NC").revisions.empty());
    EXPECT_EQ(ListRevisions(dir / "O3.NC").error, "");
}

// Writers that replace one file at once: every program written is either
// the file or one of its revisions at the end.
std::set<std::string> Kept(const fs::path& file) {
    std::set<std::string> kept = {ReadFileBytes(file)};
    for (const Revision& revision : ListRevisions(file).revisions) {
        kept.insert(ReadFileBytes(revision.path));
    }
    return kept;
}

// Each program goes to a file of its own first, then takes the name; the
// pause between keeping the old one and the rename is where two writers
// without the lock lose a program.
void Writer(const fs::path& file, const std::string& who, int count) {
    const RevisionPolicy all = RevisionPolicyOf(100000, who);
    for (int i = 0; i < count; ++i) {
        const std::string program = who + std::to_string(i);
        const fs::path incoming = file.parent_path() / ("." + program);
        WriteFileBytes(incoming, program);
        const Replacement replaced = ReplaceKeepingRevision(file, incoming, all, [&] {
            std::this_thread::sleep_for(std::chrono::microseconds(300));
            std::error_code error;
            fs::rename(incoming, file, error);
            return error.value();
        });
        if (!replaced.ok()) ADD_FAILURE() << replaced.refused << replaced.error;
    }
}

TEST(RevisionStoreTest, WritersAtOnceKeepEveryProgram) {
    TempDir dir;
    const fs::path file = dir / "O1234.NC";
    constexpr int kEach = 100;
#ifndef _WIN32
    // A process of its own, as a second server or the window is; forked
    // before any thread.
    const pid_t child = ::fork();
    if (child == 0) {
        Writer(file, "C", kEach);
        ::_exit(testing::Test::HasFailure() ? 1 : 0);
    }
#endif
    std::thread a(Writer, file, "A", kEach);
    std::thread b(Writer, file, "B", kEach);
    a.join();
    b.join();
    std::set<std::string> expected;
    for (const char* who : {"A", "B"}) {
        for (int i = 0; i < kEach; ++i) expected.insert(who + std::to_string(i));
    }
#ifndef _WIN32
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
    for (int i = 0; i < kEach; ++i) expected.insert("C" + std::to_string(i));
#endif
    EXPECT_EQ(Kept(file), expected);
    EXPECT_EQ(ListRevisions(file).revisions.size(), expected.size() - 1);
}

}  // namespace
}  // namespace wexal
