#include "platform/unfinished_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix/unnamed_file.h"

namespace wexal {

namespace {

// renameat2 with RENAME_NOREPLACE; where the file system cannot promise that,
// a hard link, which fails on an existing name just as well. 0 or the errno.
int RenameNoReplace(int dirFd, const std::string& from, const std::string& to) {
    if (::renameat2(dirFd, from.c_str(), dirFd, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    if (::linkat(dirFd, from.c_str(), dirFd, to.c_str(), 0) != 0) return errno;
    ::unlinkat(dirFd, from.c_str(), 0);
    return 0;
}

// Gives the unnamed file a hidden name of its own in folder, unless it has
// one. 0 or the errno.
int NameTemporary(int file, int folder, std::string& temporary) {
    if (!temporary.empty()) return 0;
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        const std::string name = UnfinishedFileName();
        error = LinkUnnamed(file, folder, name);
        if (error == 0) temporary = name;
    }
    return error;
}

// Whether name in folder is still the open file, and not someone else's.
bool NamesOpenFile(int folder, const std::string& name, int file) {
    struct stat named {};
    struct stat opened {};
    return ::fstatat(folder, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           ::fstat(file, &opened) == 0 && named.st_dev == opened.st_dev &&
           named.st_ino == opened.st_ino;
}

// The file under a hidden name of its own, ready to be renamed into place:
// 0 or the errno. Someone else's file under that name is never put in place.
int NameForRename(int file, int folder, std::string& temporary) {
    if (const int error = NameTemporary(file, folder, temporary); error != 0) return error;
    return NamesOpenFile(folder, temporary, file) ? 0 : ESTALE;
}

}  // namespace

int UnfinishedFile::Create(const std::string& folder) {
    Discard();
    folder_.Reset(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder_) return errno;
    folderPath_ = folder;
    file_.Reset(::openat(folder_.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (file_) return 0;
    // A file system without unnamed files: a hidden name of our own.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = UnfinishedFileName();
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

int UnfinishedFile::Place(const std::string& name) {
    if (!file_) return EBADF;
    if (temporary_.empty()) {
        // An unnamed file is linked straight to its name, which never replaces anything.
        const int error = LinkUnnamed(file_.get(), folder_.get(), name);
        if (error == 0) {
            Close();
            return 0;
        }
        if (error == EEXIST) return EEXIST;
    }
    if (const int error = NameForRename(file_.get(), folder_.get(), temporary_); error != 0) {
        return error;
    }
    if (const int error = RenameNoReplace(folder_.get(), temporary_, name); error != 0) {
        return error;
    }
    Close();
    return 0;
}

Replacement UnfinishedFile::Replace(const std::string& name, const RevisionPolicy& revisions) {
    if (!file_) return Replacement::Failed(EBADF);
    if (const int error = NameForRename(file_.get(), folder_.get(), temporary_); error != 0) {
        return Replacement::Failed(error);
    }
    // The program takes the place of the old file, with its permissions.
    struct stat old {};
    if (::fstatat(folder_.get(), name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(old.st_mode)) {
        (void)::fchmod(file_.get(), old.st_mode & 07777);
    }
    const std::filesystem::path folder = Utf8Path(folderPath_);
    const Replacement replaced =
        ReplaceKeepingRevision(folder / name, folder / temporary_, revisions, [&] {
            return ::renameat(folder_.get(), temporary_.c_str(), folder_.get(), name.c_str()) == 0
                       ? 0
                       : errno;
        });
    if (replaced.ok()) Close();
    return replaced;
}

void UnfinishedFile::Close() {
    temporary_.clear();
    file_.Reset();
    // Make the rename itself durable; the content is on the disk already.
    ::fsync(folder_.get());
    folder_.Reset();
    folderPath_.clear();
}

void UnfinishedFile::Discard() {
    if (!temporary_.empty() && file_ && NamesOpenFile(folder_.get(), temporary_, file_.get())) {
        ::unlinkat(folder_.get(), temporary_.c_str(), 0);
    }
    temporary_.clear();
    file_.Reset();
    folder_.Reset();
    folderPath_.clear();
}

std::string UnfinishedFile::Abandon() {
    std::string name;
    if (file_ && NameTemporary(file_.get(), folder_.get(), temporary_) == 0) name = temporary_;
    temporary_.clear();
    file_.Reset();
    folder_.Reset();
    return name;
}

}  // namespace wexal
