#include "platform/unfinished_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/atomic_file.h"

namespace wexal {

namespace {

std::string TemporaryName() {
    static std::atomic<unsigned> counter{0};
    return ".Wexal-receive.tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

// renameat2 with RENAME_NOREPLACE; where the file system cannot promise that,
// a hard link, which fails on an existing name just as well. 0 or the errno.
int RenameNoReplace(int dirFd, const std::string& from, const std::string& to) {
    if (::renameat2(dirFd, from.c_str(), dirFd, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    if (::linkat(dirFd, from.c_str(), dirFd, to.c_str(), 0) != 0) return errno;
    ::unlinkat(dirFd, from.c_str(), 0);
    return 0;
}

}  // namespace

int UnfinishedFile::Create(const std::string& folder) {
    Discard();
    folder_.Reset(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder_) return errno;
    file_.Reset(::openat(folder_.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (file_) return 0;
    // A file system without unnamed files: a hidden name of our own.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = TemporaryName();
        file_.Reset(::openat(folder_.get(), name.c_str(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
        if (file_) {
            temporary_ = name;
            return 0;
        }
        if (errno != EEXIST) break;
    }
    const int error = errno;
    folder_.Reset();
    return error;
}

int UnfinishedFile::Append(std::string_view bytes) {
    if (!file_) return EBADF;
    if (!WriteAll(file_.get(), bytes)) return errno;
    // A full disk may only show here; a program reported saved must be on the disk.
    if (::fdatasync(file_.get()) != 0 && errno != EINVAL && errno != EROFS) return errno;
    return 0;
}

int UnfinishedFile::NameTemporary() {
    if (!temporary_.empty()) return 0;
    const std::string self = "/proc/self/fd/" + std::to_string(file_.get());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = TemporaryName();
        if (::linkat(AT_FDCWD, self.c_str(), folder_.get(), name.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
            (errno != EEXIST &&
             ::linkat(file_.get(), "", folder_.get(), name.c_str(), AT_EMPTY_PATH) == 0)) {
            temporary_ = name;
            return 0;
        }
        if (errno != EEXIST) return errno;
    }
    return EEXIST;
}

bool UnfinishedFile::TemporaryIsOurs() const {
    struct stat named {};
    struct stat opened {};
    return ::fstatat(folder_.get(), temporary_.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           ::fstat(file_.get(), &opened) == 0 && named.st_dev == opened.st_dev &&
           named.st_ino == opened.st_ino;
}

int UnfinishedFile::Place(const std::string& name, bool replace) {
    if (!file_) return EBADF;
    if (!replace && temporary_.empty()) {
        // An unnamed file is linked straight to its name, which never replaces anything.
        const std::string self = "/proc/self/fd/" + std::to_string(file_.get());
        if (::linkat(AT_FDCWD, self.c_str(), folder_.get(), name.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
            (errno != EEXIST &&
             ::linkat(file_.get(), "", folder_.get(), name.c_str(), AT_EMPTY_PATH) == 0)) {
            file_.Reset();
            ::fsync(folder_.get());
            folder_.Reset();
            return 0;
        }
        if (errno == EEXIST) return EEXIST;
    }
    if (const int error = NameTemporary(); error != 0) return error;
    // Someone else's file under our temporary name is never put in place.
    if (!TemporaryIsOurs()) return ESTALE;
    if (replace) {
        // The program takes the place of the old file, with its permissions.
        struct stat old {};
        if (::fstatat(folder_.get(), name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(old.st_mode)) {
            (void)::fchmod(file_.get(), old.st_mode & 07777);
        }
        if (::renameat(folder_.get(), temporary_.c_str(), folder_.get(), name.c_str()) != 0) {
            return errno;
        }
    } else if (const int error = RenameNoReplace(folder_.get(), temporary_, name); error != 0) {
        return error;
    }
    temporary_.clear();
    file_.Reset();
    // Make the rename itself durable; the content is on the disk already.
    ::fsync(folder_.get());
    folder_.Reset();
    return 0;
}

void UnfinishedFile::Discard() {
    if (!temporary_.empty() && file_ && TemporaryIsOurs()) {
        ::unlinkat(folder_.get(), temporary_.c_str(), 0);
    }
    temporary_.clear();
    file_.Reset();
    folder_.Reset();
}

std::string UnfinishedFile::Abandon() {
    std::string name;
    if (file_ && NameTemporary() == 0) name = temporary_;
    temporary_.clear();
    file_.Reset();
    folder_.Reset();
    return name;
}

}  // namespace wexal
