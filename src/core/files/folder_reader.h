#pragma once

#include <string>
#include <string_view>

#include "files/entry_table.h"

namespace wexal {

// What one reading of a folder takes in.
struct FolderFilter {
    std::string pattern = "*.*";  // names to enumerate (see MatchesPattern)
    bool allFiles = true;         // ALL-Files "Y": every file, else only those matching mask
    std::string mask = "*.NC";
};

// Reads the entries of folder that match the filter into folders and files
// (cleared first), in the order the folder gives them; "." and ".." are
// skipped. A link is listed as what it points to; a link that points nowhere
// or into a loop is a file with the link's own size. An entry that vanishes
// while the folder is read is left out.
// Returns false, with both tables empty, when the enumeration cannot start:
// the folder cannot be opened, or nothing in it (not even "." or "..")
// matches the pattern.
bool ReadFolder(const std::string& folder, const FolderFilter& filter, EntryTable& folders,
                EntryTable& files);

}  // namespace wexal
