#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace wexal {

// One listed folder or file. The name lives in the table's name store, so an
// entry is 32 bytes whatever the length of its name.
struct ListEntry {
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // seconds since the epoch
    std::uint32_t nameOffset = 0;
    std::uint32_t shortNumber = 0;  // see AssignShortNames
    std::uint16_t nameLength = 0;
};

// FileTable and FolderTable: entries in display order and their exact names.
class EntryTable {
public:
    void Clear();
    void Add(std::string_view name, std::uint64_t size, std::int64_t modified);
    // The order of a table that had every entry inserted at its front.
    void Reverse();
    // The entry under a new name; the old name's bytes stay in the store
    // until the table is cleared.
    void Rename(std::size_t i, std::string_view name);

    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }
    const ListEntry& operator[](std::size_t i) const { return entries_[i]; }
    std::vector<ListEntry>& entries() { return entries_; }
    const std::vector<ListEntry>& entries() const { return entries_; }

    std::string_view Name(const ListEntry& entry) const {
        return std::string_view(names_).substr(entry.nameOffset, entry.nameLength);
    }
    std::string_view Name(std::size_t i) const { return Name(entries_[i]); }

    std::size_t MemoryBytes() const;

private:
    std::string names_;
    std::vector<ListEntry> entries_;
};

}  // namespace wexal
