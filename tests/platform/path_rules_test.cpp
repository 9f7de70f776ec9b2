#include "platform/path_rules.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "support/test_env.h"

namespace wexal {
namespace {

using test::ScopedEnv;

TEST(PathRulesTest, JoinAddsOneSeparator) {
    EXPECT_EQ(PathRules::Join("/nc/work", "O1000.NC"), "/nc/work/O1000.NC");
    EXPECT_EQ(PathRules::Join("/", "O1000.NC"), "/O1000.NC");
    EXPECT_EQ(PathRules::Join("/nc/", "O1000.NC"), "/nc/O1000.NC");
    EXPECT_EQ(PathRules::Join("", "O1000.NC"), "O1000.NC");
}

TEST(PathRulesTest, ParentAndFileName) {
    EXPECT_EQ(PathRules::Parent("/a/b"), "/a");
    EXPECT_EQ(PathRules::Parent("/a/b/"), "/a");
    EXPECT_EQ(PathRules::Parent("/a"), "/");
    EXPECT_EQ(PathRules::Parent("/"), "/");
    EXPECT_EQ(PathRules::Parent("name"), "");
    EXPECT_EQ(PathRules::Parent("dir/name"), "dir");

    EXPECT_EQ(PathRules::FileName("/a/b.NC"), "b.NC");
    EXPECT_EQ(PathRules::FileName("b.NC"), "b.NC");
    EXPECT_EQ(PathRules::FileName("/"), "");
}

TEST(PathRulesTest, ExtensionIsTakenFromTheLastComponentOnly) {
    EXPECT_EQ(PathRules::Extension("O1000.NC"), ".NC");
    EXPECT_EQ(PathRules::Extension("prog.tar.nc"), ".nc");
    EXPECT_EQ(PathRules::Extension("README"), "");
    EXPECT_EQ(PathRules::Extension("O1000."), ".");
    EXPECT_EQ(PathRules::Extension("/work.d/README"), "");
    EXPECT_EQ(PathRules::Extension("/work.d/O1.NC"), ".NC");
}

TEST(PathRulesTest, RootIsTheBareDrive) {
    EXPECT_TRUE(PathRules::IsDriveRoot("/"));
    EXPECT_TRUE(PathRules::IsDriveRoot("//"));
    EXPECT_FALSE(PathRules::IsDriveRoot(""));
    EXPECT_FALSE(PathRules::IsDriveRoot("/home"));

    EXPECT_EQ(PathRules::StripTrailingSeparator("/nc/"), "/nc");
    EXPECT_EQ(PathRules::StripTrailingSeparator("/nc"), "/nc");
    EXPECT_EQ(PathRules::StripTrailingSeparator("/"), "/");
}

TEST(PathRulesTest, DefaultFolderIsTheHomeFolder) {
    {
        ScopedEnv home("HOME", "/srv/operator");
        EXPECT_EQ(PathRules::DefaultFolder(), "/srv/operator");
        EXPECT_EQ(PathRules::FallbackFolder(), "/srv/operator");
    }
    const passwd* entry = getpwuid(getuid());
    const std::string expected =
        entry != nullptr && entry->pw_dir != nullptr && *entry->pw_dir ? entry->pw_dir : "/";
    {
        ScopedEnv home("HOME", "");
        EXPECT_EQ(PathRules::DefaultFolder(), expected);
    }
    {
        ScopedEnv home("HOME", nullptr);
        EXPECT_EQ(PathRules::FallbackFolder(), expected);
    }
}

}  // namespace
}  // namespace wexal
