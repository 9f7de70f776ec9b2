#include "nctools/plot_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace wexal {
namespace {

StoredMove Move(MoveKind kind, Point3 from, Point3 to, Point3 centre = {},
                ArcPlane plane = ArcPlane::XY, std::uint64_t line = 1) {
    StoredMove m{};
    const float f[3] = {float(from.x), float(from.y), float(from.z)};
    const float t[3] = {float(to.x), float(to.y), float(to.z)};
    const float c[3] = {float(centre.x), float(centre.y), float(centre.z)};
    std::copy(f, f + 3, m.from);
    std::copy(t, t + 3, m.to);
    std::copy(c, c + 3, m.centre);
    m.kind = kind;
    m.plane = plane;
    m.line = line;
    return m;
}

TEST(PlotView, EachProjectionPutsTheAxesWhereItSays) {
    const double s2 = std::sqrt(2.0), s6 = std::sqrt(6.0);
    struct Row {
        PlotProjection projection;
        Point3 p;
        PlotPoint expected;
    };
    const Row rows[] = {
        {PlotProjection::XY, {1, 2, 3}, {1, 2}},
        {PlotProjection::XZ, {1, 2, 3}, {1, 3}},
        {PlotProjection::YZ, {1, 2, 3}, {2, 3}},
        // X to the lower right, Y to the upper right, Z straight up.
        {PlotProjection::Iso, {1, 0, 0}, {1 / s2, -1 / s6}},
        {PlotProjection::Iso, {0, 1, 0}, {1 / s2, 1 / s6}},
        {PlotProjection::Iso, {0, 0, 1}, {0, 2 / s6}},
    };
    for (const Row& row : rows) {
        const PlotPoint got = Project(row.projection, row.p);
        EXPECT_NEAR(got.x, row.expected.x, 1e-12) << static_cast<int>(row.projection);
        EXPECT_NEAR(got.y, row.expected.y, 1e-12) << static_cast<int>(row.projection);
    }
}

TEST(PlotView, FitShowsTheWholePathAndZoomAndPanMoveIt) {
    PlotView view;
    view.SetSize(420, 220);
    PlotBounds bounds;
    bounds.Add({0, 0});
    bounds.Add({100, 50});
    view.Fit(bounds, 10);
    // 400 x 200 pixels of room: both spans fit exactly at 4 pixels a unit.
    EXPECT_DOUBLE_EQ(view.scale(), 4);
    EXPECT_EQ(view.PlaneToScreen({0, 0}), (PlotPoint{10, 210}));
    EXPECT_EQ(view.PlaneToScreen({100, 50}), (PlotPoint{410, 10}));
    EXPECT_EQ(view.ScreenToPlane({210, 110}), (PlotPoint{50, 25}));

    view.Zoom(2);  // about the centre: the centre stays
    EXPECT_EQ(view.PlaneToScreen({50, 25}), (PlotPoint{210, 110}));
    EXPECT_EQ(view.PlaneToScreen({100, 25}), (PlotPoint{610, 110}));
    view.Pan(80, -40);  // the view goes right and up, the picture left and down
    EXPECT_EQ(view.PlaneToScreen({50, 25}), (PlotPoint{130, 150}));

    // A single point, and a line along one axis, still get a finite scale.
    PlotBounds point;
    point.Add({5, 5});
    view.Fit(point, 10);
    EXPECT_TRUE(std::isfinite(view.scale()) && view.scale() > 0);
    EXPECT_EQ(view.PlaneToScreen({5, 5}), (PlotPoint{210, 110}));
    PlotBounds line = point;
    line.Add({5, 105});
    view.Fit(line, 10);
    EXPECT_DOUBLE_EQ(view.scale(), 2);
}

TEST(PlotView, ArcsTurnTheirWayInEachPlane) {
    // A quarter circle of radius 10 about the origin in each plane, as G03
    // and G02, with a helix climbing 4 along the axis.
    struct Row {
        MoveKind kind;
        ArcPlane plane;
        Point3 from, to;
        Point3 middle;  // the point halfway along
    };
    const double h = 10 / std::sqrt(2.0);
    const Row rows[] = {
        {MoveKind::ArcCcw, ArcPlane::XY, {10, 0, 0}, {0, 10, 4}, {h, h, 2}},
        {MoveKind::ArcCw, ArcPlane::XY, {10, 0, 0}, {0, 10, 4}, {-h, -h, 2}},
        // G18: from Z toward X counter-clockwise (seen from +Y).
        {MoveKind::ArcCcw, ArcPlane::ZX, {0, 0, 10}, {10, 4, 0}, {h, 2, h}},
        // G19: from Y toward Z counter-clockwise (seen from +X).
        {MoveKind::ArcCcw, ArcPlane::YZ, {0, 10, 0}, {4, 0, 10}, {2, h, h}},
    };
    for (const Row& row : rows) {
        const std::vector<Point3> points =
            ArcPolyline(Move(row.kind, row.from, row.to, {}, row.plane), std::numbers::pi / 64);
        ASSERT_GE(points.size(), 3u);
        EXPECT_EQ(points.front(), row.from);
        EXPECT_EQ(points.back(), row.to);
        // An even number of steps: the middle point is halfway along.
        ASSERT_EQ(points.size() % 2, 1u);
        const Point3& mid = points[points.size() / 2];
        EXPECT_NEAR(std::hypot(mid.x - row.middle.x, mid.y - row.middle.y, mid.z - row.middle.z),
                    0, 1e-4)
            << static_cast<int>(row.plane) << " " << static_cast<int>(row.kind);
    }
    // From and to on one point: the whole circle.
    const auto circle =
        ArcPolyline(Move(MoveKind::ArcCw, {10, 0, 0}, {10, 0, 0}), std::numbers::pi / 8);
    EXPECT_EQ(circle.size(), 17u);
    EXPECT_NEAR(circle[4].y, 10 * std::sin(-std::numbers::pi / 2), 1e-5);
}

TEST(PlotView, ArcsInThePictureSPlaneAreDrawnAsArcs) {
    PlotView view;
    view.SetSize(200, 200);
    PlotBounds bounds;
    bounds.Add({-10, -10});
    bounds.Add({10, 10});
    view.Fit(bounds, 0);  // 10 pixels a unit, the origin at (100, 100)
    struct Row {
        PlotProjection projection;
        StoredMove move;
        bool asArc;
        double start, sweep;
    };
    const Row rows[] = {
        {PlotProjection::XY, Move(MoveKind::ArcCcw, {10, 0, 0}, {0, 10, 0}), true, 0, 90},
        {PlotProjection::XY, Move(MoveKind::ArcCw, {10, 0, 0}, {0, 10, 0}), true, 0, -270},
        // The front view sees the ZX plane from -Y: G03 turns clockwise there.
        {PlotProjection::XZ,
         Move(MoveKind::ArcCcw, {0, 0, 10}, {10, 0, 0}, {}, ArcPlane::ZX), true, 90, -90},
        {PlotProjection::YZ,
         Move(MoveKind::ArcCcw, {0, 10, 0}, {0, 0, 10}, {}, ArcPlane::YZ), true, 0, 90},
        {PlotProjection::Iso, Move(MoveKind::ArcCcw, {10, 0, 0}, {0, 10, 0}), false, 0, 0},
        {PlotProjection::XZ, Move(MoveKind::ArcCcw, {10, 0, 0}, {0, 10, 0}), false, 0, 0},
        // The end off the circle: drawn along its polyline, not as a circle.
        {PlotProjection::XY, Move(MoveKind::ArcCcw, {10, 0, 0}, {0, 12, 0}), false, 0, 0},
        {PlotProjection::XY, Move(MoveKind::Feed, {10, 0, 0}, {0, 10, 0}), false, 0, 0},
    };
    for (const Row& row : rows) {
        view.SetProjection(row.projection);
        const auto arc = view.ArcOnScreen(row.move);
        ASSERT_EQ(arc.has_value(), row.asArc) << static_cast<int>(row.projection);
        if (!arc) continue;
        EXPECT_EQ(arc->centre, (PlotPoint{100, 100}));
        EXPECT_NEAR(arc->radius, 100, 1e-3);
        EXPECT_NEAR(arc->startDegrees, row.start, 1e-3);
        EXPECT_NEAR(arc->sweepDegrees, row.sweep, 1e-3);
    }
}

TEST(PlotView, BoundsAndTheNearestMove) {
    const std::vector<StoredMove> moves = {
        Move(MoveKind::Rapid, {0, 0, 5}, {0, 0, 0}, {}, ArcPlane::XY, 3),
        Move(MoveKind::Feed, {0, 0, 0}, {100, 0, 0}, {}, ArcPlane::XY, 4),
        // A half circle bulging to y = -20 below the feed.
        Move(MoveKind::ArcCw, {100, 0, 0}, {60, 0, 0}, {80, 0, 0}, ArcPlane::XY, 5),
        Move(MoveKind::Feed, {60, 0, 0}, {60, 50, -2}, {}, ArcPlane::XY, 7),
    };
    const PlotBounds xy = ProjectedBounds(PlotProjection::XY, moves);
    EXPECT_NEAR(xy.min.y, -20, 1e-4);
    EXPECT_EQ(xy.max, (PlotPoint{100, 50}));
    const PlotBounds xz = ProjectedBounds(PlotProjection::XZ, moves);
    EXPECT_EQ(xz.min, (PlotPoint{0, -2}));
    EXPECT_EQ(xz.max, (PlotPoint{100, 5}));

    PlotView view;
    view.SetSize(120, 120);
    PlotBounds square;
    square.Add({-10, -60});
    square.Add({110, 60});
    view.Fit(square, 0);  // one pixel a unit; plane (x, y) at pixel (x + 10, 60 - y)
    struct Row {
        PlotPoint pixel;
        std::optional<std::size_t> move;
    };
    const Row rows[] = {
        {{40, 62}, 1},    // just below the feed at x = 30
        {{90, 80}, 2},    // on the arc's bottom (80, -20)
        {{72, 30}, 3},    // beside the last feed
        {{10, 60}, 1},    // the rapid's foot and the feed's start: the later move
        {{40, 100}, std::nullopt},  // far from everything
    };
    for (const Row& row : rows) {
        EXPECT_EQ(NearestMove(moves, view, row.pixel, 6), row.move)
            << row.pixel.x << "," << row.pixel.y;
    }
}

}  // namespace
}  // namespace wexal
