#include "platform/instance_lock.h"

#include <unistd.h>

#include <cstdio>
#include <utility>

// What the lock is on every OS; where it is taken is the OS's own (posix/,
// win32/).
namespace wexal {

std::unique_ptr<InstanceLock> InstanceLock::TryAcquire(std::string_view executableName,
                                                       const std::filesystem::path& programFolder) {
    std::unique_ptr<InstanceLock> lock =
        TryAcquireIn(executableName, LockPlaces::FromEnvironment(programFolder));
    if (lock != nullptr && !lock->held()) {
        std::fprintf(stderr, "%s: %s", std::string(executableName).c_str(), lock->note().c_str());
    }
    return lock;
}

InstanceLock::InstanceLock(int fd, std::filesystem::path path, std::string note)
    : fd_(fd), path_(std::move(path)), note_(std::move(note)) {}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      note_(std::move(other.note_)) {}

InstanceLock& InstanceLock::operator=(InstanceLock&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
        note_ = std::move(other.note_);
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
