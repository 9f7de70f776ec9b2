#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <memory>
#include <string>

#include "support/test_env.h"

namespace wexal::test {

// Local time is UTC while the object lives, so time texts are predictable.
class UtcZone {
public:
    UtcZone() : env_(std::make_unique<ScopedEnv>("TZ", "UTC")) { ::tzset(); }
    ~UtcZone() {
        env_.reset();
        ::tzset();
    }
    UtcZone(const UtcZone&) = delete;
    UtcZone& operator=(const UtcZone&) = delete;

private:
    std::unique_ptr<ScopedEnv> env_;
};

inline std::time_t UtcTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return ::timegm(&tm);
}

inline void SetModified(const std::filesystem::path& path, std::time_t time) {
    const timespec times[2] = {{time, 0}, {time, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

// A file of the given size (sparse) and modification time.
inline void MakeFile(const std::filesystem::path& path, off_t size, std::time_t modified) {
    WriteFileBytes(path, "");
    if (size > 0 && ::truncate(path.c_str(), size) != 0) return;
    SetModified(path, modified);
}

}  // namespace wexal::test
