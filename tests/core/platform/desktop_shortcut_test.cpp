#include "platform/desktop_shortcut.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "support/test_env.h"

namespace wexal {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::ScopedEnv;
using test::WriteFileBytes;

class CountingTrust : public LauncherTrust {
public:
    void MarkTrusted(const fs::path& launcher) override { marked.push_back(launcher); }
    std::vector<fs::path> marked;
};

class DesktopShortcutTest : public ::testing::Test {
protected:
    test::TempDir home_;
    ScopedEnv homeEnv_{"HOME", home_.path().c_str()};
    ScopedEnv configEnv_{"XDG_CONFIG_HOME", nullptr};
};

TEST_F(DesktopShortcutTest, DesktopFolderFromUserDirsElseDesktopInHome) {
    EXPECT_EQ(DesktopFolder(), home_.path() / "Desktop");

    fs::create_directories(home_.path() / ".config");
    WriteFileBytes(home_.path() / ".config/user-dirs.dirs",
                   "# written by xdg-user-dirs-update\nXDG_DOWNLOAD_DIR=\"$HOME/dl\"\n"
                   "XDG_DESKTOP_DIR=\"$HOME/デスクトップ\"\n");
    EXPECT_EQ(DesktopFolder(), home_.path() / "デスクトップ");

    const test::TempDir config;
    ScopedEnv configEnv("XDG_CONFIG_HOME", config.path().c_str());
    WriteFileBytes(config.path() / "user-dirs.dirs", "XDG_DESKTOP_DIR=\"/srv/desk top\"\n");
    EXPECT_EQ(DesktopFolder(), fs::path("/srv/desk top"));
    WriteFileBytes(config.path() / "user-dirs.dirs", "XDG_DESKTOP_DIR=\"$HOME/\"\n");
    EXPECT_EQ(DesktopFolder(), home_.path());
    WriteFileBytes(config.path() / "user-dirs.dirs", "XDG_DESKTOP_DIR=\"relative\"\n");
    EXPECT_EQ(DesktopFolder(), home_.path() / "Desktop");
}

TEST(DesktopExecTest, ArgumentsAreQuotedAndEscaped) {
    const std::pair<const char*, const char*> rows[] = {
        {"/opt/wexal/Wexal", R"("/opt/wexal/Wexal")"},
        {"/home/op/my prg/Wexal", R"("/home/op/my prg/Wexal")"},
        {"/a/100%/Wexal", R"("/a/100%%/Wexal")"},
        {"/a/$x/`y`/Wexal", R"("/a/\\$x/\\`y\\`/Wexal")"},
        {"/a/q\"b/Wexal", R"("/a/q\\"b/Wexal")"},
        {"/a/back\\slash", R"("/a/back\\\\slash")"},
    };
    for (const auto& [path, want] : rows) EXPECT_EQ(DesktopExecArgument(path), want) << path;
}

TEST_F(DesktopShortcutTest, TwoPressesLeaveOneExecutableTrustedLauncher) {
    const fs::path desktop = home_.path() / "Desktop";
    fs::create_directory(desktop);
    const fs::path executable = "/opt/my prg/Wexal";
    CountingTrust trust;
    EXPECT_TRUE(CreateDesktopShortcut(executable, trust));
    EXPECT_TRUE(CreateDesktopShortcut(executable, trust));

    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(desktop)) files.push_back(entry.path());
    ASSERT_EQ(files, std::vector<fs::path>{desktop / "Wexal.desktop"});
    const std::string text = ReadFileBytes(files.front());
    EXPECT_NE(text.find("[Desktop Entry]\nType=Application\n"), std::string::npos);
    EXPECT_NE(text.find("\nExec=\"/opt/my prg/Wexal\"\n"), std::string::npos);
    EXPECT_NE(text.find("\nPath=/opt/my prg\n"), std::string::npos);
    EXPECT_NE(text.find("\nName=Wexal\n"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(stat(files.front().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    EXPECT_EQ(trust.marked, (std::vector<fs::path>{files.front(), files.front()}));
}

TEST_F(DesktopShortcutTest, NothingIsWrittenWithoutADesktopOrAnAbsoluteProgram) {
    CountingTrust trust;
    EXPECT_FALSE(CreateDesktopShortcut("/opt/wexal/Wexal", trust));
    fs::create_directory(home_.path() / "Desktop");
    EXPECT_FALSE(CreateDesktopShortcut("Wexal", trust));
    EXPECT_FALSE(CreateDesktopShortcut("/opt/\xff/Wexal", trust));
    EXPECT_TRUE(fs::is_empty(home_.path() / "Desktop"));
    EXPECT_TRUE(trust.marked.empty());
}

}  // namespace
}  // namespace wexal
