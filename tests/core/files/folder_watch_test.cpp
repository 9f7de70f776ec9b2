// The change notification of the folder watcher, on real folders: inotify
// queues an event before the call that caused it returns, so every check
// here reads what is there without waiting.
#include "files/folder_watch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/test_env.h"

namespace wexal {
namespace {

namespace fs = std::filesystem;
using test::WriteFileBytes;

TEST(FolderWatchTest, SeesFilesButNotContentsOrSubfolders) {
    test::TempDir dir;
    WriteFileBytes(dir / "O1.NC", "G0\n");
    FolderWatch watch;
    ASSERT_TRUE(watch.Watch(dir.path().string()));
    EXPECT_FALSE(watch.TakeEvents());

    WriteFileBytes(dir / "O1.NC", "G0 X1.\n");  // a new content under the same name
    ::chmod((dir / "O1.NC").c_str(), 0444);
    fs::last_write_time(dir / "O1.NC", fs::file_time_type::clock::now());
    fs::create_directory(dir / "SUB");
    WriteFileBytes(dir / "SUB" / "O2.NC", "G1\n");
    fs::rename(dir / "SUB", dir / "SUB2");
    EXPECT_FALSE(watch.TakeEvents());

    WriteFileBytes(dir / "O3.NC", "");
    EXPECT_TRUE(watch.TakeEvents());
    fs::rename(dir / "O3.NC", dir / "O4.NC");
    EXPECT_TRUE(watch.TakeEvents());
    fs::remove(dir / "O4.NC");
    EXPECT_TRUE(watch.TakeEvents());
    EXPECT_FALSE(watch.TakeEvents());
}

TEST(FolderWatchTest, FollowsTheListedFolder) {
    test::TempDir dir;
    fs::create_directory(dir / "A");
    FolderWatch watch;
    ASSERT_TRUE(watch.Follow((dir / "A").string()));

    // A folder that is not there is not watched, and tried again next time.
    const std::string b = (dir / "B").string();
    EXPECT_FALSE(watch.Follow(b));
    EXPECT_FALSE(watch.Watching());
    fs::create_directory(b);
    ASSERT_TRUE(watch.Follow(b));
    EXPECT_EQ(watch.Folder(), b);

    WriteFileBytes(dir / "A" / "OLD.NC", "");
    EXPECT_FALSE(watch.TakeEvents());
    WriteFileBytes(fs::path(b) / "NEW.NC", "");
    EXPECT_TRUE(watch.TakeEvents());

    // The folder moved away: the list changes, and the path is watched
    // again only when something stands there.
    fs::rename(b, dir / "C");
    EXPECT_TRUE(watch.TakeEvents());
    EXPECT_FALSE(watch.Watching());
    WriteFileBytes(dir / "C" / "LATE.NC", "");
    EXPECT_FALSE(watch.TakeEvents());
    EXPECT_FALSE(watch.Follow(b));

    fs::create_directory(b);
    ASSERT_TRUE(watch.Follow(b));
    fs::remove(b);
    EXPECT_TRUE(watch.TakeEvents());
    EXPECT_FALSE(watch.Watching());
}

}  // namespace
}  // namespace wexal
