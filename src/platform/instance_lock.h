#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

namespace wexal {

// The single-instance guard: an flock()ed file named after the executable in
// $XDG_RUNTIME_DIR (else /tmp/wexal-$UID). The kernel drops the lock when the
// process ends in any way, so a crashed instance never blocks the next start.
class InstanceLock {
public:
    // nullptr: another process holds the lock. When the lock file cannot be
    // set up at all, the guard is returned without holding anything (held()
    // false): an unusable lock folder must not stop the program from starting.
    static std::unique_ptr<InstanceLock> TryAcquire(std::string_view executableName);

    InstanceLock(InstanceLock&& other) noexcept;
    InstanceLock& operator=(InstanceLock&& other) noexcept;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock();

    bool held() const { return fd_ >= 0; }
    const std::filesystem::path& path() const { return path_; }

private:
    InstanceLock(int fd, std::filesystem::path path);
    void Release();

    int fd_ = -1;
    std::filesystem::path path_;
};

}  // namespace wexal
