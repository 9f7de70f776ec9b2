#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace wexal {

// The folders the single-instance lock may live in, tried in this order.
struct LockPlaces {
    // $XDG_RUNTIME_DIR as set (nothing when unset).
    std::optional<std::filesystem::path> runtimeFolder;
    // Parent of the fall-back folder wexal-<uid>.
    std::filesystem::path sharedTemp = "/tmp";
    std::filesystem::path programFolder;

    static LockPlaces FromEnvironment(const std::filesystem::path& programFolder);
};

// The single-instance guard: an flock()ed file named after the executable in
// the first safe folder of LockPlaces. A folder is safe when it is a directory
// owned by the user that nobody else may write into; the lock file is opened
// without following a link and must be a regular file. The kernel drops the
// lock when the process ends in any way, so a crashed instance never blocks
// the next start.
class InstanceLock {
public:
    // nullptr: another process holds the lock. When no safe folder exists at
    // all, the guard is returned without holding anything (held() false), so
    // that the program still starts, and standard error says so.
    static std::unique_ptr<InstanceLock> TryAcquire(std::string_view executableName,
                                                    const std::filesystem::path& programFolder);
    // The same over given places, silent: note() tells why nothing is held.
    static std::unique_ptr<InstanceLock> TryAcquireIn(std::string_view executableName,
                                                      const LockPlaces& places);

    InstanceLock(InstanceLock&& other) noexcept;
    InstanceLock& operator=(InstanceLock&& other) noexcept;
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    ~InstanceLock();

    bool held() const { return fd_ >= 0; }
    const std::filesystem::path& path() const { return path_; }
    // Why the lock is not held, one line per place tried; empty when held.
    const std::string& note() const { return note_; }

private:
    InstanceLock(int fd, std::filesystem::path path, std::string note);
    void Release();

    int fd_ = -1;
    std::filesystem::path path_;
    std::string note_;
};

}  // namespace wexal
