#include "platform/program_folder.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "support/test_env.h"

namespace wexal {
namespace {

using test::ScopedEnv;

namespace fs = std::filesystem;

class ProgramFolderTest : public ::testing::Test {
protected:
    test::TempDir rootDir_;
    fs::path root_ = rootDir_.path();
};

TEST_F(ProgramFolderTest, ExecutableIsTheRunningBinary) {
    const fs::path exe = ExecutablePath();
    EXPECT_TRUE(exe.is_absolute());
    EXPECT_TRUE(fs::exists(exe));
}

TEST_F(ProgramFolderTest, WexalHomeWinsAndIsCreated) {
    const fs::path home = root_ / "portable" / "wexal";
    ScopedEnv env("WEXAL_HOME", home.c_str());

    EXPECT_EQ(ProgramFolder(), home);
    EXPECT_TRUE(fs::is_directory(home));
    EXPECT_EQ(ProgramFile("Path.lst"), home / "Path.lst");
}

// An installed executable never keeps its files beside itself, even where it
// may write (root and /usr/bin); a folder that only looks like /usr may.
TEST_F(ProgramFolderTest, AnExecutableUnderUsrUsesTheConfigFolder) {
    ScopedEnv env("WEXAL_HOME", nullptr);
    ScopedEnv config("XDG_CONFIG_HOME", (root_ / "config").c_str());
    const fs::path configFolder = root_ / "config" / "wexal";
    fs::create_directories(root_ / "usr" / "bin");
    const struct {
        fs::path executableFolder;
        fs::path expected;
    } cases[] = {
        {"/usr/bin", configFolder},
        {"/usr/local/bin", configFolder},
        {"/usr/bin/../lib/", configFolder},
        {"/usr", configFolder},
        {root_ / "usr" / "bin", root_ / "usr" / "bin"},
        {"/usr/../" + root_.relative_path().string(), "/usr/../" + root_.relative_path().string()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ProgramFolderFor(c.executableFolder), c.expected) << c.executableFolder;
    }
}

TEST_F(ProgramFolderTest, WritableExecutableFolderIsAPortableInstall) {
    ScopedEnv env("WEXAL_HOME", nullptr);
    ScopedEnv config("XDG_CONFIG_HOME", (root_ / "config").c_str());
    EXPECT_EQ(ProgramFolderFor(root_), root_);

    const fs::path exeFolder = ExecutablePath().parent_path();
    const bool portable = access(exeFolder.c_str(), W_OK) == 0;
    EXPECT_EQ(ProgramFolder(), portable ? exeFolder : root_ / "config" / "wexal");
}

TEST_F(ProgramFolderTest, UnusableExecutableFolderFallsBackToTheConfigFolder) {
    ScopedEnv env("WEXAL_HOME", nullptr);
    const fs::path missing = root_ / "no-such-folder";
    {
        ScopedEnv config("XDG_CONFIG_HOME", (root_ / "config").c_str());
        EXPECT_EQ(ProgramFolderFor(missing), root_ / "config" / "wexal");
        EXPECT_TRUE(fs::is_directory(root_ / "config" / "wexal"));
    }
    ScopedEnv home("HOME", (root_ / "home").c_str());
    {
        ScopedEnv config("XDG_CONFIG_HOME", nullptr);
        EXPECT_EQ(ProgramFolderFor(missing), root_ / "home" / ".config" / "wexal");
    }
    {
        ScopedEnv config("XDG_CONFIG_HOME", "relative/config");
        EXPECT_EQ(ProgramFolderFor(missing), root_ / "home" / ".config" / "wexal");
    }
    EXPECT_TRUE(fs::is_directory(root_ / "home" / ".config" / "wexal"));
    EXPECT_FALSE(fs::exists("relative"));
}

}  // namespace
}  // namespace wexal
