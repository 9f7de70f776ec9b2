#include "nctools/plot_view.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace wexal {

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;
constexpr double kMinScale = 1e-9;
constexpr double kMaxScale = 1e9;

Point3 ToPoint(const float p[3]) { return {p[0], p[1], p[2]}; }

// The arc's plane as (u, v) with u x v along the axis w, so that a positive
// angle from u toward v is counter-clockwise (G03) seen from +w.
struct PlaneAxes {
    int u, v, w;
};
PlaneAxes AxesOf(ArcPlane plane) {
    switch (plane) {
        case ArcPlane::ZX:
            return {2, 0, 1};
        case ArcPlane::YZ:
            return {1, 2, 0};
        case ArcPlane::XY:
        default:
            return {0, 1, 2};
    }
}

double Coordinate(const Point3& p, int axis) { return axis == 0 ? p.x : axis == 1 ? p.y : p.z; }
void SetCoordinate(Point3& p, int axis, double value) {
    (axis == 0 ? p.x : axis == 1 ? p.y : p.z) = value;
}

// The arc in its plane: start angle, signed sweep (counter-clockwise
// positive) and the radii at its ends. From and to on the same point of the
// plane make a full circle.
struct ArcShape {
    double start = 0;
    double sweep = 0;
    double r0 = 0;
    double r1 = 0;
};
ArcShape ShapeOf(const StoredMove& move) {
    const PlaneAxes a = AxesOf(move.plane);
    const Point3 from = ToPoint(move.from), to = ToPoint(move.to), c = ToPoint(move.centre);
    const double fu = Coordinate(from, a.u) - Coordinate(c, a.u);
    const double fv = Coordinate(from, a.v) - Coordinate(c, a.v);
    const double tu = Coordinate(to, a.u) - Coordinate(c, a.u);
    const double tv = Coordinate(to, a.v) - Coordinate(c, a.v);
    ArcShape shape;
    shape.r0 = std::hypot(fu, fv);
    shape.r1 = std::hypot(tu, tv);
    shape.start = std::atan2(fv, fu);
    double ccw = std::fmod(std::atan2(tv, tu) - shape.start, kTwoPi);
    if (ccw < 0) ccw += kTwoPi;
    // Ends within a float's precision of each other: the whole circle.
    const double same = 1e-6 * std::max(1.0, shape.r0);
    if (ccw * std::max(shape.r0, shape.r1) <= same) ccw = kTwoPi;
    shape.sweep = move.kind == MoveKind::ArcCcw ? ccw : (ccw >= kTwoPi ? -kTwoPi : ccw - kTwoPi);
    return shape;
}

double SegmentDistance(const PlotPoint& p, const PlotPoint& a, const PlotPoint& b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double length2 = dx * dx + dy * dy;
    double t = 0;
    if (length2 > 0) t = std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / length2, 0.0, 1.0);
    return std::hypot(p.x - (a.x + t * dx), p.y - (a.y + t * dy));
}

bool IsArc(const StoredMove& move) {
    return move.kind == MoveKind::ArcCw || move.kind == MoveKind::ArcCcw;
}

}  // namespace

PlotPoint Project(PlotProjection projection, const Point3& p) {
    static const double kInvSqrt2 = 1 / std::sqrt(2.0);
    static const double kInvSqrt6 = 1 / std::sqrt(6.0);
    switch (projection) {
        case PlotProjection::XZ:
            return {p.x, p.z};
        case PlotProjection::YZ:
            return {p.y, p.z};
        case PlotProjection::Iso:
            return {(p.x + p.y) * kInvSqrt2, (-p.x + p.y + 2 * p.z) * kInvSqrt6};
        case PlotProjection::XY:
        default:
            return {p.x, p.y};
    }
}

void PlotBounds::Add(const PlotPoint& p) {
    if (empty) {
        min = max = p;
        empty = false;
        return;
    }
    min.x = std::min(min.x, p.x);
    min.y = std::min(min.y, p.y);
    max.x = std::max(max.x, p.x);
    max.y = std::max(max.y, p.y);
}

std::vector<Point3> ArcPolyline(const StoredMove& move, double maxStepRadians) {
    const Point3 from = ToPoint(move.from), to = ToPoint(move.to), c = ToPoint(move.centre);
    const ArcShape shape = ShapeOf(move);
    if (shape.r0 <= 0 && shape.r1 <= 0) return {from, to};
    const PlaneAxes a = AxesOf(move.plane);
    const double step = std::max(maxStepRadians, 1e-3);
    const int n = std::max(1, static_cast<int>(std::ceil(std::abs(shape.sweep) / step)));
    std::vector<Point3> points;
    points.reserve(static_cast<std::size_t>(n) + 1);
    points.push_back(from);
    const double w0 = Coordinate(from, a.w), w1 = Coordinate(to, a.w);
    for (int i = 1; i < n; ++i) {
        const double t = static_cast<double>(i) / n;
        const double angle = shape.start + shape.sweep * t;
        const double r = shape.r0 + (shape.r1 - shape.r0) * t;
        Point3 p;
        SetCoordinate(p, a.u, Coordinate(c, a.u) + r * std::cos(angle));
        SetCoordinate(p, a.v, Coordinate(c, a.v) + r * std::sin(angle));
        SetCoordinate(p, a.w, w0 + (w1 - w0) * t);
        points.push_back(p);
    }
    points.push_back(to);
    return points;
}

void PlotView::SetSize(int width, int height) {
    width_ = std::max(1, width);
    height_ = std::max(1, height);
}

void PlotView::Fit(const PlotBounds& bounds, int marginPixels) {
    const double roomX = std::max(1, width_ - 2 * marginPixels);
    const double roomY = std::max(1, height_ - 2 * marginPixels);
    if (bounds.empty) {
        centre_ = {};
        scale_ = std::min(roomX, roomY) / 100;
        return;
    }
    centre_ = {(bounds.min.x + bounds.max.x) / 2, (bounds.min.y + bounds.max.y) / 2};
    const double spanX = bounds.max.x - bounds.min.x;
    const double spanY = bounds.max.y - bounds.min.y;
    const double tiny = 1e-9 * std::max({1.0, std::abs(centre_.x), std::abs(centre_.y)});
    double scale = std::numeric_limits<double>::infinity();
    if (spanX > tiny) scale = roomX / spanX;
    if (spanY > tiny) scale = std::min(scale, roomY / spanY);
    // A point or nothing but a line along one axis of the other: ten units across.
    if (!std::isfinite(scale)) scale = std::min(roomX, roomY) / 10;
    scale_ = std::clamp(scale, kMinScale, kMaxScale);
}

void PlotView::Zoom(double factor) {
    if (factor > 0) scale_ = std::clamp(scale_ * factor, kMinScale, kMaxScale);
}

void PlotView::Pan(double dxPixels, double dyPixels) {
    centre_.x += dxPixels / scale_;
    centre_.y -= dyPixels / scale_;
}

PlotPoint PlotView::PlaneToScreen(const PlotPoint& plane) const {
    return {width_ / 2.0 + (plane.x - centre_.x) * scale_,
            height_ / 2.0 - (plane.y - centre_.y) * scale_};
}

PlotPoint PlotView::ToScreen(const Point3& p) const {
    return PlaneToScreen(Project(projection_, p));
}

PlotPoint PlotView::ScreenToPlane(const PlotPoint& pixel) const {
    return {centre_.x + (pixel.x - width_ / 2.0) / scale_,
            centre_.y - (pixel.y - height_ / 2.0) / scale_};
}

std::optional<ScreenArc> PlotView::ArcOnScreen(const StoredMove& move) const {
    if (!IsArc(move)) return std::nullopt;
    // Seen in its own plane; the front view (X right, Z up) shows the ZX
    // plane mirrored, so its turns run the other way round.
    double handed = 0;
    if (move.plane == ArcPlane::XY && projection_ == PlotProjection::XY) handed = 1;
    if (move.plane == ArcPlane::ZX && projection_ == PlotProjection::XZ) handed = -1;
    if (move.plane == ArcPlane::YZ && projection_ == PlotProjection::YZ) handed = 1;
    if (handed == 0) return std::nullopt;
    const ArcShape shape = ShapeOf(move);
    if (shape.r0 <= 0 || std::abs(shape.r0 - shape.r1) > 1e-5 * std::max(1.0, shape.r0)) {
        return std::nullopt;
    }
    const PlotPoint c = Project(projection_, ToPoint(move.centre));
    const PlotPoint f = Project(projection_, ToPoint(move.from));
    ScreenArc arc;
    arc.centre = PlaneToScreen(c);
    arc.radius = shape.r0 * scale_;
    arc.startDegrees = std::atan2(f.y - c.y, f.x - c.x) * 180 / std::numbers::pi;
    arc.sweepDegrees = handed * shape.sweep * 180 / std::numbers::pi;
    return arc;
}

void AddMoveBounds(PlotBounds& bounds, PlotProjection projection, const StoredMove& move) {
    if (IsArc(move)) {
        for (const Point3& p : ArcPolyline(move, std::numbers::pi / 16)) {
            bounds.Add(Project(projection, p));
        }
    } else {
        bounds.Add(Project(projection, ToPoint(move.from)));
        bounds.Add(Project(projection, ToPoint(move.to)));
    }
}

PlotBounds ProjectedBounds(PlotProjection projection, const std::vector<StoredMove>& moves) {
    PlotBounds bounds;
    for (const StoredMove& move : moves) AddMoveBounds(bounds, projection, move);
    return bounds;
}

std::optional<std::size_t> NearestMove(const std::vector<StoredMove>& moves, const PlotView& view,
                                       const PlotPoint& pixel, double maxPixels) {
    std::optional<std::size_t> nearest;
    double best = maxPixels;
    for (std::size_t i = 0; i < moves.size(); ++i) {
        const StoredMove& move = moves[i];
        double distance = std::numeric_limits<double>::infinity();
        if (IsArc(move)) {
            const std::vector<Point3> points = ArcPolyline(move, std::numbers::pi / 32);
            PlotPoint previous = view.ToScreen(points.front());
            for (std::size_t k = 1; k < points.size(); ++k) {
                const PlotPoint next = view.ToScreen(points[k]);
                distance = std::min(distance, SegmentDistance(pixel, previous, next));
                previous = next;
            }
        } else {
            distance = SegmentDistance(pixel, view.ToScreen(ToPoint(move.from)),
                                       view.ToScreen(ToPoint(move.to)));
        }
        // The later of two moves on one spot: the one drawn on top.
        if (distance <= best) {
            best = distance;
            nearest = i;
        }
    }
    return nearest;
}

}  // namespace wexal
