#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "nctools/toolpath.h"

namespace wexal {

// One move as drawing needs it: single precision is finer than a pixel.
struct StoredMove {
    float from[3];
    float to[3];
    float centre[3];
    std::uint64_t line;
    // A merged move stands for lines line .. line + span (0: one line).
    std::uint32_t span;
    MoveKind kind;
    ArcPlane plane;
    bool blockDelete;
    bool questionable;
};

// What the plot keeps of a program, within a bound: every move while they fit
// in maxMoves; beyond that, neighbouring moves of one kind merge into longer
// ones within a tolerance that grows as needed, so that a 1 GB program keeps
// its shape at a bounded cost. Moves stay in program order (lines ascending).
class ToolpathStore {
public:
    explicit ToolpathStore(std::size_t maxMoves = 1'000'000);

    void Add(const ToolMove& move);
    void Add(const std::vector<ToolMove>& moves);
    void Clear();

    const std::vector<StoredMove>& moves() const { return moves_; }
    // Moves added, before any merging.
    std::uint64_t added() const { return added_; }
    // The merge tolerance now in force, in program units; 0 while every move
    // is kept as it came.
    double tolerance() const { return tolerance_; }
    Extents extents() const { return extents_; }

    // The stored moves that came from a source line, a merged move among
    // them when it stands for the line: [first, last) indexes, empty when
    // none (binary search: lines ascend).
    std::pair<std::size_t, std::size_t> MovesOfLine(std::uint64_t line) const;

private:
    // (the rest of the private section is the implementation's own)
    void Compact();
    // One pass of merging at the tolerance in force; whatever: every
    // neighbour merges, near or not.
    void MergePass(bool acrossKinds, bool whatever);

    std::size_t maxMoves_;
    std::vector<StoredMove> moves_;
    std::uint64_t added_ = 0;
    double tolerance_ = 0;
    Extents extents_;
};

}  // namespace wexal
