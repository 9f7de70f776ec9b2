#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "config/settings.h"
#include "files/row_kind.h"

namespace wexal {

// The destination folder typed into the copy/move box, without closing
// separators (the root stays the root).
std::string DestinationFolder(std::string_view typed);

// A destination that brings the create question: not the root (a drive is
// never checked) and no existing folder.
bool NeedsCreateQuestion(const std::string& folder);

// a and b are one folder. When both exist they are compared as the file
// system sees them, by device and inode, so a link or a mount that leads to
// the same folder counts; otherwise as the file system compares names:
// case-sensitively, after "." and ".." are resolved.
bool IsSameFolder(const std::string& a, const std::string& b);

// The warning when the destination is the current folder.
std::string SameFolderWarning(const std::string& dirPath);

// The single-file copy: DirPath + "/" + the typed name, with the mask's
// extension unless ALL-Files is "Y".
std::string CopyNameDestination(const Settings& settings, const std::string& typed);

// The input line's message line for the single-file copy of a file.
std::string CopyNamePrompt(const std::string& fileName);

// Where a row dragged onto another row goes: the parent row leads to the
// parent folder, a folder row into that folder; a file row or no row takes
// nothing (nullopt).
std::optional<std::string> DragTarget(const std::string& dirPath, RowKind row,
                                      const std::string& folderName);

// Label3 while the pointer is over a row that takes the drop.
std::string DragTargetLine(const std::string& target);

}  // namespace wexal
