#include "plot/plot_canvas.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace wexal {

namespace {

const QColor kGround(0, 0, 0);
const QColor kRapid(0x90, 0xA8, 0xC8);
const QColor kFeed(0x40, 0xE0, 0x40);
const QColor kArc(0x40, 0xE0, 0xC0);
const QColor kBlockDelete(0xD0, 0x70, 0xFF);
const QColor kQuestionable(0xFF, 0x30, 0x30);
const QColor kSent(0x50, 0x58, 0x68);
const QColor kGoingOut(0xFF, 0xFF, 0x40);
constexpr int kMargin = 16;
// Beyond this many moves the picture is drawn without smoothing: a big
// program then draws several times faster.
constexpr std::size_t kSmoothMoves = 200'000;
constexpr qint64 kRefitEveryMs = 300;
constexpr qreal kPlungeMark = 3;

QPointF Pixel(const PlotPoint& p) { return {p.x, p.y}; }

bool IsArc(const StoredMove& move) {
    return move.kind == MoveKind::ArcCw || move.kind == MoveKind::ArcCcw;
}

}  // namespace

PlotCanvas::PlotCanvas(const ToolpathStore& store, QWidget* parent)
    : QWidget(parent), store_(store) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    setMinimumSize(200, 150);
    sinceFit_.start();
}

void PlotCanvas::Reset() {
    bounds_ = {};
    fittedBounds_ = {};
    boundedCount_ = 0;
    seenStored_ = store_.moves().size();
    seenAdded_ = store_.added();
    markedLine_ = 0;
    autoFit_ = true;
    view_.Fit({}, kMargin);
    DrawAll();
}

void PlotCanvas::SetProjection(PlotProjection projection) {
    if (projection == view_.projection()) return;
    view_.SetProjection(projection);
    bounds_ = ProjectedBounds(projection, store_.moves());
    boundedCount_ = store_.moves().size();
    Refit();
}

void PlotCanvas::FitAll() {
    autoFit_ = true;
    Refit();
}

void PlotCanvas::Refit() {
    view_.Fit(bounds_, kMargin);
    fittedBounds_ = bounds_;
    sinceFit_.restart();
    DrawAll();
}

void PlotCanvas::Zoom(double factor) {
    autoFit_ = false;
    view_.Zoom(factor);
    DrawAll();
}

void PlotCanvas::Pan(double dxPixels, double dyPixels) {
    autoFit_ = false;
    view_.Pan(dxPixels, dyPixels);
    DrawAll();
}

bool PlotCanvas::BoundsInView() const {
    if (bounds_.empty) return true;
    const PlotPoint a = view_.PlaneToScreen(bounds_.min);
    const PlotPoint b = view_.PlaneToScreen(bounds_.max);
    return a.x >= 0 && b.x <= width() && b.y >= 0 && a.y <= height();
}

void PlotCanvas::MovesArrived(bool finished) {
    const std::vector<StoredMove>& moves = store_.moves();
    // Each move added is one more stored unless the store merged some: then
    // the indexes drawn so far no longer hold.
    const bool merged = moves.size() != seenStored_ + (store_.added() - seenAdded_);
    seenStored_ = moves.size();
    seenAdded_ = store_.added();
    if (merged) {
        bounds_ = ProjectedBounds(view_.projection(), moves);
        boundedCount_ = moves.size();
        if (autoFit_) {
            Refit();
        } else {
            DrawAll();
        }
        return;
    }
    for (; boundedCount_ < moves.size(); ++boundedCount_) {
        AddMoveBounds(bounds_, view_.projection(), moves[boundedCount_]);
    }
    const bool grown = !(bounds_.min == fittedBounds_.min && bounds_.max == fittedBounds_.max &&
                         bounds_.empty == fittedBounds_.empty);
    const bool due = fittedBounds_.empty || finished || sinceFit_.elapsed() >= kRefitEveryMs;
    if (autoFit_ && grown && due && (fittedBounds_.empty || finished || !BoundsInView())) {
        Refit();
        return;
    }
    DrawRange(drawnCount_, moves.size());
}

void PlotCanvas::MarkLine(std::uint64_t line) {
    if (line == markedLine_) return;
    const bool back = line < markedLine_;
    markedLine_ = line;
    if (back) {
        DrawAll();
        return;
    }
    // The moves before the line go dimmed, drawn over as the lines go out.
    const std::size_t upTo = std::min(FirstMoveFrom(line), drawnCount_);
    if (upTo > dimmedUpTo_) {
        const std::size_t from = dimmedUpTo_;
        dimmedUpTo_ = upTo;
        QPainter painter(&picture_);
        Prepare(painter);
        for (std::size_t i = from; i < upTo; ++i) DrawMove(painter, store_.moves()[i]);
    }
    update();
}

std::size_t PlotCanvas::FirstMoveFrom(std::uint64_t line) const {
    const std::vector<StoredMove>& moves = store_.moves();
    return static_cast<std::size_t>(
        std::partition_point(moves.begin(), moves.end(),
                             [line](const StoredMove& m) { return m.line + m.span < line; }) -
        moves.begin());
}

std::optional<std::size_t> PlotCanvas::MoveAt(const QPoint& at) const {
    return NearestMove(store_.moves(), view_, {at.x() + 0.5, at.y() + 0.5}, 8);
}

void PlotCanvas::DrawAll() {
    view_.SetSize(width(), height());
    const qreal ratio = devicePixelRatioF();
    if (picture_.size() != size() * ratio) {
        picture_ = QImage(size() * ratio, QImage::Format_RGB32);
        picture_.setDevicePixelRatio(ratio);
    }
    picture_.fill(kGround);
    smooth_ = store_.moves().size() <= kSmoothMoves;
    drawnCount_ = 0;
    dimmedUpTo_ = 0;
    ++fullDraws_;
    DrawRange(0, store_.moves().size());
}

void PlotCanvas::DrawRange(std::size_t first, std::size_t last) {
    // Grown past smoothing: all of it without, so the picture is one whole.
    if (smooth_ && last > kSmoothMoves) {
        DrawAll();
        return;
    }
    if (first < last) {
        QPainter painter(&picture_);
        Prepare(painter);
        for (std::size_t i = first; i < last; ++i) DrawMove(painter, store_.moves()[i]);
    }
    drawnCount_ = last;
    if (markedLine_ != 0) dimmedUpTo_ = std::min(FirstMoveFrom(markedLine_), drawnCount_);
    update();
}

void PlotCanvas::Prepare(QPainter& painter) const {
    painter.setRenderHint(QPainter::Antialiasing, smooth_);
    // A line on whole pixels then covers one pixel, not half of two.
    painter.translate(0.5, 0.5);
}

void PlotCanvas::DrawMove(QPainter& painter, const StoredMove& move) const {
    QColor colour = move.kind == MoveKind::Rapid ? kRapid : IsArc(move) ? kArc : kFeed;
    qreal width = 0;  // cosmetic: one pixel
    if (move.blockDelete) colour = kBlockDelete;
    if (move.questionable) {
        colour = kQuestionable;
        width = 2;
    }
    if (markedLine_ != 0 && move.line + move.span < markedLine_) colour = kSent;
    QPen pen(colour, width, move.kind == MoveKind::Rapid ? Qt::DashLine : Qt::SolidLine);
    pen.setCosmetic(true);
    painter.setPen(pen);
    if (!IsArc(move)) {
        const PlotPoint a = view_.ToScreen({move.from[0], move.from[1], move.from[2]});
        const PlotPoint b = view_.ToScreen({move.to[0], move.to[1], move.to[2]});
        painter.drawLine(Pixel(a), Pixel(b));
        // A feed straight along the line of sight (a drilled hole or a plunge
        // seen from above) would be a dot: a small circle marks it.
        const double along = std::hypot(move.to[0] - move.from[0], move.to[1] - move.from[1],
                                        move.to[2] - move.from[2]) * view_.scale();
        if (move.kind == MoveKind::Feed && along >= 3 && std::hypot(b.x - a.x, b.y - a.y) < 1) {
            painter.drawEllipse(Pixel(b), kPlungeMark, kPlungeMark);
        }
        return;
    }
    QPainterPath path(Pixel(view_.ToScreen({move.from[0], move.from[1], move.from[2]})));
    if (const auto arc = view_.ArcOnScreen(move)) {
        const QRectF box(arc->centre.x - arc->radius, arc->centre.y - arc->radius,
                         2 * arc->radius, 2 * arc->radius);
        path.arcTo(box, arc->startDegrees, arc->sweepDegrees);
    } else {
        // Seen at a slant (or not a true circle): short chords, finer on a
        // big arc so that no chord strays half a pixel from the curve.
        const double radius =
            std::hypot(move.from[0] - move.centre[0], move.from[1] - move.centre[1],
                       move.from[2] - move.centre[2]) * view_.scale();
        const double step =
            radius > 1 ? std::clamp(2 * std::acos(std::max(0.0, 1 - 0.5 / radius)),
                                    std::numbers::pi / 360, std::numbers::pi / 8)
                       : std::numbers::pi / 8;
        const std::vector<Point3> points = ArcPolyline(move, step);
        for (std::size_t i = 1; i < points.size(); ++i) {
            path.lineTo(Pixel(view_.ToScreen(points[i])));
        }
    }
    painter.drawPath(path);
}

void PlotCanvas::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, picture_);
    paintedMoves_ = drawnCount_;
    if (markedLine_ == 0) return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(0.5, 0.5);
    const std::vector<StoredMove>& moves = store_.moves();
    const auto [first, last] = store_.MovesOfLine(markedLine_);
    for (std::size_t i = first; i < last; ++i) {
        const StoredMove& shown = moves[i];
        painter.setPen(QPen(kGoingOut, 3));
        const PlotPoint a = view_.ToScreen({shown.from[0], shown.from[1], shown.from[2]});
        if (IsArc(shown)) {
            const std::vector<Point3> points = ArcPolyline(shown, std::numbers::pi / 64);
            QPainterPath path(Pixel(a));
            for (std::size_t k = 1; k < points.size(); ++k) {
                path.lineTo(Pixel(view_.ToScreen(points[k])));
            }
            painter.drawPath(path);
        } else {
            const PlotPoint b = view_.ToScreen({shown.to[0], shown.to[1], shown.to[2]});
            painter.drawLine(Pixel(a), Pixel(b));
            // A move too short to see still shows where the tool is.
            if (std::hypot(b.x - a.x, b.y - a.y) < 4) painter.drawEllipse(Pixel(b), 4, 4);
        }
    }
}

void PlotCanvas::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    view_.SetSize(width(), height());
    if (autoFit_) {
        Refit();
    } else {
        DrawAll();
    }
}

void PlotCanvas::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) emit Clicked(event->position().toPoint());
    QWidget::mousePressEvent(event);
}

}  // namespace wexal
