#include "files/entry_table.h"

#include <algorithm>

namespace wexal {

void EntryTable::Clear() {
    names_.clear();
    entries_.clear();
}

void EntryTable::Add(std::string_view name, std::uint64_t size, std::int64_t modified) {
    ListEntry entry;
    entry.size = size;
    entry.modified = modified;
    entry.nameOffset = static_cast<std::uint32_t>(names_.size());
    entry.nameLength = static_cast<std::uint16_t>(name.size());
    names_.append(name);
    entries_.push_back(entry);
}

void EntryTable::Rename(std::size_t i, std::string_view name) {
    entries_[i].nameOffset = static_cast<std::uint32_t>(names_.size());
    entries_[i].nameLength = static_cast<std::uint16_t>(name.size());
    names_.append(name);
}

void EntryTable::Reverse() { std::reverse(entries_.begin(), entries_.end()); }

std::size_t EntryTable::MemoryBytes() const {
    return sizeof(*this) + names_.capacity() + entries_.capacity() * sizeof(ListEntry);
}

}  // namespace wexal
