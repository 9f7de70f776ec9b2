#include "files/copy_move.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <memory>

#include "platform/atomic_file.h"
#include "platform/error_text.h"
#include "platform/file_tree.h"
#include "platform/path_rules.h"
#include "platform/unique_fd.h"

namespace wexal {

namespace {

// Bytes read and written at a time: memory stays bounded whatever the file's
// size, and the window hears from the copy often enough to abort it.
constexpr std::size_t kChunk = std::size_t{1} << 20;

constexpr const char* kSameFile = "コピー元と同じファイルです。";
constexpr const char* kOtherKind = "同じ名前のファイルまたはフォルダーがあります。";
constexpr const char* kSpecialFile = "この種類のファイルはコピーできません。";
constexpr const char* kChanged = "コピー中に元のファイルが変わりました。";
constexpr const char* kMismatch = "コピーしたファイルが元のファイルと一致しません。";
constexpr const char* kTooDeep = "フォルダーの階層が深すぎます。";
// Deeper folders are refused rather than walked: a folder mounted below
// itself would otherwise never end.
constexpr int kDepthLimit = 256;

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string TemporaryName(const std::string& name) {
    static std::atomic<unsigned> counter{0};
    return "." + name + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

// Reads up to size bytes at offset; fewer only at the end of the file.
ssize_t ReadFull(int fd, char* data, std::size_t size, off_t offset) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, data + got, size - got, offset + static_cast<off_t>(got));
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

// Puts the finished entry tempName in place under name, never over an
// existing entry: 0 or the errno.
int PlaceNew(int dirFd, const std::string& tempName, const std::string& name) {
    if (::renameat2(dirFd, tempName.c_str(), dirFd, name.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
    // A file system without the no-replace rename: a hard link fails on an
    // existing name just as well.
    if (::linkat(dirFd, tempName.c_str(), dirFd, name.c_str(), 0) == 0) {
        ::unlinkat(dirFd, tempName.c_str(), 0);
        return 0;
    }
    if (errno == EEXIST) return EEXIST;
    struct stat there {};
    if (::fstatat(dirFd, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0) return EEXIST;
    return ::renameat(dirFd, tempName.c_str(), dirFd, name.c_str()) == 0 ? 0 : errno;
}

// Puts the finished entry tempName in place under name (whose path is path):
// never over an existing entry unless replace, and a file it replaces is
// kept as a revision first.
Replacement Place(int dirFd, const std::string& tempName, const std::string& name, bool replace,
                  const std::string& path, const RevisionPolicy& revisions) {
    if (!replace) return Replacement::Failed(PlaceNew(dirFd, tempName, name));
    const std::string incoming = PathRules::Join(PathRules::Parent(path), tempName);
    return ReplaceKeepingRevision(path, incoming, revisions, [&] {
        return ::renameat(dirFd, tempName.c_str(), dirFd, name.c_str()) == 0 ? 0 : errno;
    });
}

// A file being written in a destination folder. It has no name until it is
// complete where the file system allows (O_TMPFILE), so a process killed
// while copying leaves nothing behind; else it has a hidden temporary name.
class PendingFile {
public:
    PendingFile(int dirFd, std::string name) : dirFd_(dirFd), name_(std::move(name)) {}
    ~PendingFile() {
        if (!tempName_.empty()) ::unlinkat(dirFd_, tempName_.c_str(), 0);
    }

    int Create() {
        fd_.Reset(::openat(dirFd_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
        if (fd_) return 0;
        for (int attempt = 0; attempt < 100; ++attempt) {
            tempName_ = TemporaryName(name_);
            fd_.Reset(
                ::openat(dirFd_, tempName_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
            if (fd_) return 0;
            if (errno != EEXIST) break;
        }
        const int error = errno;
        tempName_.clear();
        return error;
    }

    int fd() const { return fd_.get(); }

    // Names the complete file and puts it in place at path.
    Replacement Finish(bool replace, const std::string& path, const RevisionPolicy& revisions) {
        if (tempName_.empty()) {
            const std::string self = "/proc/self/fd/" + std::to_string(fd_.get());
            for (int attempt = 0; attempt < 100 && tempName_.empty(); ++attempt) {
                const std::string candidate = TemporaryName(name_);
                if (::linkat(AT_FDCWD, self.c_str(), dirFd_, candidate.c_str(),
                             AT_SYMLINK_FOLLOW) == 0 ||
                    ::linkat(fd_.get(), "", dirFd_, candidate.c_str(), AT_EMPTY_PATH) == 0) {
                    tempName_ = candidate;
                } else if (errno != EEXIST) {
                    return Replacement::Failed(errno);
                }
            }
            if (tempName_.empty()) return Replacement::Failed(EEXIST);
        }
        if (const int error = fd_.Close(); error != 0) return Replacement::Failed(error);
        Replacement placed = Place(dirFd_, tempName_, name_, replace, path, revisions);
        if (placed.ok()) tempName_.clear();
        return placed;
    }

private:
    int dirFd_;
    std::string name_;
    std::string tempName_;
    UniqueFd fd_;
};

// The names in a folder, read before any of them is moved or removed.
bool ListFolder(int dirFd, std::vector<std::string>& names) {
    const int listFd = ::dup(dirFd);
    if (listFd < 0) return false;
    DIR* dir = ::fdopendir(listFd);
    if (dir == nullptr) {
        ::close(listFd);
        return false;
    }
    bool ok = true;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (entry == nullptr) {
            ok = errno == 0;
            break;
        }
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
            continue;
        }
        names.emplace_back(entry->d_name);
    }
    const int error = errno;
    ::closedir(dir);
    errno = error;
    return ok;
}

// Bytes of the regular files at and below an entry, links not followed.
std::uint64_t TreeBytes(int dirFd, const std::string& name, int depth = 0) {
    struct stat info {};
    if (::fstatat(dirFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return 0;
    if (S_ISREG(info.st_mode)) return static_cast<std::uint64_t>(info.st_size);
    if (!S_ISDIR(info.st_mode) || depth >= kDepthLimit) return 0;
    UniqueFd child(::openat(dirFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    std::vector<std::string> names;
    if (!child || !ListFolder(child.get(), names)) return 0;
    std::uint64_t bytes = 0;
    for (const std::string& each : names) bytes += TreeBytes(child.get(), each, depth + 1);
    return bytes;
}

// The folder open as dirFd is the folder `folder` or lies somewhere below it.
// Walked upwards by "..", so a link or a mount that leads back into the
// folder is seen as well.
bool IsAtOrBelow(int dirFd, const struct stat& folder) {
    UniqueFd current(::dup(dirFd));
    for (int depth = 0; current && depth < 4096; ++depth) {
        struct stat here {};
        if (::fstat(current.get(), &here) != 0) return false;
        if (SameFile(here, folder)) return true;
        UniqueFd up(::openat(current.get(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (!up) return false;
        struct stat above {};
        if (::fstat(up.get(), &above) != 0 || SameFile(above, here)) return false;
        current.Reset(up.release());
    }
    return false;
}

class Operation {
public:
    Operation(bool copy, CopyMoveHost& host, const RevisionPolicy& revisions)
        : copy_(copy), host_(host), revisions_(revisions) {}

    void SetTotal(std::uint64_t total) { total_ = total; }
    // One source entry into the destination folder; false stops the run.
    bool Entry(int srcDir, const std::string& name, const std::string& srcPath, int dstDir,
               const std::string& dstPath) {
        struct stat source {};
        if (::fstatat(srcDir, name.c_str(), &source, AT_SYMLINK_NOFOLLOW) != 0) {
            return Fail(srcPath, errno);
        }
        if (!Tick(srcPath)) return false;
        if (copy_) return CopyEntry(srcDir, name, source, srcPath, dstDir, dstPath, false);

        if (::renameat2(srcDir, name.c_str(), dstDir, name.c_str(), RENAME_NOREPLACE) == 0) {
            Advance(TreeBytesDone(source));
            return true;
        }
        const int error = errno;
        if (error == EXDEV) return CopyEntry(srcDir, name, source, srcPath, dstDir, dstPath, true);
        if (error != EEXIST && error != EINVAL && error != ENOSYS) return Fail(srcPath, error);
        struct stat there {};
        switch (Conflict(source, dstDir, name, dstPath, there)) {
            case Decision::Stop:
                return false;
            case Decision::Skip:
                return true;
            case Decision::Merge:
                return MoveInto(srcDir, name, srcPath, dstDir, dstPath);
            case Decision::Free:
            case Decision::Replace:
                break;
        }
        const Replacement moved = ReplaceKeepingRevision(dstPath, srcPath, revisions_, [&] {
            return ::renameat(srcDir, name.c_str(), dstDir, name.c_str()) == 0 ? 0 : errno;
        });
        if (moved.error == EXDEV) return CopyEntry(srcDir, name, source, srcPath, dstDir, dstPath, true);
        if (!moved.refused.empty()) return Placed(moved, dstPath);
        if (moved.error != 0) return Fail(srcPath, moved.error);
        return true;
    }

    CopyMoveResult Result() const { return result_; }
    void Refuse(std::string message) {
        result_.outcome = CopyMoveOutcome::Refused;
        result_.message = std::move(message);
    }
    void CountTopLevel() { ++result_.moved; }
    bool Fail(const std::string& path, int error) { return Fail(path, SystemErrorText(error)); }
    // Whether an entry is in place at path; the failure is told when not.
    bool Placed(const Replacement& placed, const std::string& path) {
        if (!placed.refused.empty()) return Fail(path, RevisionRefusalText(placed.refused));
        if (placed.error != 0) return Fail(path, placed.error);
        return true;
    }
    bool Fail(const std::string& path, const std::string& reason) {
        result_.outcome = CopyMoveOutcome::Failed;
        result_.message =
            std::string(copy_ ? "コピーできませんでした。" : "移動できませんでした。") + "\n" +
            path + "\n" + reason;
        return false;
    }

private:
    enum class Decision { Free, Replace, Skip, Merge, Stop };

    std::uint64_t TreeBytesDone(const struct stat& source) const {
        return S_ISREG(source.st_mode) ? static_cast<std::uint64_t>(source.st_size) : 0;
    }

    void Advance(std::uint64_t bytes) { done_ += bytes; }

    bool Tick(const std::string& path) {
        if (host_.Progress(path, done_, total_)) return true;
        result_.outcome = CopyMoveOutcome::Aborted;
        result_.message.clear();
        return false;
    }

    // What to do about the destination name of an entry.
    Decision Conflict(const struct stat& source, int dstDir, const std::string& name,
                      const std::string& dstPath, struct stat& there) {
        if (::fstatat(dstDir, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) return Decision::Free;
            Fail(dstPath, errno);
            return Decision::Stop;
        }
        // The source itself under its destination name (a hard link, a bind
        // mount, a folder link that leads back): replacing it would destroy it.
        if (SameFile(source, there)) {
            Fail(dstPath, kSameFile);
            return Decision::Stop;
        }
        const bool sourceFolder = S_ISDIR(source.st_mode);
        if (sourceFolder && S_ISDIR(there.st_mode)) return Decision::Merge;
        if (sourceFolder || S_ISDIR(there.st_mode)) {
            Fail(dstPath, kOtherKind);
            return Decision::Stop;
        }
        if (replaceAll_) return Decision::Replace;
        switch (host_.AskReplace(dstPath)) {
            case ReplaceChoice::Yes:
                return Decision::Replace;
            case ReplaceChoice::All:
                replaceAll_ = true;
                return Decision::Replace;
            case ReplaceChoice::No:
                return Decision::Skip;
            case ReplaceChoice::Cancel:
                break;
        }
        result_.outcome = CopyMoveOutcome::Aborted;
        return Decision::Stop;
    }

    // A folder moved onto a folder of its name on the same file system: its
    // entries are moved one by one, and it goes when it is empty.
    bool MoveInto(int srcDir, const std::string& name, const std::string& srcPath, int dstDir,
                  const std::string& dstPath) {
        if (depth_ >= kDepthLimit) return Fail(srcPath, kTooDeep);
        const Deeper deeper(depth_);
        UniqueFd from(
            ::openat(srcDir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!from) return Fail(srcPath, errno);
        UniqueFd to(
            ::openat(dstDir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!to) return Fail(dstPath, errno);
        std::vector<std::string> names;
        if (!ListFolder(from.get(), names)) return Fail(srcPath, errno);
        for (const std::string& each : names) {
            if (!Entry(from.get(), each, PathRules::Join(srcPath, each), to.get(),
                       PathRules::Join(dstPath, each))) {
                return false;
            }
        }
        // Entries the operator kept keep their folder.
        if (::unlinkat(srcDir, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOTEMPTY &&
            errno != EEXIST) {
            return Fail(srcPath, errno);
        }
        return true;
    }

    // Copies an entry; with removeSource (a move to another file system) each
    // file's source goes once its copy is in place and checked.
    bool CopyEntry(int srcDir, const std::string& name, const struct stat& source,
                   const std::string& srcPath, int dstDir, const std::string& dstPath,
                   bool removeSource) {
        struct stat there {};
        const Decision decision = Conflict(source, dstDir, name, dstPath, there);
        if (decision == Decision::Stop) return false;
        if (decision == Decision::Skip) {
            Advance(TreeBytesDone(source));
            return true;
        }
        const bool replace = decision == Decision::Replace;
        if (S_ISDIR(source.st_mode)) {
            return CopyFolder(srcDir, name, source, srcPath, dstDir, dstPath, removeSource,
                              decision == Decision::Free);
        }
        bool placed = false;
        if (S_ISREG(source.st_mode)) {
            placed =
                CopyFile(srcDir, name, source, srcPath, dstDir, dstPath, replace, removeSource);
        } else if (S_ISLNK(source.st_mode) || S_ISFIFO(source.st_mode)) {
            placed = CopySpecial(srcDir, name, source, srcPath, dstDir, dstPath, replace);
        } else {
            return Fail(srcPath, kSpecialFile);
        }
        if (!placed) return false;
        if (removeSource) {
            if (Status removed = RemoveTree(srcPath); !removed) {
                result_.outcome = CopyMoveOutcome::Failed;
                result_.message = "移動できませんでした。\n" + removed.message;
                return false;
            }
        }
        return true;
    }

    bool CopyFolder(int srcDir, const std::string& name, const struct stat& source,
                    const std::string& srcPath, int dstDir, const std::string& dstPath,
                    bool removeSource, bool created) {
        if (depth_ >= kDepthLimit) return Fail(srcPath, kTooDeep);
        const Deeper deeper(depth_);
        UniqueFd from(
            ::openat(srcDir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!from) return Fail(srcPath, errno);
        if (created && ::mkdirat(dstDir, name.c_str(), 0700) != 0) return Fail(dstPath, errno);
        UniqueFd to(
            ::openat(dstDir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!to) return Fail(dstPath, errno);
        std::vector<std::string> names;
        if (!ListFolder(from.get(), names)) return Fail(srcPath, errno);
        for (const std::string& each : names) {
            const std::string childSource = PathRules::Join(srcPath, each);
            struct stat child {};
            if (::fstatat(from.get(), each.c_str(), &child, AT_SYMLINK_NOFOLLOW) != 0) {
                return Fail(childSource, errno);
            }
            if (!Tick(childSource)) return false;
            if (!CopyEntry(from.get(), each, child, childSource, to.get(),
                           PathRules::Join(dstPath, each), removeSource)) {
                return false;
            }
        }
        if (created) {
            // Its own mode last, so that a read-only folder could still be filled.
            (void)::fchmod(to.get(), source.st_mode & 07777);
            const struct timespec times[2] = {source.st_atim, source.st_mtim};
            (void)::futimens(to.get(), times);
        }
        if (removeSource && ::unlinkat(srcDir, name.c_str(), AT_REMOVEDIR) != 0 &&
            errno != ENOTEMPTY && errno != EEXIST) {
            return Fail(srcPath, errno);
        }
        return true;
    }

    // A link (as the link itself) or a FIFO, made under a temporary name and
    // put in place.
    bool CopySpecial(int srcDir, const std::string& name, const struct stat& source,
                     const std::string& srcPath, int dstDir, const std::string& dstPath,
                     bool replace) {
        std::string target;
        if (S_ISLNK(source.st_mode)) {
            target.resize(static_cast<std::size_t>(source.st_size > 0 ? source.st_size : 256) + 1);
            const ssize_t length = ::readlinkat(srcDir, name.c_str(), target.data(), target.size());
            if (length < 0) return Fail(srcPath, errno);
            if (static_cast<std::size_t>(length) >= target.size()) return Fail(srcPath, kChanged);
            target.resize(static_cast<std::size_t>(length));
        }
        std::string tempName;
        int error = EEXIST;
        for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
            tempName = TemporaryName(name);
            const int made = S_ISLNK(source.st_mode)
                                 ? ::symlinkat(target.c_str(), dstDir, tempName.c_str())
                                 : ::mkfifoat(dstDir, tempName.c_str(), source.st_mode & 0777);
            error = made == 0 ? 0 : errno;
        }
        if (error != 0) return Fail(dstPath, error);
        const Replacement placed = Place(dstDir, tempName, name, replace, dstPath, revisions_);
        if (!placed.ok()) ::unlinkat(dstDir, tempName.c_str(), 0);
        return Placed(placed, dstPath);
    }

    bool CopyFile(int srcDir, const std::string& name, const struct stat& source,
                  const std::string& srcPath, int dstDir, const std::string& dstPath, bool replace,
                  bool verify) {
        // Opened without following a link and without waiting on a FIFO that
        // was swapped in since the look.
        UniqueFd in(::openat(srcDir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (!in) return Fail(srcPath, errno);
        struct stat opened {};
        if (::fstat(in.get(), &opened) != 0) return Fail(srcPath, errno);
        if (!S_ISREG(opened.st_mode) || !SameFile(opened, source)) return Fail(srcPath, kChanged);
        PendingFile out(dstDir, name);
        if (const int error = out.Create(); error != 0) return Fail(dstPath, error);
        if (!CopyBytes(in.get(), out.fd(), srcPath, dstPath)) return false;
        (void)::fchmod(out.fd(), source.st_mode & 0777);
        const struct timespec times[2] = {opened.st_atim, opened.st_mtim};
        (void)::futimens(out.fd(), times);
        if (::fsync(out.fd()) != 0) return Fail(dstPath, errno);
        if (verify && !Verify(in.get(), out.fd(), srcPath, dstPath)) return false;
        return Placed(out.Finish(replace, dstPath, revisions_), dstPath);
    }

    bool CopyBytes(int in, int out, const std::string& srcPath, const std::string& dstPath) {
        const std::unique_ptr<char[]> buffer(new char[kChunk]);
        for (off_t offset = 0;;) {
            const ssize_t got = ReadFull(in, buffer.get(), kChunk, offset);
            if (got < 0) return Fail(srcPath, errno);
            if (got == 0) return true;
            if (!WriteAll(out, std::string_view(buffer.get(), static_cast<std::size_t>(got)))) {
                return Fail(dstPath, errno);
            }
            offset += got;
            Advance(static_cast<std::uint64_t>(got));
            if (!Tick(srcPath)) return false;
        }
    }

    // The copy read back from the disk equals its source, byte for byte.
    bool Verify(int in, int out, const std::string& srcPath, const std::string& dstPath) {
        (void)::posix_fadvise(out, 0, 0, POSIX_FADV_DONTNEED);
        const std::unique_ptr<char[]> original(new char[kChunk]);
        const std::unique_ptr<char[]> copied(new char[kChunk]);
        for (off_t offset = 0;;) {
            const ssize_t a = ReadFull(in, original.get(), kChunk, offset);
            if (a < 0) return Fail(srcPath, errno);
            const ssize_t b = ReadFull(out, copied.get(), kChunk, offset);
            if (b < 0) return Fail(dstPath, errno);
            if (a != b ||
                std::memcmp(original.get(), copied.get(), static_cast<std::size_t>(a)) != 0) {
                return Fail(dstPath, kMismatch);
            }
            if (a == 0) return true;
            offset += a;
            if (!Tick(srcPath)) return false;
        }
    }

    // Counts the folder levels open while they are walked.
    struct Deeper {
        explicit Deeper(int& depth) : depth_(depth) { ++depth_; }
        ~Deeper() { --depth_; }
        int& depth_;
    };

    bool copy_;
    CopyMoveHost& host_;
    const RevisionPolicy& revisions_;
    int depth_ = 0;
    CopyMoveResult result_;
    bool replaceAll_ = false;
    std::uint64_t done_ = 0;
    std::uint64_t total_ = 0;
};

}  // namespace

std::string ReplaceQuestion(const std::string& destination) {
    return "同じ名前のファイルが既にあります。\n" + destination + "\n置き換えますか？";
}

CopyMoveResult CopyOrMove(const std::vector<std::string>& sources, const std::string& destination,
                          bool copy, CopyMoveHost& host, const RevisionPolicy& revisions) {
    Operation operation(copy, host, revisions);
    UniqueFd to(::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!to) {
        operation.Fail(destination, errno);
        return operation.Result();
    }
    struct Source {
        std::string path;
        std::string name;
        UniqueFd folder;
    };
    std::deque<Source> items;
    std::uint64_t total = 0;
    for (const std::string& path : sources) {
        Source& item = items.emplace_back();
        item.path = path;
        item.name = PathRules::FileName(path);
        const std::string parent = PathRules::Parent(path);
        item.folder.Reset(
            ::open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!item.folder) {
            operation.Fail(path, errno);
            return operation.Result();
        }
        // Before anything moves: a folder never goes into itself or below it.
        struct stat info {};
        if (::fstatat(item.folder.get(), item.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISDIR(info.st_mode) && IsAtOrBelow(to.get(), info)) {
            operation.Refuse(path + "\n" + destination + "\n" +
                             (copy ? "フォルダーをそれ自身の中へはコピーできません。"
                                   : "フォルダーをそれ自身の中へは移動できません。"));
            return operation.Result();
        }
        total += TreeBytes(item.folder.get(), item.name);
    }
    operation.SetTotal(total);
    for (const Source& item : items) {
        if (!operation.Entry(item.folder.get(), item.name, item.path, to.get(),
                             PathRules::Join(destination, item.name))) {
            break;
        }
        operation.CountTopLevel();
    }
    ::fsync(to.get());
    return operation.Result();
}

Status CopyFileReplacing(const std::string& source, const std::string& destination,
                         const RevisionPolicy& revisions) {
    const auto failed = [&](const std::string& path, const std::string& reason) {
        return Status::Error(path + " : " + reason);
    };
    UniqueFd in(::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!in) return failed(source, SystemErrorText(errno));
    struct stat from {};
    if (::fstat(in.get(), &from) != 0) return failed(source, SystemErrorText(errno));
    if (!S_ISREG(from.st_mode)) {
        return failed(source, S_ISDIR(from.st_mode) ? SystemErrorText(EISDIR) : kSpecialFile);
    }
    const std::string name = PathRules::FileName(destination);
    const std::string parent = PathRules::Parent(destination);
    UniqueFd folder(
        ::open(parent.empty() ? "." : parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder) return failed(destination, SystemErrorText(errno));
    struct stat there {};
    if (::fstatat(folder.get(), name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(there.st_mode)) return failed(destination, SystemErrorText(EISDIR));
        // Through a link too: the file must never be written over itself.
        struct stat target {};
        if (SameFile(there, from) ||
            (::fstatat(folder.get(), name.c_str(), &target, 0) == 0 && SameFile(target, from))) {
            return failed(destination, kSameFile);
        }
    }
    PendingFile out(folder.get(), name);
    int error = out.Create();
    const std::unique_ptr<char[]> buffer(new char[kChunk]);
    for (off_t offset = 0; error == 0;) {
        const ssize_t got = ReadFull(in.get(), buffer.get(), kChunk, offset);
        if (got < 0) return failed(source, SystemErrorText(errno));
        if (got == 0) break;
        if (!WriteAll(out.fd(), std::string_view(buffer.get(), static_cast<std::size_t>(got)))) error = errno;
        offset += got;
    }
    if (error == 0) {
        (void)::fchmod(out.fd(), from.st_mode & 0777);
        const struct timespec times[2] = {from.st_atim, from.st_mtim};
        (void)::futimens(out.fd(), times);
        if (::fsync(out.fd()) != 0) error = errno;
    }
    if (error != 0) return failed(destination, SystemErrorText(error));
    const Replacement placed = out.Finish(true, destination, revisions);
    if (!placed.refused.empty()) return failed(destination, RevisionRefusalText(placed.refused));
    if (placed.error != 0) return failed(destination, SystemErrorText(placed.error));
    return Status::Ok();
}

}  // namespace wexal
