#include "platform/atomic_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <ctime>
#include <optional>

#include "platform/atomic_file_parts.h"
#include "platform/error_text.h"
#include "platform/os_file.h"

// What replacing a file whole has in common on every OS; the look-up, the
// temporary file and the rename are the OS's own (posix/, win32/).
namespace wexal {

namespace fs = std::filesystem;
using namespace atomic_parts;

namespace {

// A count for one read or write call, which on Windows takes an unsigned int;
// the loops around the calls take what is left.
unsigned IoSize(std::size_t n) {
    return static_cast<unsigned>(std::min<std::size_t>(n, 1u << 30));
}

}  // namespace

void RemoveStaleTemporaryFiles(const fs::path& path) {
    // Temporary files lie beside the file that a link leads to.
    const FileLookup file = LookUpFile(path);
    const fs::path& target = file.kind == FileLookup::Kind::Regular ? file.target : path;
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const std::string prefix = TemporaryPrefix(target);
    const std::int64_t tooOld =
        (static_cast<std::int64_t>(std::time(nullptr)) - 10 * 60) * 1'000'000'000;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string name = PathText(entry->path().filename());
        if (!name.starts_with(prefix)) continue;
        // "<pid>_<n>" and nothing else.
        const std::string_view rest = std::string_view(name).substr(prefix.size());
        const char* const last = rest.data() + rest.size();
        int pid = 0;
        const auto [pidEnd, pidError] = std::from_chars(rest.data(), last, pid);
        if (pidError != std::errc() || pid <= 0 || pidEnd == last || *pidEnd != '_') continue;
        unsigned counter = 0;
        const auto [numberEnd, numberError] = std::from_chars(pidEnd + 1, last, counter);
        if (numberError != std::errc() || numberEnd != last) continue;

        const std::optional<FileStatus> status = StatPath(entry->path(), false);
        if (!status || status->type != FileStatus::Type::Regular) continue;
        const bool ownerGone = pid != CurrentProcessId() && ProcessHasEnded(pid);
        std::error_code ignored;
        if (ownerGone || status->modifiedNs < tooOld) fs::remove(entry->path(), ignored);
    }
}

FileLookup OpenRegularFile(const fs::path& path, int flags, UniqueFd& fd, LinkMode links) {
    FileLookup file = LookUpFile(path, links);
    fd.Reset();
    if (file.kind != FileLookup::Kind::Regular) return file;
    // Non-blocking, no link followed, and the check below: whatever was
    // swapped in since the look-up is neither waited for nor used.
    fd.Reset(OpenFile(file.target, flags | kOpenNonBlock | kOpenNoFollow));
    std::optional<FileStatus> status;
    if (!fd) {
        if (errno == ENOENT) {
            file.kind = FileLookup::Kind::Missing;
            return file;
        }
        file.reason = SystemErrorText(errno);
    } else if (!(status = StatFile(fd.get()))) {
        file.reason = SystemErrorText(errno);
    } else if (status->type != FileStatus::Type::Regular) {
        file.reason = kNotRegular;
    } else {
        return file;
    }
    file.kind = FileLookup::Kind::Refused;
    fd.Reset();
    return file;
}

FileContent ReadRegularFile(const fs::path& path, std::uintmax_t maxSize, LinkMode links) {
    FileContent content;
    UniqueFd fd;
    FileLookup file = OpenRegularFile(path, O_RDONLY, fd, links);
    content.kind = file.kind;
    content.reason = std::move(file.reason);
    if (file.kind != FileLookup::Kind::Regular) return content;
    const auto refuse = [&](int error) {
        content.kind = FileLookup::Kind::Refused;
        content.bytes.clear();
        content.reason = SystemErrorText(error);
        return std::move(content);
    };

    const std::optional<FileStatus> st = StatFile(fd.get());
    if (!st) return refuse(errno);
    if (static_cast<std::uintmax_t>(st->size) > maxSize) return refuse(EFBIG);
    std::string& bytes = content.bytes;
    bytes.resize(static_cast<std::size_t>(st->size) + 1);
    std::size_t used = 0;
    for (;;) {
        // The file may grow between fstat and the read.
        if (used == bytes.size()) {
            if (used > maxSize) return refuse(EFBIG);
            bytes.resize(static_cast<std::size_t>(
                std::min<std::uintmax_t>(bytes.size() * 2 + 4096, maxSize) + 1));
        }
        const auto got = ::read(fd.get(), bytes.data() + used, IoSize(bytes.size() - used));
        if (got < 0) {
            if (errno == EINTR) continue;
            return refuse(errno);
        }
        if (got == 0) break;
        used += static_cast<std::size_t>(got);
    }
    if (used > maxSize) return refuse(EFBIG);
    bytes.resize(used);
    return content;
}

Status AtomicFileWriter::WriteOut(std::string_view bytes) {
    if (!WriteAll(fd_.get(), bytes)) {
        const int error = errno;
        fd_.Reset();
        return Failure(path_, error);
    }
    written_ += bytes.size();
#ifdef __linux__
    if (written_ - flushedToDisk_ >= kDiskEvery) {
        (void)::sync_file_range(fd_.get(), static_cast<off_t>(flushedToDisk_),
                                static_cast<off_t>(written_ - flushedToDisk_),
                                SYNC_FILE_RANGE_WRITE);
        flushedToDisk_ = written_;
    }
#endif
    return Status::Ok();
}

Status AtomicFileWriter::Write(std::string_view bytes) {
    if (!fd_) return Failure(path_, EBADF);
    if (buffer_.size() + bytes.size() < kWriteBlock) {
        if (buffer_.capacity() < kWriteBlock) buffer_.reserve(kWriteBlock);
        buffer_ += bytes;
        return Status::Ok();
    }
    if (Status written = WriteOut(buffer_); !written) return written;
    buffer_.clear();
    if (bytes.size() < kWriteBlock) {
        buffer_ += bytes;
        return Status::Ok();
    }
    return WriteOut(bytes);
}

Status AtomicFileWriter::PutInPlace(const fs::path& temporary,
                                    const std::function<int()>& rename) {
    const Replacement replaced = ReplaceKeepingRevision(target_, temporary, revisions_, rename);
    if (!replaced.refused.empty()) return Failure(path_, RevisionRefusalText(replaced.refused));
    if (replaced.error != 0) return Failure(path_, replaced.error);
    keptRevision_ = replaced.revision;
    return Status::Ok();
}

Status WriteFileAtomically(const fs::path& path, std::string_view bytes, LinkMode links,
                           const RevisionPolicy& revisions) {
    AtomicFileWriter writer;
    writer.KeepRevisions(revisions);
    if (Status opened = writer.Open(path, links); !opened) return opened;
    if (Status written = writer.Write(bytes); !written) return written;
    return writer.Commit();
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto written = ::write(fd, bytes.data(), IoSize(bytes.size()));
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace wexal
