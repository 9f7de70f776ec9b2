#include "platform/os_file.h"

#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace wexal {

const int kOpenNoFollow = O_NOFOLLOW;
const int kOpenNonBlock = O_NONBLOCK;

std::filesystem::path Utf8Path(std::string_view utf8) {
    return std::filesystem::path(std::string(utf8));
}

std::string PathText(const std::filesystem::path& path) { return path.string(); }

int OpenFile(const std::filesystem::path& path, int flags, int mode) {
    return ::open(path.c_str(), flags | O_CLOEXEC | O_NOCTTY, mode);
}

namespace {

FileStatus FromStat(const struct stat& info) {
    FileStatus status;
    if (S_ISREG(info.st_mode)) {
        status.type = FileStatus::Type::Regular;
    } else if (S_ISDIR(info.st_mode)) {
        status.type = FileStatus::Type::Directory;
    } else if (S_ISLNK(info.st_mode)) {
        status.type = FileStatus::Type::Link;
    }
    status.ownerWritable = (info.st_mode & S_IWUSR) != 0;
    status.size = static_cast<std::int64_t>(info.st_size);
    status.modifiedNs =
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    status.links = static_cast<std::uint64_t>(info.st_nlink);
    status.id = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
    return status;
}

}  // namespace

std::optional<FileStatus> StatFile(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return std::nullopt;
    return FromStat(info);
}

std::optional<FileStatus> StatPath(const std::filesystem::path& path, bool followLinks) {
    struct stat info {};
    if ((followLinks ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info)) != 0) {
        return std::nullopt;
    }
    return FromStat(info);
}

int WriteAccess(const std::filesystem::path& path) {
    if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0) return 0;
    return errno == EACCES || errno == EPERM ? errno : 0;
}

long long ReadFileAt(int fd, char* into, std::size_t n, std::int64_t offset) {
    while (true) {
        const ssize_t got = ::pread(fd, into, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        return got;
    }
}

int SyncFileData(int fd) {
    if (::fdatasync(fd) != 0 && errno != EINVAL && errno != EROFS) return errno;
    return 0;
}

int OpenAnonymousFile() { return ::memfd_create("wexal-view", MFD_CLOEXEC); }

int MakeFolder(const std::filesystem::path& path) {
    return ::mkdir(path.c_str(), 0777) == 0 ? 0 : errno;
}

std::tm LocalTime(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    return local;
}

int CurrentProcessId() { return static_cast<int>(::getpid()); }

bool ProcessHasEnded(int pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

}  // namespace wexal
