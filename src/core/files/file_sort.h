#pragma once

#include <string_view>

#include "files/entry_table.h"

namespace wexal {

enum class SortKey { None, Name, Size, Time };

// The key that Setting/FileSort names ("N", "S", "T"); any other value keeps
// the key of the previous sort.
SortKey SortKeyOf(std::string_view fileSort, SortKey previous);

// Sorts FileTable. forward is Setting/SortMuki "D": names A to Z, the largest
// file first, the oldest first; otherwise each the other way round. Equal keys
// go by name A to Z, so the order is the same on every refresh. With no key
// the table keeps its order.
void SortFileTable(EntryTable& files, SortKey key, bool forward);

// Folders always go by name A to Z.
void SortFolderTable(EntryTable& folders);

}  // namespace wexal
