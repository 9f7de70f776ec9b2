#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "nctools/toolpath_store.h"

namespace {

using namespace wexal;

// The moves of a program far larger than the plot keeps: rings of short cuts
// (a surface finish) with a drilled hole after each ring, added to a store
// whose bound is a tenth of them, so that its merging runs again and again.
void BM_ToolpathStoreBeyondItsBound(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    std::vector<ToolMove> moves;
    moves.reserve(count);
    Point3 at{50, 0, 0};
    std::uint64_t line = 0;
    for (int ring = 0; moves.size() < count; ++ring) {
        for (int i = 1; i <= 2000 && moves.size() < count; ++i) {
            const double angle = 2 * std::numbers::pi * i / 2000;
            const double radius = 50 - 0.1 * ring;
            const Point3 to{radius * std::cos(angle), radius * std::sin(angle), -0.01 * ring};
            moves.push_back({MoveKind::Feed, at, to, {}, ArcPlane::XY, ++line});
            at = to;
        }
        const Point3 up{at.x, at.y, 5};
        const Point3 bottom{at.x, at.y, -10};
        ++line;
        moves.push_back({MoveKind::Rapid, at, up, {}, ArcPlane::XY, line});
        moves.push_back({MoveKind::Feed, up, bottom, {}, ArcPlane::XY, line});
        moves.push_back({MoveKind::Rapid, bottom, at, {}, ArcPlane::XY, line});
    }
    std::size_t kept = 0;
    double tolerance = 0;
    for (auto _ : state) {
        ToolpathStore store(count / 10);
        store.Add(moves);
        kept = store.moves().size();
        tolerance = store.tolerance();
        benchmark::DoNotOptimize(kept);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * moves.size()));
    state.counters["kept"] = static_cast<double>(kept);
    state.counters["tolerance_mm"] = tolerance;
}
BENCHMARK(BM_ToolpathStoreBeyondItsBound)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace
