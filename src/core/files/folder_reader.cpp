#include "files/folder_reader.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <limits>

#include "files/file_names.h"
#include "revisions/revision_store.h"

namespace wexal {

namespace {

class FolderHandle {
public:
    explicit FolderHandle(const std::string& folder) : dir_(::opendir(folder.c_str())) {}
    ~FolderHandle() {
        if (dir_ != nullptr) ::closedir(dir_);
    }
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;

    DIR* get() const { return dir_; }

private:
    DIR* dir_;
};

}  // namespace

bool ReadFolder(const std::string& folder, const FolderFilter& filter, EntryTable& folders,
                EntryTable& files) {
    folders.Clear();
    files.Clear();
    const FolderHandle handle(folder);
    if (handle.get() == nullptr) return false;
    const int fd = ::dirfd(handle.get());
    const bool everything = filter.pattern == "*.*" || filter.pattern == "*";
    // "." matches a pattern that takes every name; then a folder that is
    // readable always starts, even when it is empty.
    bool anyMatch =
        everything || MatchesPattern(".", filter.pattern) || MatchesPattern("..", filter.pattern);

    while (const dirent* entry = ::readdir(handle.get())) {
        const std::string_view name = entry->d_name;
        // The history of the folder's programs is no entry of the list.
        if (name == "." || name == ".." || IsRevisionFolderName(name)) continue;
        if (!everything && !MatchesPattern(name, filter.pattern)) continue;
        anyMatch = true;
        if (name.size() > std::numeric_limits<std::uint16_t>::max()) continue;

        // A regular file the filter refuses needs no stat at all.
        if (entry->d_type == DT_REG && !filter.allFiles && !MatchesMask(name, filter.mask)) {
            continue;
        }
        struct stat info {};
        if (::fstatat(fd, entry->d_name, &info, 0) != 0 &&
            ::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            continue;  // gone since the folder was read
        }
        if (S_ISDIR(info.st_mode)) {
            folders.Add(name, 0, info.st_mtime);
            continue;
        }
        if (!filter.allFiles && !MatchesMask(name, filter.mask)) continue;
        files.Add(name, static_cast<std::uint64_t>(info.st_size < 0 ? 0 : info.st_size),
                  info.st_mtime);
    }
    if (!anyMatch) {
        folders.Clear();
        files.Clear();
        return false;
    }
    return true;
}

}  // namespace wexal
