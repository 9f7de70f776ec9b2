#pragma once

#include <string>
#include <string_view>

#include "platform/os_file.h"
#include "platform/unique_fd.h"
#include "revisions/revision_store.h"

namespace wexal {

// A new hidden name for an unfinished file, ".Wexal-receive.tmp<pid>_<n>".
std::string UnfinishedFileName();

// The file a program is written into while it arrives. It lies in the folder
// of its target but takes the target's name only when the program is
// complete, so an abort, a lost line or a signal never touches a file that was
// there before, and a hard link to that file (a snapshot) keeps the old bytes.
// It has no name at all where the file system allows (O_TMPFILE), so even a
// killed process leaves nothing behind; elsewhere it is a hidden
// ".Wexal-receive.tmp<pid>_<n>", which neither the mask of a program folder
// nor a later receive takes for a program.
class UnfinishedFile {
public:
    UnfinishedFile() = default;
    ~UnfinishedFile() { Discard(); }
    UnfinishedFile(const UnfinishedFile&) = delete;
    UnfinishedFile& operator=(const UnfinishedFile&) = delete;

    bool IsOpen() const { return static_cast<bool>(file_); }
    // A new empty file in folder. 0 or the errno.
    int Create(const std::string& folder);
    // Appends the bytes and flushes them to the disk. 0 or the errno.
    int Append(std::string_view bytes);
    // Gives the file the name `name` in its folder and closes it; an entry of
    // that name is never replaced (EEXIST). 0 or the errno; on failure the
    // file stays unfinished.
    int Place(const std::string& name);
    // Gives the file the name `name`, replacing an entry of that name (a link
    // as the link itself, never followed; a file's permissions stay); a file
    // it replaces is kept as a revision as `revisions` says. On failure the
    // file stays unfinished.
    Replacement Replace(const std::string& name, const RevisionPolicy& revisions);
    // Drops the file; a temporary name is removed only while it still names
    // this very file.
    void Discard();
    // Closes the file, leaving it under its temporary name; returns that name
    // ("" when it has none, and then it is gone).
    std::string Abandon();
    // The identity of the open file.
    FileId Id() const;

private:
    // The file has its name: let go of it.
    void Close();

    UniqueFd folder_;
    std::string folderPath_;  // where the temporary name lies
    UniqueFd file_;
    std::string temporary_;  // the hidden name, "" while unnamed
};

}  // namespace wexal
