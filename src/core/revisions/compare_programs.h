#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "revisions/compare_rows.h"
#include "revisions/program_diff.h"

// Two program files compared for the window, in one call that a worker
// thread makes: both read whole, compared, and laid out in rows.
namespace wexal {

// A program file held for comparing: its bytes and its lines, which point
// into them (so it is never copied or moved).
class ComparedProgram {
public:
    explicit ComparedProgram(std::string bytes);
    ComparedProgram(const ComparedProgram&) = delete;
    ComparedProgram& operator=(const ComparedProgram&) = delete;

    const ProgramLines& lines() const { return lines_; }

private:
    std::string bytes_;
    ProgramLines lines_;
};

// Programs beyond this many bytes are not read for a comparison.
inline constexpr std::uintmax_t kMostCompareBytes = 256ull << 20;

struct ProgramToCompare {
    std::shared_ptr<const ComparedProgram> program;
    // Why there is none: kTooLongToCompare, or
    // "ファイルを読み込めません。\n<path>\n<reason>".
    std::string error;
};
ProgramToCompare ReadProgramToCompare(const std::filesystem::path& path);

// The comparison as the window takes it. The programs are those given, or
// read when none was given, so that a second run with other options reads
// nothing again.
struct CompareOutcome {
    std::shared_ptr<const ComparedProgram> left, right;
    Comparison comparison;  // its error: stopped, or why nothing was compared
    CompareRows rows;
    DiffCounts counts;
    // The error is about a file (unreadable, too long), not the run: the
    // window says it in a box.
    bool fileError = false;
};
CompareOutcome ComparePrograms(const std::filesystem::path& leftPath,
                               std::shared_ptr<const ComparedProgram> left,
                               const std::filesystem::path& rightPath,
                               std::shared_ptr<const ComparedProgram> right,
                               const CompareOptions& options, const std::function<bool()>& stop);

}  // namespace wexal
