#include "files/file_sort.h"

#include <algorithm>

#include "files/file_names.h"

namespace wexal {

SortKey SortKeyOf(std::string_view fileSort, SortKey previous) {
    if (fileSort == "N") return SortKey::Name;
    if (fileSort == "S") return SortKey::Size;
    if (fileSort == "T") return SortKey::Time;
    return previous;
}

void SortFileTable(EntryTable& files, SortKey key, bool forward) {
    if (key == SortKey::None) return;
    auto byName = [&files](const ListEntry& a, const ListEntry& b) {
        return CompareNames(files.Name(a), files.Name(b)) < 0;
    };
    std::vector<ListEntry>& entries = files.entries();
    switch (key) {
        case SortKey::Name:
            if (forward) {
                std::sort(entries.begin(), entries.end(), byName);
            } else {
                std::sort(entries.begin(), entries.end(),
                          [&](const ListEntry& a, const ListEntry& b) { return byName(b, a); });
            }
            break;
        case SortKey::Size:
            std::sort(entries.begin(), entries.end(), [&](const ListEntry& a, const ListEntry& b) {
                if (a.size != b.size) return forward ? a.size > b.size : a.size < b.size;
                return byName(a, b);
            });
            break;
        case SortKey::Time:
            std::sort(entries.begin(), entries.end(), [&](const ListEntry& a, const ListEntry& b) {
                if (a.modified != b.modified) {
                    return forward ? a.modified < b.modified : a.modified > b.modified;
                }
                return byName(a, b);
            });
            break;
        case SortKey::None:
            break;
    }
}

void SortFolderTable(EntryTable& folders) {
    std::sort(folders.entries().begin(), folders.entries().end(),
              [&](const ListEntry& a, const ListEntry& b) {
                  return CompareNames(folders.Name(a), folders.Name(b)) < 0;
              });
}

}  // namespace wexal
