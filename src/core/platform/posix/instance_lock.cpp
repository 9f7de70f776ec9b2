#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

#include "platform/error_text.h"
#include "platform/unique_fd.h"

namespace wexal {

namespace {

struct Attempt {
    int fd = -1;
    bool heldElsewhere = false;
    std::string failure;
};

// A folder only the user may write into: nobody else can plant a link or a
// file of their own under the lock's name there. The check is made on the
// opened folder, so it cannot be swapped between check and use; without
// followLink a link in place of the folder is refused like any non-folder.
int OpenSafeFolder(const std::filesystem::path& folder, bool followLink, std::string& failure) {
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW);
    UniqueFd fd(open(folder.c_str(), flags));
    if (fd.get() < 0) {
        const int error = errno;
        failure =
            error == ELOOP && !followLink ? "シンボリックリンクです。" : SystemErrorText(error);
        return -1;
    }
    struct stat info {};
    if (fstat(fd.get(), &info) != 0) {
        failure = SystemErrorText(errno);
        return -1;
    }
    if (info.st_uid != geteuid()) {
        failure = "他のユーザーのフォルダーです。";
        return -1;
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        failure = "他のユーザーも書き込めます。";
        return -1;
    }
    return fd.release();
}

Attempt LockIn(int folderFd, const std::string& fileName) {
    Attempt attempt;
    // O_NONBLOCK: a FIFO under the name must not hang the start in open().
    UniqueFd fd(openat(folderFd, fileName.c_str(),
                       O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK, 0600));
    if (fd.get() < 0) {
        const int error = errno;
        attempt.failure = error == ELOOP ? fileName + " がシンボリックリンクです。"
                                         : fileName + ": " + SystemErrorText(error);
        return attempt;
    }
    struct stat info {};
    if (fstat(fd.get(), &info) != 0) {
        attempt.failure = fileName + ": " + SystemErrorText(errno);
        return attempt;
    }
    if (!S_ISREG(info.st_mode)) {
        attempt.failure = fileName + " が通常のファイルではありません。";
        return attempt;
    }
    int result = 0;
    do {
        result = flock(fd.get(), LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const int error = errno;
        attempt.heldElsewhere = error == EWOULDBLOCK;
        attempt.failure = fileName + ": " + SystemErrorText(error);
        return attempt;
    }
    attempt.fd = fd.release();
    return attempt;
}

Attempt LockInFolder(const std::filesystem::path& folder, bool followLink,
                     const std::string& fileName) {
    Attempt attempt;
    const UniqueFd folderFd(OpenSafeFolder(folder, followLink, attempt.failure));
    if (folderFd.get() < 0) return attempt;
    return LockIn(folderFd.get(), fileName);
}

}  // namespace

LockPlaces LockPlaces::FromEnvironment(const std::filesystem::path& programFolder) {
    LockPlaces places;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && *runtime != '\0') {
        places.runtimeFolder = runtime;
    }
    places.programFolder = programFolder;
    return places;
}

std::unique_ptr<InstanceLock> InstanceLock::TryAcquireIn(std::string_view executableName,
                                                         const LockPlaces& places) {
    const std::string fileName = std::string(executableName) + ".lock";
    std::string tried;
    // Every instance walks the same places in the same order and stops at the
    // first where a lock can be had, so two never hold locks in different places.
    const auto attempt = [&](const std::filesystem::path& folder, bool followLink,
                             const std::string& refused) -> std::optional<Attempt> {
        Attempt result;
        if (refused.empty()) {
            result = LockInFolder(folder, followLink, fileName);
            if (result.fd >= 0 || result.heldElsewhere) return result;
        } else {
            result.failure = refused;
        }
        tried += "  " + folder.string() + ": " + result.failure + "\n";
        return std::nullopt;
    };
    const auto finish = [&](Attempt&& got, const std::filesystem::path& folder) {
        if (got.heldElsewhere) return std::unique_ptr<InstanceLock>();
        return std::unique_ptr<InstanceLock>(new InstanceLock(got.fd, folder / fileName, {}));
    };

    if (places.runtimeFolder) {
        const std::filesystem::path& runtime = *places.runtimeFolder;
        // XDG says a relative XDG_RUNTIME_DIR is invalid and is to be ignored.
        if (auto got =
                attempt(runtime, false,
                        runtime.is_absolute() ? std::string() : "絶対パスではありません。")) {
            return finish(std::move(*got), runtime);
        }
    }

    const std::filesystem::path shared = places.sharedTemp / ("wexal-" + std::to_string(geteuid()));
    std::string sharedRefused;
    if (mkdir(shared.c_str(), 0700) != 0 && errno != EEXIST) sharedRefused = SystemErrorText(errno);
    if (auto got = attempt(shared, false, sharedRefused)) return finish(std::move(*got), shared);

    // The program folder may be reached through a link of the user's own
    // ($WEXAL_HOME, a linked ~/.config); the folder itself must still be safe.
    if (!places.programFolder.empty()) {
        if (auto got = attempt(places.programFolder, true, {})) {
            return finish(std::move(*got), places.programFolder);
        }
    }

    return std::unique_ptr<InstanceLock>(new InstanceLock(
        -1, {},
        "多重起動を防ぐロックを置ける安全なフォルダーがないため、ロックなしで起動します。\n" +
            tried));
}

}  // namespace wexal
