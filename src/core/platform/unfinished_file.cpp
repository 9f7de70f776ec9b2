#include "platform/unfinished_file.h"

#include <atomic>
#include <cerrno>

#include "platform/atomic_file.h"

namespace wexal {

std::string UnfinishedFileName() {
    static std::atomic<unsigned> counter{0};
    return ".Wexal-receive.tmp" + std::to_string(CurrentProcessId()) + "_" +
           std::to_string(counter++);
}

int UnfinishedFile::Append(std::string_view bytes) {
    if (!file_) return EBADF;
    if (!WriteAll(file_.get(), bytes)) return errno;
    // A full disk may only show here; a program reported saved must be on the disk.
    return SyncFileData(file_.get());
}

FileId UnfinishedFile::Id() const {
    if (!file_) return {};
    const std::optional<FileStatus> info = StatFile(file_.get());
    return info ? info->id : FileId{};
}

}  // namespace wexal
