#pragma once

namespace wexal {

// What a row of the file list is; None for a row that does not exist (or
// while the folder is being read).
enum class RowKind { None, Parent, Folder, File };

}  // namespace wexal
