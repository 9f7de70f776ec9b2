#include "nctools/toolpath.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <numbers>

namespace wexal {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kTwoPi = 2 * std::numbers::pi;
// Beyond this a number is no coordinate of a machine tool; refusing it keeps
// every sum and square of the arithmetic finite.
constexpr double kLargest = 1e9;
// A line lists at most this much of what it did not understand.
constexpr std::size_t kMaxProblemText = 80;

// The plane's first, second and third axis (0 = X, 1 = Y, 2 = Z), so that
// first x second points along the third: an arc turns counter-clockwise as
// seen from the third axis's plus side.
struct PlaneAxes {
    int u;
    int v;
    int w;
};

PlaneAxes AxesOf(ArcPlane plane) {
    switch (plane) {
        case ArcPlane::ZX: return {2, 0, 1};
        case ArcPlane::YZ: return {1, 2, 0};
        case ArcPlane::XY: break;
    }
    return {0, 1, 2};
}

double& At(Point3& p, int axis) { return axis == 0 ? p.x : axis == 1 ? p.y : p.z; }
double At(const Point3& p, int axis) { return axis == 0 ? p.x : axis == 1 ? p.y : p.z; }

int AxisOfLetter(char letter) {
    switch (letter) {
        case 'X': return 0;
        case 'Y': return 1;
        case 'Z': return 2;
        default: return -1;
    }
}

// The angle brought into [0, 2 pi).
double Turn(double angle) {
    angle = std::fmod(angle, kTwoPi);
    return angle < 0 ? angle + kTwoPi : angle;
}

bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }
bool IsLetter(char c) { return IsUpper(c) || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Source text as the list shows it: printable ASCII as it stands, any other
// byte as \xNN, so that a binary line cannot garble the listing.
void AppendShown(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F) {
            out += c;
        } else {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        }
    }
}

// G codes in tenths (G54.1 = 541) that the interpreter knows.
bool KnownG(int tenths) {
    static constexpr std::array kKnown = {
        0,   10,  20,  30,  40,  90,                 // motion, dwell, exact stop
        170, 180, 190, 200, 210, 280,                // planes, units, reference
        400, 410, 420, 430, 440, 490,                // compensations: the path as programmed
        530, 540, 541, 550, 560, 570, 580, 590,      // machine and work coordinates
        610, 620, 630, 640, 670, 690,                // cutting modes, cancels
        730, 740, 760, 800, 810, 820, 830, 840, 850, 860, 870, 880, 890,  // cycles
        900, 910, 920, 930, 940, 950, 960, 970, 980, 990};
    return std::find(kKnown.begin(), kKnown.end(), tenths) != kKnown.end();
}

bool IsCycle(int code) {
    return code == 73 || code == 74 || code == 76 || (code >= 81 && code <= 89);
}

// Cycles that leave the hole at feed (tapping and the boring that feeds
// out); the others leave it at rapid.
bool FeedsOut(int code) { return code == 74 || code == 84 || code == 85 || code == 89; }

double PlaneDistance(const Point3& a, const Point3& b, const PlaneAxes& axes) {
    return std::hypot(At(a, axes.u) - At(b, axes.u), At(a, axes.v) - At(b, axes.v));
}

}  // namespace

void Extents::Add(const Point3& p) {
    if (empty) {
        min = max = p;
        empty = false;
        return;
    }
    min.x = std::min(min.x, p.x);
    min.y = std::min(min.y, p.y);
    min.z = std::min(min.z, p.z);
    max.x = std::max(max.x, p.x);
    max.y = std::max(max.y, p.y);
    max.z = std::max(max.z, p.z);
}

void AddMoveExtents(Extents& extents, const ToolMove& move) {
    extents.Add(move.from);
    extents.Add(move.to);
    if (move.kind != MoveKind::ArcCw && move.kind != MoveKind::ArcCcw) return;
    const PlaneAxes axes = AxesOf(move.plane);
    const double cu = At(move.centre, axes.u);
    const double cv = At(move.centre, axes.v);
    const double su = At(move.from, axes.u) - cu;
    const double sv = At(move.from, axes.v) - cv;
    const double radius = std::hypot(su, sv);
    if (!(radius > 0)) return;
    const double start = std::atan2(sv, su);
    const double end = std::atan2(At(move.to, axes.v) - cv, At(move.to, axes.u) - cu);
    const bool ccw = move.kind == MoveKind::ArcCcw;
    const bool full = At(move.to, axes.u) == At(move.from, axes.u) &&
                      At(move.to, axes.v) == At(move.from, axes.v);
    const double sweep = full ? kTwoPi : Turn(ccw ? end - start : start - end);
    for (int quadrant = 0; quadrant < 4; ++quadrant) {
        const double angle = quadrant * (kPi / 2);
        if (Turn(ccw ? angle - start : start - angle) > sweep) continue;
        Point3 p = move.from;
        At(p, axes.u) = cu + radius * std::cos(angle);
        At(p, axes.v) = cv + radius * std::sin(angle);
        extents.Add(p);
    }
}

ToolpathInterpreter::ToolpathInterpreter(ToolpathOptions options) : options_(options) {}

void ToolpathInterpreter::NotUnderstoodLine(std::uint64_t number, std::string what) {
    summary_.lines = std::max(summary_.lines, number);
    ++summary_.notUnderstoodCount;
    if (summary_.notUnderstood.size() < ToolpathSummary::kMaxListed) {
        summary_.notUnderstood.push_back({number, std::move(what)});
    }
}

void ToolpathInterpreter::Problem(std::string_view what) {
    if (problems_.size() >= kMaxProblemText) return;
    if (!problems_.empty()) problems_ += ' ';
    AppendShown(problems_, what.substr(0, 24));
    if (problems_.size() >= kMaxProblemText) problems_ += "...";
}

void ToolpathInterpreter::Line(std::string_view text, std::uint64_t number,
                               std::vector<ToolMove>& out) {
    out.clear();
    summary_.lines = std::max(summary_.lines, number);
    problems_.clear();
    bool blockDelete = false;
    // A line with anything not understood is left out whole: no move, no
    // change of any mode, since what it would do cannot be known.
    if (!Read(text, blockDelete) || !Interpret(number, blockDelete, out)) {
        out.clear();
        NotUnderstoodLine(number, problems_);
    }
}

// Cuts the line into words; false when it holds anything not understood.
bool ToolpathInterpreter::Read(std::string_view text, bool& blockDelete) {
    words_.clear();
    std::size_t at = 0;
    while (at < text.size() && IsBlank(text[at])) ++at;
    if (at < text.size() && text[at] == '/') {
        blockDelete = true;
        ++at;
        // "/1".."/9": the switch of an optional block skip.
        if (at < text.size() && text[at] >= '1' && text[at] <= '9') ++at;
    }
    while (at < text.size()) {
        const char c = text[at];
        if (IsBlank(c) || c == '%') {
            ++at;
        } else if (c == ';') {
            break;
        } else if (c == '(') {
            const std::size_t close = text.find(')', at);
            at = close == std::string_view::npos ? text.size() : close + 1;
        } else if (c == '#') {
            // A macro variable (or an assignment to one): its value is unknown here.
            std::size_t end = at + 1;
            while (end < text.size() && (IsDigit(text[end]) || text[end] == '<' ||
                                         text[end] == '>' || text[end] == '_' ||
                                         IsLetter(text[end]))) {
                ++end;
            }
            Problem(text.substr(at, end - at));
            at = end;
        } else if (IsLetter(c) && at + 1 < text.size() && IsLetter(text[at + 1])) {
            // Letters in a row are no word of this dialect but a macro's
            // keyword (IF, GOTO, WHILE) or another control's.
            std::size_t end = at + 1;
            while (end < text.size() && IsLetter(text[end])) ++end;
            Problem(text.substr(at, end - at));
            at = end;
        } else if (IsLetter(c)) {
            const std::size_t start = at;
            std::size_t p = at + 1;
            while (p < text.size() && IsBlank(text[p])) ++p;
            const std::size_t numberStart = p;
            if (p < text.size() && (text[p] == '-' || text[p] == '+')) ++p;
            int digits = 0;
            int dots = 0;
            while (p < text.size() && (IsDigit(text[p]) || text[p] == '.')) {
                (IsDigit(text[p]) ? digits : dots) += 1;
                ++p;
            }
            // An exponent ("1e400") is no part of this dialect.
            bool exponent = false;
            if (digits > 0 && p < text.size() && (text[p] == 'e' || text[p] == 'E')) {
                std::size_t q = p + 1;
                if (q < text.size() && (text[q] == '-' || text[q] == '+')) ++q;
                if (q < text.size() && IsDigit(text[q])) {
                    exponent = true;
                    p = q;
                    while (p < text.size() && IsDigit(text[p])) ++p;
                }
            }
            at = p;
            const std::string_view whole = text.substr(start, p - start);
            if (digits == 0) {
                Problem(whole.size() == 1 ? std::string(1, Upper(c)) + "?" : std::string(whole));
                continue;
            }
            if (dots > 1 || exponent) {
                Problem(whole);
                continue;
            }
            std::string_view number = text.substr(numberStart, p - numberStart);
            if (number.front() == '+') number.remove_prefix(1);
            double value = 0;
            const auto [end, error] =
                std::from_chars(number.data(), number.data() + number.size(), value);
            if (error != std::errc() || end != number.data() + number.size() ||
                !std::isfinite(value) || std::fabs(value) > kLargest) {
                Problem(whole);
                continue;
            }
            words_.push_back({Upper(c), value, dots == 1, whole});
        } else {
            // Junk: one entry for a run of it, so a binary line stays short.
            std::size_t end = at + 1;
            while (end < text.size() && !IsLetter(text[end]) && !IsBlank(text[end]) &&
                   text[end] != '(' && text[end] != ';') {
                ++end;
            }
            Problem(text.substr(at, end - at));
            at = end;
        }
    }
    return problems_.empty();
}

void ToolpathInterpreter::Emit(ToolMove move, std::vector<ToolMove>& out) {
    ++summary_.moves;
    if (move.questionable) ++summary_.questionable;
    AddMoveExtents(summary_.extents, move);
    pos_ = move.to;
    out.push_back(move);
}

void ToolpathInterpreter::Linear(MoveKind kind, const Point3& to, std::uint64_t number,
                                 bool blockDelete, bool zeroIsQuestionable,
                                 std::vector<ToolMove>& out) {
    ToolMove move;
    move.kind = kind;
    move.from = pos_;
    move.to = to;
    move.line = number;
    move.blockDelete = blockDelete;
    if (to == pos_) {
        if (!zeroIsQuestionable) return;
        move.questionable = true;
    }
    Emit(move, out);
}

// Carries the words out; false, with nothing changed, when a word or the
// combination is not understood.
bool ToolpathInterpreter::Interpret(std::uint64_t number, bool blockDelete,
                                    std::vector<ToolMove>& out) {
    // First every check, so that a line not understood changes nothing.
    int motion = motion_;
    int nonModal = 0;  // 4, 28, 53 or 92
    int units = 0;     // 20 or 21
    int distance = 0;  // 90 or 91
    int plane = 0;     // 17, 18 or 19
    int returnLevel = 0;  // 98 or 99
    const Word* axis[3] = {nullptr, nullptr, nullptr};
    const Word* centre[3] = {nullptr, nullptr, nullptr};
    const Word* radius = nullptr;
    const Word* repeat = nullptr;  // K or L in a cycle
    bool motionGiven = false;
    for (const Word& word : words_) {
        switch (word.letter) {
            case 'G': {
                const double tenths = word.value * 10;
                const int code = word.value >= 0 && word.value < 1000
                                     ? static_cast<int>(std::lround(tenths))
                                     : -1;
                if (code < 0 || std::fabs(tenths - code) > 1e-6 || !KnownG(code)) {
                    Problem(word.text);
                    break;
                }
                if (code % 10 != 0) break;  // G54.1: a work offset, changes nothing
                const int g = code / 10;
                if (g <= 3 || g == 80 || IsCycle(g)) {
                    motion = g;
                    motionGiven = true;
                } else if (g == 4 || g == 28 || g == 53 || g == 92) {
                    if (nonModal != 0) Problem(word.text);
                    nonModal = g;
                } else if (g == 20 || g == 21) {
                    units = g;
                } else if (g == 90 || g == 91) {
                    distance = g;
                } else if (g >= 17 && g <= 19) {
                    plane = g;
                } else if (g == 98 || g == 99) {
                    returnLevel = g;
                }
                break;
            }
            case 'M': {
                const long code = std::lround(word.value);
                if (word.value != static_cast<double>(code) || code == 97 || code == 98 ||
                    code == 99 || code == 198) {
                    Problem(word.text);
                }
                break;
            }
            case 'X':
            case 'Y':
            case 'Z': {
                const Word*& slot = axis[AxisOfLetter(word.letter)];
                if (slot != nullptr) Problem(word.text);
                slot = &word;
                break;
            }
            case 'I':
            case 'J':
            case 'K': {
                const Word*& slot = centre[word.letter - 'I'];
                if (slot != nullptr) Problem(word.text);
                slot = &word;
                break;
            }
            case 'R':
                if (radius != nullptr) Problem(word.text);
                radius = &word;
                break;
            case 'L':
                if (repeat != nullptr) Problem(word.text);
                repeat = &word;
                break;
            case 'F': case 'S': case 'T': case 'N': case 'O': case 'P': case 'Q':
            case 'D': case 'H':
                break;
            default:
                // Rotary and parallel axes (A, B, C, U, V, W) and any other
                // letter: a move this plot cannot draw.
                Problem(word.text);
                break;
        }
    }
    if (!problems_.empty()) return false;

    const bool inch = units == 0 ? summary_.inch : units == 20;
    const bool incremental = distance == 0 ? incremental_ : distance == 91;
    const ArcPlane arcPlane = plane == 0    ? plane_
                              : plane == 17 ? ArcPlane::XY
                              : plane == 18 ? ArcPlane::ZX
                                            : ArcPlane::YZ;
    const bool cycle = nonModal == 0 && IsCycle(motion);
    if (cycle && centre[2] != nullptr) {
        // In a cycle K counts the holes, as L does.
        if (repeat != nullptr) {
            Problem(centre[2]->text);
            return false;
        }
        repeat = centre[2];
        centre[2] = nullptr;
    }
    // A number without a point in the least increment, when so chosen.
    const double increment = inch ? 0.0001 : 0.001;
    const auto valueOf = [&](const Word* word) {
        if (word == nullptr) return 0.0;
        return options_.noDecimalIsLeastIncrement && !word->decimal ? word->value * increment
                                                                    : word->value;
    };
    const bool anyAxis = axis[0] != nullptr || axis[1] != nullptr || axis[2] != nullptr;

    int holes = 1;
    if (repeat != nullptr) {
        const double count = repeat->value;
        if (!cycle || count < 0 || count > 9999 || count != std::floor(count)) {
            Problem(repeat->text);
            return false;
        }
        holes = static_cast<int>(count);
    }
    const PlaneAxes axes = AxesOf(arcPlane);
    if (nonModal == 0 && anyAxis && motion == 80) {
        Problem("G80");
        for (const Word* word : axis) {
            if (word != nullptr) Problem(word->text);
        }
        return false;
    }
    const bool drills = cycle && (anyAxis || radius != nullptr);
    if (drills) {
        const bool rKnown = radius != nullptr || cycleRSet_;
        const bool zKnown = axis[axes.w] != nullptr || cycleZSet_;
        if (!rKnown) Problem("R?");
        if (!zKnown) Problem(std::string(1, "XYZ"[axes.w]) + "?");
        if (!problems_.empty()) return false;
    }
    if (nonModal == 0 && (motion == 2 || motion == 3) && anyAxis && radius == nullptr &&
        centre[0] == nullptr && centre[1] == nullptr && centre[2] == nullptr) {
        Problem(motion == 2 ? "G02 I/J/K/R?" : "G03 I/J/K/R?");
        return false;
    }

    // The line is understood: its modes, then its moves.
    summary_.inch = inch;
    incremental_ = incremental;
    plane_ = arcPlane;
    if (returnLevel != 0) returnToR_ = returnLevel == 99;
    if (motionGiven) {
        // The initial level is where a cycle finds the tool as it begins;
        // leaving the cycles forgets its R and bottom.
        if (IsCycle(motion) && !IsCycle(motion_)) initialLevel_ = At(pos_, axes.w);
        if (!IsCycle(motion)) cycleRSet_ = cycleZSet_ = false;
        motion_ = motion;
    }

    // Where the named axes lead: absolute words in the program's frame,
    // incremental from where the tool is.
    Point3 target = pos_;
    for (int a = 0; a < 3; ++a) {
        if (axis[a] == nullptr) continue;
        const double value = valueOf(axis[a]);
        At(target, a) = incremental ? At(pos_, a) + value : value + At(shift_, a);
    }

    switch (nonModal) {
        case 4:
            return true;  // a dwell: its X or P is a time
        case 92:
            for (int a = 0; a < 3; ++a) {
                if (axis[a] != nullptr) At(shift_, a) = At(pos_, a) - valueOf(axis[a]);
            }
            return true;
        case 53: {
            Point3 machine = pos_;
            for (int a = 0; a < 3; ++a) {
                if (axis[a] != nullptr) At(machine, a) = valueOf(axis[a]);
            }
            if (anyAxis) Linear(MoveKind::Rapid, machine, number, blockDelete, true, out);
            return true;
        }
        case 28: {
            Linear(MoveKind::Rapid, target, number, blockDelete, false, out);
            Point3 reference = pos_;
            for (int a = 0; a < 3; ++a) {
                if (axis[a] != nullptr) At(reference, a) = 0;
            }
            Linear(MoveKind::Rapid, reference, number, blockDelete, false, out);
            return true;
        }
        default:
            break;
    }

    if (IsCycle(motion_)) {
        if (radius != nullptr) {
            cycleR_ = valueOf(radius);
            cycleRSet_ = true;
        }
        if (axis[axes.w] != nullptr) {
            cycleZ_ = valueOf(axis[axes.w]);
            cycleZSet_ = true;
        }
        if (!drills) return true;
        // Fanuc's rule: in G91, R counts from the initial level and the
        // bottom from R.
        const double rLevel = incremental ? initialLevel_ + cycleR_ : cycleR_ + At(shift_, axes.w);
        const double bottom = incremental ? rLevel + cycleZ_ : cycleZ_ + At(shift_, axes.w);
        Point3 step;  // between holes in G91
        if (incremental) {
            if (axis[axes.u] != nullptr) At(step, axes.u) = valueOf(axis[axes.u]);
            if (axis[axes.v] != nullptr) At(step, axes.v) = valueOf(axis[axes.v]);
        }
        for (int hole = 0; hole < holes; ++hole) {
            Point3 over = pos_;
            if (incremental) {
                At(over, axes.u) += At(step, axes.u);
                At(over, axes.v) += At(step, axes.v);
            } else {
                At(over, axes.u) = At(target, axes.u);
                At(over, axes.v) = At(target, axes.v);
            }
            Linear(MoveKind::Rapid, over, number, blockDelete, false, out);
            Point3 down = pos_;
            At(down, axes.w) = rLevel;
            Linear(MoveKind::Rapid, down, number, blockDelete, false, out);
            At(down, axes.w) = bottom;
            Linear(MoveKind::Feed, down, number, blockDelete, true, out);
            At(down, axes.w) = rLevel;
            Linear(FeedsOut(motion_) ? MoveKind::Feed : MoveKind::Rapid, down, number,
                   blockDelete, false, out);
            if (!returnToR_) {
                At(down, axes.w) = initialLevel_;
                Linear(MoveKind::Rapid, down, number, blockDelete, false, out);
            }
        }
        return true;
    }

    const bool anyCentre = centre[0] != nullptr || centre[1] != nullptr || centre[2] != nullptr;
    if (motion_ <= 1) {
        if (anyAxis) {
            Linear(motion_ == 0 ? MoveKind::Rapid : MoveKind::Feed, target, number, blockDelete,
                   true, out);
        }
        return true;
    }
    // G02, G03
    if (!anyAxis && !anyCentre && radius == nullptr) return true;
    ToolMove move;
    move.kind = motion_ == 2 ? MoveKind::ArcCw : MoveKind::ArcCcw;
    move.from = pos_;
    move.to = target;
    move.plane = arcPlane;
    move.line = number;
    move.blockDelete = blockDelete;
    move.centre = pos_;
    const double scale = inch ? 25.4 : 1.0;
    const double chord = PlaneDistance(move.from, move.to, axes);
    const double su = At(move.from, axes.u);
    const double sv = At(move.from, axes.v);
    if (radius != nullptr) {
        const double r = valueOf(radius);
        const double half = chord / 2;
        const double size = std::fabs(r);
        const double tolerance = std::max(0.002 / scale, 1e-4 * size);
        if (chord <= 1e-12 || size == 0) {
            // No circle goes through one point by a radius: drawn straight.
            move.kind = MoveKind::Feed;
            move.questionable = true;
            Emit(move, out);
            return true;
        }
        double h = 0;
        if (size < half) {
            if (half - size > tolerance) move.questionable = true;
        } else {
            h = std::sqrt(size * size - half * half);
        }
        // The short arc has its centre left of the chord going
        // counter-clockwise, right of it going clockwise; a negative R the
        // long one, on the other side.
        const double tu = (At(move.to, axes.u) - su) / chord;
        const double tv = (At(move.to, axes.v) - sv) / chord;
        double side = move.kind == MoveKind::ArcCcw ? 1.0 : -1.0;
        if (r < 0) side = -side;
        At(move.centre, axes.u) = (su + At(move.to, axes.u)) / 2 - side * h * tv;
        At(move.centre, axes.v) = (sv + At(move.to, axes.v)) / 2 + side * h * tu;
    } else {
        // I, J, K: the centre from the start, in every distance mode.
        const int letters[2] = {axes.u, axes.v};
        for (const int a : letters) At(move.centre, a) += valueOf(centre[a]);
        const double startRadius = PlaneDistance(move.centre, move.from, axes);
        const double endRadius = PlaneDistance(move.centre, move.to, axes);
        if (!(startRadius > 0)) {
            move.kind = MoveKind::Feed;
            move.questionable = true;
            Emit(move, out);
            return true;
        }
        if (chord <= 1e-9 * std::max(1.0, startRadius)) {
            // A full circle: its end is its start.
            At(move.to, axes.u) = su;
            At(move.to, axes.v) = sv;
        } else if (std::fabs(startRadius - endRadius) >
                   std::max(0.002 / scale, 1e-4 * startRadius)) {
            move.questionable = true;
        }
    }
    Emit(move, out);
    return true;
}

}  // namespace wexal
