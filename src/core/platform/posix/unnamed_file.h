#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

// For the POSIX backends alone: naming an open file that has no name yet
// (O_TMPFILE).
namespace wexal {

// Whether an unnamed file could be given a name at all: through /proc, which
// may not be mounted.
inline bool CanNameUnnamed(int fd) {
    return ::access(("/proc/self/fd/" + std::to_string(fd)).c_str(), F_OK) == 0;
}

// Gives the open file fd the name `name` in dirFd; never replaces an entry.
// 0, or the errno (EEXIST when the name is taken).
inline int LinkUnnamed(int fd, int dirFd, const std::string& name) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), dirFd, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    if (errno == EEXIST) return EEXIST;
    // Without /proc; this form needs CAP_DAC_READ_SEARCH.
    if (::linkat(fd, "", dirFd, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
    return errno;
}

}  // namespace wexal
