#include "platform/instance_lock.h"

#include <gtest/gtest.h>

#include "support/test_env.h"

namespace wexal {
namespace {

// One instance per program folder; the next start is free once it ends, and
// a folder that cannot hold the file leaves the program running unlocked.
TEST(InstanceLockWindows, OneHolderPerFolderAndFreeAgainAfterIt) {
    test::TempDir dir;
    LockPlaces places;
    places.programFolder = dir.path();
    places.sharedTemp.clear();
    std::unique_ptr<InstanceLock> first = InstanceLock::TryAcquireIn("Wexal", places);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->held());
    EXPECT_EQ(first->path(), dir / "Wexal.lock");
    EXPECT_EQ(InstanceLock::TryAcquireIn("Wexal", places), nullptr);
    first.reset();
    EXPECT_NE(InstanceLock::TryAcquireIn("Wexal", places), nullptr);

    places.programFolder = dir / "missing" / "deeper";
    const std::unique_ptr<InstanceLock> none = InstanceLock::TryAcquireIn("Wexal", places);
    ASSERT_NE(none, nullptr);
    EXPECT_FALSE(none->held());
    EXPECT_NE(none->note().find("missing"), std::string::npos) << none->note();
}

}  // namespace
}  // namespace wexal
