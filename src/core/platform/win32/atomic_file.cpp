#include "platform/atomic_file.h"

#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <cerrno>
#include <system_error>

#include "platform/atomic_file_parts.h"
#include "platform/error_text.h"
#include "platform/os_file.h"
#include "platform/win32/windows_error.h"

namespace wexal {
namespace {

namespace fs = std::filesystem;
using namespace atomic_parts;

mode_t ModeOf(const FileStatus& status) {
    return static_cast<mode_t>(status.ownerWritable ? _S_IREAD | _S_IWRITE : _S_IREAD);
}

}  // namespace

// Windows has no user who may write what the read-only attribute forbids,
// and a link (a reparse point) is followed as on POSIX; FollowOwned is
// Follow, since no process here is root.
FileLookup LookUpFile(const fs::path& path, LinkMode links) {
    FileLookup file;
    file.target = path;
    const std::optional<FileStatus> status = StatPath(path, false);
    if (!status) {
        if (errno == ENOENT || errno == ENOTDIR) return file;
        file.kind = FileLookup::Kind::Refused;
        file.reason = SystemErrorText(errno);
        return file;
    }
    if (status->type == FileStatus::Type::Link) {
        if (links == LinkMode::Replace) return file;
        file.kind = FileLookup::Kind::Refused;
        const std::optional<FileStatus> end = StatPath(path, true);
        if (!end) {
            file.reason = errno == ENOENT ? std::string(kLinkDangling) : SystemErrorText(errno);
            return file;
        }
        if (end->type != FileStatus::Type::Regular) {
            file.reason = kLinkNotRegular;
            return file;
        }
        std::error_code error;
        const fs::path resolved = fs::canonical(path, error);
        if (error) {
            file.reason = SystemErrorText(error.value());
            return file;
        }
        file.kind = FileLookup::Kind::Regular;
        file.target = resolved;
        file.mode = ModeOf(*end);
        return file;
    }
    if (status->type != FileStatus::Type::Regular) {
        file.kind = FileLookup::Kind::Refused;
        file.reason = status->type == FileStatus::Type::Directory ? SystemErrorText(EISDIR)
                                                                  : std::string(kNotRegular);
        return file;
    }
    file.kind = FileLookup::Kind::Regular;
    file.mode = ModeOf(*status);
    return file;
}

AtomicFileWriter::~AtomicFileWriter() {
    fd_.Reset();
    if (!temporary_.empty()) DeleteFileW((target_.parent_path() / Utf8Path(temporary_)).c_str());
}

// The temporary file has a name from the start: Windows has no unnamed files.
Status AtomicFileWriter::Open(const fs::path& path, LinkMode links) {
    path_ = path;
    const FileLookup file = LookUpFile(path, links);
    if (file.kind == FileLookup::Kind::Refused) return Failure(path, file.reason);
    if (Status refused = RefuseUnwritable(path, file); !refused) return refused;
    target_ = fs::absolute(file.target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary_ = NextTemporaryName(target_);
        fd_.Reset(
            OpenFile(target_.parent_path() / Utf8Path(temporary_), O_WRONLY | O_CREAT | O_EXCL));
        if (fd_ || errno != EEXIST) break;
    }
    if (!fd_) {
        const int error = errno;
        temporary_.clear();
        return Failure(path, error);
    }
    return Status::Ok();
}

Status AtomicFileWriter::Commit() {
    if (!fd_) return Failure(path_, EBADF);
    if (Status written = WriteOut(buffer_); !written) return written;
    buffer_.clear();
    if (const int error = SyncFileData(fd_.get()); error != 0) return Failure(path_, error);
    if (const int error = fd_.Close(); error != 0) return Failure(path_, error);
    const fs::path temporary = target_.parent_path() / Utf8Path(temporary_);
    if (Status placed = PutInPlace(temporary, [&] {
            return MoveFileExW(temporary.c_str(), target_.c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                       ? 0
                       : LastErrorAsErrno();
        });
        !placed) {
        return placed;
    }
    temporary_.clear();
    return Status::Ok();
}

}  // namespace wexal
