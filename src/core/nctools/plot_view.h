#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "nctools/toolpath.h"
#include "nctools/toolpath_store.h"

namespace wexal {

// The four pictures of a toolpath: from above (X right, Y up), from the
// front (X right, Z up), from the side (Y right, Z up) and isometric (seen
// from X+, Y-, Z+: X runs to the lower right, Y to the upper right, Z up).
enum class PlotProjection { XY, XZ, YZ, Iso };

struct PlotPoint {
    double x = 0;
    double y = 0;
    bool operator==(const PlotPoint&) const = default;
};

// Program coordinates onto the picture's plane (y up, program units).
PlotPoint Project(PlotProjection projection, const Point3& p);

struct PlotBounds {
    PlotPoint min;
    PlotPoint max;
    bool empty = true;
    void Add(const PlotPoint& p);
};

// An arc as a polyline in program coordinates: from, the points along the
// arc, to. A helix climbs evenly along its axis; an arc whose end is off its
// circle turns with a radius that changes evenly from start to end, so the
// polyline always ends where the move ends. maxStepRadians bounds the angle
// between two points.
std::vector<Point3> ArcPolyline(const StoredMove& move, double maxStepRadians);

// An arc drawn as a circular arc on the screen: the centre and radius in
// pixels and the angles in degrees, counter-clockwise as seen (the
// convention of QPainterPath::arcTo). Only when the arc's plane is the plane
// of the picture and the move is a true circular arc; otherwise nullopt and
// the arc is drawn as its polyline.
struct ScreenArc {
    PlotPoint centre;
    double radius = 0;
    double startDegrees = 0;
    double sweepDegrees = 0;
};

// Where the picture stands in a widget of a size: the program point at the
// widget's centre and the pixels per program unit.
class PlotView {
public:
    PlotProjection projection() const { return projection_; }
    void SetProjection(PlotProjection projection) { projection_ = projection; }
    double scale() const { return scale_; }
    PlotPoint centre() const { return centre_; }
    void SetSize(int width, int height);
    int width() const { return width_; }
    int height() const { return height_; }

    // The whole of bounds in view with a margin of pixels around it. An empty
    // or single-point picture keeps a scale of its own.
    void Fit(const PlotBounds& bounds, int marginPixels);
    // Zooms about the widget's centre.
    void Zoom(double factor);
    // Moves the picture by pixels (x right, y down), as the arrow keys do.
    void Pan(double dxPixels, double dyPixels);

    // Program point to widget pixels (y down) and back (on the picture's plane).
    PlotPoint ToScreen(const Point3& p) const;
    PlotPoint PlaneToScreen(const PlotPoint& plane) const;
    PlotPoint ScreenToPlane(const PlotPoint& pixel) const;

    std::optional<ScreenArc> ArcOnScreen(const StoredMove& move) const;

private:
    PlotProjection projection_ = PlotProjection::XY;
    double scale_ = 1;
    PlotPoint centre_;
    int width_ = 1;
    int height_ = 1;
};

// The bounds of the moves as the projection shows them, arcs included with
// their bulge; one move at a time for a picture that grows as it is read.
void AddMoveBounds(PlotBounds& bounds, PlotProjection projection, const StoredMove& move);
PlotBounds ProjectedBounds(PlotProjection projection, const std::vector<StoredMove>& moves);

// The move drawn nearest to a pixel, within maxPixels; nullopt when none is.
std::optional<std::size_t> NearestMove(const std::vector<StoredMove>& moves, const PlotView& view,
                                       const PlotPoint& pixel, double maxPixels);

}  // namespace wexal
