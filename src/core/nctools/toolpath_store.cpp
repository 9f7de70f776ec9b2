#include "nctools/toolpath_store.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

namespace wexal {

namespace {

// A merged move stands for at most this many moves of one pass, so that the
// check of the points it drops stays cheap.
constexpr std::size_t kMaxRun = 32;

struct Vec {
    double x, y, z;
};

Vec Of(const float p[3]) { return {p[0], p[1], p[2]}; }

double DistanceToSegment(const Vec& p, const Vec& a, const Vec& b) {
    const Vec ab{b.x - a.x, b.y - a.y, b.z - a.z};
    const Vec ap{p.x - a.x, p.y - a.y, p.z - a.z};
    const double length2 = ab.x * ab.x + ab.y * ab.y + ab.z * ab.z;
    double t = 0;
    if (length2 > 0) t = std::clamp((ap.x * ab.x + ap.y * ab.y + ap.z * ab.z) / length2, 0.0, 1.0);
    const Vec d{ap.x - t * ab.x, ap.y - t * ab.y, ap.z - t * ab.z};
    return std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
}

bool IsArc(MoveKind kind) { return kind == MoveKind::ArcCw || kind == MoveKind::ArcCcw; }

double ArcRadius(const StoredMove& move) {
    // The plane's two axes (0 = X, 1 = Y, 2 = Z).
    int u = 0, v = 1;
    if (move.plane == ArcPlane::ZX) u = 2, v = 0;
    if (move.plane == ArcPlane::YZ) u = 1, v = 2;
    return std::hypot(double(move.from[u]) - move.centre[u], double(move.from[v]) - move.centre[v]);
}

StoredMove Stored(const ToolMove& move) {
    StoredMove stored{};
    const Point3* points[3] = {&move.from, &move.to, &move.centre};
    float* fields[3] = {stored.from, stored.to, stored.centre};
    for (int i = 0; i < 3; ++i) {
        fields[i][0] = static_cast<float>(points[i]->x);
        fields[i][1] = static_cast<float>(points[i]->y);
        fields[i][2] = static_cast<float>(points[i]->z);
    }
    stored.line = move.line;
    stored.kind = move.kind;
    stored.plane = move.plane;
    stored.blockDelete = move.blockDelete;
    stored.questionable = move.questionable;
    return stored;
}

bool SamePoint(const float a[3], const float b[3]) {
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

}  // namespace

ToolpathStore::ToolpathStore(std::size_t maxMoves) : maxMoves_(std::max<std::size_t>(maxMoves, 2)) {}

void ToolpathStore::Add(const ToolMove& move) {
    ++added_;
    AddMoveExtents(extents_, move);
    moves_.push_back(Stored(move));
    if (moves_.size() > maxMoves_) Compact();
}

void ToolpathStore::Add(const std::vector<ToolMove>& moves) {
    for (const ToolMove& move : moves) Add(move);
}

void ToolpathStore::Clear() {
    moves_.clear();
    moves_.shrink_to_fit();
    added_ = 0;
    tolerance_ = 0;
    extents_ = Extents{};
}

// Brings the moves down to half the bound, so that the next compaction is as
// far away as the moves kept: each move costs a bounded share of the passes.
void ToolpathStore::Compact() {
    double size = extents_.empty ? 0.0
                                 : std::hypot(extents_.max.x - extents_.min.x,
                                              extents_.max.y - extents_.min.y,
                                              extents_.max.z - extents_.min.z);
    if (!std::isfinite(size)) size = 0;
    const double floor = std::max(size, 1.0) * 1e-9;
    const std::size_t target = maxMoves_ / 2;
    if (tolerance_ == 0) {
        tolerance_ = std::max(size / 1e5, floor);
    }
    for (;;) {
        // Moves of different kinds merge only once the tolerance is about a
        // pixel of the whole part in view: without this a program of a
        // million holes (four moves of alternating kinds each) could not be
        // bounded.
        // Beyond every finite tolerance (moves that are no numbers) the
        // bound still holds: neighbours merge whatever they are.
        const std::size_t before = moves_.size();
        MergePass(tolerance_ >= size / 1000, !std::isfinite(tolerance_));
        if (moves_.size() <= target) break;
        // Past the part's size every move of numbers is near every other:
        // what still does not merge has none, and needs no more doublings.
        const bool stuck = moves_.size() == before && tolerance_ > 4 * size + floor;
        tolerance_ = stuck ? HUGE_VAL : tolerance_ * 2;
    }
}

void ToolpathStore::MergePass(bool acrossKinds, bool whatever) {
    std::vector<Vec> dropped;
    dropped.reserve(kMaxRun + 1);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < moves_.size(); ++i) {
        StoredMove move = moves_[i];
        // An arc smaller than the tolerance differs from its chord by less.
        if (IsArc(move.kind) && (whatever || 2 * ArcRadius(move) <= tolerance_)) {
            move.kind = MoveKind::Feed;
        }
        if (kept > 0 && !IsArc(move.kind)) {
            StoredMove& last = moves_[kept - 1];
            const bool alike = last.kind == move.kind && last.blockDelete == move.blockDelete &&
                               last.questionable == move.questionable &&
                               SamePoint(last.to, move.from);
            if (!IsArc(last.kind) && dropped.size() < kMaxRun && (alike || acrossKinds)) {
                const Vec a = Of(last.from);
                const Vec b = Of(move.to);
                bool near = whatever || (DistanceToSegment(Of(last.to), a, b) <= tolerance_ &&
                                         DistanceToSegment(Of(move.from), a, b) <= tolerance_);
                for (std::size_t d = 0; near && !whatever && d < dropped.size(); ++d) {
                    near = DistanceToSegment(dropped[d], a, b) <= tolerance_;
                }
                if (near) {
                    dropped.push_back(Of(last.to));
                    if (last.kind != move.kind) last.kind = MoveKind::Feed;
                    last.questionable = last.questionable || move.questionable;
                    last.blockDelete = last.blockDelete && move.blockDelete;
                    std::copy(move.to, move.to + 3, last.to);
                    last.span = static_cast<std::uint32_t>(
                        std::min<std::uint64_t>(move.line + move.span - last.line, UINT32_MAX));
                    continue;
                }
            }
        }
        dropped.clear();
        moves_[kept++] = move;
    }
    moves_.resize(kept);
}

std::pair<std::size_t, std::size_t> ToolpathStore::MovesOfLine(std::uint64_t line) const {
    // Both ends of the lines a move stands for ascend with the moves.
    const auto first = std::lower_bound(
        moves_.begin(), moves_.end(), line,
        [](const StoredMove& move, std::uint64_t value) { return move.line + move.span < value; });
    const auto last = std::upper_bound(
        first, moves_.end(), line,
        [](std::uint64_t value, const StoredMove& move) { return value < move.line; });
    return {static_cast<std::size_t>(first - moves_.begin()),
            static_cast<std::size_t>(last - moves_.begin())};
}

}  // namespace wexal
