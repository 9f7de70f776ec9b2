#include "dialogs/compare_form.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

#include "dialogs/tool_dialog.h"
#include "platform/message_service.h"
#include "seams/widget_style.h"

namespace wexal {

namespace {

constexpr const char* kTitle = "比較";
constexpr const char* kHelp =
    "N:次の違い　P:前の違い　B:空白無視　J:N番号無視　C:大小無視　ESC:閉じる";
constexpr int kLeftMargin = 6;
constexpr int kBarWidth = 3;
constexpr int kShiftStep = 8;  // columns Left and Right move the text by
constexpr int kWheelRows = 3;
// Every comparison starts from these: blanks are how punched programs differ.
constexpr CompareOptions kDefaultOptions{true, false, false};

// Bright text on a dark band of its own colour, so that a kind of row reads
// on the black background the main list uses.
struct RowColours {
    QColor text;
    QColor band;
};
RowColours ColoursOf(CompareRowKind kind) {
    switch (kind) {
        case CompareRowKind::Removed:
            return {QColor(255, 120, 120), QColor(0x4A, 0x00, 0x00)};
        case CompareRowKind::Added:
            return {QColor(120, 255, 120), QColor(0x00, 0x40, 0x00)};
        case CompareRowKind::Changed:
            return {QColor(255, 255, 80), QColor(0x3C, 0x3C, 0x00)};
        case CompareRowKind::Same:
            break;
    }
    return {QColor(255, 255, 255), QColor(Qt::black)};
}
const QColor kFillerColour(0x30, 0x30, 0x30);
const QColor kNumberColour(0xA0, 0xA0, 0xA0);
const QColor kCurrentColour(0, 255, 255);  // the list's cursor colour

QString Text(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

const CompareRows& NoRows() {
    static const CompareRows none;
    return none;
}

}  // namespace

ComparePane::ComparePane(const QString& accessibleName, QWidget* parent) : QWidget(parent) {
    setAccessibleName(accessibleName);
    setFocusPolicy(Qt::StrongFocus);
    setFont(MonoFont(14));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ComparePane::SetRows(std::vector<ComparePaneRow> rows, int shiftColumns) {
    rows_ = std::move(rows);
    shift_ = shiftColumns;
    const QString text = VisibleText();
    if (text != accessibleDescription()) setAccessibleDescription(text);
    update();
}

QString ComparePane::VisibleText() const {
    QStringList lines;
    for (const ComparePaneRow& row : rows_) lines << Text(row.cell.Drawn());
    return lines.join(QLatin1Char('\n'));
}

void ComparePane::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const QFontMetrics metrics = fontMetrics();
    const int baseline = (kRowHeight - metrics.height()) / 2 + metrics.ascent();
    const int shift = shift_ * metrics.horizontalAdvance(QLatin1Char('0'));
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const ComparePaneRow& row = rows_[i];
        const CompareCell& cell = row.cell;
        const int y = static_cast<int>(i) * kRowHeight;
        const QRect band(0, y, width(), kRowHeight);
        const RowColours colours = ColoursOf(row.kind);
        painter.setClipping(false);
        painter.fillRect(band, cell.filler ? kFillerColour : colours.band);
        if (row.current) painter.fillRect(0, y, kBarWidth, kRowHeight, kCurrentColour);
        if (cell.filler) continue;

        int x = kLeftMargin;
        const QString number = Text(cell.number);
        painter.setPen(kNumberColour);
        painter.drawText(x, y + baseline, number);
        x += metrics.horizontalAdvance(number);
        const QString mark = QLatin1Char(' ') + Text(cell.mark) + QLatin1Char(' ');
        painter.setPen(colours.text);
        painter.drawText(x, y + baseline, mark);
        x += metrics.horizontalAdvance(mark);

        // The text scrolls sideways under the line number, which stays.
        painter.setClipRect(QRect(x, y, width() - x, kRowHeight));
        x -= shift;
        const std::string_view text = cell.text;
        const QString before = Text(text.substr(0, cell.changedBegin));
        const QString changed =
            Text(text.substr(cell.changedBegin, cell.changedEnd - cell.changedBegin));
        const QString after = Text(text.substr(cell.changedEnd));
        painter.drawText(x, y + baseline, before);
        x += metrics.horizontalAdvance(before);
        if (!changed.isEmpty()) {
            // The characters that differ: the row's colour turned round.
            const int width = metrics.horizontalAdvance(changed);
            painter.fillRect(QRect(x, y, width, kRowHeight), colours.text);
            painter.setPen(Qt::black);
            painter.drawText(x, y + baseline, changed);
            painter.setPen(colours.text);
            x += width;
        } else if (row.kind == CompareRowKind::Changed) {
            // Nothing of this side changed: the other side has something
            // more here; a thin bar says where.
            painter.fillRect(QRect(x - 1, y, 2, kRowHeight), colours.text);
        }
        painter.drawText(x, y + baseline, after);
    }
}

TCompareForm::TCompareForm(CompareContext context, QWidget* parent)
    : QDialog(parent), context_(context) {
    CreateControls();
}

TCompareForm::~TCompareForm() {
    for (auto& [generation, job] : jobs_) job.stop->store(true);
    for (auto& [generation, job] : jobs_) job.thread.join();
}

void TCompareForm::CreateControls() {
    const QString title = QString::fromUtf8(kTitle);
    SetUpToolDialog(*this, "CompareForm", title, {704, 462});
    setAccessibleName(title);
    // Empty at first, so that the labels are read as their text says later.
    Label1 = AddPlainLabel(this, "Label1", {8, 6, 336, 18}, QString());
    Label2 = AddPlainLabel(this, "Label2", {348, 6, 336, 18}, QString());
    LeftPane = new ComparePane(QStringLiteral("比較 左"), this);
    Place(*LeftPane, {"LeftPane", {8, 26, 336, 384}});
    RightPane = new ComparePane(QStringLiteral("比較 右"), this);
    Place(*RightPane, {"RightPane", {348, 26, 336, 384}});
    ScrollBar1 = AddControl<QScrollBar>(this, {"ScrollBar1", {686, 26, 14, 384}}, Qt::Vertical);
    ScrollBar1->setFocusPolicy(Qt::NoFocus);
    StatusLabel = AddPlainLabel(this, "StatusLabel", {8, 416, 692, 18}, QString());
    HelpLabel = AddPlainLabel(this, "HelpLabel", {8, 438, 692, 18}, QString::fromUtf8(kHelp));
    for (ComparePane* pane : {LeftPane, RightPane}) pane->installEventFilter(this);
    connect(ScrollBar1, &QScrollBar::valueChanged, this, [this](int value) {
        if (static_cast<std::size_t>(value) == scroll_.top()) return;
        scroll_.ScrollTo(static_cast<std::size_t>(value));
        ShowRows();
    });
}

void TCompareForm::Open(CompareSide left, CompareSide right) {
    Stop();
    ++session_;
    left_ = std::move(left);
    right_ = std::move(right);
    leftProgram_.reset();
    rightProgram_.reset();
    options_ = kDefaultOptions;
    shift_ = 0;
    for (auto [label, side] : {std::pair{Label1, &left_}, std::pair{Label2, &right_}}) {
        const QString caption = QString::fromStdString(side->caption);
        label->setText(label->fontMetrics().elidedText(caption, Qt::ElideMiddle, label->width()));
        label->setAccessibleName(caption);
    }
    show();
    Run();
}

const CompareRows& TCompareForm::Rows() const { return outcome_ ? outcome_->rows : NoRows(); }

void TCompareForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    CentreOnMainWindow(*this, context_.mainWindow);
    LeftPane->setFocus();
}

void TCompareForm::Run() {
    Stop();
    comparing_ = true;
    state_ = kComparing;
    outcome_.reset();
    scroll_.Reset(0, static_cast<std::size_t>(LeftPane->RowCapacity()));
    const int generation = ++generation_;
    Job& job = jobs_[generation];
    job.stop = std::make_shared<std::atomic<bool>>(false);
    job.thread = std::thread([this, generation, session = session_, stop = job.stop,
                              left = left_.path, right = right_.path, leftProgram = leftProgram_,
                              rightProgram = rightProgram_, options = options_] {
        auto outcome = std::make_shared<CompareOutcome>(ComparePrograms(
            left, leftProgram, right, rightProgram, options,
            [&stop] { return stop->load(std::memory_order_relaxed); }));
        QMetaObject::invokeMethod(
            this, [this, generation, session, outcome] { Finished(generation, session, outcome); },
            Qt::QueuedConnection);
    });
    ShowRows();
}

void TCompareForm::Stop() {
    if (!comparing_) return;
    if (const auto job = jobs_.find(generation_); job != jobs_.end()) job->second.stop->store(true);
    comparing_ = false;
    state_ = kCompareStopped;
}

void TCompareForm::Finished(int generation, int session,
                            const std::shared_ptr<CompareOutcome>& outcome) {
    if (const auto job = jobs_.find(generation); job != jobs_.end()) {
        job->second.thread.join();
        jobs_.erase(job);
    }
    // What was read once is compared again with other options, not read again.
    if (session == session_) {
        if (!leftProgram_) leftProgram_ = outcome->left;
        if (!rightProgram_) rightProgram_ = outcome->right;
    }
    if (generation != generation_ || !comparing_) return;
    comparing_ = false;
    if (outcome->fileError) {
        QDialog::reject();
        context_.messages->Tell(outcome->comparison.error, DefaultCaption(MessageIcon::Error),
                                MessageIcon::Error);
        return;
    }
    state_ = outcome->comparison.error;
    if (state_.empty()) {
        outcome_ = outcome;
        numberColumns_ = NumberColumns(outcome->left->lines(), outcome->right->lines());
        scroll_.Reset(outcome->rows.size(), static_cast<std::size_t>(LeftPane->RowCapacity()));
    }
    ShowRows();
}

void TCompareForm::reject() {
    Stop();
    QDialog::reject();
}

bool TCompareForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == LeftPane || watched == RightPane) {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key != Qt::Key_Tab && key != Qt::Key_Backtab) {
                KeyDown(key);
                return true;
            }
        } else if (event->type() == QEvent::Wheel) {
            const int notches = static_cast<QWheelEvent*>(event)->angleDelta().y() / 120;
            scroll_.ScrollBy(-static_cast<long long>(notches) * kWheelRows);
            ShowRows();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TCompareForm::KeyDown(int key) {
    const CompareRows& rows = Rows();
    const auto page = static_cast<long long>(scroll_.visibleRows());
    switch (key) {
        case Qt::Key_Escape:
            if (!comparing_) {
                reject();
                return;
            }
            Stop();
            break;
        case Qt::Key_N:
            scroll_.NextDifference(rows);
            break;
        case Qt::Key_P:
            scroll_.PreviousDifference(rows);
            break;
        case Qt::Key_Down:
            scroll_.ScrollBy(1);
            break;
        case Qt::Key_Up:
            scroll_.ScrollBy(-1);
            break;
        case Qt::Key_PageDown:
            scroll_.ScrollBy(page);
            break;
        case Qt::Key_PageUp:
            scroll_.ScrollBy(-page);
            break;
        case Qt::Key_Home:
            scroll_.ToTop();
            shift_ = 0;
            break;
        case Qt::Key_End:
            scroll_.ToEnd();
            break;
        case Qt::Key_Left:
            shift_ = std::max(0, shift_ - kShiftStep);
            break;
        case Qt::Key_Right:
            shift_ = std::min(shift_ + kShiftStep, static_cast<int>(kCompareShownBytes));
            break;
        case Qt::Key_B:
            options_.ignoreBlanks = !options_.ignoreBlanks;
            Run();
            return;
        case Qt::Key_J:
            options_.ignoreN = !options_.ignoreN;
            Run();
            return;
        case Qt::Key_C:
            options_.ignoreCase = !options_.ignoreCase;
            Run();
            return;
        default:
            return;
    }
    ShowRows();
}

void TCompareForm::ShowRows() {
    const CompareRows& rows = Rows();
    scroll_.SetVisibleRows(static_cast<std::size_t>(LeftPane->RowCapacity()));
    std::pair<std::size_t, std::size_t> current{0, 0};
    if (scroll_.current()) current = rows.DifferenceRows(*scroll_.current());
    std::vector<ComparePaneRow> left, right;
    const std::size_t end = std::min(rows.size(), scroll_.top() + scroll_.visibleRows());
    for (std::size_t r = scroll_.top(); r < end; ++r) {
        const CompareRow row = rows.At(r);
        auto [leftCell, rightCell] = CompareCells(row, outcome_->left->lines(),
                                                  outcome_->right->lines(), numberColumns_);
        const bool lit = r >= current.first && r < current.second;
        left.push_back({row.kind, std::move(leftCell), lit});
        right.push_back({row.kind, std::move(rightCell), lit});
    }
    LeftPane->SetRows(std::move(left), shift_);
    RightPane->SetRows(std::move(right), shift_);

    const QSignalBlocker quiet(ScrollBar1);
    const std::size_t visible = scroll_.visibleRows();
    ScrollBar1->setRange(0, static_cast<int>(rows.size() > visible ? rows.size() - visible : 0));
    ScrollBar1->setPageStep(static_cast<int>(visible));
    ScrollBar1->setValue(static_cast<int>(scroll_.top()));

    const std::string status =
        outcome_ && state_.empty()
            ? CompareStatusText(outcome_->counts, rows.DifferenceCount(), scroll_.current(),
                                options_)
            : CompareStateText(state_, options_);
    StatusLabel->setText(QString::fromStdString(status));
}

}  // namespace wexal
