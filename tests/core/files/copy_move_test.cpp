#include "files/copy_move.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <deque>
#include <filesystem>

#include "files/copy_destination.h"
#include "support/test_env.h"

namespace wexal {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

// Answers the replace questions from a list and aborts after a number of
// progress calls when asked to.
class ScriptedHost : public CopyMoveHost {
public:
    bool Progress(const std::string& path, std::uint64_t done, std::uint64_t total) override {
        paths.push_back(path);
        lastDone = done;
        lastTotal = total;
        if (!abortOn.empty() && path.ends_with(abortOn)) --abortCountdown;
        return abortCountdown > 0;
    }
    ReplaceChoice AskReplace(const std::string& destination) override {
        asked.push_back(destination);
        if (answers.empty()) return ReplaceChoice::Cancel;
        const ReplaceChoice answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::deque<ReplaceChoice> answers;
    std::vector<std::string> asked;
    std::vector<std::string> paths;
    std::uint64_t lastDone = 0;
    std::uint64_t lastTotal = 0;
    // Abort at the abortCountdown-th report about a path ending in abortOn.
    std::string abortOn;
    int abortCountdown = 1;
};

// Names in a folder that are no final names: temporary files of a copy.
std::vector<std::string> Leftovers(const fs::path& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.path().filename().string().starts_with(".")) found.push_back(entry.path());
    }
    return found;
}

std::string Big(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('A' + i % 23);
    return bytes;
}

TEST(CopyMoveTest, CopiesAndMovesWholeFoldersWithLinksAsLinks) {
    for (const bool copy : {true, false}) {
        SCOPED_TRACE(copy ? "copy" : "move");
        TempDir work;
        const fs::path src = work / "src";
        const fs::path dst = work / "dst";
        fs::create_directories(src / "JOB" / "SUB");
        fs::create_directories(dst);
        WriteFileBytes(work / "outside.NC", "OUTSIDE");
        WriteFileBytes(src / "O1.NC", "O1\n");
        WriteFileBytes(src / "JOB" / "SUB" / "O2.NC", "O2\n");
        fs::create_symlink("../../outside.NC", src / "JOB" / "LINK.NC");
        fs::create_directory_symlink(work.path(), src / "JOB" / "UP");
        ASSERT_EQ(::mkfifo((src / "JOB" / "PIPE").c_str(), 0600), 0);
        ::chmod((src / "O1.NC").c_str(), 0640);

        ScriptedHost host;
        const CopyMoveResult result = CopyOrMove({(src / "O1.NC").string(), (src / "JOB").string()},
                                                 dst.string(), copy, host);
        ASSERT_EQ(result.outcome, CopyMoveOutcome::Done) << result.message;
        EXPECT_EQ(result.moved, 2);
        EXPECT_EQ(ReadFileBytes(dst / "O1.NC"), "O1\n");
        EXPECT_EQ(fs::status(dst / "O1.NC").permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
        EXPECT_EQ(ReadFileBytes(dst / "JOB" / "SUB" / "O2.NC"), "O2\n");
        EXPECT_EQ(fs::read_symlink(dst / "JOB" / "LINK.NC"), "../../outside.NC");
        EXPECT_TRUE(fs::is_symlink(dst / "JOB" / "UP"));
        EXPECT_TRUE(fs::is_fifo(dst / "JOB" / "PIPE"));
        EXPECT_EQ(ReadFileBytes(work / "outside.NC"), "OUTSIDE");
        EXPECT_EQ(fs::exists(src / "O1.NC"), copy);
        EXPECT_EQ(fs::exists(src / "JOB"), copy);
        EXPECT_TRUE(Leftovers(dst).empty());
        EXPECT_TRUE(host.asked.empty());
    }
}

TEST(CopyMoveTest, AsksBeforeReplacing) {
    struct Case {
        const char* name;
        std::vector<ReplaceChoice> answers;
        CopyMoveOutcome outcome;
        const char* a;  // A.NC at the destination afterwards
        const char* b;
        int asked;
    };
    using R = ReplaceChoice;
    const Case cases[] = {
        {"yes, no", {R::Yes, R::No}, CopyMoveOutcome::Done, "new A", "old B", 2},
        {"all", {R::All}, CopyMoveOutcome::Done, "new A", "new B", 1},
        {"no, yes", {R::No, R::Yes}, CopyMoveOutcome::Done, "old A", "new B", 2},
        {"cancel", {R::Cancel}, CopyMoveOutcome::Aborted, "old A", "old B", 1},
    };
    for (const bool copy : {true, false}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (copy ? " copy" : " move"));
            TempDir work;
            fs::create_directories(work / "src");
            fs::create_directories(work / "dst");
            for (const char* name : {"A.NC", "B.NC"}) {
                WriteFileBytes(work / "src" / name, std::string("new ") + name[0]);
                WriteFileBytes(work / "dst" / name, std::string("old ") + name[0]);
            }
            ScriptedHost host;
            host.answers.assign(c.answers.begin(), c.answers.end());
            const CopyMoveResult result =
                CopyOrMove({(work / "src" / "A.NC").string(), (work / "src" / "B.NC").string()},
                           (work / "dst").string(), copy, host);
            EXPECT_EQ(result.outcome, c.outcome);
            EXPECT_EQ(ReadFileBytes(work / "dst" / "A.NC"), c.a);
            EXPECT_EQ(ReadFileBytes(work / "dst" / "B.NC"), c.b);
            EXPECT_EQ(static_cast<int>(host.asked.size()), c.asked);
            EXPECT_EQ(host.asked.front(), (work / "dst" / "A.NC").string());
            // A file kept at its destination keeps its source as well.
            for (const char* name : {"A.NC", "B.NC"}) {
                const bool replaced = ReadFileBytes(work / "dst" / name).starts_with("new");
                EXPECT_EQ(fs::exists(work / "src" / name), copy || !replaced) << name;
            }
            EXPECT_TRUE(Leftovers(work.path()).empty());
        }
    }
}

TEST(CopyMoveTest, NeverDestroysTheSameFileOrPutsAFolderIntoItself) {
    for (const bool copy : {true, false}) {
        SCOPED_TRACE(copy ? "copy" : "move");
        TempDir work;
        fs::create_directories(work / "nc" / "JOB" / "SUB");
        fs::create_directories(work / "other");
        WriteFileBytes(work / "nc" / "O1.NC", "KEEP");
        WriteFileBytes(work / "nc" / "JOB" / "O2.NC", "KEEP2");
        // The same file under the destination name: a hard link, and a folder
        // link that leads back to the source's own folder.
        fs::create_hard_link(work / "nc" / "O1.NC", work / "other" / "O1.NC");
        fs::create_directory_symlink(work / "nc", work / "back");
        for (const fs::path& destination : {work / "other", work / "back"}) {
            ScriptedHost host;
            host.answers = {ReplaceChoice::All};
            const CopyMoveResult result =
                CopyOrMove({(work / "nc" / "O1.NC").string()}, destination.string(), copy, host);
            EXPECT_EQ(result.outcome, CopyMoveOutcome::Failed) << destination;
            EXPECT_NE(result.message.find("コピー元と同じファイルです。"), std::string::npos);
            EXPECT_EQ(ReadFileBytes(work / "nc" / "O1.NC"), "KEEP");
            EXPECT_TRUE(host.asked.empty());
        }
        EXPECT_EQ(ReadFileBytes(work / "other" / "O1.NC"), "KEEP");
        EXPECT_TRUE(fs::is_symlink(work / "back"));
        // A folder into itself, below itself, or into itself through a link.
        for (const fs::path& into :
             {work / "nc" / "JOB", work / "nc" / "JOB" / "SUB", work / "back" / "JOB" / "SUB"}) {
            ScriptedHost host;
            const CopyMoveResult result =
                CopyOrMove({(work / "nc" / "O1.NC").string(), (work / "nc" / "JOB").string()},
                           into.string(), copy, host);
            EXPECT_EQ(result.outcome, CopyMoveOutcome::Refused) << into;
            EXPECT_NE(result.message.find("フォルダーをそれ自身の中へは"), std::string::npos);
            EXPECT_TRUE(host.paths.empty());
        }
        EXPECT_EQ(ReadFileBytes(work / "nc" / "JOB" / "O2.NC"), "KEEP2");
        EXPECT_FALSE(fs::exists(work / "nc" / "JOB" / "SUB" / "JOB"));
        EXPECT_FALSE(fs::exists(work / "nc" / "JOB" / "O1.NC"));
    }
}

// A write that fails in the middle of a file (the file size limit stands in
// for a full disk or an I/O error, also for root).
TEST(CopyMoveTest, AFailureMidwayNamesTheFileAndLeavesNoPartOfIt) {
    for (const bool copy : {true, false}) {
        SCOPED_TRACE(copy ? "copy" : "move");
        TempDir work;
        fs::create_directories(work / "src");
        const fs::path dst = fs::path("/dev/shm") / ("wexal_copy_" + std::to_string(::getpid()));
        fs::create_directories(dst);
        WriteFileBytes(work / "src" / "A.NC", "small");
        WriteFileBytes(work / "src" / "B.NC", Big(3 << 20));
        WriteFileBytes(work / "src" / "C.NC", "never reached");
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit limited = old;
        limited.rlim_cur = 1 << 20;
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &limited);
        ScriptedHost host;
        const CopyMoveResult result =
            CopyOrMove({(work / "src" / "A.NC").string(), (work / "src" / "B.NC").string(),
                        (work / "src" / "C.NC").string()},
                       dst.string(), copy, host);
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);

        EXPECT_EQ(result.outcome, CopyMoveOutcome::Failed);
        EXPECT_EQ(result.moved, 1);
        EXPECT_NE(result.message.find((dst / "B.NC").string()), std::string::npos);
        EXPECT_NE(result.message.find("ファイルが大きすぎます。"), std::string::npos);
        EXPECT_EQ(ReadFileBytes(dst / "A.NC"), "small");
        EXPECT_FALSE(fs::exists(dst / "B.NC"));
        EXPECT_FALSE(fs::exists(dst / "C.NC"));
        EXPECT_TRUE(Leftovers(dst).empty());
        EXPECT_EQ(fs::exists(work / "src" / "A.NC"), copy);
        EXPECT_EQ(fs::file_size(work / "src" / "B.NC"), std::uintmax_t{3} << 20);
        EXPECT_TRUE(fs::exists(work / "src" / "C.NC"));
        fs::remove_all(dst);
    }
}

TEST(CopyMoveTest, AbortInsideABigFileAndAcrossFileSystems) {
    TempDir work;
    const fs::path other = fs::path("/dev/shm") / ("wexal_move_" + std::to_string(::getpid()));
    fs::create_directories(other);
    fs::create_directories(work / "JOB" / "SUB");
    WriteFileBytes(work / "JOB" / "BIG.NC", Big(5 << 20));
    WriteFileBytes(work / "JOB" / "SUB" / "O1.NC", "O1");
    {
        // Aborted after two chunks of the big file: nothing under its name.
        ScriptedHost host;
        host.abortOn = "BIG.NC";
        host.abortCountdown = 3;
        const CopyMoveResult result =
            CopyOrMove({(work / "JOB").string()}, other.string(), false, host);
        EXPECT_EQ(result.outcome, CopyMoveOutcome::Aborted);
        EXPECT_FALSE(fs::exists(other / "JOB" / "BIG.NC"));
        EXPECT_TRUE(Leftovers(other).empty());
        EXPECT_EQ(fs::file_size(work / "JOB" / "BIG.NC"), std::uintmax_t{5} << 20);
    }
    struct stat a {};
    struct stat b {};
    ::stat(work.path().c_str(), &a);
    ::stat(other.c_str(), &b);
    if (a.st_dev != b.st_dev) {
        // Another file system: copied, checked, then the source removed.
        ScriptedHost host;
        const CopyMoveResult result =
            CopyOrMove({(work / "JOB").string()}, other.string(), false, host);
        EXPECT_EQ(result.outcome, CopyMoveOutcome::Done) << result.message;
        EXPECT_EQ(ReadFileBytes(other / "JOB" / "BIG.NC"), Big(5 << 20));
        EXPECT_EQ(ReadFileBytes(other / "JOB" / "SUB" / "O1.NC"), "O1");
        EXPECT_FALSE(fs::exists(work / "JOB"));
        EXPECT_EQ(host.lastDone, host.lastTotal);
        EXPECT_GE(host.lastTotal, std::uint64_t{5} << 20);
    }
    fs::remove_all(other);
}

TEST(CopyMoveTest, SingleFileCopyReplacesButNeverTheSourceItself) {
    TempDir work;
    WriteFileBytes(work / "O1.NC", "PROGRAM");
    WriteFileBytes(work / "O9.NC", "OLD");
    fs::create_symlink("O1.NC", work / "L.NC");
    fs::create_directories(work / "DIR.NC");
    struct Case {
        const char* from;
        const char* to;
        bool ok;
        const char* reason;
    };
    const Case cases[] = {
        {"O1.NC", "O9.NC", true, ""},
        {"O1.NC", "O1.NC", false, "コピー元と同じファイルです。"},
        {"O1.NC", "L.NC", false, "コピー元と同じファイルです。"},
        {"L.NC", "O1.NC", false, "コピー元と同じファイルです。"},
        {"O1.NC", "DIR.NC", false, "フォルダーです。"},
        {"DIR.NC", "X.NC", false, "フォルダーです。"},
        {"MISSING.NC", "X.NC", false, "見つかりません。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.from) + " -> " + c.to);
        const Status status = CopyFileReplacing((work / c.from).string(), (work / c.to).string());
        EXPECT_EQ(status.ok, c.ok) << status.message;
        EXPECT_NE(status.message.find(c.reason), std::string::npos) << status.message;
        EXPECT_EQ(ReadFileBytes(work / "O1.NC"), "PROGRAM");
    }
    EXPECT_EQ(ReadFileBytes(work / "O9.NC"), "PROGRAM");
    EXPECT_TRUE(fs::is_symlink(work / "L.NC"));
    EXPECT_TRUE(Leftovers(work.path()).empty());
}

TEST(CopyDestinationTest, FoldersAndTargets) {
    EXPECT_EQ(DestinationFolder("/home/nc/"), "/home/nc");
    EXPECT_EQ(DestinationFolder("/home/nc//"), "/home/nc");
    EXPECT_EQ(DestinationFolder("/"), "/");
    EXPECT_FALSE(NeedsCreateQuestion("/"));
    TempDir work;
    fs::create_directories(work / "A");
    fs::create_directory_symlink(work / "A", work / "LINK");
    EXPECT_TRUE(IsSameFolder((work / "A").string(), (work / "LINK").string()));
    EXPECT_TRUE(IsSameFolder((work / "A").string(), (work / "A" / ".." / "A" / ".").string()));
    EXPECT_FALSE(IsSameFolder((work / "A").string(), (work / "a").string()));
    EXPECT_TRUE(IsSameFolder((work / "gone" / "..").string(), work.path().string() + "/"));
    Settings settings;
    settings.DirPath = "/nc";
    settings.Mask = "*.NC";
    settings.AllFiles = "N";
    EXPECT_EQ(CopyNameDestination(settings, "O9"), "/nc/O9.NC");
    settings.AllFiles = "Y";
    EXPECT_EQ(CopyNameDestination(settings, "O9.TXT"), "/nc/O9.TXT");
    EXPECT_EQ(DragTarget("/nc/job", RowKind::Parent, ""), "/nc");
    EXPECT_EQ(DragTarget("/nc", RowKind::Parent, ""), "/");
    EXPECT_EQ(DragTarget("/nc", RowKind::Folder, "SUB"), "/nc/SUB");
    EXPECT_EQ(DragTarget("/nc", RowKind::File, "O1.NC"), std::nullopt);
    EXPECT_EQ(DragTarget("/nc", RowKind::None, ""), std::nullopt);
}

}  // namespace
}  // namespace wexal
