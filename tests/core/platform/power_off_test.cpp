#include "platform/power_off.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_env.h"

namespace wexal {
namespace {

TEST(PowerOffTest, RecordedInsteadWhenTheLogIsNamed) {
    test::TempDir dir;
    const std::string log = (dir / "poweroff.log").string();
    const test::ScopedEnv env("WEXAL_POWEROFF_LOG", log.c_str());

    EXPECT_TRUE(ShutDownPC(false));
    EXPECT_FALSE(std::filesystem::exists(log));
    EXPECT_TRUE(RequestSystemStop(SystemStop::PowerOff));
    // A machine that cannot switch itself off is halted at once.
    EXPECT_FALSE(ShutDownPC(true));
    EXPECT_EQ(test::ReadFileBytes(log), "poweroff\nhalt\n");
}

TEST(PowerOffTest, ARecordThatCannotBeWrittenSaysWhy) {
    test::TempDir dir;
    const std::string log = (dir / "missing" / "poweroff.log").string();
    const test::ScopedEnv env("WEXAL_POWEROFF_LOG", log.c_str());
    const Status status = RequestSystemStop(SystemStop::PowerOff);
    EXPECT_FALSE(status);
    EXPECT_NE(status.message.find(log), std::string::npos);
}

}  // namespace
}  // namespace wexal
