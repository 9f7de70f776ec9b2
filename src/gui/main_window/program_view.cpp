#include "main_window/program_view.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <climits>

#include "programs/program_text.h"
#include "platform/text_codec.h"

namespace wexal {

namespace {

constexpr int kPollMs = 100;
constexpr int kTabColumns = 8;
constexpr int kLeftMargin = 4;

// What the view draws of a line: cp932 decoded, tabs as blanks to the next
// stop of eight, a cut line with an ellipsis.
QString ShownLine(const ProgramText::Line& line) {
    const QString text = QString::fromStdString(Cp932ToUtf8Lossy(line.text));
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('\t')) {
            shown += QString(kTabColumns - shown.size() % kTabColumns, QLatin1Char(' '));
        } else {
            shown += c;
        }
    }
    if (line.cut) shown += QChar(0x2026);
    return shown;
}

int Clamped(std::size_t value) {
    return static_cast<int>(std::min<std::size_t>(value, static_cast<std::size_t>(INT_MAX)));
}

// The view for screen readers: a read-only text of the visible lines whose
// selection is the highlighted line.
class ProgramViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit ProgramViewAccessible(ProgramView* view)
        : QAccessibleWidget(view, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Value) return view()->VisibleText();
        return QAccessibleWidget::text(kind);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        s.multiLine = true;
        return s;
    }

    void selection(int selectionIndex, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = 0;
        const auto range = view()->HighlightedRange();
        if (selectionIndex == 0 && range) {
            *startOffset = range->first;
            *endOffset = range->second;
        }
    }
    int selectionCount() const override { return view()->HighlightedRange() ? 1 : 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override {
        const auto range = view()->HighlightedRange();
        return range ? range->first : 0;
    }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override {
        return view()->VisibleText().mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return static_cast<int>(view()->VisibleText().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = offset;
        return {};
    }

private:
    ProgramView* view() const { return static_cast<ProgramView*>(widget()); }
};

QAccessibleInterface* ProgramViewFactory(const QString&, QObject* object) {
    if (auto* view = qobject_cast<ProgramView*>(object)) return new ProgramViewAccessible(view);
    return nullptr;
}

}  // namespace

ProgramView::ProgramView(QWidget* parent) : QAbstractScrollArea(parent) {
    static const bool installed = [] {
        QAccessible::installFactory(ProgramViewFactory);
        return true;
    }();
    (void)installed;
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    poll_ = new QTimer(this);
    poll_->setInterval(kPollMs);
    connect(poll_, &QTimer::timeout, this, [this] { Poll(); });
}

ProgramView::~ProgramView() = default;

void ProgramView::SetProgram(std::shared_ptr<const ProgramText> program) {
    program_ = std::move(program);
    highlighted_.reset();
    troubleTold_ = false;
    visibleCount_ = -1;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    UpdateRange();
    if (program_) {
        poll_->start();
    } else {
        poll_->stop();
    }
    viewport()->update();
}

void ProgramView::Clear() { SetProgram(nullptr); }

std::size_t ProgramView::LineCount() const { return program_ ? program_->LinesIndexed() : 0; }

bool ProgramView::Indexed() const { return !program_ || program_->Indexed(); }

std::size_t ProgramView::TopLine() const {
    return static_cast<std::size_t>(std::max(verticalScrollBar()->value(), 0));
}

int ProgramView::LineHeight() const { return std::max(fontMetrics().lineSpacing(), 1); }

int ProgramView::VisibleLineCount() const {
    return std::max(1, (viewport()->height() + LineHeight() - 1) / LineHeight());
}

void ProgramView::UpdateRange() {
    const int whole = std::max(1, viewport()->height() / LineHeight());
    std::size_t lines = LineCount();
    // A line being sent ahead of the index still gets its place.
    if (highlighted_) lines = std::max(lines, *highlighted_ + 1);
    const int maximum = Clamped(lines > static_cast<std::size_t>(whole) ? lines - whole : 0);
    QScrollBar* bar = verticalScrollBar();
    if (bar->maximum() != maximum) bar->setRange(0, maximum);
    bar->setPageStep(whole);
    bar->setSingleStep(1);
}

void ProgramView::Poll() {
    if (!program_) {
        poll_->stop();
        return;
    }
    const bool indexed = program_->Indexed();
    UpdateRange();
    if (!visibleWhole_) {
        visibleCount_ = -1;
        viewport()->update();
    }
    if (troubleTold_) return;
    const HeldProgramFile& file = program_->file();
    QString trouble;
    if (!program_->IndexFailure().empty()) {
        trouble = QString::fromStdString("ファイルを読み込めません。（" + program_->IndexFailure() +
                                         "）\n" + file.path());
    } else if (!file.Unchanged()) {
        trouble = QString::fromStdString("表示中にファイルが変更されました。\n" + file.path());
    } else if (file.Deleted()) {
        trouble = QString::fromStdString(
            "表示中にファイルが削除されました。表示は開いた時の内容です。\n" + file.path());
    }
    if (!trouble.isEmpty()) {
        troubleTold_ = true;
        emit FileTrouble(trouble);
    }
    // Once indexed, the file is still looked at for changes, less often.
    if (indexed && poll_->interval() == kPollMs) poll_->setInterval(kPollMs * 10);
}

void ProgramView::ShowTop() {
    highlighted_.reset();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    viewport()->update();
    setFocus();
}

void ProgramView::HighlightLine(std::size_t index) {
    highlighted_ = index;
    UpdateRange();
    // The line being sent is the second one from the top, the one before it above.
    verticalScrollBar()->setValue(Clamped(index > 0 ? index - 1 : 0));
    viewport()->update();
    TellAccessibility();
}

const QStringList& ProgramView::Visible() const {
    const std::size_t top = TopLine();
    const int count = VisibleLineCount();
    if (visibleCount_ == count && visibleTop_ == top) return visible_;
    visible_.clear();
    visibleTop_ = top;
    visibleCount_ = count;
    visibleWhole_ = true;
    if (!program_) return visible_;
    const auto lines = program_->Lines(top, static_cast<std::size_t>(count), kShownLineBytes);
    for (const ProgramText::Line& line : lines) visible_.append(ShownLine(line));
    visibleWhole_ = static_cast<int>(lines.size()) == count || program_->Indexed();
    return visible_;
}

QString ProgramView::VisibleText() const { return Visible().join(QLatin1Char('\n')); }

std::optional<std::pair<int, int>> ProgramView::HighlightedRange() const {
    const QStringList& lines = Visible();
    if (!highlighted_ || *highlighted_ < visibleTop_) return std::nullopt;
    const std::size_t row = *highlighted_ - visibleTop_;
    if (row >= static_cast<std::size_t>(lines.size())) return std::nullopt;
    int start = 0;
    for (std::size_t i = 0; i < row; ++i) start += static_cast<int>(lines[static_cast<int>(i)].size()) + 1;
    return std::make_pair(start, start + static_cast<int>(lines[static_cast<int>(row)].size()));
}

QString ProgramView::HighlightedText() const {
    const auto range = HighlightedRange();
    if (!range) return {};
    return VisibleText().mid(range->first, range->second - range->first);
}

void ProgramView::TellAccessibility() {
    if (!QAccessible::isActive()) return;
    const auto range = HighlightedRange();
    if (!range) return;
    QAccessibleTextSelectionEvent event(this, range->first, range->second);
    QAccessible::updateAccessibility(&event);
}

void ProgramView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const QStringList& lines = Visible();
    const int height = LineHeight();
    const int ascent = fontMetrics().ascent();
    const int left = kLeftMargin - horizontalScrollBar()->value();
    const QPalette& pal = palette();
    int widest = 0;
    for (int row = 0; row < lines.size(); ++row) {
        const int y = row * height;
        const bool lit = highlighted_ && *highlighted_ == visibleTop_ + static_cast<std::size_t>(row);
        const int width = fontMetrics().horizontalAdvance(lines[row]);
        widest = std::max(widest, width);
        if (lit) {
            painter.fillRect(QRect(left, y, std::max(width, 1), height), pal.color(QPalette::Highlight));
            painter.setPen(pal.color(QPalette::HighlightedText));
        } else {
            painter.setPen(pal.color(QPalette::Text));
        }
        painter.drawText(left, y + ascent, lines[row]);
    }
    QScrollBar* bar = horizontalScrollBar();
    const int maximum = std::max(0, widest + 2 * kLeftMargin - viewport()->width());
    // The range only grows while the lines on show change, so it never jumps under the reader.
    if (maximum > bar->maximum()) bar->setRange(0, maximum);
    bar->setPageStep(viewport()->width());
    bar->setSingleStep(fontMetrics().horizontalAdvance(QLatin1Char('0')));
}

void ProgramView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateRange();
}

void ProgramView::scrollContentsBy(int, int) { viewport()->update(); }

void ProgramView::keyPressEvent(QKeyEvent* event) {
    QScrollBar* bar = verticalScrollBar();
    const bool control = event->modifiers().testFlag(Qt::ControlModifier);
    switch (event->key()) {
        case Qt::Key_Up: bar->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
        case Qt::Key_Down: bar->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
        case Qt::Key_PageUp: bar->triggerAction(QAbstractSlider::SliderPageStepSub); break;
        case Qt::Key_PageDown: bar->triggerAction(QAbstractSlider::SliderPageStepAdd); break;
        case Qt::Key_Home:
            if (control) bar->setValue(0);
            horizontalScrollBar()->setValue(0);
            break;
        case Qt::Key_End:
            if (control) {
                UpdateRange();
                bar->setValue(bar->maximum());
            }
            break;
        case Qt::Key_Left:
            horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
            break;
        case Qt::Key_Right:
            horizontalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
            break;
        default: QAbstractScrollArea::keyPressEvent(event); return;
    }
    event->accept();
}

}  // namespace wexal
