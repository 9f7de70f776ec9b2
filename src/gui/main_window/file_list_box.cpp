#include "main_window/file_list_box.h"

#include <QApplication>
#include <QFile>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

namespace wexal {

namespace {

const QColor kFolderColour(0, 255, 255);
const QColor kFileColour(255, 255, 255);
constexpr int kTextLeft = 5;
constexpr int kUnmarkedFillLeft = 12;
constexpr int kFillRightGap = 5;

}  // namespace

FileListItems::FileListItems(const FileListModel& list, QObject* parent)
    : QAbstractListModel(parent), list_(list) {}

int FileListItems::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : list_.RowCount();
}

QVariant FileListItems::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
        return QString::fromStdString(list_.RowText(index.row()));
    }
    return {};
}

FileRowDelegate::FileRowDelegate(const FileListModel& list, QObject* parent)
    : QStyledItemDelegate(parent), list_(list) {}

QSize FileRowDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
    return {columnWidth_, FileListModel::kRowHeight};
}

void FileRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    const int row = index.row();
    const std::string text = list_.RowText(row);
    // The reading row stands alone; no cursor is drawn on it.
    const bool reading = list_.IsReading();
    const QColor colour = !reading && list_.IsFolderColour(row) ? kFolderColour : kFileColour;
    const bool cursor = !reading && row == list_.Cursor();

    const QRect& r = option.rect;
    const int fillLeft =
        r.left() + (!text.empty() && text[0] == '*' ? kTextLeft : kUnmarkedFillLeft);
    const QRect fill(QPoint(fillLeft, r.top()), QPoint(r.right() - kFillRightGap, r.bottom()));

    painter->save();
    painter->fillRect(r, Qt::black);
    painter->fillRect(fill, cursor ? colour : QColor(Qt::black));
    painter->setClipRect(fill);
    painter->setFont(option.font);
    painter->setPen(cursor ? QColor(Qt::black) : colour);
    painter->drawText(QRect(r.left() + kTextLeft, r.top(), r.width(), r.height()),
                      Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      QString::fromStdString(text));
    painter->setClipping(false);
    if (cursor && (option.state & QStyle::State_HasFocus)) {
        // A dotted frame that inverts what lies under it, so it shows on
        // the coloured fill and on the black mark column alike.
        QPen pen(Qt::white, 1, Qt::DotLine);
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        painter->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        painter->drawRect(r.adjusted(0, 0, -1, -1));
    }
    painter->restore();
}

FileListBox::FileListBox(const FileListModel& list, QWidget* parent)
    : QListView(parent),
      list_(list),
      items_(new FileListItems(list, this)),
      delegate_(new FileRowDelegate(list, this)) {
    setObjectName(QStringLiteral("ListBox1"));
    setModel(items_);
    setItemDelegate(delegate_);
    setViewMode(QListView::ListMode);
    setFlow(QListView::TopToBottom);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setLayoutMode(QListView::SinglePass);
    setUniformItemSizes(true);
    setSpacing(0);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerItem);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setDragEnabled(false);
    setAcceptDrops(true);
    setFrameShape(QFrame::NoFrame);
}

void FileListBox::SetColumns(int columns) {
    columns_ = columns < 1 ? 1 : columns;
    UpdateColumnWidth();
}

void FileListBox::UpdateColumnWidth() {
    delegate_->SetColumnWidth(std::max(1, viewport()->width() / columns_));
    scheduleDelayedItemsLayout();
}

void FileListBox::resizeEvent(QResizeEvent* event) {
    QListView::resizeEvent(event);
    UpdateColumnWidth();
}

int FileListBox::VisibleRowsPerColumn() const {
    // The columns keep room for the horizontal scroll bar whether it shows
    // or not, so that they do not change when it comes and goes.
    int height = maximumViewportSize().height();
    if (horizontalScrollBarPolicy() == Qt::ScrollBarAsNeeded) {
        height -= style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, horizontalScrollBar());
    }
    return std::max(1, height / FileListModel::kRowHeight);
}

void FileListBox::Rebuild(const std::function<void()>& change) {
    items_->BeginReset();
    resetting_ = true;
    change();
    resetting_ = false;
    items_->EndReset();
    unsetCursor();
    doItemsLayout();
    ShowCursor();
}

void FileListBox::ShowReading() {
    if (!resetting_) return;
    items_->EndReset();
    setCursor(Qt::WaitCursor);
    doItemsLayout();
    viewport()->repaint();
    items_->BeginReset();
}

void FileListBox::ShowCursor() {
    const int row = list_.Cursor();
    if (row >= 0 && row < items_->rowCount()) {
        const QModelIndex index = items_->index(row);
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        scrollTo(index);
    }
    viewport()->update();
}

void FileListBox::RevealRow(int row) {
    if (row >= 0 && row < items_->rowCount()) scrollTo(items_->index(row));
}

void FileListBox::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    if (event->button() != Qt::LeftButton) return;
    const QModelIndex index = indexAt(event->position().toPoint());
    pressRow_ = index.isValid() ? index.row() : -1;
    pressAt_ = event->position().toPoint();
    dragging_ = false;
    if (index.isValid()) emit RowClicked(index.row(), event->modifiers() & Qt::ShiftModifier);
}

void FileListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit DoubleClicked();
}

// Dragging neither selects rows nor moves them: a drag onto a folder row is
// a command of its own, reported as rows.
void FileListBox::mouseMoveEvent(QMouseEvent* event) {
    if (pressRow_ < 0 || !(event->buttons() & Qt::LeftButton)) return;
    const QPoint at = event->position().toPoint();
    if (!dragging_) {
        if ((at - pressAt_).manhattanLength() < QApplication::startDragDistance()) return;
        dragging_ = true;
    }
    const QModelIndex index = indexAt(at);
    emit RowDragMoved(index.isValid() ? index.row() : -1);
}

void FileListBox::mouseReleaseEvent(QMouseEvent* event) {
    const bool dropped = dragging_ && event->button() == Qt::LeftButton;
    pressRow_ = -1;
    dragging_ = false;
    unsetCursor();
    if (!dropped) return;
    const QModelIndex index = indexAt(event->position().toPoint());
    emit RowDropped(index.isValid() ? index.row() : -1);
}

void FileListBox::ShowDragCursor(bool accepted) {
    if (dragging_) setCursor(accepted ? Qt::DragMoveCursor : Qt::ForbiddenCursor);
}

namespace {

std::vector<std::string> LocalFiles(const QMimeData* data) {
    std::vector<std::string> paths;
    if (data == nullptr || !data->hasUrls()) return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) paths.push_back(QFile::encodeName(url.toLocalFile()).toStdString());
    }
    return paths;
}

}  // namespace

void FileListBox::dragEnterEvent(QDragEnterEvent* event) {
    if (LocalFiles(event->mimeData()).empty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void FileListBox::dragMoveEvent(QDragMoveEvent* event) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

void FileListBox::dropEvent(QDropEvent* event) {
    std::vector<std::string> paths = LocalFiles(event->mimeData());
    if (paths.empty()) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // The drop is finished first: the desktop's drag waits for it.
    QTimer::singleShot(0, this, [this, paths = std::move(paths)] { emit FilesDropped(paths); });
}

}  // namespace wexal
