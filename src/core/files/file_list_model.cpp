#include "files/file_list_model.h"

#include <sys/stat.h>

#include <algorithm>

#include "files/file_names.h"
#include "files/folder_reader.h"
#include "files/short_names.h"
#include "platform/path_rules.h"

namespace wexal {

namespace {

RowLayout LayoutOf(const Settings& settings) {
    RowLayout layout;
    layout.listColumn = std::clamp(settings.ListColumn, 1, 5);
    layout.allFiles = settings.AllFiles == "Y";
    layout.longNamesOnly = settings.op4 == "Y";
    layout.upperCase = settings.op3 == "Y";
    return layout;
}

void AssignShortNumbers(EntryTable& folders, EntryTable& files) {
    std::vector<std::string_view> names;
    names.reserve(folders.size() + files.size());
    for (std::size_t i = 0; i < folders.size(); ++i) names.push_back(folders.Name(i));
    for (std::size_t i = 0; i < files.size(); ++i) names.push_back(files.Name(i));
    const std::vector<std::uint32_t> numbers = AssignShortNames(names);
    for (std::size_t i = 0; i < folders.size(); ++i) folders.entries()[i].shortNumber = numbers[i];
    for (std::size_t i = 0; i < files.size(); ++i) {
        files.entries()[i].shortNumber = numbers[folders.size() + i];
    }
}

}  // namespace

FileListModel::FileListModel(const Settings& settings, int markedFileLimit)
    : settings_(settings), marks_(markedFileLimit), layout_(LayoutOf(settings)) {}

std::string FileListModel::CursorFileName(bool keepCursor) const {
    if (!keepCursor || files_.empty() || cursor_ < FirstFileRow() || cursor_ >= RowCount()) {
        return {};
    }
    return std::string(files_.Name(static_cast<std::size_t>(FileIndexOfRow(cursor_))));
}

void FileListModel::RefreshFileList(unsigned flags) {
    const bool keepCursor = (flags & kKeepCursor) != 0;
    if ((flags & kSortOnly) != 0) {
        reselectName_ = CursorFileName(keepCursor);
        Rebuild();
        PlaceCursor(keepCursor);
        return;
    }
    if (refreshSuspended_) return;
    if ((flags & kKeepPattern) == 0) searchPattern_ = PathRules::Join(settings_.DirPath, "*.*");
    reselectName_ = CursorFileName(keepCursor);

    const std::size_t cut = searchPattern_.rfind(PathRules::kSeparator);
    FolderFilter filter;
    if (cut == std::string::npos) {
        listedFolder_.clear();
        filter.pattern = searchPattern_;
    } else {
        listedFolder_ =
            cut == 0 ? std::string(1, PathRules::kSeparator) : searchPattern_.substr(0, cut);
        filter.pattern = searchPattern_.substr(cut + 1);
    }
    filter.allFiles = settings_.AllFiles == "Y";
    filter.mask = settings_.Mask;
    mask_ = settings_.Mask;
    layout_ = LayoutOf(settings_);

    reading_ = true;
    if (readingHook_) readingHook_();
    const bool started = ReadFolder(listedFolder_, filter, folders_, files_);
    reading_ = false;
    if (!started) {
        ReadFailed();
        return;
    }
    // FileTable took every file at its front.
    files_.Reverse();
    SortFolderTable(folders_);
    AssignShortNumbers(folders_, files_);
    Rebuild();
    PlaceCursor(keepCursor);
}

void FileListModel::ReadFailed() {
    folders_.Clear();
    files_.Clear();
    marks_.UnmarkAll();
    detailsLine_.clear();
    hasParentRow_ = !PathRules::IsDriveRoot(listedFolder_);
    parentDated_ = false;
    parentDate_.clear();
    cursor_ = 0;
    anchorRow_ = 0;
}

void FileListModel::Rebuild() {
    sortKey_ = SortKeyOf(settings_.FileSort, sortKey_);
    SortFileTable(files_, sortKey_, settings_.SortMuki == "D");
    layout_ = LayoutOf(settings_);
    hasParentRow_ = !PathRules::IsDriveRoot(listedFolder_);
    parentDated_ = true;
    parentDate_.clear();
    struct stat info {};
    if (hasParentRow_ && ::stat(listedFolder_.c_str(), &info) == 0) {
        parentDate_ = FormatModified(info.st_mtime);
    }
}

void FileListModel::PlaceCursor(bool keepCursor) {
    int row = 0;
    if (!files_.empty() && keepCursor && !reselectName_.empty()) {
        for (std::size_t i = 0; i < files_.size(); ++i) {
            if (files_.Name(i) == reselectName_) {
                row = FirstFileRow() + static_cast<int>(i);
                break;
            }
        }
    }
    cursor_ = row;
    anchorRow_ = row;
    ShowRowDetails(row);
    marks_.UnmarkAll();
}

int FileListModel::RowCount() const {
    if (reading_) return 1;
    return FirstFileRow() + FileCount();
}

RowKind FileListModel::KindOfRow(int row) const {
    if (reading_ || row < 0 || row >= RowCount()) return RowKind::None;
    if (hasParentRow_ && row == 0) return RowKind::Parent;
    if (row < FirstFileRow()) return RowKind::Folder;
    return RowKind::File;
}

std::string FileListModel::ShortBaseOf(const EntryTable& table, std::size_t index) const {
    return ShortBase(table.Name(index), table[index].shortNumber);
}

std::string FileListModel::ModifiedText(int row) const {
    switch (KindOfRow(row)) {
        case RowKind::Folder: {
            const ListEntry& entry =
                folders_[static_cast<std::size_t>(row - (hasParentRow_ ? 1 : 0))];
            return entry.modified == 0 ? std::string() : FormatModified(entry.modified);
        }
        case RowKind::File:
            return FormatModified(files_[static_cast<std::size_t>(FileIndexOfRow(row))].modified);
        default:
            return {};
    }
}

std::string FileListModel::RowText(int row) const {
    if (reading_) return row == 0 ? std::string(kReadingRow) : std::string();
    std::string text;
    switch (KindOfRow(row)) {
        case RowKind::None:
            return {};
        case RowKind::Parent:
            text = ParentRowText(layout_.listColumn, parentDated_, parentDate_);
            break;
        case RowKind::Folder: {
            const auto index = static_cast<std::size_t>(row - (hasParentRow_ ? 1 : 0));
            text = FolderRowText(layout_, DisplayName(folders_.Name(index)),
                                 ShortBaseOf(folders_, index), ModifiedText(row));
            break;
        }
        case RowKind::File: {
            const auto index = static_cast<std::size_t>(FileIndexOfRow(row));
            text = FileRowText(layout_, marks_.IsMarked(row), DisplayName(files_.Name(index)),
                               ShortBaseOf(files_, index), std::to_string(files_[index].size),
                               ModifiedText(row));
            break;
        }
    }
    return layout_.upperCase ? UpperCaseListText(text) : text;
}

std::string FileListModel::FileNameOfRow(int row) const {
    switch (KindOfRow(row)) {
        case RowKind::Folder:
            return std::string(
                folders_.Name(static_cast<std::size_t>(row - (hasParentRow_ ? 1 : 0))));
        case RowKind::File:
            return std::string(files_.Name(static_cast<std::size_t>(FileIndexOfRow(row))));
        default:
            return {};
    }
}

void FileListModel::ShowRenamedFile(int row, std::string_view name) {
    if (KindOfRow(row) != RowKind::File) return;
    files_.Rename(static_cast<std::size_t>(FileIndexOfRow(row)), name);
    if (row == cursor_) ShowRowDetails(row);
}

std::string FileListModel::FullPathOfRow(int row) const {
    const std::string name = FileNameOfRow(row);
    if (name.empty()) return {};
    return PathRules::Join(listedFolder_, name);
}

std::string FileListModel::FolderLine() const {
    std::optional<std::size_t> count;
    if (!reading_) count = files_.size() + folders_.size();
    return FormatFolderLine(DisplayName(listedFolder_), mask_, layout_.allFiles, count);
}

std::string FileListModel::RowDetails(int row) const {
    switch (KindOfRow(row)) {
        case RowKind::Parent:
            return ParentRowDetails();
        case RowKind::Folder:
            return FolderRowDetails(DisplayName(FileNameOfRow(row)), ModifiedText(row));
        case RowKind::File:
            return FileRowDetails(DisplayName(FileNameOfRow(row)),
                                  files_[static_cast<std::size_t>(FileIndexOfRow(row))].size,
                                  ModifiedText(row));
        case RowKind::None:
            break;
    }
    return {};
}

void FileListModel::MoveCursor(int row) {
    const int count = RowCount();
    cursor_ = count == 0 ? 0 : std::clamp(row, 0, count - 1);
    ShowRowDetails(cursor_);
}

void FileListModel::UserMoveCursor(int row) {
    MoveCursor(row);
    anchorRow_ = cursor_;
}

void FileListModel::ClickRow(int row, bool shift) {
    if (row < 0 || row >= RowCount()) return;
    if (!shift) {
        UserMoveCursor(row);
        return;
    }
    MoveCursor(row);
    const int anchor = std::clamp(anchorRow_, 0, RowCount() - 1);
    marks_.MarkRange(std::min(anchor, row), std::max(anchor, row), FirstFileRow());
}

void FileListModel::PageUp() {
    const int count = RowCount();
    const int page = PageSize();
    if (count <= page) {
        MoveCursor(0);
        return;
    }
    MoveCursor(std::max(0, page * (cursor_ / page - 1)));
}

int FileListModel::PageDown() {
    const int count = RowCount();
    const int page = PageSize();
    if (count <= page) {
        MoveCursor(count - 1);
        return -1;
    }
    const int next = cursor_ / page + 1;
    const int reveal = rowsPerColumn_ * (layout_.listColumn * (next + 1) - 1);
    MoveCursor(std::min(page * next, count - 1));
    return reveal < count ? reveal : -1;
}

bool FileListModel::ToggleMark() {
    if (KindOfRow(cursor_) != RowKind::File) return false;
    marks_.Toggle(cursor_);
    UserMoveCursor(cursor_ + 1);
    return true;
}

void FileListModel::MarkFromCursor() {
    if (RowCount() == 0) {
        marks_.UnmarkAll();
        return;
    }
    const int last = std::min(RowCount() - 1, cursor_ + marks_.Limit() - 1);
    marks_.MarkRange(cursor_, last, FirstFileRow());
}

void FileListModel::UnmarkAll() { marks_.UnmarkAll(); }

std::vector<std::string> FileListModel::CollectMarkedFiles() {
    std::vector<std::string> names;
    for (int row : marks_.MarkedRows()) {
        if (KindOfRow(row) != RowKind::File) continue;
        names.push_back(FileNameOfRow(row));
        marks_.HideMark(row);
    }
    return names;
}

std::size_t FileListModel::MemoryBytes() const {
    return sizeof(*this) + folders_.MemoryBytes() + files_.MemoryBytes() - 2 * sizeof(EntryTable) +
           searchPattern_.capacity() + listedFolder_.capacity() + reselectName_.capacity() +
           detailsLine_.capacity() + marks_.MarkedRows().capacity() * sizeof(int) +
           marks_.ShownRows().size() * (sizeof(int) + 4 * sizeof(void*));
}

}  // namespace wexal
