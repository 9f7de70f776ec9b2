#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <utility>

namespace wexal {

namespace {

bool IsUsableFolder(const char* folder) {
    struct stat info {};
    return stat(folder, &info) == 0 && S_ISDIR(info.st_mode) && access(folder, W_OK | X_OK) == 0;
}

// /tmp is shared: the folder must be a real directory of ours that nobody else
// can write into, or another user could plant a link in place of the lock file.
bool IsPrivateFolder(const std::string& folder) {
    struct stat info {};
    return lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid() &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::filesystem::path LockFolder() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && *runtime == '/' && IsUsableFolder(runtime)) {
        return runtime;
    }
    const std::string folder = "/tmp/wexal-" + std::to_string(geteuid());
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
    if (!IsPrivateFolder(folder)) return {};
    return folder;
}

}  // namespace

std::unique_ptr<InstanceLock> InstanceLock::TryAcquire(std::string_view executableName) {
    const std::filesystem::path folder = LockFolder();
    if (folder.empty()) return std::unique_ptr<InstanceLock>(new InstanceLock(-1, {}));
    std::filesystem::path path = folder / (std::string(executableName) + ".lock");

    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return std::unique_ptr<InstanceLock>(new InstanceLock(-1, std::move(path)));

    int result = 0;
    do {
        result = flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const bool heldElsewhere = errno == EWOULDBLOCK;
        close(fd);
        if (heldElsewhere) return nullptr;
        return std::unique_ptr<InstanceLock>(new InstanceLock(-1, std::move(path)));
    }
    return std::unique_ptr<InstanceLock>(new InstanceLock(fd, std::move(path)));
}

InstanceLock::InstanceLock(int fd, std::filesystem::path path) : fd_(fd), path_(std::move(path)) {}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

InstanceLock::~InstanceLock() { Release(); }

// The file stays: removing it would let a starting instance lock a fresh inode
// while another still holds the old one.
void InstanceLock::Release() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

}  // namespace wexal
