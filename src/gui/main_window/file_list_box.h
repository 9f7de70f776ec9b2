#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <QStyledItemDelegate>
#include <functional>
#include <string>
#include <vector>

#include "files/file_list_model.h"

namespace wexal {

// The rows of a FileListModel as a Qt item model: the text of a row is what
// the list draws, so assistive technology reads each row as shown.
class FileListItems : public QAbstractListModel {
    Q_OBJECT

public:
    FileListItems(const FileListModel& list, QObject* parent);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void BeginReset() { beginResetModel(); }
    void EndReset() { endResetModel(); }

private:
    const FileListModel& list_;
};

// One row: aqua for the parent and folder rows, white for files, on black;
// the cursor row inverted; the mark column left unpainted on unmarked rows.
class FileRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    FileRowDelegate(const FileListModel& list, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    void SetColumnWidth(int width) { columnWidth_ = width; }

private:
    const FileListModel& list_;
    int columnWidth_ = 1;
};

// ListBox1: the file list in newspaper columns, 16-pixel rows. It paints the
// visible rows only; the cursor and the marks live in the FileListModel, the
// view follows them. Keys are dispatched by the main window; clicks are
// reported as rows.
class FileListBox : public QListView {
    Q_OBJECT

public:
    FileListBox(const FileListModel& list, QWidget* parent);

    // Number of newspaper columns across the list's width.
    void SetColumns(int columns);
    // Rows one column shows: the visible height in whole rows.
    int VisibleRowsPerColumn() const;

    // Runs a change of the model's rows; the view starts afresh afterwards.
    void Rebuild(const std::function<void()>& change);
    // Called by the model while it reads a folder inside Rebuild: shows the
    // single reading row and the busy cursor at once.
    void ShowReading();
    // Puts the view's current row on the model's cursor, scrolled into view.
    void ShowCursor();
    // Scrolls a row into view without moving the cursor.
    void RevealRow(int row);

    // While a row is dragged: the cursor says whether the row under the
    // pointer takes the drop.
    void ShowDragCursor(bool accepted);

signals:
    void RowClicked(int row, bool shift);
    void DoubleClicked();
    // A row dragged with the left button: the row under the pointer (-1 for
    // none) as it moves, and where the button was let go.
    void RowDragMoved(int row);
    void RowDropped(int row);
    // Files dropped onto the list from the desktop, as local paths (bytes).
    void FilesDropped(const std::vector<std::string>& paths);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void UpdateColumnWidth();

    const FileListModel& list_;
    FileListItems* items_;
    FileRowDelegate* delegate_;
    int columns_ = 2;
    bool resetting_ = false;
    int pressRow_ = -1;
    QPoint pressAt_;
    bool dragging_ = false;
};

}  // namespace wexal
