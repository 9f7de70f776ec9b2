#include "platform/path_rules.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

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

TEST(PathRulesTest, StoredFolderValues) {
    using PathRules::FolderValue;
    const std::pair<const char*, FolderValue> rows[] = {
        {"", FolderValue::Home},
        {"C:", FolderValue::Home},
        {"c:", FolderValue::Home},
        {"c:\\", FolderValue::Home},
        {"D:", FolderValue::Home},
        {"d:/", FolderValue::Home},
        {"D:\\NCDATA", FolderValue::Foreign},
        {"C:\\NC\\DATA", FolderValue::Foreign},
        {"1:", FolderValue::Foreign},
        {"NC", FolderValue::Foreign},
        {"./NC", FolderValue::Foreign},
        {"\\\\server\\nc", FolderValue::Foreign},
        {"/", FolderValue::Root},
        {"//", FolderValue::Root},
        {"/home/nc", FolderValue::Folder},
        {"/home/nc/", FolderValue::Folder},
    };
    for (const auto& [value, kind] : rows) {
        EXPECT_EQ(PathRules::ClassifyFolderValue(value), kind) << value;
        EXPECT_EQ(PathRules::IsCreatableFolder(value), kind == FolderValue::Folder) << value;
    }
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
