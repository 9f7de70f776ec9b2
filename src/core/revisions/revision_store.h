#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

// Every version of a program kept: before Wexal replaces a file, the content
// it replaces is kept beside it, in
//   <folder>/.wexal-revisions/<file name>/<UTC time>_<source><.ext>
// with the time as YYYYMMDDTHHMMSS.mmmZ ("-2", "-3" ... after it for a second
// revision in the same millisecond), the source the DNC machine's section
// name or "Wexal", and the file's own extension. A revision holds the
// replaced bytes exactly with their modification time, and its name is never
// replaced. Other PCs sharing the folder rely on this layout.
namespace wexal {

inline constexpr std::string_view kRevisionFolderName = ".wexal-revisions";
inline constexpr std::int32_t kDefaultKeepRevisions = 50;
inline constexpr std::string_view kWexalRevisionSource = "Wexal";
// How long a replacement waits for another writer of the same file.
inline constexpr int kRevisionLockSeconds = 10;

struct RevisionPolicy {
    int keep = 0;        // revisions kept per file, the oldest removed beyond; 0: none
    std::string source;  // who replaces: a machine's section name, or "Wexal"
};
// KeepRevisions as a settings file holds it (a negative value is the default)
// for a source.
RevisionPolicy RevisionPolicyOf(std::int32_t keepRevisions,
                                std::string_view source = kWexalRevisionSource);

// <folder>/.wexal-revisions/<file name> of a file.
std::filesystem::path RevisionFolderOf(const std::filesystem::path& file);
// Whether a folder entry's name is the revisions folder, which the file list,
// the tools and the folder watcher leave alone.
bool IsRevisionFolderName(std::string_view name);

// The outcome of a replacement.
struct Replacement {
    int error = 0;         // the replacement itself failed with this errno; nothing was kept
    std::string refused;   // the old content could not be kept (why): nothing was replaced
    std::string revision;  // the revision kept, "" when none was needed
    bool ok() const { return error == 0 && refused.empty(); }
    static Replacement Failed(int error) {
        Replacement failed;
        failed.error = error;
        return failed;
    }
};

// Replaces `target` by calling `replace` (a rename of `incoming`, a complete
// file, over it; 0 or the errno), after keeping the target's content as a
// revision when it is a regular file whose bytes differ from incoming's.
// Keeping and replacing happen under a lock of the file that other processes
// and other PCs on a shared folder see too, so two writers at once are both
// kept. A lock not had within kRevisionLockSeconds, or a revision that cannot
// be kept, refuses the replacement. With policy.keep 0 it only calls replace.
Replacement ReplaceKeepingRevision(const std::filesystem::path& target,
                                   const std::filesystem::path& incoming,
                                   const RevisionPolicy& policy,
                                   const std::function<int()>& replace);

// Why a replacement was refused, as the last lines of its message:
// "前の版を残せないため、置き換えませんでした。\n<reason>".
std::string RevisionRefusalText(std::string_view reason);

struct Revision {
    std::filesystem::path path;
    std::int64_t timeMs = 0;  // of the replacement, UTC milliseconds since the epoch
    int sequence = 1;         // 2, 3 ... for more in one millisecond
    std::string source;
    std::int64_t size = 0;
    // Why it cannot be read (an unreadable or vanished revision), or "".
    std::string problem;
};
struct RevisionList {
    std::vector<Revision> revisions;  // newest first
    std::string error;                // the folder could not be read: why
};
// The revisions of a file, newest first. No revisions: an empty list.
RevisionList ListRevisions(const std::filesystem::path& file);

// "2026-12-08T03:04:05.678Z"
std::string RevisionTimeText(std::int64_t timeMs);

// Puts a revision's content back under the file's name; what the file holds
// now is kept as a revision first (even with policy.keep 0, then without
// removing any); `kept` gets that revision's path, or "" when nothing had to
// be kept. The message says what went wrong.
Status RestoreRevision(const std::filesystem::path& file, const std::filesystem::path& revision,
                       const RevisionPolicy& policy, std::string* kept = nullptr);

}  // namespace wexal
