#pragma once

#include <cstddef>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "config/settings.h"
#include "files/entry_table.h"
#include "files/file_sort.h"
#include "files/list_marks.h"
#include "files/list_row_format.h"
#include "files/row_kind.h"

namespace wexal {

// The rows of ListBox1: an optional parent row "..", the folder rows
// (FolderTable), the file rows (FileTable); the cursor, the marks, the page
// moves and the two information lines. The window paints the visible rows
// from RowText and turns keys and clicks into the calls below.
//
// Nothing here is proportional to the number of rows except a refresh that
// reads or sorts: row texts are made when asked for, marks are kept by row.
class FileListModel {
public:
    // RefreshFileList flags.
    static constexpr unsigned kKeepPattern = 1;
    static constexpr unsigned kKeepCursor = 2;
    static constexpr unsigned kSortOnly = 4;
    static constexpr int kRowHeight = 16;  // pixels; RowsPerColumn = client height / this

    // settings must outlive the model; it is read at every refresh.
    explicit FileListModel(const Settings& settings, int markedFileLimit = 100);

    // --- Reading and rebuilding ---------------------------------------------

    // Rebuilds the list from Setting/DirPath (or the narrowing SearchPattern
    // with kKeepPattern); with kKeepCursor the cursor stays on the file it was
    // on; kKeepCursor | kSortOnly re-sorts without reading the folder. Marks
    // never survive. While RefreshSuspended, only a sort-only refresh acts.
    void RefreshFileList(unsigned flags = 0);

    // What is enumerated: the folder + "/" + a pattern ("*.*", or a narrowing
    // pattern of the find command, which then refreshes with kKeepPattern).
    const std::string& SearchPattern() const { return searchPattern_; }
    void SetSearchPattern(std::string pattern) { searchPattern_ = std::move(pattern); }

    bool RefreshSuspended() const { return refreshSuspended_; }
    void SetRefreshSuspended(bool suspended) { refreshSuspended_ = suspended; }

    // The name the last refresh put the cursor back on ("" for none).
    const std::string& ReselectName() const { return reselectName_; }

    // Called once the folder is about to be read; while it runs the list is
    // the single row kReadingRow and the folder line counts "????", so the
    // window can repaint both (and show a busy cursor).
    void SetReadingHook(std::function<void()> hook) { readingHook_ = std::move(hook); }
    bool IsReading() const { return reading_; }

    // --- Rows ---------------------------------------------------------------

    int RowCount() const;
    bool HasParentRow() const { return hasParentRow_; }
    int FolderCount() const { return static_cast<int>(folders_.size()); }
    int FileCount() const { return static_cast<int>(files_.size()); }
    int FirstFileRow() const { return (hasParentRow_ ? 1 : 0) + FolderCount(); }
    // The FileTable index of a file row.
    int FileIndexOfRow(int row) const { return row - FirstFileRow(); }
    RowKind KindOfRow(int row) const;
    // Aqua rows: the parent and the folders.
    bool IsFolderColour(int row) const { return row < FirstFileRow(); }

    // The row as the list shows it, mark column first, op3 applied.
    std::string RowText(int row) const;
    bool IsMarked(int row) const { return marks_.IsMarked(row); }

    // The exact name (bytes) of a folder or file row, "" for the parent row
    // and rows that do not exist; every command acts through this, never
    // through the row text.
    std::string FileNameOfRow(int row) const;
    // The listed folder joined with that name; "" where the name is "".
    std::string FullPathOfRow(int row) const;
    // The folder the rows belong to (exact bytes).
    const std::string& ListedFolder() const { return listedFolder_; }

    const EntryTable& FileTable() const { return files_; }
    // A file row shows a name it was renamed to, until the next rebuild (a
    // rename of several files refreshes once, at the end).
    void ShowRenamedFile(int row, std::string_view name);
    const EntryTable& FolderTable() const { return folders_; }
    // FolderTable time text: "" when the folder's time is zero.
    std::string ModifiedText(int row) const;

    // --- Information lines --------------------------------------------------

    std::string FolderLine() const;         // Label7
    std::string RowDetails(int row) const;  // Label8 text of a row, "" for none
    const std::string& DetailsLine() const { return detailsLine_; }  // Label8 now
    void ShowRowDetails(int row) { detailsLine_ = RowDetails(row); }

    // --- Cursor and pages ---------------------------------------------------

    int Cursor() const { return cursor_; }
    int AnchorRow() const { return anchorRow_; }
    // A move made by a command (T, Z, pages): the details line follows.
    void MoveCursor(int row);
    // A move made by the user (arrow keys, a click): AnchorRow follows too.
    void UserMoveCursor(int row);
    // A left click on a row; with Shift the rows from AnchorRow to it are marked.
    void ClickRow(int row, bool shift);

    int RowsPerColumn() const { return rowsPerColumn_; }
    void SetRowsPerColumn(int rows) { rowsPerColumn_ = rows < 1 ? 1 : rows; }
    int ListColumns() const { return layout_.listColumn; }
    int PageSize() const { return layout_.listColumn * rowsPerColumn_; }
    void PageUp();
    // Returns the row to scroll into view before the cursor lands (the top
    // row of the last column of the next page), -1 when there is none.
    int PageDown();

    // --- Marks --------------------------------------------------------------

    int MarkedFileLimit() const { return marks_.Limit(); }
    int MarkedCount() const { return marks_.MarkedCount(); }
    const std::vector<int>& MarkedRows() const { return marks_.MarkedRows(); }
    // Enter on a file row: toggles its mark (up to MarkedFileLimit), then the
    // cursor goes one row down. false, and nothing done, on any other row.
    bool ToggleMark();
    void MarkFromCursor();  // Home
    void UnmarkAll();       // End
    void ClearMarks() { marks_.ClearMarks(); }
    void CompactMarks() { marks_.CompactMarks(); }
    // The exact names of the marked files in marking order; their rows lose
    // the "*", the slots and MarkedCount stay for the caller to clear.
    std::vector<std::string> CollectMarkedFiles();

    // Bytes held by the model (tables, names, marks).
    std::size_t MemoryBytes() const;

private:
    std::string CursorFileName(bool keepCursor) const;
    void ReadFailed();
    void Rebuild();
    void PlaceCursor(bool keepCursor);
    std::string ShortBaseOf(const EntryTable& table, std::size_t index) const;

    const Settings& settings_;
    EntryTable folders_;
    EntryTable files_;
    ListMarks marks_;
    RowLayout layout_;
    SortKey sortKey_ = SortKey::None;
    std::function<void()> readingHook_;

    std::string searchPattern_;
    std::string listedFolder_;
    std::string mask_;
    std::string reselectName_;
    std::string parentDate_;
    std::string detailsLine_;
    bool hasParentRow_ = false;
    bool parentDated_ = false;
    bool refreshSuspended_ = false;
    bool reading_ = false;
    int cursor_ = 0;
    int anchorRow_ = 0;
    int rowsPerColumn_ = 1;
};

}  // namespace wexal
