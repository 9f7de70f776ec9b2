#include "nctools/toolpath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "nctools/toolpath_file.h"
#include "nctools/toolpath_store.h"
#include "support/scripted_messages.h"
#include "support/test_env.h"

namespace wexal {
namespace {

// A number as short as it reads: 4 decimals at most, no trailing zeros.
std::string Num(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.4f", value);
    std::string s = text;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

std::string Where(const Point3& p) { return Num(p.x) + "," + Num(p.y) + "," + Num(p.z); }

// "N<line> [/]R|F|CW|CCW x,y,z[ Cx,y,z XY|ZX|YZ][?]": "/" a block-delete
// line, "?" a questionable move.
std::string Shown(const ToolMove& move) {
    static const char* const kKinds[] = {"R", "F", "CW", "CCW"};
    static const char* const kPlanes[] = {"XY", "ZX", "YZ"};
    std::string s = "N" + std::to_string(move.line) + " " + (move.blockDelete ? "/" : "") +
                    kKinds[static_cast<int>(move.kind)] + " " + Where(move.to);
    if (move.kind == MoveKind::ArcCw || move.kind == MoveKind::ArcCcw) {
        s += " C" + Where(move.centre) + " " + kPlanes[static_cast<int>(move.plane)];
    }
    if (move.questionable) s += "?";
    return s;
}

struct Interpreted {
    std::vector<std::string> moves;
    std::vector<std::string> notUnderstood;
    ToolpathSummary summary;
    bool chained = true;  // every move starts where the one before ended
};

Interpreted Interpret(const std::string& program, bool leastIncrement) {
    ToolpathInterpreter interpreter({leastIncrement});
    Interpreted run;
    std::vector<ToolMove> out;
    Point3 at;
    std::uint64_t number = 0;
    std::size_t start = 0;
    while (start <= program.size()) {
        std::size_t end = program.find('\n', start);
        if (end == std::string::npos) end = program.size();
        interpreter.Line(std::string_view(program).substr(start, end - start), ++number, out);
        for (const ToolMove& move : out) {
            run.moves.push_back(Shown(move));
            if (!(move.from == at)) run.chained = false;
            at = move.to;
        }
        start = end + 1;
    }
    run.summary = interpreter.summary();
    for (const NotUnderstood& item : run.summary.notUnderstood) {
        run.notUnderstood.push_back("N" + std::to_string(item.line) + " " + item.what);
    }
    return run;
}

TEST(ToolpathTest, ProgramsMoveAsWorkedOutByHand) {
    struct Case {
        const char* name;
        const char* program;
        bool leastIncrement;
        std::vector<std::string> moves;
        std::vector<std::string> notUnderstood;
        const char* extents;  // "min x,y,z max x,y,z", or "" when not checked
    };
    const Case cases[] = {
        {"square with comments, block delete and modal words",
         "%\n"
         "O1000 (SQUARE X99.)\n"
         "N10 G21 G90 G17\n"
         "N20 G00 X0 Y0 Z5.\n"
         "N30 G01 Z-1. F100 ; X50.\n"
         "X10.\n"
         "Y10. (SIDE 2)\n"
         "N60X0\n"
         "/Y0\n"
         "G00Z5.",
         false,
         {"N4 R 0,0,5", "N5 F 0,0,-1", "N6 F 10,0,-1", "N7 F 10,10,-1", "N8 F 0,10,-1",
          "N9 /F 0,0,-1", "N10 R 0,0,5"},
         {},
         "0,0,-1 10,10,5"},
        {"arcs in G17: I/J, +R, -R, a full circle, a helix",
         "G00 X10. Y0\n"
         "G03 X0 Y10. I-10. J0\n"
         "G02 X10. Y0 R10.\n"
         "G02 X0 Y10. R-10.\n"
         "G02 I0 J-10.\n"
         "G03 X-10. Y0 Z-5. I0 J-10.",
         false,
         {"N1 R 10,0,0", "N2 CCW 0,10,0 C0,0,0 XY", "N3 CW 10,0,0 C0,0,0 XY",
          "N4 CW 0,10,0 C0,0,0 XY", "N5 CW 0,10,0 C0,0,0 XY", "N6 CCW -10,0,-5 C0,0,0 XY"},
         {},
         "-10,-10,-5 10,10,0"},
        {"arcs in G18: Z is the first axis, K and I the centre",
         "G18 G00 X0 Y0 Z10.\n"
         "G03 X10. Z0 I0 K-10.\n"
         "G02 X0 Z10. R10.\n"
         "G02 X10. Z0 R-10.\n"
         "G03 I-10.\n"
         "G02 X0 Y3. Z10. R10.",
         false,
         {"N1 R 0,0,10", "N2 CCW 10,0,0 C0,0,0 ZX", "N3 CW 0,0,10 C0,0,0 ZX",
          "N4 CW 10,0,0 C0,0,0 ZX", "N5 CCW 10,0,0 C0,0,0 ZX", "N6 CW 0,3,10 C0,0,0 ZX"},
         {},
         "-10,0,-10 10,3,10"},
        {"arcs in G19: Y is the first axis, J and K the centre",
         "G19 G00 X0 Y10. Z0\n"
         "G03 Y0 Z10. J-10. K0\n"
         "G02 Y10. Z0 R10.\n"
         "G02 Y0 Z10. R-10.\n"
         "G02 K-10.",
         false,
         {"N1 R 0,10,0", "N2 CCW 0,0,10 C0,0,0 YZ", "N3 CW 0,10,0 C0,0,0 YZ",
          "N4 CW 0,0,10 C0,0,0 YZ", "N5 CW 0,0,10 C0,0,0 YZ"},
         {},
         "0,-10,-10 0,10,10"},
        {"G91 chains, arcs in G91, back to G90",
         "G91 G01 X10. Y5. F100\n"
         "X-3. Z-2.\n"
         "G02 X10. Y0 I5. J0\n"
         "G90 G01 X1.",
         false,
         {"N1 F 10,5,0", "N2 F 7,5,-2", "N3 CW 17,5,-2 C12,5,-2 XY", "N4 F 1,5,-2"},
         {},
         "0,0,-2 17,10,0"},
        {"canned cycles: G99 to R, G98 to the initial level, G80, an axis after G80",
         "G90 G00 X0 Y0 Z10.\n"
         "G99 G81 X10. Y0 Z-5. R2. F100\n"
         "X20.\n"
         "G98 Y10.\n"
         "G80\n"
         "X0 Y0\n"
         "G00 X0 Y0",
         false,
         {"N1 R 0,0,10", "N2 R 10,0,10", "N2 R 10,0,2", "N2 F 10,0,-5", "N2 R 10,0,2",
          "N3 R 20,0,2", "N3 F 20,0,-5", "N3 R 20,0,2", "N4 R 20,10,2", "N4 F 20,10,-5",
          "N4 R 20,10,2", "N4 R 20,10,10", "N7 R 0,0,10"},
         {"N6 G80 X0 Y0"},
         ""},
        {"G91 cycle: R from the initial level, Z from R, K holes, G85 feeds out",
         "G90 G00 X0 Y0 Z10.\n"
         "G91 G99 G85 X5. Z-8. R-7. K3 F50\n"
         "G80 G90 G00 Z10.",
         false,
         {"N1 R 0,0,10", "N2 R 5,0,10", "N2 R 5,0,3", "N2 F 5,0,-5", "N2 F 5,0,3",
          "N2 R 10,0,3", "N2 F 10,0,-5", "N2 F 10,0,3", "N2 R 15,0,3", "N2 F 15,0,-5",
          "N2 F 15,0,3", "N3 R 15,0,10"},
         {},
         ""},
        {"a cycle without its depth, and G83 drilling along X in G19",
         "G81 X1. R1.\n"
         "G19 G00 X10. Y0 Z0\n"
         "G98 G83 Y5. Z5. X-2. R3. Q1.",
         false,
         {"N2 R 10,0,0", "N3 R 10,5,5", "N3 R 3,5,5", "N3 F -2,5,5", "N3 R 3,5,5",
          "N3 R 10,5,5"},
         {"N1 Z?"},
         ""},
        {"G28 through the intermediate point to the origin of the axes named",
         "G90 G00 X10. Y20. Z30.\n"
         "G28 X5. Z40.\n"
         "G91 G28 Y0",
         false,
         {"N1 R 10,20,30", "N2 R 5,20,40", "N2 R 0,20,0", "N3 R 0,0,0"},
         {},
         ""},
        {"G54 changes nothing, G92 shifts, G53 is the machine's frame",
         "G54 G90 G00 X10. Y10. Z0\n"
         "G92 X0 Y0\n"
         "G01 X5. Y0 F100\n"
         "G53 X0 Y0\n"
         "G00 X0 Y0\n"
         "G55 X1.",
         false,
         {"N1 R 10,10,0", "N3 F 15,10,0", "N4 R 0,0,0", "N5 R 10,10,0", "N6 R 11,10,0"},
         {},
         ""},
        {"what is not understood is listed and moves nothing",
         "G00 X1.\n"
         "#100=5.\n"
         "G01 X#100\n"
         "M98 P1000\n"
         "G65 P9000 A1.\n"
         "G05.1 Q1\n"
         "G01 X2. $$\n"
         "G01 Y\n"
         "X3.\n"
         "G01 B90.\n"
         "M99\n"
         "IF [#1 GT 0] GOTO10\n"
         "G999999999 X1.",
         false,
         {"N1 R 1,0,0", "N9 R 3,0,0"},
         {"N2 #100 =5.", "N3 X? #100", "N4 M98", "N5 G65 A1.", "N6 G05.1", "N7 $$", "N8 Y?",
          "N10 B90.", "N11 M99", "N12 IF [#1 GT 0] GOTO 10",
          "N13 G999999999"},
         ""},
        {"no decimal point: least increments of mm, then of inch",
         "G21 G01 X1000 Y2.5 F100\n"
         "G20 X1000\n"
         "G21 G02 X1.1 Y2.5 R500",
         true,
         {"N1 F 1,2.5,0", "N2 F 0.1,2.5,0", "N3 CW 1.1,2.5,0 C0.6,2.5,0 XY"},
         {},
         ""},
        {"no decimal point without the option: whole units",
         "G21 G01 X1000 Y2.5 F100",
         false,
         {"N1 F 1000,2.5,0"},
         {},
         ""},
        {"faults: an end off the circle, an R too small, no length, numbers out of range",
         "G00 X10. Y0\n"
         "G03 X0 Y10.01 I-10. J0\n"
         "G02 X10. Y10.01 R1.\n"
         "G01 X10. Y10.01\n"
         "X1e400\n"
         "X1000000000000000.\n"
         "X.\n"
         "G02 X10. Y10.01 R0\n"
         "G02 I0 J0",
         false,
         {"N1 R 10,0,0", "N2 CCW 0,10.01,0 C0,0,0 XY?", "N3 CW 10,10.01,0 C5,10.01,0 XY?",
          "N4 F 10,10.01,0?", "N8 F 10,10.01,0?", "N9 F 10,10.01,0?"},
         {"N5 X1e400", "N6 X1000000000000000.", "N7 X."},
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Interpreted run = Interpret(c.program, c.leastIncrement);
        EXPECT_EQ(run.moves, c.moves);
        EXPECT_EQ(run.notUnderstood, c.notUnderstood);
        EXPECT_TRUE(run.chained);
        EXPECT_EQ(run.summary.moves, c.moves.size());
        std::uint64_t questionable = 0;
        for (const std::string& move : c.moves) questionable += move.back() == '?';
        EXPECT_EQ(run.summary.questionable, questionable);
        EXPECT_EQ(run.summary.notUnderstoodCount, c.notUnderstood.size());
        if (*c.extents != '\0') {
            const Extents& e = run.summary.extents;
            ASSERT_FALSE(e.empty);
            EXPECT_EQ(Where(e.min) + " " + Where(e.max), c.extents);
        }
    }
}

// A program of many short moves kept within a small bound: its moves merge,
// but every point of it stays near what is kept, and rapids stay rapids.
TEST(ToolpathTest, StoreKeepsTheShapeWithinItsBound) {
    constexpr std::size_t kBound = 1000;
    ToolpathStore store(kBound);
    std::vector<ToolMove> all;
    Point3 at{100, 0, 0};
    std::uint64_t line = 0;
    // Ten rings of a circle of radius 100 in 20000 chords each, a rapid up
    // and down between rings.
    for (int ring = 0; ring < 10; ++ring) {
        const double z = -ring;
        ToolMove up{MoveKind::Rapid, at, {at.x, at.y, 5}, {}, ArcPlane::XY, ++line};
        ToolMove down{MoveKind::Rapid, up.to, {at.x, at.y, z}, {}, ArcPlane::XY, ++line};
        all.push_back(up);
        all.push_back(down);
        at = down.to;
        for (int i = 1; i <= 20000; ++i) {
            const double angle = 2 * 3.14159265358979 * i / 20000;
            ToolMove cut{MoveKind::Feed, at, {100 * std::cos(angle), 100 * std::sin(angle), z},
                         {}, ArcPlane::XY, ++line};
            all.push_back(cut);
            at = cut.to;
        }
    }
    store.Add(all);
    const std::vector<StoredMove>& kept = store.moves();
    EXPECT_LE(kept.size(), kBound);
    EXPECT_EQ(store.added(), all.size());
    EXPECT_GT(store.tolerance(), 0);
    EXPECT_LT(store.tolerance(), 1.0);  // a 200 mm circle stays a circle
    EXPECT_EQ(store.extents().min.z, -9);
    int rapids = 0;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        if (i > 0) {
            EXPECT_LE(kept[i - 1].line, kept[i].line);
        }
        rapids += kept[i].kind == MoveKind::Rapid;
    }
    EXPECT_GE(rapids, 10);
    // Each point lies near the kept move that took its line.
    double worst = 0;
    for (const ToolMove& move : all) {
        const auto [first, last] = store.MovesOfLine(move.line);
        ASSERT_LT(first, last);
        const StoredMove& s = kept[last - 1];
        const double ax = s.from[0], ay = s.from[1], az = s.from[2];
        const double bx = s.to[0] - ax, by = s.to[1] - ay, bz = s.to[2] - az;
        const double px = move.to.x - ax, py = move.to.y - ay, pz = move.to.z - az;
        const double length2 = bx * bx + by * by + bz * bz;
        const double t =
            length2 > 0 ? std::clamp((px * bx + py * by + pz * bz) / length2, 0.0, 1.0) : 0.0;
        worst = std::max(worst, std::hypot(px - t * bx, py - t * by, pz - t * bz));
    }
    EXPECT_LE(worst, 2 * store.tolerance() + 1e-4);

    // Holes in a grid, four moves of alternating kinds each, and moves that
    // go nowhere: merged across kinds, and still within the bound.
    ToolpathStore holes(1000);
    Point3 over{0, 0, 5};
    line = 0;
    for (int hole = 0; hole < 100000; ++hole) {
        const Point3 next{double(hole % 300), double(hole / 300), 5};
        const Point3 r{next.x, next.y, 2};
        const Point3 bottom{next.x, next.y, -5};
        ++line;
        holes.Add({MoveKind::Rapid, over, next, {}, ArcPlane::XY, line});
        holes.Add({MoveKind::Rapid, next, r, {}, ArcPlane::XY, line});
        holes.Add({MoveKind::Feed, r, bottom, {}, ArcPlane::XY, line});
        holes.Add({MoveKind::Rapid, bottom, next, {}, ArcPlane::XY, line});
        over = next;
    }
    EXPECT_LE(holes.moves().size(), 1000u);
    EXPECT_EQ(holes.added(), 400000u);
    ToolpathStore still(10);
    for (int i = 0; i < 1000; ++i) {
        still.Add({i % 2 ? MoveKind::Rapid : MoveKind::ArcCw, {}, {}, {}, ArcPlane::XY,
                   std::uint64_t(i)});
    }
    EXPECT_LE(still.moves().size(), 10u);
    ToolpathStore noNumbers(10);
    const double nan = std::nan("");
    for (int i = 0; i < 1000; ++i) {
        noNumbers.Add({i % 2 ? MoveKind::Feed : MoveKind::ArcCcw, {nan, 0, 0}, {0, nan, 1},
                       {nan, nan, nan}, ArcPlane::XY, std::uint64_t(i)});
    }
    EXPECT_LE(noNumbers.moves().size(), 10u);

    // Kept as they came while they fit; lines found by their number.
    ToolpathStore small(10);
    small.Add(all[0]);
    small.Add(all[1]);
    ToolMove third = all[2];
    third.line = 5;
    small.Add(third);
    EXPECT_EQ(small.tolerance(), 0);
    EXPECT_EQ(small.MovesOfLine(1), std::make_pair(std::size_t{0}, std::size_t{1}));
    EXPECT_EQ(small.MovesOfLine(3), std::make_pair(std::size_t{2}, std::size_t{2}));
    EXPECT_EQ(small.MovesOfLine(5), std::make_pair(std::size_t{2}, std::size_t{3}));
    small.Clear();
    EXPECT_TRUE(small.moves().empty());
    EXPECT_TRUE(small.extents().empty);
}

class CancelAt : public ToolProgress {
public:
    explicit CancelAt(std::size_t line) : line_(line) {}
    bool Step(std::size_t line) override { return line < line_; }
    void Reached(std::uint64_t done, std::uint64_t total) override {
        EXPECT_LE(done, total);
        EXPECT_GE(done, reached_);
        reached_ = done;
    }
    std::uint64_t reached_ = 0;

private:
    std::size_t line_;
};

// A file read as it streams: lines across the reader's blocks (CR LF, some
// split between them), a line too long in the middle, and the ways to stop.
TEST(ToolpathTest, FileIsReadLineByLineAcrossBlocks) {
    test::TempDir dir;
    const std::filesystem::path path = dir / "LONG.NC";
    constexpr int kLines = 40000;  // about 500 KB: several blocks
    constexpr int kLongLine = 20000;
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 1; i <= kLines; ++i) {
            if (i == kLongLine) {
                // Longer than a block of the reader: it spans blocks, whatever their size.
                out << std::string(300 * 1024, 'X') << "\r\n";
            } else {
                out << "G01 X" << i << ". (LINE)\r\n";
            }
        }
    }
    test::ScriptedMessages messages;
    std::vector<ToolMove> moves;
    std::size_t batches = 0;
    CancelAt never(kLines + 1);
    const ToolpathRun run = ReadToolpathFile(
        path, {}, messages,
        [&](const std::vector<ToolMove>& batch) {
            ++batches;
            moves.insert(moves.end(), batch.begin(), batch.end());
            return true;
        },
        &never);
    ASSERT_TRUE(run.status.ok) << run.status.message;
    EXPECT_FALSE(run.cancelled);
    EXPECT_GT(batches, 1u);
    EXPECT_EQ(never.reached_, std::filesystem::file_size(path));
    ASSERT_EQ(moves.size(), kLines - 1u);
    bool inOrder = true;
    for (std::size_t i = 0; i < moves.size(); ++i) {
        const std::uint64_t line = i + 1 < kLongLine ? i + 1 : i + 2;
        inOrder = inOrder && moves[i].line == line && moves[i].to.x == double(line);
    }
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(run.summary.lines, std::uint64_t{kLines});
    ASSERT_EQ(run.summary.notUnderstood.size(), 1u);
    EXPECT_EQ(run.summary.notUnderstood[0].line, std::uint64_t{kLongLine});
    EXPECT_EQ(run.summary.notUnderstood[0].what, "行が長すぎます");

    // The operator's cancel, and a receiver that wants no more.
    CancelAt early(5000);
    moves.clear();
    const ToolpathRun cancelled = ReadToolpathFile(
        path, {}, messages,
        [&](const std::vector<ToolMove>& batch) {
            moves.insert(moves.end(), batch.begin(), batch.end());
            return true;
        },
        &early);
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_LT(moves.size(), 5000u);
    std::size_t calls = 0;
    const ToolpathRun stopped = ReadToolpathFile(path, {}, messages,
                                                 [&](const std::vector<ToolMove>&) {
                                                     ++calls;
                                                     return false;
                                                 });
    EXPECT_EQ(calls, 1u);
    EXPECT_FALSE(stopped.cancelled);
    EXPECT_LT(stopped.summary.lines, std::uint64_t{kLines});
}

}  // namespace
}  // namespace wexal
