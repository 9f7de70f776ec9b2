#include "platform/instance_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

#include "support/test_env.h"

extern char** environ;

namespace wexal {
namespace {

using test::ScopedEnv;

namespace fs = std::filesystem;

class InstanceLockTest : public ::testing::Test {
protected:
    test::TempDir runtimeDir_;
    fs::path runtime_ = runtimeDir_.path();
    std::optional<ScopedEnv> env_{std::in_place, "XDG_RUNTIME_DIR", runtime_.c_str()};
};

TEST_F(InstanceLockTest, SecondHolderIsRefusedUntilTheFirstLetsGo) {
    auto first = InstanceLock::TryAcquire("Wexal");
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->held());
    EXPECT_EQ(first->path(), runtime_ / "Wexal.lock");

    EXPECT_EQ(InstanceLock::TryAcquire("Wexal"), nullptr);
    auto other = InstanceLock::TryAcquire("Other");
    ASSERT_NE(other, nullptr);
    EXPECT_TRUE(other->held());

    InstanceLock moved = std::move(*first);
    first.reset();
    EXPECT_EQ(InstanceLock::TryAcquire("Wexal"), nullptr);

    { InstanceLock released = std::move(moved); }
    auto again = InstanceLock::TryAcquire("Wexal");
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(again->held());
}

TEST_F(InstanceLockTest, KilledHolderFreesTheLock) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(ready[0]);
        auto lock = InstanceLock::TryAcquire("Wexal");
        const char answer = lock != nullptr && lock->held() ? 'y' : 'n';
        if (write(ready[1], &answer, 1) != 1) _exit(2);
        for (;;) pause();
    }
    close(ready[1]);
    char answer = 0;
    ASSERT_EQ(read(ready[0], &answer, 1), 1);
    close(ready[0]);
    EXPECT_EQ(answer, 'y');

    EXPECT_EQ(InstanceLock::TryAcquire("Wexal"), nullptr);

    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status));

    auto lock = InstanceLock::TryAcquire("Wexal");
    ASSERT_NE(lock, nullptr);
    EXPECT_TRUE(lock->held());
}

TEST_F(InstanceLockTest, LaunchedProgramsDoNotInheritTheLock) {
    auto lock = InstanceLock::TryAcquire("Wexal");
    ASSERT_NE(lock, nullptr);

    pid_t child = 0;
    char sleepName[] = "sleep";
    char seconds[] = "30";
    char* argv[] = {sleepName, seconds, nullptr};
    ASSERT_EQ(posix_spawnp(&child, "sleep", nullptr, nullptr, argv, environ), 0);

    lock.reset();
    auto after = InstanceLock::TryAcquire("Wexal");
    EXPECT_NE(after, nullptr);

    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

TEST_F(InstanceLockTest, WithoutRuntimeFolderAPrivateTmpFolderIsUsed) {
    env_.emplace("XDG_RUNTIME_DIR", (runtime_ / "missing").c_str());
    const std::string name = "wexal-lock-test-" + std::to_string(getpid());
    const fs::path folder = "/tmp/wexal-" + std::to_string(geteuid());
    const bool folderExisted = fs::exists(folder);

    auto lock = InstanceLock::TryAcquire(name);
    ASSERT_NE(lock, nullptr);
    EXPECT_TRUE(lock->held());
    EXPECT_EQ(lock->path(), folder / (name + ".lock"));

    struct stat info {};
    ASSERT_EQ(lstat(folder.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0077, 0u);
    EXPECT_EQ(InstanceLock::TryAcquire(name), nullptr);

    std::error_code ignored;
    fs::remove(lock->path(), ignored);
    lock.reset();
    if (!folderExisted) fs::remove(folder, ignored);
}

}  // namespace
}  // namespace wexal
