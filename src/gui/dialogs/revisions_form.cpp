#include "dialogs/revisions_form.h"

#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QStyledItemDelegate>
#include <algorithm>
#include <optional>

#include "config/settings.h"
#include "dialogs/tool_dialog.h"
#include "files/file_list_model.h"
#include "files/file_names.h"
#include "platform/message_service.h"
#include "seams/widget_style.h"

namespace wexal {

namespace {

constexpr const char* kTitle = "版の履歴";
constexpr int kTextLeft = 5;
const QColor kCurrentColour(0, 255, 255);
const QColor kRevisionColour(255, 255, 255);
const QColor kDimColour(0xC0, 0xC0, 0xC0);

QColor ColourOf(RevisionRowKind kind) {
    switch (kind) {
        case RevisionRowKind::Current:
            return kCurrentColour;
        case RevisionRowKind::Revision:
            return kRevisionColour;
        case RevisionRowKind::Unreadable:
        case RevisionRowKind::Note:
            break;
    }
    return kDimColour;
}

// Rows drawn as the main list draws its own: coloured text on black, the
// cursor row filled with its colour.
class RevisionRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const int width = option.fontMetrics.horizontalAdvance(index.data().toString());
        return {width + 2 * kTextLeft, FileListModel::kRowHeight};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QColor colour = index.data(Qt::ForegroundRole).value<QColor>();
        const bool cursor = option.state & QStyle::State_Selected;
        const QRect& r = option.rect;
        painter->save();
        painter->fillRect(r, cursor ? colour : QColor(Qt::black));
        painter->setFont(option.font);
        painter->setPen(cursor ? QColor(Qt::black) : colour);
        painter->drawText(r.adjusted(kTextLeft, 0, 0, 0),
                          Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                          index.data().toString());
        painter->restore();
    }
};

std::optional<RevisionKey> KeyOf(const QKeyEvent& event) {
    switch (event.key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return RevisionKey::Enter;
        case Qt::Key_R:
            return RevisionKey::Restore;
        case Qt::Key_W:
            return RevisionKey::Compare;
        case Qt::Key_Escape:
            return RevisionKey::Escape;
        default:
            break;
    }
    // Other letters do nothing: the list has no search by typing.
    if (event.key() >= Qt::Key_A && event.key() <= Qt::Key_Z) return RevisionKey::Other;
    return std::nullopt;
}

}  // namespace

TRevisionsForm::TRevisionsForm(RevisionsContext context, QWidget* parent)
    : QDialog(parent), context_(std::move(context)) {
    CreateControls();
}

void TRevisionsForm::CreateControls() {
    const QString title = QString::fromUtf8(kTitle);
    SetUpToolDialog(*this, "RevisionsForm", title, {640, 356});
    setAccessibleName(title);
    Label1 = AddPlainLabel(this, "Label1", {12, 8, 616, 20}, QString());
    ListBox1 = AddControl<QListWidget>(this, {"ListBox1", {12, 32, 616, 312}, title});
    ListBox1->setFont(MonoFont(16));
    Paint(ListBox1, Qt::white, Qt::black);
    ListBox1->setItemDelegate(new RevisionRowDelegate(ListBox1));
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListBox1->setUniformItemSizes(true);
    ListBox1->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    Label1->setBuddy(ListBox1);
    ListBox1->installEventFilter(this);
    connect(ListBox1, &QListWidget::itemDoubleClicked, this,
            [this] { ListBox1Key(RevisionKey::Enter); });
}

void TRevisionsForm::Open(const std::string& name, const std::filesystem::path& file) {
    const bool sameFile = file == file_;
    name_ = name;
    file_ = file;
    Label1->setText(QString::fromStdString(DisplayName(name)));
    Label1->setAccessibleName(Label1->text());
    // Back from the view on the same file, the cursor is where it was.
    if (!sameFile) ListBox1->clear();
    ReadRows({});
    show();
}

void TRevisionsForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CentreOnMainWindow(*this, context_.mainWindow);
    ListBox1->setFocus();
}

void TRevisionsForm::ReadRows(const std::filesystem::path& keepOn) {
    const int was = std::max(ListBox1->currentRow(), 0);
    rows_ = ReadRevisionRows(file_);
    ListBox1->clear();
    int cursor = std::min(was, static_cast<int>(rows_.size()) - 1);
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const RevisionRow& row = rows_[i];
        const QString text = QString::fromStdString(row.text);
        auto* item = new QListWidgetItem(text, ListBox1);
        item->setData(Qt::AccessibleTextRole, text);
        item->setData(Qt::ForegroundRole, ColourOf(row.kind));
        if (!keepOn.empty() && row.path == keepOn) cursor = static_cast<int>(i);
    }
    ListBox1->setCurrentRow(cursor);
}

bool TRevisionsForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListBox1 && event->type() == QEvent::KeyPress) {
        if (const auto key = KeyOf(*static_cast<QKeyEvent*>(event))) {
            ListBox1Key(*key);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TRevisionsForm::ListBox1Key(RevisionKey key) {
    const int cursor = ListBox1->currentRow();
    if (cursor < 0 || cursor >= static_cast<int>(rows_.size())) return;
    const RevisionRow row = rows_[static_cast<std::size_t>(cursor)];
    switch (DecideRevisionKey(key, row.kind)) {
        case RevisionAction::Nothing:
            break;
        case RevisionAction::Close:
            reject();
            break;
        case RevisionAction::Show:
            // The view is the main window's; it takes the keys from here on.
            accept();
            context_.showInView(row);
            break;
        case RevisionAction::AskRestore:
            Restore(row);
            break;
        case RevisionAction::Compare:
            // Over the history, which is there again when the comparison closes.
            context_.compareWithFile(name_, file_, row);
            break;
    }
}

void TRevisionsForm::Restore(const RevisionRow& row) {
    MessageService& messages = *context_.messages;
    if (!messages.AskYesNo(RestoreQuestion(row), DefaultCaption(MessageIcon::Question),
                           MessageIcon::Question)) {
        return;
    }
    const Status restored =
        RestoreRevision(file_, row.path, RevisionPolicyOf(context_.settings->KeepRevisions));
    ReadRows(row.path);
    context_.refreshList();
    if (!restored) {
        messages.Tell(restored.message, DefaultCaption(MessageIcon::Error), MessageIcon::Error);
    }
}

}  // namespace wexal
