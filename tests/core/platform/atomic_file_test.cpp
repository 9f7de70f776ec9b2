#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "support/test_env.h"

namespace wexal {
namespace {

namespace fs = std::filesystem;

class AtomicFileTest : public ::testing::Test {
protected:
    int EntryCount() const {
        return static_cast<int>(std::distance(fs::directory_iterator(dir_.path()), {}));
    }

    test::TempDir dir_;
};

TEST_F(AtomicFileTest, CreatesAndReplacesWholeContentLeavingNoTemporaryFile) {
    const fs::path file = dir_ / "Wexal.INI";
    const std::string binary("a\0b\r\n\xFF", 6);
    ASSERT_TRUE(WriteFileAtomically(file, binary));
    EXPECT_EQ(test::ReadFileBytes(file), binary);

    ASSERT_TRUE(WriteFileAtomically(file, "x"));
    EXPECT_EQ(test::ReadFileBytes(file), "x");
    ASSERT_TRUE(WriteFileAtomically(file, ""));
    EXPECT_EQ(test::ReadFileBytes(file), "");
    EXPECT_EQ(EntryCount(), 1);
}

TEST_F(AtomicFileTest, KeepsThePermissionBitsOfTheReplacedFile) {
    const fs::path file = dir_ / "keep.ini";
    test::WriteFileBytes(file, "old");
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    ASSERT_TRUE(WriteFileAtomically(file, "new"));
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST_F(AtomicFileTest, WritesThroughASymbolicLink) {
    const fs::path real = dir_ / "real.ini";
    const fs::path link = dir_ / "link.ini";
    test::WriteFileBytes(real, "old");
    fs::create_symlink(real, link);
    ASSERT_TRUE(WriteFileAtomically(link, "new"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(test::ReadFileBytes(real), "new");
}

TEST_F(AtomicFileTest, FailureNamesTheFileAndLeavesEverythingAsItWas) {
    // A folder where the file should be: the rename cannot replace it.
    const fs::path folderInTheWay = dir_ / "Wexal.INI";
    fs::create_directory(folderInTheWay);
    test::WriteFileBytes(folderInTheWay / "inside", "keep");
    Status status = WriteFileAtomically(folderInTheWay, "data");
    EXPECT_FALSE(status);
    EXPECT_NE(status.message.find("ファイルに書き込めません。"), std::string::npos);
    EXPECT_NE(status.message.find(folderInTheWay.string()), std::string::npos);
    // The reason in the operator's words, not the system's English.
    EXPECT_NE(status.message.find("フォルダーです。"), std::string::npos);
    EXPECT_EQ(test::ReadFileBytes(folderInTheWay / "inside"), "keep");
    EXPECT_EQ(EntryCount(), 1);

    // A parent that is a regular file: not even the temporary file can exist.
    const fs::path plain = dir_ / "plain";
    test::WriteFileBytes(plain, "old");
    const fs::path below = plain / "x.ini";
    status = WriteFileAtomically(below, "data");
    EXPECT_FALSE(status);
    EXPECT_NE(status.message.find(below.string()), std::string::npos);
    EXPECT_NE(status.message.find("フォルダーではありません。"), std::string::npos);
    EXPECT_EQ(test::ReadFileBytes(plain), "old");
    EXPECT_EQ(EntryCount(), 2);
}

// Issue 5, items 4 and 5, at the platform level: a read-only file and a link
// to anything but a regular file are refused, naming the path given.
TEST_F(AtomicFileTest, RefusesReadOnlyFilesAndLinksToAnythingButARegularFile) {
    const fs::path locked = dir_ / "locked.ini";
    test::WriteFileBytes(locked, "old");
    ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);
    Status status = WriteFileAtomically(locked, "new");
    EXPECT_EQ(status.message,
              "ファイルに書き込めません。\n" + locked.string() + "\n読み取り専用のファイルです。");
    EXPECT_EQ(test::ReadFileBytes(locked), "old");

    const fs::path fifo = dir_ / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    const struct {
        fs::path target;
        const char* reason;
    } links[] = {
        {locked, "読み取り専用のファイルです。"},
        {fifo, "シンボリックリンクの先が通常のファイルではありません。"},
        {dir_.path(), "シンボリックリンクの先が通常のファイルではありません。"},
        {dir_ / "missing", "シンボリックリンクの先にファイルがありません。"},
    };
    int n = 0;
    for (const auto& link : links) {
        const fs::path path = dir_ / ("link" + std::to_string(n++));
        fs::create_symlink(link.target, path);
        status = WriteFileAtomically(path, "new");
        EXPECT_EQ(status.message,
                  "ファイルに書き込めません。\n" + path.string() + "\n" + link.reason);
        EXPECT_EQ(fs::read_symlink(path), link.target);
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_FALSE(fs::exists(dir_ / "missing"));
    EXPECT_EQ(test::ReadFileBytes(locked), "old");

    const fs::path fifoItself = dir_ / "fifo";
    status = WriteFileAtomically(fifoItself, "new");
    EXPECT_EQ(status.message, "ファイルに書き込めません。\n" + fifoItself.string() +
                                  "\n通常のファイルではありません。");
    EXPECT_TRUE(fs::is_fifo(fifoItself));
    EXPECT_EQ(EntryCount(), 6);  // locked, fifo, four links: nothing added
}

}  // namespace
}  // namespace wexal

namespace wexal {
namespace {

TEST(AtomicFileLinkTest, ReplaceModePutsTheFileInTheLinksPlace) {
    test::TempDir dir;
    test::TempDir elsewhere;
    test::WriteFileBytes(elsewhere / "target", "keep");
    std::filesystem::create_symlink(elsewhere / "target", dir / "name");
    ASSERT_TRUE(WriteFileAtomically(dir / "name", "new", LinkMode::Replace));
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "name"));
    EXPECT_EQ(test::ReadFileBytes(dir / "name"), "new");
    EXPECT_EQ(test::ReadFileBytes(elsewhere / "target"), "keep");
}

}  // namespace
}  // namespace wexal

namespace wexal {
namespace {

// Root following a link another user could have planted would write
// wherever that user points it.
TEST(AtomicFileLinkTest, RootFollowsOnlyItsOwnLinksToItsOwnFiles) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give files away";
    namespace fs = std::filesystem;
    constexpr uid_t kOther = 65534;
    struct Case {
        const char* what;
        uid_t linkOwner;
        uid_t fileOwner;
        const char* reason;  // nullptr: written through
    };
    const Case cases[] = {
        {"root's link to root's file", 0, 0, nullptr},
        {"root's link to another user's file", 0, kOther,
         "シンボリックリンクの先が他のユーザーのファイルです。"},
        {"another user's link to root's file", kOther, 0, "他のユーザーのシンボリックリンクです。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        const fs::path file = dir / "file";
        const fs::path link = dir / "link";
        test::WriteFileBytes(file, "old");
        fs::create_symlink(file, link);
        ASSERT_EQ(::chown(file.c_str(), c.fileOwner, c.fileOwner), 0);
        ASSERT_EQ(::lchown(link.c_str(), c.linkOwner, c.linkOwner), 0);
        const Status status = WriteFileAtomically(link, "new", LinkMode::FollowOwned);
        if (c.reason == nullptr) {
            EXPECT_TRUE(status) << status.message;
        } else {
            EXPECT_EQ(status.message,
                      "ファイルに書き込めません。\n" + link.string() + "\n" + c.reason);
        }
        EXPECT_EQ(test::ReadFileBytes(file), c.reason == nullptr ? "new" : "old");
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_EQ(ReadRegularFile(link, 100, LinkMode::FollowOwned).kind,
                  c.reason == nullptr ? FileLookup::Kind::Regular : FileLookup::Kind::Refused);
        // Followed as before where nothing else is asked for.
        EXPECT_EQ(ReadRegularFile(link, 100).bytes, c.reason == nullptr ? "new" : "old");
    }
}

}  // namespace
}  // namespace wexal
