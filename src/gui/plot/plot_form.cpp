#include "plot/plot_form.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <filesystem>
#include <system_error>

#include "config/settings.h"
#include "files/file_names.h"
#include "platform/message_service.h"
#include "platform/text_codec.h"
#include "plot/plot_canvas.h"
#include "plot/plot_loader.h"
#include "seams/widget_style.h"

namespace wexal {

namespace {

constexpr int kTickMs = 40;
constexpr int kFollowMs = 250;
constexpr int kLineRetryMs = 200;
constexpr int kLineRetries = 50;
constexpr std::size_t kShownLineBytes = 4096;
constexpr double kZoomStep = 1.25;
constexpr double kPanFraction = 0.1;

const QString kHelp = QStringLiteral(
    "1-4:視点  +/-:拡大縮小  矢印:移動  Home:全体  D:小数点なし切替  Tab:リストへ  Esc:閉じる");

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

QString ViewName(PlotProjection projection) {
    switch (projection) {
        case PlotProjection::XZ:
            return QStringLiteral("XZ");
        case PlotProjection::YZ:
            return QStringLiteral("YZ");
        case PlotProjection::Iso:
            return QStringLiteral("等角");
        case PlotProjection::XY:
        default:
            return QStringLiteral("XY");
    }
}

QString KindName(const StoredMove& move) {
    if (move.kind == MoveKind::Rapid) return QStringLiteral("早送り");
    if (move.kind == MoveKind::Feed) return QStringLiteral("直線");
    return QStringLiteral("円弧");
}

}  // namespace

TPlotForm::TPlotForm(QWidget* mainWindow, Settings& settings, MessageService& messages,
                     std::function<void()> returnKeyboard)
    : QWidget(mainWindow, Qt::Window),
      mainWindow_(mainWindow),
      settings_(settings),
      messages_(messages),
      returnKeyboard_(std::move(returnKeyboard)) {
    setObjectName(QStringLiteral("PlotForm"));
    setWindowTitle(Text(kPlotTitlePrefix));
    setFocusPolicy(Qt::StrongFocus);
    Paint(this, Qt::white, Qt::black);
    resize(640, 520);

    Canvas = new PlotCanvas(store_, this);
    Canvas->setObjectName(QStringLiteral("PlotCanvas"));
    Canvas->setAccessibleName(QStringLiteral("ツールパス図"));
    StatusLine = new QLabel(this);
    StatusLine->setObjectName(QStringLiteral("StatusLine"));
    StatusLine->setFont(MonoFont(14));
    StatusLine->setTextFormat(Qt::PlainText);
    StatusLine->setWordWrap(true);
    StatusLine->setFocusPolicy(Qt::NoFocus);
    StatusLine->setMargin(4);
    Paint(StatusLine, Qt::white, QColor(0x20, 0x20, 0x20));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Canvas, 1);
    layout->addWidget(StatusLine);

    tick_ = new QTimer(this);
    tick_->setInterval(kTickMs);
    connect(tick_, &QTimer::timeout, this, [this] { Tick(); });
    follow_ = new QTimer(this);
    follow_->setSingleShot(true);
    follow_->setInterval(kFollowMs);
    connect(follow_, &QTimer::timeout, this, [this] {
        name_ = pendingName_;
        path_ = pendingPath_;
        Load(false);
    });
    connect(Canvas, &PlotCanvas::Clicked, this, [this](const QPoint& at) { ShowClickedLine(at); });
}

TPlotForm::~TPlotForm() = default;

bool TPlotForm::noDecimalIsLeastIncrement() const { return settings_.PlotNoDecimal == "Y"; }

void TPlotForm::Open(const std::string& name, const std::string& path) {
    follow_->stop();
    // The file on show already: only the keyboard comes over.
    const bool shown = isVisible() && path == path_ && (loader_ || run_);
    name_ = name;
    path_ = path;
    if (!placed_) {
        PlaceBesideMainWindow();
        placed_ = true;
    }
    if (!shown) Load(true);
    show();
    raise();
    activateWindow();
    setFocus();
}

void TPlotForm::PlaceBesideMainWindow() {
    const QRect main = mainWindow_->frameGeometry();
    const QScreen* screen = mainWindow_->screen();
    const QRect room = screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1080);
    int x = main.right() + 1;
    // No room on the right: as far right as it goes, over the main window.
    if (x + width() > room.right()) x = std::max(room.left(), room.right() + 1 - width());
    const int y = std::clamp(main.top(), room.top(), std::max(room.top(), room.bottom() + 1 - height()));
    move(x, y);
}

std::optional<TPlotForm::Stamp> TPlotForm::StampOf(const std::string& path) {
    std::error_code error;
    Stamp stamp;
    stamp.size = std::filesystem::file_size(path, error);
    if (error) return std::nullopt;
    stamp.time = std::filesystem::last_write_time(path, error);
    if (error) return std::nullopt;
    return stamp;
}

void TPlotForm::Follow(const std::string& name, const std::string& path) {
    if (!isVisible()) return;
    // The same file, unchanged: nothing to read (a refresh of the list, or
    // the folder watcher); rewritten, it is read again.
    if (path == path_ && !follow_->isActive() && StampOf(path) == stamp_) return;
    pendingName_ = name;
    pendingPath_ = path;
    follow_->start();
}

void TPlotForm::Stop() {
    tick_->stop();
    loader_.reset();
}

void TPlotForm::Load(bool ask) {
    Stop();
    store_.Clear();
    run_.reset();
    text_.reset();
    file_.reset();
    sendPath_.clear();
    Canvas->Reset();
    SetDetail(QString());
    setWindowTitle(Text(kPlotTitlePrefix + DisplayName(name_)));
    stamp_ = StampOf(path_);
    std::string problem;
    std::shared_ptr<HeldProgramFile> file = HeldProgramFile::Open(path_, problem);
    if (!file) {
        SetDetail(Text(DisplayName(name_) + "を読み込めません。（" + problem + "）"), true);
        return;
    }
    char first = 0;
    const long got = file->ReadAt(0, &first, 1);
    ReadingChoice choice = ReadingChoice::Whole;
    if (got < 0) {
        choice = ReadingChoice::Unreadable;
    } else if (got == 0 || first == '\0') {
        // A file that is empty or starts with NUL needs the loader's
        // question, which only a key of the operator's may bring up.
        if (!ask) {
            SetDetail(QStringLiteral("ファイル形式が違います。Pで読み込みます。"), true);
            return;
        }
        choice = ChooseReading(*file, messages_);
    }
    switch (choice) {
        case ReadingChoice::Declined:
            SetDetail(QStringLiteral("読み込みを中止しました。"), true);
            return;
        case ReadingChoice::Unreadable:
            SetDetail(Text(DisplayName(name_) + "を読み込めません。"), true);
            return;
        case ReadingChoice::LineByLine:
            reading_ = ProgramReading::LineByLine;
            break;
        case ReadingChoice::Whole:
            reading_ = ProgramReading::Whole;
            break;
    }
    file_ = std::move(file);
    ToolpathOptions options;
    options.noDecimalIsLeastIncrement = noDecimalIsLeastIncrement();
    loader_ = std::make_unique<PlotLoader>(std::filesystem::path(path_), options,
                                           reading_ == ProgramReading::LineByLine);
    tick_->start();
    ShowStatus();
}

void TPlotForm::Tick() {
    if (!loader_) return;
    const std::size_t arrived = loader_->Drain(store_);
    const bool finished = loader_->Finished();
    if (arrived > 0 || finished) Canvas->MovesArrived(finished);
    if (finished) {
        tick_->stop();
        run_ = loader_->run();
        const std::string told = loader_->Messages();
        loader_.reset();
        if (!run_->status) {
            SetDetail(Text(run_->status.message), true);
        } else if (!told.empty()) {
            SetDetail(Text(told), true);
        }
    }
    ShowStatus();
}

void TPlotForm::SetDetail(const QString& text, bool trouble) {
    detail_ = text;
    detailTrouble_ = trouble;
    ShowStatus();
}

void TPlotForm::ShowStatus() {
    QString line = ViewName(Canvas->projection());
    const int decimals = run_ && run_->summary.inch ? 4 : 3;
    const auto number = [decimals](double v) { return QString::number(v, 'f', decimals); };
    if (loader_) {
        line += QStringLiteral("  読込中 %1%").arg(static_cast<int>(loader_->Fraction() * 100));
    }
    const Extents extents = store_.extents();
    if (!extents.empty) {
        line += QStringLiteral("  範囲 X %1〜%2 Y %3〜%4 Z %5〜%6")
                    .arg(number(extents.min.x), number(extents.max.x), number(extents.min.y),
                         number(extents.max.y), number(extents.min.z), number(extents.max.z));
        if (run_) line += run_->summary.inch ? QStringLiteral(" inch") : QStringLiteral(" mm");
    }
    line += QStringLiteral("  移動 %1").arg(store_.added());
    if (run_) {
        const ToolpathSummary& summary = run_->summary;
        line += QStringLiteral("  不明 %1").arg(summary.notUnderstoodCount);
        // The first of them, so the operator knows where to look.
        if (!summary.notUnderstood.empty()) {
            const NotUnderstood& first = summary.notUnderstood.front();
            line += QStringLiteral("（行 %1 %2%3）")
                        .arg(first.line)
                        .arg(Text(first.what))
                        .arg(summary.notUnderstoodCount > 1 ? QStringLiteral(" ほか")
                                                            : QString());
        }
        if (run_->summary.questionable > 0) {
            line += QStringLiteral("  要確認 %1").arg(run_->summary.questionable);
        }
    }
    if (noDecimalIsLeastIncrement()) line += QStringLiteral("  小数点なし=最小単位");
    const QString text = line + QLatin1Char('\n') + (detail_.isEmpty() ? kHelp : detail_);
    QPalette palette = StatusLine->palette();
    palette.setColor(QPalette::WindowText, detailTrouble_ ? QColor(0xFF, 0x60, 0x60) : Qt::white);
    StatusLine->setPalette(palette);
    StatusLine->setText(text);
    StatusLine->setAccessibleName(text);
    StatusLine->setAccessibleDescription(text);
    Canvas->setAccessibleDescription(line);
}

void TPlotForm::ShowClickedLine(const QPoint& at) {
    const std::optional<std::size_t> index = Canvas->MoveAt(at);
    if (!index) {
        SetDetail(QStringLiteral("近くに移動がありません。"));
        return;
    }
    const StoredMove& move = store_.moves()[*index];
    QString what = KindName(move);
    if (move.blockDelete) what += QStringLiteral("・ブロックスキップ");
    if (move.questionable) what += QStringLiteral("・要確認");
    // A move merged from several lines (a big program) is named by its first.
    if (move.span > 0) what += QStringLiteral("・%1行分").arg(std::uint64_t{move.span} + 1);
    ShowLineText(move.line, what, kLineRetries);
}

void TPlotForm::ShowLineText(std::uint64_t line, const QString& what, int tries) {
    const QString head = QStringLiteral("行 %1 (%2): ").arg(line).arg(what);
    if (!file_) return;
    // The line is read from the file the picture was read from, through a
    // line index made only when a click first needs it.
    if (!text_) text_ = std::make_shared<ProgramText>(file_, reading_);
    const std::vector<ProgramText::Line> lines = text_->Lines(line - 1, 1, kShownLineBytes);
    if (lines.empty()) {
        if (!text_->Indexed() && tries > 0) {
            SetDetail(head + QStringLiteral("（読込中）"));
            QTimer::singleShot(kLineRetryMs, this, [this, line, what, tries, text = text_] {
                if (text == text_ && detail_.startsWith(QStringLiteral("行 %1 ").arg(line))) {
                    ShowLineText(line, what, tries - 1);
                }
            });
            return;
        }
        SetDetail(head + QStringLiteral("（読み込めません）"), true);
        return;
    }
    QString shown = Text(Cp932ToUtf8Lossy(lines.front().text));
    shown.replace(QLatin1Char('\t'), QLatin1Char(' '));
    if (lines.front().cut) shown += QChar(0x2026);
    SetDetail(head + shown);
}

bool TPlotForm::IsShownFile(const std::string& path) {
    if (path != sendPath_) {
        sendPath_ = path;
        std::error_code error;
        sendIsShown_ = !path_.empty() && (path == path_ || std::filesystem::equivalent(path, path_, error));
    }
    return sendIsShown_;
}

void TPlotForm::LineSent(const std::string& path, std::size_t index) {
    if (!isVisible() || !IsShownFile(path)) return;
    const std::uint64_t line = index + 1;
    Canvas->MarkLine(line);
    SetDetail(QStringLiteral("送信中 行 %1").arg(line));
}

void TPlotForm::TransferEnded() {
    sendPath_.clear();
    if (Canvas->markedLine() == 0) return;
    Canvas->MarkLine(0);
    SetDetail(QString());
}

bool TPlotForm::focusNextPrevChild(bool) {
    // Tab is a key of the plot (back to the list), not a move between controls.
    return false;
}

void TPlotForm::keyPressEvent(QKeyEvent* event) {
    const double panX = Canvas->width() * kPanFraction;
    const double panY = Canvas->height() * kPanFraction;
    switch (event->key()) {
        case Qt::Key_1:
            Canvas->SetProjection(PlotProjection::XY);
            break;
        case Qt::Key_2:
            Canvas->SetProjection(PlotProjection::XZ);
            break;
        case Qt::Key_3:
            Canvas->SetProjection(PlotProjection::YZ);
            break;
        case Qt::Key_4:
            Canvas->SetProjection(PlotProjection::Iso);
            break;
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            Canvas->Zoom(kZoomStep);
            break;
        case Qt::Key_Minus:
            Canvas->Zoom(1 / kZoomStep);
            break;
        case Qt::Key_Left:
            Canvas->Pan(-panX, 0);
            break;
        case Qt::Key_Right:
            Canvas->Pan(panX, 0);
            break;
        case Qt::Key_Up:
            Canvas->Pan(0, -panY);
            break;
        case Qt::Key_Down:
            Canvas->Pan(0, panY);
            break;
        case Qt::Key_Home:
            Canvas->FitAll();
            break;
        case Qt::Key_D:
            settings_.PlotNoDecimal = noDecimalIsLeastIncrement() ? "N" : "Y";
            Load(true);
            break;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_P:
            returnKeyboard_();
            return;
        case Qt::Key_Escape:
            close();
            return;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    ShowStatus();
}

void TPlotForm::closeEvent(QCloseEvent* event) {
    follow_->stop();
    Stop();
    text_.reset();
    file_.reset();
    run_.reset();
    // What was read goes with the window; the next P reads anew.
    store_ = ToolpathStore();
    Canvas->Reset();
    path_.clear();
    QWidget::closeEvent(event);
    // The list gets the keyboard back also where no one else hands it over.
    if (isVisible()) returnKeyboard_();
}

}  // namespace wexal
