#include "platform/file_tree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/error_text.h"
#include "platform/unique_fd.h"

namespace wexal {
namespace {

Status Failed(const std::string& path, int error) {
    return Status::Error(path + " : " + SystemErrorText(error));
}

// Empties the folder open as dirFd (shown to the user as path), then the
// caller removes the folder itself. Entries are reached only through the
// folder's descriptor and opened with O_NOFOLLOW, so a link swapped in during
// the walk cannot lead the removal elsewhere.
Status EmptyFolder(int dirFd, const std::string& path) {
    const int listFd = ::dup(dirFd);
    if (listFd < 0) return Failed(path, errno);
    DIR* dir = ::fdopendir(listFd);
    if (dir == nullptr) {
        const int error = errno;
        ::close(listFd);
        return Failed(path, error);
    }
    Status result;
    while (result) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            if (errno != 0) result = Failed(path, errno);
            break;
        }
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        const std::string childPath = path + "/" + name;
        if (::unlinkat(dirFd, name, 0) == 0 || errno == ENOENT) continue;
        if (errno != EISDIR && errno != EPERM) {
            result = Failed(childPath, errno);
            break;
        }
        UniqueFd child(::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!child) {
            result = Failed(childPath, errno);
            break;
        }
        result = EmptyFolder(child.get(), childPath);
        if (result && ::unlinkat(dirFd, name, AT_REMOVEDIR) != 0 && errno != ENOENT) {
            result = Failed(childPath, errno);
        }
    }
    ::closedir(dir);
    return result;
}

}  // namespace

Status RemoveTree(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return Failed(path, errno);
    if (!S_ISDIR(info.st_mode)) {
        return ::unlink(path.c_str()) == 0 ? Status::Ok() : Failed(path, errno);
    }
    UniqueFd dir(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!dir) return Failed(path, errno);
    if (Status emptied = EmptyFolder(dir.get(), path); !emptied) return emptied;
    return ::rmdir(path.c_str()) == 0 ? Status::Ok() : Failed(path, errno);
}

}  // namespace wexal
