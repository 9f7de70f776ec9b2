#pragma once

#include <filesystem>

// The lock of one file's revisions, for the revision store alone.
namespace wexal::revision_parts {

// A lock file that processes on this PC and on other PCs sharing the folder
// all see. It is removed when released, so it lies there only while held.
class FileLock {
public:
    FileLock() = default;
    ~FileLock() { Release(); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // One attempt: 0 once held; EBUSY while another holder has it (or had it
    // and is removing it); ENOENT when its folder is gone; another errno on
    // trouble.
    int TryTake(const std::filesystem::path& path);
    void Release();

private:
    std::filesystem::path path_;
#ifdef _WIN32
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
};

// A hard link at `link` to the file `existing`: 0 or the errno (EEXIST when
// the name is taken; another where the file system has no hard links).
int MakeHardLink(const std::filesystem::path& existing, const std::filesystem::path& link);

// A copy of `from` at `to`, created new, with from's modification time, where
// the file system has no hard links: 0 or the errno, and nothing left at
// `to` on failure.
int CopyRevision(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace wexal::revision_parts
