#include "platform/atomic_file.h"

#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <cerrno>
#include <charconv>
#include <chrono>
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

bool ProcessIsGone(DWORD pid) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) return GetLastError() == ERROR_INVALID_PARAMETER;
    const bool gone = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    CloseHandle(process);
    return gone;
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
    if (file.kind == FileLookup::Kind::Regular) {
        if ((file.mode & _S_IWRITE) == 0) return Failure(path, kReadOnly);
        if (const int error = WriteAccess(file.target); error != 0) return Failure(path, error);
    }
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
    if (!MoveFileExW(temporary.c_str(), target_.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return Failure(path_, LastErrorAsErrno());
    }
    temporary_.clear();
    return Status::Ok();
}

void RemoveStaleTemporaryFiles(const fs::path& path) {
    const FileLookup file = LookUpFile(path);
    const fs::path& target = file.kind == FileLookup::Kind::Regular ? file.target : path;
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const std::string prefix = TemporaryPrefix(target);
    const auto tooOld = fs::file_time_type::clock::now() - std::chrono::minutes(10);
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = PathText(entry->path().filename());
        if (!name.starts_with(prefix)) continue;
        // "<pid>_<n>" and nothing else.
        const std::string_view rest = std::string_view(name).substr(prefix.size());
        const char* const last = rest.data() + rest.size();
        DWORD pid = 0;
        const auto [pidEnd, pidError] = std::from_chars(rest.data(), last, pid);
        if (pidError != std::errc() || pid == 0 || pidEnd == last || *pidEnd != '_') continue;
        unsigned counter = 0;
        const auto [numberEnd, numberError] = std::from_chars(pidEnd + 1, last, counter);
        if (numberError != std::errc() || numberEnd != last) continue;
        std::error_code ignored;
        if (!entry->is_regular_file(ignored)) continue;
        const bool ownerGone = pid != GetCurrentProcessId() && ProcessIsGone(pid);
        if (ownerGone || entry->last_write_time(ignored) < tooOld)
            fs::remove(entry->path(), ignored);
    }
}

}  // namespace wexal
