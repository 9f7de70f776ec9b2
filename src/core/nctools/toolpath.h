#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace wexal {

// The motion of an NC part program in the common Fanuc-style dialect, read
// line by line: what the toolpath plot draws and `ncpath` prints. Coordinates
// are the program's own, in its units (G20 inch, G21 mm); every offset the
// program does not set is zero (G54..G59 change nothing, G53 and G28's
// reference point are the origin, G92 shifts as programmed).

struct Point3 {
    double x = 0;
    double y = 0;
    double z = 0;
    bool operator==(const Point3&) const = default;
};

enum class MoveKind : std::uint8_t { Rapid, Feed, ArcCw, ArcCcw };
// G17, G18, G19: the plane an arc turns in.
enum class ArcPlane : std::uint8_t { XY, ZX, YZ };

struct ToolMove {
    MoveKind kind = MoveKind::Rapid;
    Point3 from;
    Point3 to;
    Point3 centre;               // arcs only
    ArcPlane plane = ArcPlane::XY;  // arcs only
    std::uint64_t line = 0;      // source line, counted from 1
    // An arc whose end equals its start in its plane is a full circle; the
    // centre lies at the start's height on the plane's third axis.
    bool blockDelete = false;    // the line began with "/"
    // Drawn by a stated rule, not as programmed: an arc whose end is off its
    // circle, an R too small for its chord, a zero-length move.
    bool questionable = false;
};

// Something the interpreter does not know, never guessed at: a macro
// variable, a subprogram call, an unknown G code, a word it cannot read.
struct NotUnderstood {
    std::uint64_t line = 0;
    std::string what;  // e.g. "#100", "M98", "G65", "Q?"
};

struct Extents {
    Point3 min;
    Point3 max;
    bool empty = true;
    void Add(const Point3& p);
};

// Adds a move's end points and, for an arc, the quadrant points it passes.
void AddMoveExtents(Extents& extents, const ToolMove& move);

struct ToolpathOptions {
    // A number without a decimal point: whole units (false, X10 = 10 mm), or
    // the least increment (true, X10 = 0.010 mm, 0.0010 inch).
    bool noDecimalIsLeastIncrement = false;
};

// Counts of one run; the list of lines not understood is kept up to a bound,
// the count is exact.
struct ToolpathSummary {
    Extents extents;
    std::uint64_t moves = 0;
    std::uint64_t questionable = 0;
    std::uint64_t notUnderstoodCount = 0;
    std::vector<NotUnderstood> notUnderstood;  // the first kMaxListed
    bool inch = false;                         // G20 was in force at the end
    std::uint64_t lines = 0;
    static constexpr std::size_t kMaxListed = 1000;
};

// The rules where a program leaves a choice:
// - A line with anything not understood makes no move and changes no mode: it
//   is listed, and the next line goes on from where the tool was.
// - The tool starts at the origin in G00, G17, G90, G98, in the units of the
//   first G20/G21 (mm before one); G20/G21 convert nothing already drawn.
// - Axis words in G80 with no motion code are not understood (never guessed).
// - Canned cycles drill along the plane's third axis: a rapid over the hole at
//   the level the tool is at, a rapid to R, a feed to the bottom, back to R at
//   feed for G74, G84, G85, G89 and at rapid for the others, then for G98 a
//   rapid to the initial level (where the tool was as the cycles began). In
//   G91, R counts from the initial level and the bottom from R; K or L counts
//   the holes, each a step further in G91. Pecks and shifts are not drawn.
//   A hole with no R or bottom given since the cycles began is not understood.
// - G28 goes through the intermediate point (named axes only; a leg of no
//   length is left out) to the origin of the axes named; G53 is a rapid.
// - Zero-length moves: a programmed G00, G01 or G53 to where the tool is
//   stays a move, marked questionable, and so does the feed of a hole of no
//   depth; the other drilling legs and G28 legs of no length are left out.
//   An arc with no radius (R0, I0 J0, or an R arc whose end is
//   its start) is drawn as a straight feed, marked questionable.
class ToolpathInterpreter {
public:
    explicit ToolpathInterpreter(ToolpathOptions options = {});

    // One line of the program, without its line end, numbered from 1.
    // Appends the moves it makes to out (cleared first).
    void Line(std::string_view text, std::uint64_t number, std::vector<ToolMove>& out);

    // A line the reader could not hand on whole (too long): counted and
    // listed as not understood, as any line not understood.
    void NotUnderstoodLine(std::uint64_t number, std::string what);

    const ToolpathSummary& summary() const { return summary_; }

private:
    // (the private section is the implementation's own)
    struct Word {
        char letter = 0;
        double value = 0;
        bool decimal = false;
        std::string_view text;
    };
    bool Read(std::string_view text, bool& blockDelete);
    bool Interpret(std::uint64_t number, bool blockDelete, std::vector<ToolMove>& out);
    void Emit(ToolMove move, std::vector<ToolMove>& out);
    void Linear(MoveKind kind, const Point3& to, std::uint64_t number, bool blockDelete,
                bool zeroIsQuestionable, std::vector<ToolMove>& out);
    void Problem(std::string_view what);

    ToolpathOptions options_;
    ToolpathSummary summary_;
    std::vector<Word> words_;
    std::string problems_;
    Point3 pos_;    // where the tool is, in the frame the moves are stored in
    Point3 shift_;  // G92's shift: stored = programmed + shift
    int motion_ = 0;  // 0..3 (G00..G03), 80 (none), or the canned cycle's number
    ArcPlane plane_ = ArcPlane::XY;
    bool incremental_ = false;
    bool returnToR_ = false;  // G99
    double initialLevel_ = 0;
    double cycleR_ = 0;
    double cycleZ_ = 0;
    bool cycleRSet_ = false;
    bool cycleZSet_ = false;
};

}  // namespace wexal
