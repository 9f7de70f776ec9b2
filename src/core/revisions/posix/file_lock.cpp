#include "revisions/file_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace wexal::revision_parts {

int FileLock::TryTake(const std::filesystem::path& path) {
    Release();
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return errno == ELOOP ? EEXIST : errno;
    // An open-file-description lock: two threads of one server exclude each
    // other as two processes do, and NFS carries it to other PCs.
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        const int error = errno;
        // A file system without locks: the name alone still keeps the
        // revisions apart, as before there were locks.
        if (error != EINVAL && error != ENOLCK && error != EOPNOTSUPP) {
            ::close(fd);
            return error == EAGAIN || error == EACCES ? EBUSY : error;
        }
    }
    // The holder before removes the name as it lets go: a lock on a file that
    // no longer has this name locks nothing.
    struct stat opened {};
    struct stat named {};
    if (::fstat(fd, &opened) != 0 || ::lstat(path.c_str(), &named) != 0 ||
        opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
        ::close(fd);
        return EBUSY;
    }
    fd_ = fd;
    path_ = path;
    return 0;
}

void FileLock::Release() {
    if (fd_ < 0) return;
    ::unlink(path_.c_str());
    ::close(fd_);
    fd_ = -1;
}

int MakeHardLink(const std::filesystem::path& existing, const std::filesystem::path& link) {
    return ::link(existing.c_str(), link.c_str()) == 0 ? 0 : errno;
}

}  // namespace wexal::revision_parts
