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
#include <iostream>
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
    test::TempDir program_;
    fs::path runtime_ = runtimeDir_.path();
    std::optional<ScopedEnv> env_{std::in_place, "XDG_RUNTIME_DIR", runtime_.c_str()};
};

TEST_F(InstanceLockTest, SecondHolderIsRefusedUntilTheFirstLetsGo) {
    auto first = InstanceLock::TryAcquire("Wexal", program_.path());
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->held());
    EXPECT_EQ(first->path(), runtime_ / "Wexal.lock");

    EXPECT_EQ(InstanceLock::TryAcquire("Wexal", program_.path()), nullptr);
    auto other = InstanceLock::TryAcquire("Other", program_.path());
    ASSERT_NE(other, nullptr);
    EXPECT_TRUE(other->held());

    InstanceLock moved = std::move(*first);
    first.reset();
    EXPECT_EQ(InstanceLock::TryAcquire("Wexal", program_.path()), nullptr);

    { InstanceLock released = std::move(moved); }
    auto again = InstanceLock::TryAcquire("Wexal", program_.path());
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
        auto lock = InstanceLock::TryAcquire("Wexal", program_.path());
        const char answer = lock != nullptr && lock->held() ? 'y' : 'n';
        if (write(ready[1], &answer, 1) != 1) _exit(2);
        for (;;) pause();
    }
    close(ready[1]);
    char answer = 0;
    ASSERT_EQ(read(ready[0], &answer, 1), 1);
    close(ready[0]);
    EXPECT_EQ(answer, 'y');

    EXPECT_EQ(InstanceLock::TryAcquire("Wexal", program_.path()), nullptr);

    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status));

    auto lock = InstanceLock::TryAcquire("Wexal", program_.path());
    ASSERT_NE(lock, nullptr);
    EXPECT_TRUE(lock->held());
}

TEST_F(InstanceLockTest, LaunchedProgramsDoNotInheritTheLock) {
    auto lock = InstanceLock::TryAcquire("Wexal", program_.path());
    ASSERT_NE(lock, nullptr);

    pid_t child = 0;
    char sleepName[] = "sleep";
    char seconds[] = "30";
    char* argv[] = {sleepName, seconds, nullptr};
    ASSERT_EQ(posix_spawnp(&child, "sleep", nullptr, nullptr, argv, environ), 0);

    lock.reset();
    auto after = InstanceLock::TryAcquire("Wexal", program_.path());
    EXPECT_NE(after, nullptr);

    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
}

TEST_F(InstanceLockTest, WithoutRuntimeFolderAPrivateTmpFolderIsUsed) {
    env_.emplace("XDG_RUNTIME_DIR", (runtime_ / "missing").c_str());
    const std::string name = "wexal-lock-test-" + std::to_string(getpid());
    const fs::path folder = "/tmp/wexal-" + std::to_string(geteuid());
    const bool folderExisted = fs::exists(folder);

    auto lock = InstanceLock::TryAcquire(name, program_.path());
    ASSERT_NE(lock, nullptr);
    EXPECT_TRUE(lock->held());
    EXPECT_EQ(lock->path(), folder / (name + ".lock"));

    struct stat info {};
    ASSERT_EQ(lstat(folder.c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 0077, 0u);
    EXPECT_EQ(InstanceLock::TryAcquire(name, program_.path()), nullptr);

    std::error_code ignored;
    fs::remove(lock->path(), ignored);
    lock.reset();
    if (!folderExisted) fs::remove(folder, ignored);
}

// Each row spoils one place; the lock must then be taken, once, in the next
// safe place, and never through a link.
TEST(InstanceLockPlaces, UnsafePlacesAreSkippedNeverFollowed) {
    enum class Where { Shared, Program, Nowhere };
    struct Folders {
        LockPlaces places;
        fs::path runtime;
        fs::path shared;
        fs::path program;
        fs::path victim;
    };
    using Arrange = void (*)(Folders&);
    struct Row {
        const char* what;
        Arrange arrange;
        Where expected;
        bool needsRoot = false;
    };
    const Row rows[] = {
        {"lock name in the runtime folder is a folder",
         [](Folders& f) { fs::create_directory(f.runtime / "Wexal.lock"); }, Where::Shared},
        {"lock name in the runtime folder is a dangling link",
         [](Folders& f) { fs::create_symlink(f.victim / "created", f.runtime / "Wexal.lock"); },
         Where::Shared},
        {"lock name in the runtime folder is a FIFO",
         [](Folders& f) { ASSERT_EQ(mkfifo((f.runtime / "Wexal.lock").c_str(), 0600), 0); },
         Where::Shared},
        {"runtime folder is relative", [](Folders& f) { f.places.runtimeFolder = "run/user"; },
         Where::Shared},
        {"runtime folder is writable by others",
         [](Folders& f) { fs::permissions(f.runtime, fs::perms::all); }, Where::Shared},
        {"runtime folder is a link",
         [](Folders& f) {
             fs::create_symlink(f.runtime, f.victim / "run");
             f.places.runtimeFolder = f.victim / "run";
         },
         Where::Shared},
        {"no runtime folder, shared folder of another user",
         [](Folders& f) {
             f.places.runtimeFolder = f.runtime / "missing";
             fs::create_directory(f.shared);
             fs::permissions(f.shared, fs::perms::owner_all);
             ASSERT_EQ(chown(f.shared.c_str(), 4242, 4242), 0);
         },
         Where::Program, true},
        {"no runtime folder, shared folder is a file",
         [](Folders& f) {
             f.places.runtimeFolder = f.runtime / "missing";
             test::WriteFileBytes(f.shared, "x");
         },
         Where::Program},
        {"no runtime folder, shared folder writable by the group",
         [](Folders& f) {
             f.places.runtimeFolder = f.runtime / "missing";
             fs::create_directory(f.shared);
             fs::permissions(f.shared, fs::perms::owner_all | fs::perms::group_all);
         },
         Where::Program},
        {"no runtime folder, shared folder writable by others",
         [](Folders& f) {
             f.places.runtimeFolder = f.runtime / "missing";
             fs::create_directory(f.shared);
             fs::permissions(f.shared, fs::perms::all);
         },
         Where::Program},
        {"no runtime folder, shared folder is a link to a private folder",
         [](Folders& f) {
             f.places.runtimeFolder = f.runtime / "missing";
             fs::create_symlink(f.victim, f.shared);
         },
         Where::Program},
        {"no runtime folder, lock name in the shared folder is a link",
         [](Folders& f) {
             f.places.runtimeFolder = f.runtime / "missing";
             fs::create_directory(f.shared);
             fs::permissions(f.shared, fs::perms::owner_all);
             fs::create_symlink(f.victim / "created", f.shared / "Wexal.lock");
         },
         Where::Program},
        {"no safe place at all",
         [](Folders& f) {
             f.places.runtimeFolder = f.runtime / "missing";
             test::WriteFileBytes(f.shared, "x");
             fs::permissions(f.program, fs::perms::all);
         },
         Where::Nowhere},
    };

    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.needsRoot && geteuid() != 0) {
            std::cout << "[ SKIPPED  ] row needs root to give a folder away: " << row.what << "\n";
            continue;
        }
        test::TempDir runtime, sharedTemp, program, victim;
        for (const fs::path& folder : {runtime.path(), program.path(), victim.path()}) {
            fs::permissions(folder, fs::perms::owner_all);
        }
        Folders f;
        f.runtime = runtime.path();
        f.shared = sharedTemp.path() / ("wexal-" + std::to_string(geteuid()));
        f.program = program.path();
        f.victim = victim.path();
        f.places.runtimeFolder = f.runtime;
        f.places.sharedTemp = sharedTemp.path();
        f.places.programFolder = f.program;
        row.arrange(f);

        auto first = InstanceLock::TryAcquireIn("Wexal", f.places);
        ASSERT_NE(first, nullptr);
        EXPECT_FALSE(fs::exists(f.victim / "created"));
        if (row.expected == Where::Nowhere) {
            EXPECT_FALSE(first->held());
            EXPECT_TRUE(first->path().empty());
            EXPECT_NE(first->note().find("ロックなしで起動します"), std::string::npos)
                << first->note();
            EXPECT_NE(first->note().find(f.program.string()), std::string::npos) << first->note();
            continue;
        }
        EXPECT_TRUE(first->held());
        EXPECT_TRUE(first->note().empty());
        const fs::path folder = row.expected == Where::Shared ? f.shared : f.program;
        EXPECT_EQ(first->path(), folder / "Wexal.lock");
        struct stat info {};
        ASSERT_EQ(lstat(first->path().c_str(), &info), 0);
        EXPECT_TRUE(S_ISREG(info.st_mode));
        if (row.expected == Where::Shared) {
            ASSERT_EQ(lstat(f.shared.c_str(), &info), 0);
            EXPECT_TRUE(S_ISDIR(info.st_mode));
            EXPECT_EQ(info.st_mode & 0777, 0700u);
        }
        EXPECT_EQ(InstanceLock::TryAcquireIn("Wexal", f.places), nullptr);
    }
}

}  // namespace
}  // namespace wexal
