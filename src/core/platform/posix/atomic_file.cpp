#include "platform/atomic_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/atomic_file_parts.h"
#include "platform/error_text.h"
#include "platform/posix/unnamed_file.h"
#include "platform/unique_fd.h"

namespace wexal {
namespace {

namespace fs = std::filesystem;
using namespace atomic_parts;

// A new named file beside the target that no other writer can be using. The
// mode 0666 lets the umask decide, as for any newly created file.
int CreateNamedTemporary(int dirFd, const fs::path& target, std::string& name) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = NextTemporaryName(target);
        const int fd = ::openat(dirFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// Gives an unnamed (O_TMPFILE) file a temporary name in dirFd; false with
// errno set when the system cannot.
bool NameUnnamed(int fd, int dirFd, const fs::path& target, std::string& name) {
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        name = NextTemporaryName(target);
        error = LinkUnnamed(fd, dirFd, name);
    }
    errno = error;
    return error == 0;
}

}  // namespace

FileLookup LookUpFile(const fs::path& path, LinkMode links) {
    FileLookup file;
    file.target = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return file;
        file.kind = FileLookup::Kind::Refused;
        file.reason = SystemErrorText(errno);
        return file;
    }
    if (S_ISLNK(st.st_mode)) {
        if (links == LinkMode::Replace) return file;
        const uid_t linkOwner = st.st_uid;
        // realpath follows the whole chain of links; its end must be a regular file.
        struct Free {
            void operator()(char* p) const { std::free(p); }
        };
        const std::unique_ptr<char, Free> resolved(::realpath(path.c_str(), nullptr));
        file.kind = FileLookup::Kind::Refused;
        if (!resolved) {
            file.reason = errno == ENOENT ? std::string(kLinkDangling) : SystemErrorText(errno);
            return file;
        }
        if (::stat(resolved.get(), &st) != 0) {
            file.reason = SystemErrorText(errno);
            return file;
        }
        if (!S_ISREG(st.st_mode)) {
            file.reason = kLinkNotRegular;
            return file;
        }
        if (links == LinkMode::FollowOwned && ::geteuid() == 0 &&
            (linkOwner != 0 || st.st_uid != 0)) {
            file.reason = linkOwner != 0 ? kLinkOfOtherUser : kLinkToOtherUser;
            return file;
        }
        file.kind = FileLookup::Kind::Regular;
        file.target = resolved.get();
        file.mode = st.st_mode;
        return file;
    }
    if (!S_ISREG(st.st_mode)) {
        file.kind = FileLookup::Kind::Refused;
        file.reason = S_ISDIR(st.st_mode) ? SystemErrorText(EISDIR) : std::string(kNotRegular);
        return file;
    }
    file.kind = FileLookup::Kind::Regular;
    file.mode = st.st_mode;
    return file;
}

AtomicFileWriter::~AtomicFileWriter() {
    if (!temporary_.empty() && dir_) ::unlinkat(dir_.get(), temporary_.c_str(), 0);
}

Status AtomicFileWriter::Open(const fs::path& path, LinkMode links) {
    path_ = path;
    const FileLookup file = LookUpFile(path, links);
    if (file.kind == FileLookup::Kind::Refused) return Failure(path, file.reason);
    if (Status refused = RefuseUnwritable(path, file); !refused) return refused;
    target_ = file.target;
    const fs::path folder = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
    dir_.Reset(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir_) return Failure(path, errno);

    fd_.Reset(::openat(dir_.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    // An unnamed file is named at the end through /proc; without it, a named
    // file from the start.
    if (!fd_ || !CanNameUnnamed(fd_.get())) {
        fd_.Reset(CreateNamedTemporary(dir_.get(), target_, temporary_));
        if (!fd_) {
            temporary_.clear();
            return Failure(path, errno);
        }
    }
    // Best effort: some file systems (FAT on a USB stick) refuse mode changes,
    // which is no reason to refuse the write.
    if (file.kind == FileLookup::Kind::Regular) (void)::fchmod(fd_.get(), file.mode & 07777);
    return Status::Ok();
}

Status AtomicFileWriter::Commit() {
    if (!fd_) return Failure(path_, EBADF);
    if (Status written = WriteOut(buffer_); !written) return written;
    buffer_.clear();
    if (::fsync(fd_.get()) != 0) return Failure(path_, errno);
    if (temporary_.empty() && !NameUnnamed(fd_.get(), dir_.get(), target_, temporary_)) {
        const int error = errno;
        temporary_.clear();
        return Failure(path_, error);
    }
    if (const int error = fd_.Close(); error != 0) return Failure(path_, error);
    const std::string name = target_.filename().string();
    const fs::path folder = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
    if (Status placed = PutInPlace(folder / temporary_, [&] {
            return ::renameat(dir_.get(), temporary_.c_str(), dir_.get(), name.c_str()) == 0 ? 0 : errno;
        });
        !placed) {
        return placed;
    }
    temporary_.clear();
    // Make the rename itself durable; the content is safe either way.
    ::fsync(dir_.get());
    return Status::Ok();
}

}  // namespace wexal
