#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "platform/status.h"
#include "platform/unique_fd.h"
#include "revisions/revision_store.h"

namespace wexal {

// Writes all of bytes to fd, again after a signal or a short write; false
// with errno set when a write fails.
bool WriteAll(int fd, std::string_view bytes);

// How a symbolic link at the path given is taken:
// - Follow: to the regular file it leads to, which is read or replaced, and
//   the link stays a link;
// - Replace: not at all, a new file takes the link's place, so a name made
//   from file content can never lead a write out of its folder;
// - FollowOwned: as Follow, but a process running as root follows only a
//   link of root's to a file of root's, so root never writes where another
//   user's link points, nor into another user's file through a link.
enum class LinkMode { Follow, Replace, FollowOwned };

// What a path names, for code that reads a file whole and later replaces it.
// Symbolic links are followed only to a regular file.
struct FileLookup {
    enum class Kind {
        Missing,  // nothing there (or a parent is not a folder): may be created
        Regular,  // a regular file, at `target`
        Refused,  // something that must neither be read nor replaced: `reason`
    };
    Kind kind = Kind::Missing;
    // The file itself, or the regular file that its links lead to.
    std::filesystem::path target;
    mode_t mode = 0;     // Regular: the target's mode
    std::string reason;  // Refused: why, in the operator's words
};
FileLookup LookUpFile(const std::filesystem::path& path, LinkMode links = LinkMode::Follow);

// Opens the file that LookUpFile finds with flags (O_RDONLY, or O_WRONLY with
// O_APPEND) into fd when it is a regular file; what the look-up found, then.
// Anything else is refused without being opened, so a FIFO never blocks and
// a device is never touched, and a link that took the file's place since it
// was looked up is not followed.
FileLookup OpenRegularFile(const std::filesystem::path& path, int flags, UniqueFd& fd,
                           LinkMode links = LinkMode::Follow);

// The whole content of the regular file that LookUpFile finds. A file over
// maxSize bytes is refused unread ("ファイルが大きすぎます。"), as is
// everything OpenRegularFile refuses.
struct FileContent {
    FileLookup::Kind kind = FileLookup::Kind::Missing;
    std::string bytes;   // Regular
    std::string reason;  // Refused
};
FileContent ReadRegularFile(const std::filesystem::path& path, std::uintmax_t maxSize,
                            LinkMode links = LinkMode::Follow);

// Replaces the file's content as a whole: the bytes go to a temporary file in
// the same folder, are flushed to the disk and renamed over the target, so a
// crash or a full disk leaves either the old or the new file, never a part.
// The temporary file is created without a name (O_TMPFILE) where the file
// system allows it and named only for the instant before the rename, so a
// process killed while writing leaves nothing behind.
//
// The target keeps its permission bits; links are taken as `links` says.
// Refused, with the file untouched: a read-only file (no write bit for its
// owner, also for root, as the platform's read-only attribute is honoured), a
// file this user may not write, a folder, a device, a FIFO, or a link to
// anything but a regular file (dangling included). On failure the message is
// "ファイルに書き込めません。\n<path>\n<reason>".
// A file it replaces is kept as a revision as `revisions` says (settings
// and logs keep none).
Status WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes,
                           LinkMode links = LinkMode::Follow,
                           const RevisionPolicy& revisions = {});

// The same replacement written in parts, for content too large to hold: the
// parts go to the temporary file as they come, and only Commit puts it under
// the file's name. A writer dropped before Commit leaves the target as it was
// and no temporary behind. Errors read as WriteFileAtomically's.
class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    Status Open(const std::filesystem::path& path, LinkMode links = LinkMode::Follow);
    // A program replaced by Commit is kept as a revision first (a tool's
    // output, a restore); settings and logs are not.
    void KeepRevisions(RevisionPolicy policy) { revisions_ = std::move(policy); }
    Status Write(std::string_view bytes);
    Status Commit();
    // The revision Commit kept, or "".
    const std::string& KeptRevision() const { return keptRevision_; }

private:
    Status WriteOut(std::string_view bytes);
    // Renames the finished temporary file over the target, keeping what it
    // replaces as revisions_ says.
    Status PutInPlace(const std::filesystem::path& temporary, const std::function<int()>& rename);

    std::filesystem::path path_;
    std::filesystem::path target_;
    UniqueFd dir_;
    UniqueFd fd_;
    std::string temporary_;  // its name once it has one
    std::string buffer_;
    std::uint64_t written_ = 0;
    std::uint64_t flushedToDisk_ = 0;
    RevisionPolicy revisions_;
    std::string keptRevision_;
};

// Removes the temporary files that saves of `path` left behind when their
// process was killed: those of processes that no longer run, and any older
// than ten minutes. Called once at start-up, before the file is read.
void RemoveStaleTemporaryFiles(const std::filesystem::path& path);

}  // namespace wexal
