#include "platform/file_tree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/test_env.h"

namespace wexal {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

TEST(RemoveTreeTest, RemovesNestedFoldersButNeverFollowsLinksOut) {
    TempDir temp;
    const fs::path root = temp.path();
    fs::create_directories(root / "outside");
    WriteFileBytes(root / "outside" / "keep.nc", "O1\n");
    fs::create_directories(root / "tree" / "a" / "b");
    WriteFileBytes(root / "tree" / "a" / "b" / "O2.NC", "O2\n");
    WriteFileBytes(root / "tree" / "top.nc", "O3\n");
    fs::create_directory_symlink(root / "outside", root / "tree" / "a" / "dirlink");
    fs::create_symlink(root / "outside" / "keep.nc", root / "tree" / "filelink");
    ASSERT_EQ(::mkfifo((root / "tree" / "fifo").c_str(), 0600), 0);

    ASSERT_TRUE(RemoveTree((root / "tree").string()).ok);

    EXPECT_FALSE(fs::exists(fs::symlink_status(root / "tree")));
    EXPECT_EQ(ReadFileBytes(root / "outside" / "keep.nc"), "O1\n");
}

TEST(RemoveTreeTest, ALinkGivenItselfIsRemovedAsALinkAndAMissingPathIsNamed) {
    TempDir temp;
    const fs::path root = temp.path();
    fs::create_directories(root / "target");
    WriteFileBytes(root / "target" / "x", "x");
    fs::create_directory_symlink(root / "target", root / "link");

    ASSERT_TRUE(RemoveTree((root / "link").string()).ok);
    EXPECT_TRUE(fs::exists(root / "target" / "x"));

    const Status missing = RemoveTree((root / "nothing").string());
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.message.find("nothing"), std::string::npos);
}

}  // namespace
}  // namespace wexal
