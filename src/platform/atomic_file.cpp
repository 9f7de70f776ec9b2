#include "platform/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/error_text.h"

namespace wexal {
namespace {

namespace fs = std::filesystem;

Status Failure(const fs::path& path, int error) {
    return Status::Error("ファイルに書き込めません。\n" + path.string() + "\n" +
                         SystemErrorText(error));
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Creates a new file beside target that no other writer can be using. The
// mode 0666 lets the umask decide, as for any newly created file.
int CreateTemporary(const fs::path& target, fs::path& temporary) {
    static std::atomic<unsigned> counter{0};
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const std::string stem = "." + target.filename().string() + ".tmp" + std::to_string(::getpid());
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = folder / (stem + "_" + std::to_string(counter++));
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

Status WriteFileAtomically(const fs::path& path, std::string_view bytes) {
    fs::path target = path;
    std::error_code ec;
    // Renaming onto a link would replace the link itself; write where it points.
    if (fs::is_symlink(target, ec)) {
        fs::path resolved = fs::canonical(target, ec);
        if (!ec) target = std::move(resolved);
    }

    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode)) return Failure(path, EISDIR);

    fs::path temporary;
    int fd = CreateTemporary(target, temporary);
    if (fd < 0) return Failure(path, errno);

    int error = 0;
    // Best effort: some file systems (FAT on a USB stick) refuse mode changes,
    // which is no reason to refuse the write.
    if (exists) (void)::fchmod(fd, old.st_mode & 07777);
    if (!WriteAll(fd, bytes) || ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        return Failure(path, error);
    }

    // Make the rename itself durable; the content is safe either way.
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return Status::Ok();
}

}  // namespace wexal
