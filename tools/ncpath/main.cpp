// ncpath: prints the toolpath of an NC program, one move a line, and what in
// it was not understood (see the usage text).
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "nctools/toolpath_file.h"
#include "platform/error_text.h"
#include "platform/message_service.h"
#include "platform/os_file.h"
#include "platform/server_process.h"

namespace {

constexpr const char* kUsage =
    "使い方: ncpath ファイル [--least-increment]\n"
    "  NC プログラムの工具経路を 1 行に 1 移動ずつ出力します。\n"
    "  --least-increment  小数点のない数値を最小設定単位 (0.001 mm, 0.0001 inch) とする\n";

// Output gathered in a large buffer: millions of moves must not cost a
// stream call per number.
class Out {
public:
    Out() { buffer_.reserve(kSize + 256); }
    ~Out() { Flush(); }
    void Text(std::string_view text) {
        buffer_.append(text);
        if (buffer_.size() >= kSize) Flush();
    }
    void Char(char c) { buffer_ += c; }
    void Unsigned(std::uint64_t value) {
        char digits[24];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (n > 0) buffer_ += digits[--n];
    }
    // As printf's "%.4f", without "-0.0000".
    void Fixed(double value) {
        const double scaled = value * 1e4;
        const double whole = std::floor(scaled);
        const double fraction = scaled - whole;
        // Away from a tie and within the exact integers the rounding is
        // plain; elsewhere printf decides, to the digit.
        if (std::fabs(scaled) < 1e15 && std::fabs(fraction - 0.5) > 1e-6) {
            auto units = static_cast<std::int64_t>(fraction > 0.5 ? whole + 1 : whole);
            if (units < 0) {
                buffer_ += '-';
                units = -units;
            }
            Unsigned(static_cast<std::uint64_t>(units / 10000));
            buffer_ += '.';
            const auto rest = static_cast<unsigned>(units % 10000);
            buffer_ += static_cast<char>('0' + rest / 1000);
            buffer_ += static_cast<char>('0' + rest / 100 % 10);
            buffer_ += static_cast<char>('0' + rest / 10 % 10);
            buffer_ += static_cast<char>('0' + rest % 10);
        } else {
            char text[512];
            std::snprintf(text, sizeof text, "%.4f", value);
            buffer_ += std::string_view(text) == "-0.0000" ? "0.0000" : text;
        }
        if (buffer_.size() >= kSize) Flush();
    }
    void Flush() {
        if (!buffer_.empty() && !failed_) {
            if (std::fwrite(buffer_.data(), 1, buffer_.size(), stdout) != buffer_.size()) {
                failed_ = true;
                error_ = errno;
            }
        }
        buffer_.clear();
    }
    bool Finish() {
        Flush();
        if (!failed_ && std::fflush(stdout) != 0) {
            failed_ = true;
            error_ = errno;
        }
        return !failed_;
    }
    int error() const { return error_; }

private:
    static constexpr std::size_t kSize = 1 << 16;
    std::string buffer_;
    bool failed_ = false;
    int error_ = 0;
};

const char* KindName(wexal::MoveKind kind) {
    switch (kind) {
        case wexal::MoveKind::Rapid: return "RAPID";
        case wexal::MoveKind::Feed: return "FEED";
        case wexal::MoveKind::ArcCw: return "CW";
        case wexal::MoveKind::ArcCcw: return "CCW";
    }
    return "?";
}

const char* PlaneName(wexal::ArcPlane plane) {
    switch (plane) {
        case wexal::ArcPlane::XY: return "G17";
        case wexal::ArcPlane::ZX: return "G18";
        case wexal::ArcPlane::YZ: return "G19";
    }
    return "?";
}

void Point(Out& out, const char* x, const char* y, const char* z, const wexal::Point3& p) {
    out.Text(x);
    out.Fixed(p.x);
    out.Text(y);
    out.Fixed(p.y);
    out.Text(z);
    out.Fixed(p.z);
}

void Move(Out& out, const wexal::ToolMove& move) {
    out.Char('N');
    out.Unsigned(move.line);
    out.Char(' ');
    out.Text(KindName(move.kind));
    Point(out, " X", " Y", " Z", move.to);
    if (move.kind == wexal::MoveKind::ArcCw || move.kind == wexal::MoveKind::ArcCcw) {
        Point(out, " CX", " CY", " CZ", move.centre);
        out.Char(' ');
        out.Text(PlaneName(move.plane));
    }
    out.Char('\n');
}

void Range(Out& out, const char* axis, double min, double max) {
    out.Text(axis);
    out.Fixed(min);
    out.Char(' ');
    out.Fixed(max);
}

}  // namespace

int main(int argc, char** argv) {
    wexal::PrepareConsoleOutput();
    const std::vector<std::string> args = wexal::Utf8Arguments(argc, argv);
    std::string file;
    wexal::ToolpathOptions options;
    for (const std::string& given : args) {
        const std::string_view arg = given;
        if (arg == "--least-increment") {
            options.noDecimalIsLeastIncrement = true;
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (file.empty() && (arg.empty() || arg.front() != '-' || arg == "-")) {
            file = arg;
        } else {
            std::fprintf(stderr, "ncpath: 引数が正しくありません: %s\n%s", given.c_str(), kUsage);
            return 2;
        }
    }
    if (file.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    // No window can ask: a file that does not look like text gets the safe
    // answer (not read), said on standard error.
    wexal::ConsoleMessages messages;
    Out out;
    const wexal::ToolpathRun run = wexal::ReadToolpathFile(
        wexal::Utf8Path(file), options, messages, [&](const std::vector<wexal::ToolMove>& moves) {
            for (const wexal::ToolMove& move : moves) Move(out, move);
            return true;
        });
    if (!run.status) {
        out.Finish();
        std::fprintf(stderr, "ncpath: %s\n", run.status.message.c_str());
        return 1;
    }
    const wexal::ToolpathSummary& summary = run.summary;
    if (summary.extents.empty) {
        out.Text("# extents none\n");
    } else {
        out.Text("# extents");
        Range(out, " X", summary.extents.min.x, summary.extents.max.x);
        Range(out, " Y", summary.extents.min.y, summary.extents.max.y);
        Range(out, " Z", summary.extents.min.z, summary.extents.max.z);
        out.Char('\n');
    }
    out.Text("# moves ");
    out.Unsigned(summary.moves);
    out.Text("\n# questionable ");
    out.Unsigned(summary.questionable);
    out.Text(summary.inch ? "\n# units inch\n" : "\n# units mm\n");
    out.Text("# not understood ");
    out.Unsigned(summary.notUnderstoodCount);
    out.Char('\n');
    for (const wexal::NotUnderstood& item : summary.notUnderstood) {
        out.Text("# N");
        out.Unsigned(item.line);
        out.Char(' ');
        out.Text(item.what);
        out.Char('\n');
    }
    if (!out.Finish()) {
        std::fprintf(stderr, "ncpath: 出力を書き込めません。\n%s\n",
                     wexal::SystemErrorText(out.error()).c_str());
        return 1;
    }
    return 0;
}
