#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/message_service.h"
#include "platform/status.h"
#include "revisions/revision_store.h"

namespace wexal {

// What a copy or move asks of the window while it runs.
class CopyMoveHost {
public:
    virtual ~CopyMoveHost() = default;
    // The entry now being handled and the bytes done of all bytes to copy
    // (total 0: nothing to copy, only renames). Called at least once per
    // entry and after every chunk of a file, so the window can paint and
    // take its abort button; false aborts at once.
    virtual bool Progress(const std::string& path, std::uint64_t done, std::uint64_t total) = 0;
    // An entry of that name already stands at the destination.
    virtual ReplaceChoice AskReplace(const std::string& destination) = 0;
};

enum class CopyMoveOutcome {
    Done,     // ran to its end (entries the operator chose not to replace stay where they were)
    Aborted,  // the operator aborted: what was finished stays finished
    Refused,  // nothing was done: a folder into itself
    Failed,   // stopped at an entry: message names it and why
};

struct CopyMoveResult {
    CopyMoveOutcome outcome = CopyMoveOutcome::Done;
    std::string message;
    int moved = 0;  // top-level entries that reached the destination
};

// Copies or moves files, folders with all their contents, and symbolic links
// (as links, never followed) into an existing destination folder under their
// own names.
//
// Every file is written under a temporary name in its destination folder,
// flushed, and renamed into place only when complete, so a failure or an
// abort leaves each file at its source or whole at its destination, never a
// part under its final name. A move within one file system renames, never
// over an existing entry unless the operator said so; across file systems it
// copies, compares the copy with its source byte for byte, and only then
// removes the source. An existing entry is replaced only after AskReplace;
// one that is the source itself (the same file through a hard link, a link
// or a mount) is never touched, and a file that is replaced is kept as a
// revision first as `revisions` says. A folder never goes into itself or
// below it.
CopyMoveResult CopyOrMove(const std::vector<std::string>& sources, const std::string& destination,
                          bool copy, CopyMoveHost& host, const RevisionPolicy& revisions = {});

// Copies one file to an exact path, replacing a file of that name without a
// question (the single-file copy, files dropped onto the list). A link as the
// source is followed to its file; a link at the destination is replaced, never
// written through, and a file it replaces is kept as a revision first. The
// source itself as destination is refused and left intact. The message names
// the file and the reason.
Status CopyFileReplacing(const std::string& source, const std::string& destination,
                         const RevisionPolicy& revisions = {});

// The text of the replace question for an entry.
std::string ReplaceQuestion(const std::string& destination);

}  // namespace wexal
